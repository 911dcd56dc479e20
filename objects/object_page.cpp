#include "objects/object_page.h"

#include "base/desktop_seams.h"
#include "base/document_lookup.h"
#include "base/hex.h"
#include "base/shared_values.h"
#include "can/step_job.h"
#include "can/vci/bus_backend.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_bus_link.h"
#include "objects/od_actions.h"
#include "objects/od_tree_model.h"
#include "objects/standard_objects.h"

#include "ui_object_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

using namespace objects;
using canopen::data_type;
using canopen::encoded;
using canopen::format_value;
using canopen::is_known_type;
using canopen::type_from_name;
using canopen::type_name;

namespace {

// Before anything is read the value column still offers room for a typical value.
constexpr int value_room = 200;

const char *const eds_name = "velmora_joint.eds";
// Data sheets read and configurations written share their folder.
const QString eds_kind = QStringLiteral("eds");

QString outcome_text(const sdo_outcome &o)
{
    return o.ok ? QCoreApplication::translate("Object_page", "完成/done") : failure_text(o);
}

QString cancelled_text() { return QCoreApplication::translate("Object_page", "已取消/cancelled"); }

QString busy_text()
{
    return QCoreApplication::translate("Object_page", "请等待当前传输结束/Wait for the transfer in progress to end");
}

QString object_text(uint16_t index, uint8_t sub) { return hex::prefixed(index, 4) + QLatin1Char(':') + QString::number(sub); }

// Characters of a value too long for the value field that it still shows.
constexpr int value_preview = 96;

}  // namespace

Object_page::Object_page(const host &h, QWidget *parent) : QWidget(parent), ui(new Ui::Object_page), host_(h), model_(new od_tree_model(this))
{
    ui->setupUi(this);
    ui->objects->setModel(model_);
    follow_connection();
    model_->set_node_id(node());
    connect(ui->node, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int n) {
        node_chosen_ = node_chosen_ || !setting_node_;
        model_->set_node_id(n);
        emit node_changed(n);
    });
    model_->set_document(standard_objects());
    fit_columns();
    ui->type->setCurrentText(QStringLiteral("UNSIGNED16"));
    set_document_title(QStringLiteral("CiA 301/402"));
    connect(ui->objects, &QTreeView::clicked, this, &Object_page::show_entry);
    // One job runs at a time: when one ends, it was this page's if this page had one.
    connect(&job_runner::instance(), &job_runner::finished, this, [this] { job_running_ = false; });
}

Object_page::~Object_page()
{
    // A transfer of this page's does not outlive it; the server hears of its end.
    if (job_running_)
        job_runner::instance().cancel();
    delete ui;
}

QString Object_page::simulated_joint_eds()
{
    const QString path = document_lookup::locate(QStringLiteral("Document/") + QLatin1String(eds_name));
    return QFile::exists(path) ? path : QString();
}

void Object_page::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        emit model_->headerDataChanged(Qt::Horizontal, 0, od_tree_model::col_count - 1);
        fit_columns(true);
    }
}

void Object_page::offer_simulated_data_sheet()
{
    if (!document_chosen_ && vci::simulated_bus_selected()) {
        const QString path = simulated_joint_eds();
        if (!path.isEmpty())
            load_eds(path);
    }
}

int Object_page::bus() const { return host_.bus ? host_.bus() : 0; }

bool Object_page::window_job_running() const { return host_.job_running ? host_.job_running() : job_running_; }

void Object_page::set_document_buttons_enabled(bool enabled)
{
    ui->read_all->setEnabled(enabled);
    ui->open_eds->setEnabled(enabled);
}

void Object_page::choose_node(int node) { ui->node->setValue(node); }

// ---- helpers -----------------------------------------------------------------------------

int Object_page::node() const { return ui->node->value(); }

void Object_page::set_node(int node)
{
    setting_node_ = true;
    ui->node->setValue(node);
    setting_node_ = false;
    model_->set_node_id(ui->node->value());
}

// Until the user picks a node, the window talks to the node the connection window connected.
void Object_page::follow_connection()
{
    if (!node_chosen_ && node_connected == 1 && node_id >= 1 && node_id <= 127)
        set_node(node_id);
}

bool Object_page::canopen_ready()
{
    // Any node can be asked once the adapter is open; only the connected joint's firmware is known.
    if (device_open == 0) {
        show_status(tr("请先在节点窗口扫描以打开适配器/Open the adapter first (Scan in the node window)"), true);
        return false;
    }
    if (!bus_lost_text().isEmpty()) {
        show_status(bus_lost_text(), true);
        return false;
    }
    if (node_connected == 1 && node() == node_id && canopen_supported == 0) {
        show_status(tr("此关节固件不支持CANopen/This joint's firmware has no CANopen"), true);
        return false;
    }
    if (job_runner::instance().busy()) {
        show_status(busy_text(), true);
        return false;
    }
    return true;
}

void Object_page::start_job(std::unique_ptr<step_job> job, const QString &label)
{
    job_running_ = start_job_with_progress(std::move(job), window(), label);
}

canopen::sdo_link Object_page::link() { return link_to(node()); }

canopen::sdo_link Object_page::link_to(int node)
{
    return canopen::exchange_sdo_link(bus_ops(bus()), node, canopen::sdo_timeout_ms,
                                      [this](const QString &t) { emit senddata(t); });
}

void Object_page::show_status(const QString &text, bool error)
{
    ui->status->setStyleSheet(error ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
    ui->status->setText(text);
}

void Object_page::fit_columns(bool keep_wider)
{
    // Every column as wide as its widest text, entries of collapsed objects included, those that
    // differ from their default in their bold font, the index column with its indentation; the
    // view scrolls when the window is narrower. Read values are as long as the joint makes them,
    // so the value column fits them too rather than stretching over them.
    QTreeView *view = ui->objects;
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 4;
    const int indent = view->indentation();
    int widths[od_tree_model::col_count];
    for (int c = 0; c < od_tree_model::col_count; ++c)
        widths[c] = qMax(view->header()->sectionSizeHint(c), keep_wider ? view->columnWidth(c) : 0);
    const auto measure = [&](const QModelIndex &row, int depth) {
        for (int c = 0; c < od_tree_model::col_count; ++c) {
            const QModelIndex cell = row.sibling(row.row(), c);
            const QVariant font = model_->data(cell, Qt::FontRole);
            const QFontMetrics metrics(font.isValid() ? qvariant_cast<QFont>(font).resolve(view->font()) : view->font());
            int w = metrics.horizontalAdvance(model_->data(cell, Qt::DisplayRole).toString()) + margin;
            if (c == 0)
                w += indent * (depth + (view->rootIsDecorated() ? 1 : 0));
            widths[c] = qMax(widths[c], w);
        }
    };
    for (int r = 0; r < model_->rowCount(); ++r) {
        const QModelIndex object = model_->index(r, 0);
        measure(object, 0);
        for (int e = 0; e < model_->rowCount(object); ++e)
            measure(model_->index(e, 0, object), 1);
    }
    widths[od_tree_model::col_value] = qMax(widths[od_tree_model::col_value], value_room);
    view->header()->setStretchLastSection(false);
    for (int c = 0; c < od_tree_model::col_count; ++c)
        view->setColumnWidth(c, widths[c]);
}

void Object_page::set_document_title(const QString &text)
{
    ui->eds_file->setText(text);
}

bool Object_page::read_address(uint16_t *index, uint8_t *sub)
{
    // Hexadecimal as every CANopen document writes them: 6064, 0x6064 and 6064h are 0x6064. An
    // empty subindex is sub 0, as its placeholder shows.
    uint64_t i = 0, s = 0;
    const QString sub_text = ui->subindex->text().trimmed().isEmpty() ? QStringLiteral("0") : ui->subindex->text();
    if (!hex::parse(ui->index->text(), &i) || i > 0xFFFF || !hex::parse(sub_text, &s) || s > 0xFF) {
        show_status(tr("索引或子索引无效/Index or subindex is not a hex number in range"), true);
        return false;
    }
    *index = static_cast<uint16_t>(i);
    *sub = static_cast<uint8_t>(s);
    // Shown as they were taken.
    ui->index->setText(hex::prefixed(*index, 4));
    ui->subindex->setText(hex::prefixed(*sub, 2));
    return true;
}

uint16_t Object_page::selected_type() const
{
    data_type t = data_type::unsigned32;
    type_from_name(ui->type->currentText(), &t);
    return static_cast<uint16_t>(t);
}

od_entry *Object_page::entry(uint16_t index, uint8_t sub)
{
    for (od_object &o : model_->document().objects)
        if (o.index == index)
            for (od_entry &e : o.entries)
                if (e.sub == sub)
                    return &e;
    return nullptr;
}

void Object_page::show_entry(const QModelIndex &index)
{
    const od_entry *e = model_->entry_at(index);
    if (!e)
        return;
    ui->index->setText(hex::prefixed(e->index, 4));
    ui->subindex->setText(hex::prefixed(e->sub, 2));
    if (is_known_type(e->type))
        ui->type->setCurrentText(type_name(e->type));
    ui->value->setText(e->parameter_value);
}

// ---- CANopen page ------------------------------------------------------------------------

void Object_page::on_read_clicked()
{
    uint16_t index = 0;
    uint8_t sub = 0;
    if (!read_address(&index, &sub) || !canopen_ready())
        return;
    const uint16_t type = selected_type();
    // A DOMAIN may be large: block transfer, or segments from a node without it.
    const canopen::sdo_transfer upload = type == static_cast<uint16_t>(data_type::domain)
                                             ? canopen::sdo_transfer::block_upload(index, sub)
                                             : canopen::sdo_transfer::upload(index, sub);
    start_job(canopen::sdo_job::one(link(), upload,
                                    [this, index, sub, type](const sdo_outcome &o, bool cancelled) {
                                        show_read(index, sub, type, o, cancelled);
                                    }),
              tr("正在读取/Reading %1").arg(object_text(index, sub)));
}

void Object_page::show_read(uint16_t index, uint8_t sub, uint16_t type, const sdo_outcome &o, bool cancelled)
{
    if (cancelled || !o.ok) {
        show_status(cancelled ? cancelled_text() : failure_text(o), true);
        return;
    }
    od_entry *e = entry(index, sub);
    const QString text = e && e->type == type ? value_text(*e, o.data) : format_value(type, o.data);
    if (text.size() > ui->value->maxLength()) {
        // A recording or a program does not fit the field: its start shows, marked so that it
        // cannot be written back, and the dictionary keeps no cut value for a DCF.
        ui->value->setText(text.left(value_preview) + QChar(0x2026));
        if (e) {
            e->parameter_value.clear();
            e->differs = false;
            model_->values_changed();
        }
        show_status(tr("读取完成/read %1 bytes, 过长无法显示/too long to show").arg(o.data.size()), false);
        return;
    }
    ui->value->setText(text);
    if (e) {
        e->parameter_value = text;
        e->differs = differs_from_default(*e, o.data, node());
        model_->values_changed();
        fit_columns(true);
    }
    show_status(tr("读取完成/read %1 bytes").arg(o.data.size()), false);
}

void Object_page::on_write_clicked()
{
    uint16_t index = 0;
    uint8_t sub = 0;
    if (!read_address(&index, &sub))
        return;
    const uint16_t type = selected_type();
    // Refused here, before anything is sent: a value the type or the object's limits exclude.
    const encoded value = prepare_write(entry(index, sub), type, ui->value->text());
    if (!value.ok) {
        show_status(value.error, true);
        return;
    }
    if (!canopen_ready())
        return;
    const QString text = ui->value->text();
    const QByteArray bytes = value.bytes;
    start_job(canopen::sdo_job::one(link(), canopen::sdo_transfer::large_download(index, sub, bytes),
                                    [this, index, sub, type, text, bytes](const sdo_outcome &o, bool cancelled) {
                                        show_written(index, sub, type, text, bytes, o, cancelled);
                                    }),
              tr("正在写入/Writing %1").arg(object_text(index, sub)));
}

void Object_page::show_written(uint16_t index, uint8_t sub, uint16_t type, const QString &text,
                                     const QByteArray &bytes, const sdo_outcome &o, bool cancelled)
{
    if (cancelled || !o.ok) {
        show_status(cancelled ? cancelled_text() : failure_text(o), true);
        return;
    }
    if (od_entry *e = entry(index, sub)) {
        e->parameter_value = e->type == type ? value_text(*e, bytes) : text;
        e->differs = differs_from_default(*e, bytes, node());
        model_->values_changed();
        fit_columns(true);
    }
    show_status(tr("写入完成/written"), false);
}

void Object_page::on_open_eds_clicked()
{
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::open, window(), eds_kind,
                                                    tr("打开EDS/Open EDS"), simulated_joint_eds(),
                                                    QStringLiteral("EDS/DCF (*.eds *.dcf *.EDS *.DCF);;* (*)"));
    if (!path.isEmpty())
        load_eds(path);
}

bool Object_page::load_eds(const QString &path)
{
    // Read all writes into the document it started on.
    if (window_job_running()) {
        show_status(busy_text(), true);
        return false;
    }
    eds_result r = read_eds_file(path);
    const QString name = QFileInfo(path).fileName();
    if (!r.ok) {
        show_status(r.error, true);
        return false;
    }
    // Values already read stay with their objects; none is dropped without asking.
    const int held = values_held(model_->document());
    const int lost = carry_values(model_->document(), r.document);
    if (lost > 0
        && desktop_seams::question(window(), tr("提示/Notice"),
                                   tr("%1个已读取的值在%2中没有位置（无此对象或文件自带值），打开后将不再显示。仍然打开？\n"
                                      "%1 values read have no place in %2 (no such object, or the file gives its "
                                      "own value) and will no longer show. Open it anyway?")
                                       .arg(lost)
                                       .arg(name))
               != QMessageBox::Yes)
        return false;
    model_->set_document(r.document);
    fit_columns(held > 0);
    document_chosen_ = true;
    set_document_title(name);
    QString text = tr("已载入/loaded %1 objects").arg(r.document.objects.size());
    if (held > lost)
        text += tr(", 保留已读取的值/kept %1 values read").arg(held - lost);
    show_status(text, false);
    return true;
}

void Object_page::on_read_all_clicked()
{
    if (!canopen_ready())
        return;
    start_job(read_all_job(model_->document(), link(), node(), [this](const read_all_summary &s) { show_read_all(s); }),
              tr("正在读取对象/Reading objects"));
}

void Object_page::show_read_all(const read_all_summary &s)
{
    model_->values_changed();
    fit_columns(true);
    ui->objects->expandAll();
    QString text = tr("已读取/read %1, 被拒绝/refused %2").arg(s.read).arg(s.refused);
    if (s.cancelled)
        text += tr(", 已取消/cancelled");
    if (s.no_answer)
        text += bus_lost_text().isEmpty() ? tr(", 节点无应答/the joint stopped answering") : QStringLiteral(", ") + bus_lost_text();
    show_status(text, s.no_answer);
}

void Object_page::on_export_dcf_clicked()
{
    if (values_held(model_->document()) == 0
        && desktop_seams::question(window(), tr("提示/Notice"),
                                   tr("尚未读取任何值：DCF将含0个值。仍然导出？\n"
                                      "Nothing was read: the DCF would hold 0 values. Export it anyway?"))
               != QMessageBox::Yes)
        return;
    const QString suggested = QStringLiteral("joint%1.dcf").arg(node());
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::save, window(), eds_kind,
                                                    tr("导出DCF/Export DCF"), suggested,
                                                    QStringLiteral("DCF (*.dcf)"));
    if (!path.isEmpty())
        export_dcf_to(path);
}

bool Object_page::export_dcf_to(const QString &path)
{
    QFile f(path);
    dcf_device device = device_of_values(model_->document(), node());
    // The adapter's rate is the bus's while the adapter talks to the drives.
    if (device_open == 1)
        device.baudrate_kbps = baud_kbps;
    const QByteArray text = write_dcf(model_->document(), device, QFileInfo(path).fileName());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size()) {
        show_status(tr("无法写入/Cannot write %1").arg(path), true);
        return false;
    }
    show_status(tr("已导出/exported %1: %2个值/%2 values")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(values_held(model_->document())),
                false);
    return true;
}

void Object_page::run_parameter_command(bool store)
{
    if (!canopen_ready())
        return;
    const QString question = store ? tr("将当前参数保存到关节(0x1010)？\nSave the joint's parameters (0x1010)?")
                                   : tr("恢复默认参数(0x1011)？复位节点后生效。\nRestore the default parameters (0x1011)? They apply after a reset node.");
    if (desktop_seams::question(window(), tr("提示/Notice"), question) != QMessageBox::Yes)
        return;
    // The question ran an event loop of its own: another job may have started meanwhile.
    if (!canopen_ready())
        return;
    start_job(canopen::sdo_job::one(link(), store ? store_parameters() : restore_default_parameters(),
                                    [this](const sdo_outcome &o, bool cancelled) {
                                        if (cancelled) {
                                            show_status(cancelled_text(), true);
                                            return;
                                        }
                                        show_status(outcome_text(o), !o.ok);
                                        if (o.ok)
                                            desktop_seams::information(window(), tr("提示/Notice"), outcome_text(o));
                                        else
                                            desktop_seams::warning(window(), tr("警告/Warning"), outcome_text(o));
                                    }),
              store ? tr("正在保存参数/Saving parameters") : tr("正在恢复默认参数/Restoring defaults"));
}

void Object_page::on_save_params_clicked() { run_parameter_command(true); }

void Object_page::on_restore_params_clicked() { run_parameter_command(false); }

void Object_page::on_lss_clicked() { emit lss_requested(); }
