#include "trace/bus_trace.h"

#include "base/desktop_seams.h"
#include "base/document_lookup.h"
#include "base/hex.h"
#include "base/language.h"
#include "can/vci/bus_tap.h"
#include "canopen/canopen_xml.h"
#include "canopen/nmt_state.h"
#include "ui_bus_trace.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QRegularExpressionValidator>

namespace {

constexpr int drain_interval_ms = 100;
constexpr int tables_every_ticks = 5;
// The live trace lets its oldest frames go beyond this (about 60 MB).
constexpr size_t max_trace_frames = 2000000;

// The fields take up to eight hex digits; an empty one is 0.
uint32_t hex_value(const QString &text)
{
    uint64_t value = 0;
    return hex::parse(text, &value) ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

Bus_trace::Bus_trace(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::Bus_trace), model_(new trace::trace_model(max_trace_frames, this))
{
    ui->setupUi(this);
    ui->trace->setModel(model_);
    ui->trace->verticalHeader()->setDefaultSectionSize(20);
    ui->trace->verticalHeader()->hide();
    ui->trace->horizontalHeader()->setStretchLastSection(true);
    const auto *hex_only =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,8}")), this);
    ui->filter_id->setValidator(hex_only);
    ui->filter_mask->setValidator(hex_only);
    ui->nodes->setColumnCount(6);
    ui->identifiers->setColumnCount(5);
    for (QTableWidget *t : {ui->nodes, ui->identifiers}) {
        t->verticalHeader()->hide();
        t->horizontalHeader()->setStretchLastSection(true);
    }
    ui->splitter->setSizes({480, 140});
    QByteArray document;
    if (document_lookup::read_document(document_lookup::locate(QStringLiteral("Document/CANopen_Error.xml")),
                                       &document))
        error_document_ = document;
    model_->context().error_text = [this](uint16_t code) { return error_text(code); };
    connect_controls();
    drain_timer_.setInterval(drain_interval_ms);
    connect(&drain_timer_, &QTimer::timeout, this, [this] {
        // The tables of a hidden window wait until it is shown.
        drain(++drain_ticks_ % tables_every_ticks == 0 && isVisible());
    });
    drain_timer_.start();
    replay_timer_.setTimerType(Qt::PreciseTimer);
    replay_timer_.setSingleShot(true);
    connect(&replay_timer_, &QTimer::timeout, this, &Bus_trace::replay_step);
    refresh_nodes();
    refresh_identifiers();
    fit_columns();
    refresh_status();
}

namespace {

// Columns as wide as their title or their widest expected text, so that nothing is cut at any
// font size; the last column takes the rest.
void fit(QTableView *view, const QStringList &widest)
{
    const QFontMetrics text(view->font());
    const QFontMetrics header(view->horizontalHeader()->font());
    for (int c = 0; c + 1 < view->model()->columnCount(); ++c) {
        const QString title = view->model()->headerData(c, Qt::Horizontal).toString();
        view->setColumnWidth(c, qMax(header.size(0, title).width(), text.horizontalAdvance(widest.value(c))) + 24);
    }
}

}  // namespace

void Bus_trace::fit_columns()
{
    fit(ui->trace, {QStringLiteral("000000.000"), QStringLiteral("Tx"), QStringLiteral("1FFFFFFF"), QStringLiteral("8"),
                    QStringLiteral("00 00 00 00 00 00 00 00")});
    fit(ui->nodes, {QStringLiteral("127"), node_state_text(0x7F), QStringLiteral("0000.0"), QStringLiteral("00000.0"),
                    QStringLiteral("0000")});
    fit(ui->identifiers,
        {QStringLiteral("1FFFFFFF"), QStringLiteral("Tx"), QStringLiteral("0000000"), QStringLiteral("00000.0")});
}

Bus_trace::~Bus_trace() { delete ui; }

void Bus_trace::connect_controls()
{
    connect(ui->pause, &QPushButton::toggled, model_, &trace::trace_model::set_paused);
    connect(ui->clear, &QPushButton::clicked, this, [this] {
        model_->clear();
        live_ = true;
        refresh_nodes();
        refresh_identifiers();
    });
    connect(ui->save_trace, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(true);
        if (!path.isEmpty() && !save_log(path))
            desktop_seams::warning(this, tr("错误"), tr("无法写入文件/Cannot write the file"));
    });
    connect(ui->open_trace, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(false);
        QString why;
        if (!path.isEmpty() && !load_log(path, &why))
            desktop_seams::warning(this, tr("错误"), why);
    });
    connect(ui->replay, &QPushButton::toggled, this, [this](bool on) {
        if (on && !start_replay())
            ui->replay->setChecked(false);
        if (!on)
            stop_replay();
    });
    connect(ui->reset_controller, &QPushButton::clicked, this, [this] {
        if (!vci::reset_controller())
            statusBar()->showMessage(tr("此总线不支持复位控制器/This bus cannot reset its controller"), 3000);
    });
    connect(ui->filter_id, &QLineEdit::textChanged, this, &Bus_trace::apply_filter);
    connect(ui->filter_mask, &QLineEdit::textChanged, this, &Bus_trace::apply_filter);
    connect(ui->filter_node, QOverload<int>::of(&QSpinBox::valueChanged), this, &Bus_trace::apply_filter);
    for (QCheckBox *box : {ui->kind_nmt, ui->kind_sync, ui->kind_emcy, ui->kind_pdo, ui->kind_sdo,
                           ui->kind_error_control, ui->kind_maker, ui->kind_error_frame, ui->kind_other})
        connect(box, &QCheckBox::toggled, this, &Bus_trace::apply_filter);
}

void Bus_trace::apply_filter()
{
    trace::trace_filter f;
    f.id = hex_value(ui->filter_id->text());
    // An identifier without a mask means exactly that identifier.
    f.mask = ui->filter_mask->text().trimmed().isEmpty() ? (ui->filter_id->text().trimmed().isEmpty() ? 0 : 0x1FFFFFFFu)
                                                         : hex_value(ui->filter_mask->text());
    f.node = ui->filter_node->value();
    const QCheckBox *boxes[trace::frame_kind_count] = {ui->kind_nmt,   ui->kind_sync,        ui->kind_emcy,
                                                       ui->kind_pdo,   ui->kind_sdo,         ui->kind_error_control,
                                                       ui->kind_maker, ui->kind_error_frame, ui->kind_other};
    f.kinds = 0;
    for (int i = 0; i < trace::frame_kind_count; ++i)
        if (boxes[i]->isChecked())
            f.kinds |= static_cast<uint16_t>(1u << i);
    model_->set_filter(f);
}

void Bus_trace::drain(bool refresh_tables)
{
    std::vector<vci::tapped_frame> frames;
    vci::bus_tap::drain(frames);
    if (live_ && !frames.empty()) {
        model_->append(frames);
        if (ui->follow->isChecked() && !model_->paused())
            ui->trace->scrollToBottom();
    }
    if (refresh_tables) {
        refresh_nodes();
        refresh_identifiers();
    }
    refresh_status();
}

int64_t Bus_trace::now_us() const
{
    if (live_)
        return vci::bus_tap::now_us();
    // A log from a file: its own last frame is "now".
    return model_->frame_count() ? model_->frame(model_->frame_count() - 1).t_us : 0;
}

namespace {

void fill_row(QTableWidget *table, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c)
        table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QString milliseconds(int64_t us) { return QString::number(static_cast<double>(us) / 1000.0, 'f', 1); }

}  // namespace

QString Bus_trace::error_cell(int code)
{
    if (code < 0)
        return QStringLiteral("-");
    const QString text = error_text(static_cast<uint16_t>(code)).replace(QLatin1Char('\n'), QLatin1String(" / "));
    return QStringLiteral("0x%1 %2").arg(code, 4, 16, QLatin1Char('0')).arg(text);
}

void Bus_trace::refresh_nodes()
{
    ui->nodes->setHorizontalHeaderLabels({tr("节点\nNode"), tr("状态\nState"), tr("上次出现(s)\nLast seen (s)"),
                                          tr("心跳周期(ms)\nHeartbeat (ms)"), tr("紧急报文\nEMCY"),
                                          tr("最近错误\nLast error")});
    const int64_t now = now_us();
    const std::vector<trace::node_health_row> rows = model_->nodes().rows(now);
    ui->nodes->setRowCount(static_cast<int>(rows.size()));
    int i = 0;
    for (const trace::node_health_row &r : rows) {
        fill_row(ui->nodes, i,
                 {QString::number(r.node), r.lost ? tr("丢失/Lost") : node_state_text(r.nmt_state),
                  QString::number(static_cast<double>(now - r.last_seen_us) / 1e6, 'f', 1),
                  r.heartbeat_period_us ? milliseconds(r.heartbeat_period_us) : QStringLiteral("-"),
                  QString::number(r.emcy_count), error_cell(r.last_error)});
        if (r.lost)
            ui->nodes->item(i, 1)->setForeground(Qt::red);
        ++i;
    }
}

void Bus_trace::refresh_identifiers()
{
    ui->identifiers->setHorizontalHeaderLabels(
        {tr("标识符\nID"), tr("方向\nDir"), tr("数量\nCount"), tr("周期(ms)\nPeriod (ms)"), tr("最近数据\nLast data")});
    const auto &ids = model_->identifiers();
    ui->identifiers->setRowCount(static_cast<int>(ids.size()));
    int row = 0;
    for (const auto &entry : ids) {
        const trace::id_summary &s = entry.second;
        fill_row(ui->identifiers, row++,
                 {trace::trace_model::id_text(s.last),
                  s.last.transmitted() ? QStringLiteral("Tx") : QStringLiteral("Rx"), QString::number(s.count),
                  s.count > 1 ? milliseconds(s.period_us) : QStringLiteral("-"),
                  trace::trace_model::data_text(s.last)});
    }
}

void Bus_trace::refresh_status()
{
    QString text = tr("%1 帧/frames, %2 显示/shown").arg(model_->frame_count()).arg(model_->rowCount());
    if (!live_)
        text += tr(" — 日志文件/log file");
    if (const uint64_t lost = vci::bus_tap::dropped())
        text += tr(", %1 帧丢失/frames lost").arg(lost);
    if (replay_timer_.isActive() || (ui->replay->isChecked() && !replay_.finished()))
        text += tr(", 回放/replay %1/%2").arg(replay_.sent()).arg(replay_.total());
    text += QStringLiteral(" | ") + bus_state_text(static_cast<int>(vci::bus_tap::current_bus_state()));
    if (statusBar()->currentMessage() != text)
        statusBar()->showMessage(text);
}

QString Bus_trace::bus_state_text(int state)
{
    switch (static_cast<vci::bus_state>(state)) {
    case vci::bus_state::error_active: return tr("总线正常/Error active");
    case vci::bus_state::error_warning: return tr("总线警告/Error warning");
    case vci::bus_state::error_passive: return tr("总线被动错误/Error passive");
    case vci::bus_state::bus_off: return tr("总线关闭/Bus off");
    default: return tr("总线状态未知/Bus state unknown");
    }
}

QString Bus_trace::node_state_text(int nmt_state) { return canopen::nmt_state_text(nmt_state); }

QString Bus_trace::error_text(uint16_t code)
{
    auto it = error_texts_.find(code);
    if (it == error_texts_.end())
        it = error_texts_.emplace(code, canopen::xml_text_in(error_document_, code)).first;
    return it->second;
}

void Bus_trace::comboBox(int32_t language)
{
    switch_language(translator, language);
}

void Bus_trace::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    refresh_nodes();
    refresh_identifiers();
}

void Bus_trace::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        emit model_->headerDataChanged(Qt::Horizontal, 0, trace::trace_model::column_count - 1);
        refresh_nodes();
        refresh_identifiers();
        fit_columns();
    }
}
