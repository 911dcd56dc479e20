#include "trace/bus_trace.h"

#include "can/bus.h"

#include "base/desktop_seams.h"
#include "base/document_lookup.h"
#include "base/elided_label.h"
#include "base/hex.h"
#include "base/language.h"
#include "base/window_place.h"
#include "can/vci/bus_tap.h"
#include "canopen/canopen_xml.h"
#include "canopen/nmt_state.h"
#include "can/vci/bus_backend.h"
#include "trace/trace_log.h"
#include "ui_bus_trace.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QRegularExpressionValidator>

namespace {

constexpr int drain_interval_ms = 100;
constexpr int tables_every_ticks = 5;
// A message in the status bar stays at least this long, then until the user acts.
constexpr qint64 message_min_ms = 10000;

// The fields take up to eight hex digits; an empty one is 0.
uint32_t hex_value(const QString &text)
{
    uint64_t value = 0;
    return hex::parse(text, &value) ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

Bus_trace::Bus_trace(QWidget *parent) : language_window(parent, QStringLiteral("Bus_trace")), ui(new Ui::Bus_trace)
{
    ui->setupUi(this);
    sources_.push_back({new trace::trace_model(static_cast<size_t>(ui->cap->value()), this), QString(), {}});
    ui->sources->setDocumentMode(true);
    ui->sources->setExpanding(false);
    ui->sources->setTabsClosable(true);
    ui->sources->addTab(tr("实时/Live"));
    if (QWidget *close = ui->sources->tabButton(0, QTabBar::RightSide))
        close->hide();
    live_model()->set_epoch(vci::bus_tap::epoch_wall_us());
    ui->trace->setModel(live_model());
    ui->trace->verticalHeader()->setDefaultSectionSize(20);
    ui->trace->verticalHeader()->hide();
    ui->trace->horizontalHeader()->setStretchLastSection(true);
    const auto *hex_only =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,8}")), this);
    ui->filter_id->setValidator(hex_only);
    ui->filter_mask->setValidator(hex_only);
    ui->identifiers->setColumnCount(5);
    ui->send_ids->setColumnCount(5);
    for (QTableWidget *t : {ui->node_table->table(), ui->identifiers, ui->send_ids}) {
        // As tight as the frames: the node table shares the splitter with them.
        t->verticalHeader()->setDefaultSectionSize(ui->trace->verticalHeader()->defaultSectionSize());
        t->verticalHeader()->hide();
        t->horizontalHeader()->setStretchLastSection(true);
    }
    ui->splitter->setSizes({480, 140});
    status_label_ = new elided_label(this);
    status_label_->setObjectName(QStringLiteral("trace_status"));
    status_label_->setContentsMargins(16, 0, 0, 0);  // apart from a message beside it
    statusBar()->addPermanentWidget(status_label_);
    connect(statusBar(), &QStatusBar::messageChanged, this, &Bus_trace::fit_status);
    ui->dropped_notice->hide();
    ui->views->setTabEnabled(ui->views->indexOf(ui->send_tab), false);  // a live capture sends nothing
    QByteArray document;
    if (document_lookup::read_document(document_lookup::locate(QStringLiteral("Document/CANopen_Error.xml")),
                                       &document))
        error_document_ = document;
    live_model()->context().error_text = [this](uint16_t code) { return error_text(code); };
    ui->node_table->set_error_text([this](uint16_t code) { return error_text(code); });
    connect_controls();
    drain_timer_.setInterval(drain_interval_ms);
    connect(&drain_timer_, &QTimer::timeout, this, [this] {
        // The tables of a hidden window wait until it is shown.
        drain(++drain_ticks_ % tables_every_ticks == 0 && isVisible());
    });
    drain_timer_.start();
    qApp->installEventFilter(this);
    refresh_nodes();
    refresh_identifiers();
    refresh_send_list();
    refresh_replay_controls();
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
    fit(ui->trace, {QStringLiteral("00:00:00.000000"), QStringLiteral("Tx"), QStringLiteral("can0.1"), QStringLiteral("1FFFFFFF"),
                    QStringLiteral("64"), QStringLiteral("00 00 00 00 00 00 00 00")});
    fit(ui->node_table->table(), {QStringLiteral("127"), node_state_text(0x7F), QStringLiteral("0000.0"), QStringLiteral("00000.0"),
                    QStringLiteral("0000")});
    fit(ui->identifiers,
        {QStringLiteral("1FFFFFFF"), QStringLiteral("Tx"), QStringLiteral("0000000"), QStringLiteral("00000.0")});
    fit(ui->send_ids, {QStringLiteral("0000"), QStringLiteral("1FFFFFFF FD"), QStringLiteral("Tx"),
                       QStringLiteral("0000000")});
}

Bus_trace::~Bus_trace() { delete ui; }

trace::trace_model *Bus_trace::model() const { return sources_[static_cast<size_t>(current_)].model; }

void Bus_trace::connect_controls()
{
    connect(ui->pause, &QPushButton::toggled, live_model(), &trace::trace_model::set_paused);
    connect(ui->relative_time, &QCheckBox::toggled, this, [this](bool relative) {
        for (source &s : sources_)
            s.model->set_relative_time(relative);
        refresh_dropped();
    });
    connect(ui->cap, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int cap) {
        live_model()->set_cap(static_cast<size_t>(cap));
        refresh_dropped();
    });
    connect(ui->clear, &QPushButton::clicked, this, [this] {
        if (ui->replay_panel->playing() == model())
            stop_replay();
        model()->clear();
        if (current_ > 0)
            current().plan = trace::send_plan(model()->log());
        refresh_nodes();
        refresh_identifiers();
        refresh_send_list();
        refresh_dropped();
    });
    connect(ui->save_trace, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(true);
        if (path.isEmpty())
            return;
        if (!save_log(path))
            desktop_seams::warning(this, tr("错误/Error"), tr("无法写入文件/Cannot write the file: %1").arg(QDir::toNativeSeparators(path)));
        else if (QFile::exists(path))
            say(tr("已保存/Saved: %1").arg(QDir::toNativeSeparators(path)));
    });
    connect(ui->open_trace, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(false);
        QString why;
        if (!path.isEmpty() && !load_log(path, &why) && !why.isEmpty())
            desktop_seams::warning(this, tr("错误/Error"), why);
    });
    connect(ui->sources, &QTabBar::currentChanged, this, &Bus_trace::show_source);
    connect(ui->sources, &QTabBar::tabCloseRequested, this, &Bus_trace::close_source);
    connect(ui->replay_panel, &Replay_panel::start_requested, this, [this] { start_replay(); });
    connect(ui->replay_panel, &Replay_panel::message, this, &Bus_trace::say);
    connect(ui->replay_panel, &Replay_panel::running_changed, this, &Bus_trace::refresh_replay_controls);
    connect(ui->replay_panel, &Replay_panel::advanced, this, [this](trace::trace_model *log) {
        if (log == model() && ui->follow->isChecked())
            ui->trace->scrollToBottom();
    });
    connect(ui->send_ids, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == 0 && current_ > 0)
            current().plan.tick(static_cast<size_t>(item->row()), item->checkState() == Qt::Checked);
    });
    connect(ui->reset_controller, &QPushButton::clicked, this, [this] {
        if (!vci::reset_controller())
            say(tr("此总线不支持复位控制器/This bus cannot reset its controller"));
    });
    connect(ui->filter_id, &QLineEdit::textChanged, this, &Bus_trace::apply_filter);
    connect(ui->filter_mask, &QLineEdit::textChanged, this, &Bus_trace::apply_filter);
    connect(ui->filter_node, QOverload<int>::of(&QSpinBox::valueChanged), this, &Bus_trace::apply_filter);
    // Every bus of the selection by its interface; a loaded file's other names can be typed.
    ui->filter_interface->addItem(QString());
    for (int i = 0; i < can::bus::selected(); ++i)
        ui->filter_interface->addItem(can::bus::at(i).name());
    connect(ui->filter_interface, &QComboBox::currentTextChanged, this, &Bus_trace::apply_filter);
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
    f.iface = ui->filter_interface->currentText().trimmed();
    const QCheckBox *boxes[trace::frame_kind_count] = {ui->kind_nmt,   ui->kind_sync,        ui->kind_emcy,
                                                       ui->kind_pdo,   ui->kind_sdo,         ui->kind_error_control,
                                                       ui->kind_maker, ui->kind_error_frame, ui->kind_other};
    f.kinds = 0;
    for (int i = 0; i < trace::frame_kind_count; ++i)
        if (boxes[i]->isChecked())
            f.kinds |= static_cast<uint16_t>(1u << i);
    for (source &s : sources_)
        s.model->set_filter(f);
    refresh_identifiers();
}

void Bus_trace::show_source(int index)
{
    if (index < 0 || index >= static_cast<int>(sources_.size()))
        return;
    current_ = index;
    ui->trace->setModel(model());
    ui->views->setTabEnabled(ui->views->indexOf(ui->send_tab), index > 0);
    refresh_nodes();
    refresh_identifiers();
    refresh_send_list();
    refresh_dropped();
    refresh_replay_controls();
    refresh_status();
}

void Bus_trace::drain(bool refresh_tables)
{
    std::vector<vci::tapped_frame> frames;
    vci::bus_tap::drain(frames);
    if (!frames.empty()) {
        const uint64_t dropped = live_model()->log().dropped();
        live_model()->append(frames);
        if (current_ == 0 && ui->follow->isChecked() && !live_model()->paused())
            ui->trace->scrollToBottom();
        if (live_model()->log().dropped() != dropped)
            refresh_dropped();
    }
    if (refresh_tables) {
        refresh_nodes();
        refresh_identifiers();
    }
    refresh_status();
}

int64_t Bus_trace::now_us() const
{
    if (current_ == 0)
        return vci::bus_tap::now_us();
    // A log from a file: the last frame shown is "now".
    const trace::trace_model *m = model();
    return m->shown_frames() ? m->frame(m->shown_frames() - 1).t_us : 0;
}

namespace {

void fill_row(QTableWidget *table, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c)
        table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QString milliseconds(int64_t us) { return QString::number(static_cast<double>(us) / 1000.0, 'f', 1); }

}  // namespace

void Bus_trace::refresh_nodes()
{
    const int64_t now = now_us();
    std::function<QString(uint16_t)> interface;
    if (model()->nodes().several_interfaces())
        interface = [this](uint16_t iface) { return model()->log().interface_name(iface); };
    ui->node_table->show_rows(model()->nodes().rows(now), now, interface);
}

void Bus_trace::refresh_identifiers()
{
    ui->identifiers->setHorizontalHeaderLabels(
        {tr("标识符\nID"), tr("方向\nDir"), tr("数量\nCount"), tr("周期(ms)\nPeriod (ms)"), tr("最近数据\nLast data")});
    const auto &ids = model()->identifiers();
    ui->identifiers->setRowCount(static_cast<int>(ids.size()));
    int row = 0;
    for (const auto &entry : ids) {
        const trace::id_summary &s = entry.second;
        fill_row(ui->identifiers, row++,
                 {trace::trace_model::id_text(s.last),
                  s.last.transmitted() ? QStringLiteral("Tx") : QStringLiteral("Rx"), QString::number(s.count),
                  s.count > 1 ? milliseconds(s.period_us()) : QStringLiteral("-"),
                  trace::trace_model::data_text(s.last)});
    }
}

void Bus_trace::refresh_send_list()
{
    const QSignalBlocker block(ui->send_ids);
    ui->send_ids->setHorizontalHeaderLabels(
        {tr("发送\nSend"), tr("标识符\nID"), tr("方向\nDir"), tr("数量\nFrames"), tr("说明\nNote")});
    const std::vector<trace::send_choice> none;
    const std::vector<trace::send_choice> &choices = current_ > 0 ? current().plan.choices() : none;
    ui->send_ids->setRowCount(static_cast<int>(choices.size()));
    for (int row = 0; row < static_cast<int>(choices.size()); ++row) {
        const trace::send_choice &c = choices[static_cast<size_t>(row)];
        trace::trace_record r;
        r.id = c.id;
        r.flags = c.extended ? trace::record_flag::extended : 0;
        QString note;
        if (!c.sendable)
            note = tr("此适配器无法发送，跳过/This adapter cannot send it: skipped");
        else if (c.id == 0 && !c.extended)
            note = tr("NMT 命令/NMT command");
        else if (c.held_back)
            note = tr("节点一方的标识符/An identifier of the nodes' side");
        fill_row(ui->send_ids, row,
                 {QString(), trace::trace_model::id_text(r) + (c.fd ? QStringLiteral(" FD") : QString()),
                  c.transmitted ? QStringLiteral("Tx") : QStringLiteral("Rx"), QString::number(c.frames), note});
        QTableWidgetItem *tick = ui->send_ids->item(row, 0);
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        tick->setCheckState(c.ticked ? Qt::Checked : Qt::Unchecked);
    }
}

QString Bus_trace::time_text(const trace::trace_model &m, int64_t t_us) const
{
    if (ui->relative_time->isChecked())
        return QString::number(static_cast<double>(t_us) / 1e6, 'f', 6) + QStringLiteral(" s");
    return trace::trace_model::time_of_day(m.log().epoch_us + t_us);
}

void Bus_trace::refresh_dropped()
{
    const trace::frame_log &log = model()->log();
    if (log.dropped() == 0) {
        ui->dropped_notice->hide();
        return;
    }
    ui->dropped_notice->setText(
        tr("已达上限 %1 帧：最早的 %2 帧（%3 至 %4）已舍弃/At the cap of %1 frames: the oldest %2 frames (%3 to %4) "
           "were let go")
            .arg(log.cap())
            .arg(log.dropped())
            .arg(time_text(*model(), log.dropped_first_us()), time_text(*model(), log.dropped_last_us())));
    ui->dropped_notice->show();
}

void Bus_trace::refresh_status()
{
    QString text = tr("%1 帧/frames, %2 显示/shown").arg(model()->frame_count()).arg(model()->rowCount());
    if (current_ > 0)
        text += QStringLiteral(" — ") + tr("日志文件/log file");
    if (const uint64_t lost = vci::bus_tap::dropped())
        text += tr(", %1 帧丢失/frames lost").arg(lost);
    text += QStringLiteral(" | ") + bus_state_text(static_cast<int>(vci::bus_tap::current_bus_state()));
    if (status_label_->full_text() != text)
        status_label_->set_full_text(text);
}

void Bus_trace::fit_status()
{
    // The status bar draws its message left of the permanent status and cuts what does not fit
    // there; the status, whose whole text is its tooltip, is the one that gives way.
    const QString message = statusBar()->currentMessage();
    if (message.isEmpty()) {
        status_label_->setMaximumWidth(QWIDGETSIZE_MAX);
        return;
    }
    // The message starts 6 pixels in; the status ends where it is, whatever its width (the size
    // grip follows it).
    constexpr int message_left = 6, gap = 12;
    const int status_right = status_label_->x() + status_label_->width();
    const int room = status_right - message_left - statusBar()->fontMetrics().horizontalAdvance(message) - gap;
    status_label_->setMaximumWidth(qMax(0, room));
}

void Bus_trace::say(const QString &text)
{
    statusBar()->showMessage(text);
    message_shown_.start();
}

bool Bus_trace::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && message_shown_.isValid() &&
        message_shown_.elapsed() >= message_min_ms && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == this) {
        statusBar()->clearMessage();
        message_shown_.invalidate();
    }
    return QMainWindow::eventFilter(watched, event);
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

void Bus_trace::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    refresh_nodes();
    refresh_identifiers();
    if (!shown_once_) {
        shown_once_ = true;
        show_five_nodes();
    }
}

void Bus_trace::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    fit_status();
}

void Bus_trace::show_five_nodes()
{
    // Set once the splitter has its height: sizes given before are only weights, and at the
    // default size those left the node table a single row.
    const int wanted = ui->node_table->height_for_rows(5);
    const QList<int> sizes = ui->splitter->sizes();
    if (sizes.size() != 2 || sizes[1] >= wanted)
        return;
    const int total = sizes[0] + sizes[1];
    const int frames = qMax(total - wanted, ui->views->minimumSizeHint().height());
    ui->splitter->setSizes({frames, total - frames});
}

void Bus_trace::retranslate()
{
    ui->retranslateUi(this);
    ui->sources->setTabText(0, tr("实时/Live"));
    for (const source &s : sources_)
        emit s.model->headerDataChanged(Qt::Horizontal, 0, trace::trace_model::column_count - 1);
    refresh_nodes();
    refresh_identifiers();
    refresh_send_list();
    refresh_dropped();
    refresh_status();
    fit_columns();
    fit_status();
}

// ---- logs: the file question, progress, a tab per opened log, and
// handing the log shown to the playback panel. Reading and writing the files is trace_log's.

namespace {

constexpr int listed_refusals = 20;

}  // namespace

QString Bus_trace::ask_file(bool saving)
{
    const QString filter = tr("candump 日志/candump log (*.log *.txt);;*");
    const QString kind = QStringLiteral("candump");
    return saving ? desktop_seams::choose_file(desktop_seams::file_mode::save, this, kind, tr("保存跟踪/Save trace"),
                                               QStringLiteral("bus.log"), filter)
                  : desktop_seams::choose_file(desktop_seams::file_mode::open, this, kind, tr("打开跟踪/Open trace"),
                                               QString(), filter);
}

bool Bus_trace::load_log(const QString &path, QString *error)
{
    QProgressDialog progress(tr("读取日志/Reading the log"), tr("取消/Cancel"), 0, 1000, this);
    progress.setMinimumDuration(300);
    trace::log_file log =
        trace::open_log(path, static_cast<size_t>(ui->cap->value()), [&](int permille) {
            progress.setValue(permille);
            QApplication::processEvents();
            return !progress.wasCanceled();
        });
    if (log.error != trace::log_error::none) {
        if (error) {
            switch (log.error) {
            case trace::log_error::cannot_open: *error = tr("无法打开文件/Cannot open the file"); break;
            case trace::log_error::no_frames: *error = tr("文件中没有 candump 帧/No candump frames in the file"); break;
            default: error->clear(); break;  // the user cancelled
            }
        }
        if (log.error == trace::log_error::no_frames)
            report_refused(path, log.read);
        return false;
    }
    auto *m = new trace::trace_model(log.read.log.cap(), this);
    m->context().error_text = [this](uint16_t code) { return error_text(code); };
    m->set_relative_time(ui->relative_time->isChecked());
    m->set_filter(live_model()->filter());
    m->load(std::move(log.read.log));
    sources_.push_back({m, path, trace::send_plan(m->log())});
    const int tab = ui->sources->addTab(QFileInfo(path).fileName());
    ui->sources->setTabToolTip(tab, path);
    ui->sources->setCurrentIndex(tab);  // shows it
    if (log.read.refused_lines)
        report_refused(path, log.read);
    else
        say(tr("已打开 %1：%2 帧/Opened %1: %2 frames").arg(QFileInfo(path).fileName()).arg(m->frame_count()));
    return true;
}

void Bus_trace::report_refused(const QString &path, const trace::read_result &read)
{
    const auto reason = [this](trace::line_fault why) {
        switch (why) {
        case trace::line_fault::too_long: return tr("行太长/line too long");
        case trace::line_fault::fields: return tr("不是“(时间) 接口 帧 [T|R]”/not \"(time) interface frame [T|R]\"");
        case trace::line_fault::time: return tr("时间无效/bad time");
        case trace::line_fault::identifier: return tr("标识符无效/bad identifier");
        case trace::line_fault::data: return tr("数据无效/bad data");
        case trace::line_fault::length: return tr("长度无效/bad length");
        case trace::line_fault::direction: return tr("方向不是 T 或 R/direction is not T or R");
        }
        return QString();
    };
    const QString name = QFileInfo(path).fileName();
    QStringList lines;
    for (size_t i = 0; i < read.refused.size() && i < size_t(listed_refusals); ++i)
        lines << tr("第 %1 行/line %1").arg(read.refused[i].line) + QStringLiteral(": ") + reason(read.refused[i].why);
    if (read.refused_lines > size_t(lines.size()))
        lines << tr("另有 %1 行/and %1 more lines").arg(read.refused_lines - size_t(lines.size()));
    say(tr("%1：%2 帧，跳过 %3 行/%1: %2 frames, %3 lines skipped")
            .arg(name)
            .arg(read.log.size())
            .arg(read.refused_lines));
    desktop_seams::information(this, tr("提示/Notice"),
                               tr("%1 中有 %2 行无法读取，已跳过/%2 lines of %1 could not be read and were skipped:")
                                       .arg(name)
                                       .arg(read.refused_lines) +
                                   QStringLiteral("\n") + lines.join(QLatin1Char('\n')));
}

void Bus_trace::close_source(int index)
{
    if (index <= 0 || index >= static_cast<int>(sources_.size()))
        return;
    trace::trace_model *m = sources_[static_cast<size_t>(index)].model;
    if (ui->replay_panel->playing() == m)
        stop_replay();
    if (current_ >= index)
        ui->sources->setCurrentIndex(current_ == index ? 0 : current_ - 1);
    sources_.erase(sources_.begin() + index);
    ui->sources->removeTab(index);
    current_ = ui->sources->currentIndex();
    show_source(current_);
    delete m;
}

bool Bus_trace::save_log(const QString &path)
{
    const trace::trace_model *m = model();
    QProgressDialog progress(tr("保存日志/Saving the log"), tr("取消/Cancel"), 0, qMax(1, m->rowCount()), this);
    progress.setMinimumDuration(300);
    const bool saved = trace::save_log(path, m->log(), m->rows(), [&](size_t done) {
        progress.setValue(static_cast<int>(done));
        QApplication::processEvents();
        return !progress.wasCanceled();
    });
    // A cancelled save leaves no half-written log behind; it is no failure either.
    if (!saved && progress.wasCanceled()) {
        QFile::remove(path);
        return true;
    }
    return saved;
}

void Bus_trace::set_replay_clock(replay_clock clock) { ui->replay_panel->set_clock(std::move(clock)); }

bool Bus_trace::start_replay()
{
    if (current_ == 0) {
        say(tr("请先打开日志/Open a log first"));
        return false;
    }
    return ui->replay_panel->start(model(), current().plan);
}

void Bus_trace::stop_replay() { ui->replay_panel->stop(); }

void Bus_trace::refresh_replay_controls()
{
    ui->replay_panel->set_log_shown(current_ > 0);
    ui->send_ids->setEnabled(!ui->replay_panel->running());
}
