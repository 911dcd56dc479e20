#include "objects/commissioning_page.h"

#include "ui_commissioning_page.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "base/shared_values.h"
#include "can/step_job.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/nmt_state.h"
#include "canopen/sdo_bus_link.h"
#include "can/vci/bus_backend.h"
#include "objects/od_actions.h"
#include "objects/dcf_diff_model.h"
#include "objects/bench_page.h"
#include "objects/dcf_report.h"
#include "objects/node_discovery.h"
#include "objects/standard_objects.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QEvent>
#include <QSortFilterProxyModel>

using namespace objects;

namespace {

const QString dcf_kind = QStringLiteral("eds");
const QString report_kind = QStringLiteral("dcf_report");
const QString firmware_kind = QStringLiteral("firmware");
const QString firmware_report_kind = QStringLiteral("firmware_report");

enum node_column { nc_node, nc_type, nc_vendor, nc_product, nc_revision, nc_serial, nc_name, nc_state, nc_count };

QStringList node_headers()
{
    static const char *const headers[nc_count] = {
        QT_TRANSLATE_NOOP("Commissioning_page", "节点/Node"),    QT_TRANSLATE_NOOP("Commissioning_page", "设备类型/Device type"),
        QT_TRANSLATE_NOOP("Commissioning_page", "厂商/Vendor"),  QT_TRANSLATE_NOOP("Commissioning_page", "产品/Product"),
        QT_TRANSLATE_NOOP("Commissioning_page", "版本/Revision"), QT_TRANSLATE_NOOP("Commissioning_page", "序列号/Serial"),
        QT_TRANSLATE_NOOP("Commissioning_page", "名称/Name"),    QT_TRANSLATE_NOOP("Commissioning_page", "NMT状态/NMT state")};
    QStringList texts;
    for (const char *h : headers)
        texts << QCoreApplication::translate("Commissioning_page", h);
    return texts;
}

QString node_list_text(const std::vector<int> &nodes)
{
    QStringList parts;
    for (const int n : nodes)
        parts << QString::number(n);
    return parts.join(QLatin1Char(','));
}

}  // namespace

Commissioning_page::Commissioning_page(const host &h, QWidget *parent)
    : QWidget(parent), ui(new Ui::Commissioning_page), host_(h), dcf_model_(new dcf_diff_model(this))
{
    ui->setupUi(this);
    ui->nodes->setColumnCount(nc_count);
    ui->nodes->setHorizontalHeaderLabels(node_headers());
    ui->nodes->horizontalHeader()->setStretchLastSection(true);
    ui->nodes->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *shown = new QSortFilterProxyModel(this);
    shown->setSourceModel(dcf_model_);
    shown->setFilterKeyColumn(dcf_diff_model::col_state);
    shown->setFilterRole(dcf_diff_model::filter_role);
    ui->dcf_diff->setModel(shown);
    connect(ui->dcf_differences_only, &QCheckBox::toggled, shown, [shown](bool only) {
        shown->setFilterRegularExpression(only ? QStringLiteral("^other$") : QString());
    });
    ui->dcf_diff->horizontalHeader()->setStretchLastSection(true);
    ui->dcf_diff->resizeColumnsToContents();
    ui->commissioning_progress->hide();
    ui->commissioning_cancel->hide();
    connect(&job_runner::instance(), &job_runner::progress, this, [this](int done, int total) {
        if (!page_job_)
            return;
        ui->commissioning_progress->setMaximum(qMax(total, 1));
        ui->commissioning_progress->setValue(qMin(done, total));
    });
    // One job runs at a time: when one ends, it was this page's if this page had one.
    connect(&job_runner::instance(), &job_runner::finished, this, [this] {
        job_running_ = false;
        page_job_ = false;
        set_busy(false);
    });
    // Choosing a found node makes it the window's node.
    connect(ui->nodes, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (const QTableWidgetItem *item = ui->nodes->item(row, nc_node))
            emit node_chosen(item->text().toInt());
    });
    set_current_node(node_);

    // The bench has a page of its own below discovery.
    Bench_page::host bench;
    bench.ready = [this](QString *why) {
        if (device_open == 0)
            *why = tr("请先在节点窗口扫描以打开适配器/Open the adapter first (Scan in the node window)");
        else if (!bus_lost_text().isEmpty())
            *why = bus_lost_text();
        else if (job_runner::instance().busy())
            *why = tr("请等待当前传输结束/Wait for the transfer in progress to end");
        return why->isEmpty();
    };
    bench.log = [this](const QString &t) { emit senddata(t); };
    bench.data_sheet = [this] { return host_.data_sheet ? host_.data_sheet() : standard_objects(); };
    bench.bus = [this] { return bus(); };
    bench.running = [this](bool running) { job_running_ = running; };
    auto *page = new Bench_page(bench, this);
    page->setObjectName(QStringLiteral("bench_page"));
    ui->commissioning_layout->insertWidget(1, page);
}

Commissioning_page::~Commissioning_page()
{
    // A job of this page's does not outlive it.
    if (job_running_)
        job_runner::instance().cancel();
    delete ui;
}

void Commissioning_page::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        ui->nodes->setHorizontalHeaderLabels(node_headers());
        emit dcf_model_->headerDataChanged(Qt::Horizontal, 0, dcf_diff_model::col_count - 1);
    }
}

void Commissioning_page::set_current_node(int node)
{
    node_ = node;
    ui->dcf_nodes->setPlaceholderText(QString::number(node));
}

int Commissioning_page::bus() const { return host_.bus ? host_.bus() : 0; }

canopen::sdo_link Commissioning_page::link_to(int node)
{
    return canopen::exchange_sdo_link(bus_ops(bus()), node, canopen::sdo_timeout_ms,
                                      [this](const QString &t) { emit senddata(t); });
}

void Commissioning_page::show_commissioning_status(const QString &text, bool error)
{
    ui->commissioning_status->setStyleSheet(error ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
    ui->commissioning_status->setText(text);
}

bool Commissioning_page::commissioning_ready()
{
    if (device_open == 0) {
        show_commissioning_status(tr("请先在节点窗口扫描以打开适配器/Open the adapter first (Scan in the node window)"), true);
        return false;
    }
    if (!bus_lost_text().isEmpty()) {
        show_commissioning_status(bus_lost_text(), true);
        return false;
    }
    if (job_runner::instance().busy()) {
        show_commissioning_status(tr("请等待当前传输结束/Wait for the transfer in progress to end"), true);
        return false;
    }
    return true;
}

// ---- the page's jobs -----------------------------------------------------------------------

void Commissioning_page::start_page_job(std::unique_ptr<step_job> job)
{
    if (!job_runner::instance().start(std::move(job)))
        return;
    job_running_ = page_job_ = true;
    ui->commissioning_progress->setValue(0);
    set_busy(true);
}

void Commissioning_page::on_commissioning_cancel_clicked()
{
    if (!page_job_)
        return;
    // A download stops between two objects, a firmware update after the node in hand (never
    // leaving it without a program); anything else at once.
    if (download_)
        download_->stop_between_objects();
    else if (firmware_)
        firmware_->stop_after_node();
    else
        job_runner::instance().cancel();
}

void Commissioning_page::set_busy(bool busy)
{
    ui->commissioning_progress->setVisible(busy);
    ui->commissioning_cancel->setVisible(busy);
    for (QWidget *w : {static_cast<QWidget *>(ui->discover), static_cast<QWidget *>(ui->open_dcf),
                       static_cast<QWidget *>(ui->compare_dcf), static_cast<QWidget *>(ui->download_dcf),
                       static_cast<QWidget *>(ui->save_dcf_report), static_cast<QWidget *>(ui->update_firmware),
                       static_cast<QWidget *>(ui->save_firmware_report)})
        w->setEnabled(!busy);
    emit busy_changed(busy);
}

// ---- discovery -----------------------------------------------------------------------------

void Commissioning_page::on_discover_clicked()
{
    if (!commissioning_ready())
        return;
    const discovery_bus wire = discovery_on_bus(bus(), [this](int n) { return link_to(n); },
                                                [this](const QString &t) { emit senddata(t); });
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    show_commissioning_status(tr("正在查找节点/Discovering nodes..."), false);
    start_page_job(std::make_unique<node_discovery>(wire, [this, clock](const node_discovery &d, bool cancelled) {
        show_nodes(d.nodes());
        if (!bus_lost_text().isEmpty())
            return show_commissioning_status(bus_lost_text(), true);
        show_commissioning_status(tr("找到%1个CANopen节点/found %1 CANopen nodes (%2 s)%3")
                                      .arg(d.nodes().size())
                                      .arg(static_cast<double>(clock->elapsed()) / 1000.0, 0, 'f', 2)
                                      .arg(cancelled ? tr(", 已取消/cancelled") : QString()),
                                  false);
    }));
}

void Commissioning_page::show_nodes(const std::vector<found_node> &nodes)
{
    ui->nodes->setRowCount(0);
    for (const found_node &n : nodes) {
        const int row = ui->nodes->rowCount();
        ui->nodes->insertRow(row);
        const QString cells[nc_count] = {QString::number(n.node), n.device_type, n.vendor, n.product, n.revision,
                                         n.serial, n.answers_sdo ? n.name : tr("无SDO应答/no SDO answer"),
                                         canopen::nmt_state_text(n.nmt_state)};
        for (int c = 0; c < nc_count; ++c)
            ui->nodes->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

// ---- configuration from a DCF --------------------------------------------------------------

void Commissioning_page::on_open_dcf_clicked()
{
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::open, window(), dcf_kind,
                                                    tr("打开DCF/Open DCF"), QString(),
                                                    QStringLiteral("DCF (*.dcf *.DCF);;* (*)"));
    if (!path.isEmpty())
        open_dcf(path);
}

bool Commissioning_page::open_dcf(const QString &path)
{
    const eds_result r = read_eds_file(path);
    const QString name = QFileInfo(path).fileName();
    if (!r.ok) {
        show_commissioning_status(r.error, true);
        return false;
    }
    const size_t values = dcf_values(r.document, 1).size();
    if (values == 0) {
        show_commissioning_status(tr("%1不含任何值/%1 holds no values (ParameterValue)").arg(name), true);
        return false;
    }
    dcf_ = r.document;
    dcf_name_ = name;
    ui->dcf_file->setText(name);
    ui->dcf_file->setToolTip(path);
    dcf_model_->set_rows({});
    show_commissioning_status(tr("已载入/loaded %1: %2个值/%2 values").arg(name).arg(values), false);
    return true;
}

bool Commissioning_page::dcf_ready()
{
    if (dcf_name_.isEmpty())
        on_open_dcf_clicked();
    return !dcf_name_.isEmpty();
}

bool Commissioning_page::dcf_targets(std::vector<int> *nodes)
{
    const QString text = ui->dcf_nodes->text().trimmed();
    if (text.isEmpty()) {
        *nodes = {node_};
        return true;
    }
    QString error;
    if (parse_node_list(text, nodes, &error))
        return true;
    show_commissioning_status(error, true);
    return false;
}

dcf_wire Commissioning_page::wire()
{
    dcf_wire w;
    w.link = [this](int n) { return link_to(n); };
    w.pre_operational = [this](int n) {
        const canopen::frame f = canopen::nmt(canopen::nmt_enter_pre_operational,
                                              static_cast<int32_t>(canopen::sdo_request_base) + n);
        run_canopen_exchange(bus_ops(bus()), f.id, f.data, f.len, 0,
                             QStringLiteral("NMT预运行/NMT pre-operational %1").arg(n), 1,
                             [this](const QString &t) { emit senddata(t); });
    };
    w.bus_lost = [this] { return vci::bus_lost(bus()); };
    w.watch = watch_;
    return w;
}

void Commissioning_page::on_compare_dcf_clicked()
{
    std::vector<int> nodes;
    if (!dcf_targets(&nodes) || !commissioning_ready() || !dcf_ready())
        return;
    start_dcf_job(dcf_job::mode::compare, nodes);
}

void Commissioning_page::on_download_dcf_clicked()
{
    std::vector<int> nodes;
    if (!dcf_targets(&nodes) || !commissioning_ready() || !dcf_ready())
        return;
    const QString question = tr("将%1中不同的值写入节点%2？节点先进入预运行状态。\n"
                                "Write the values of %1 that differ to node(s) %2? Each node goes "
                                "pre-operational first.")
                                 .arg(dcf_name_, node_list_text(nodes));
    // The question ran an event loop of its own: another job may have started meanwhile.
    if (desktop_seams::question(window(), tr("提示/Notice"), question) != QMessageBox::Yes || !commissioning_ready())
        return;
    start_dcf_job(dcf_job::mode::download, nodes);
}

void Commissioning_page::start_dcf_job(dcf_job::mode mode, const std::vector<int> &nodes)
{
    // Watched from before the first frame until the store: a reboot anywhere in between counts.
    watch_ = std::make_shared<reboot_watch>(tapped_error_control(nodes, bus()));
    report_head_ = report_head();
    report_head_.dcf_file = dcf_name_;
    report_head_.started = QDateTime::currentDateTime();
    auto job = std::make_unique<dcf_job>(mode, dcf_, nodes, wire(), [this](const dcf_job &j, bool) {
        download_ = nullptr;
        dcf_job_finished(j);
    });
    dcf_model_->set_rows(job->rows());
    if (mode == dcf_job::mode::download)
        report_.clear();
    show_commissioning_status(mode == dcf_job::mode::compare ? tr("正在比较/Comparing...") : tr("正在下载/Downloading..."),
                              false);
    dcf_job *running = job.get();
    start_page_job(std::move(job));
    if (page_job_)
        download_ = running;
}

void Commissioning_page::dcf_job_finished(const dcf_job &job)
{
    dcf_model_->set_rows(job.rows());
    ui->dcf_diff->resizeColumnsToContents();
    const dcf_totals &t = job.totals();
    QString text = tr("完成节点/nodes done %1 of %2: 比较/compared %3, 不同/differing %4")
                       .arg(t.nodes_done)
                       .arg(job.node_count())
                       .arg(t.compared)
                       .arg(t.differing);
    if (job.downloads())
        text += tr("; 写入/written %1, 已校验/verified %2, 被拒绝/refused %3").arg(t.written).arg(t.verified).arg(t.refused);
    std::vector<int> rebooted;
    for (const node_summary &n : job.summaries())
        if (n.outcome == node_summary::result::rebooted)
            rebooted.push_back(n.node);
    if (!rebooted.empty())
        text += tr("; 节点/node %1: %2").arg(node_list_text(rebooted), rebooted_text());
    if (t.bus_lost)
        text += QStringLiteral("; ") + (bus_lost_text().isEmpty() ? bus_lost_note() : bus_lost_text());
    else if (t.cancelled)
        text += tr("; 已取消/cancelled");
    if (job.downloads()) {
        report_ = job.report();
        report_head_.nodes = job.summaries();
    }
    const bool whole = t.nodes_done == job.node_count() && t.refused == 0 && t.verified >= t.written;
    show_commissioning_status(text, !whole || t.bus_lost || t.cancelled);
    // Nothing can be stored on a lost bus.
    if (job.downloads() && !t.cancelled && !t.bus_lost && !job.nodes_written().empty())
        offer_store(job.nodes_written());
    // A store under way holds the watch itself; nothing else needs it any more.
    watch_.reset();
}

// Nodes that rebooted since the download ended lost what it wrote: they are left out, and the
// user is asked again about the rest.
void Commissioning_page::offer_store(std::vector<int> nodes)
{
    std::map<int, int> reboots;
    if (watch_) {
        watch_->look();
        for (const int n : nodes)
            reboots[n] = watch_->reboots(n);
    }
    QString left_out;
    for (;;) {
        const QString question = left_out + tr("将参数保存到节点%1(0x1010:1 \"save\")？\nStore the parameters in node(s) %1 "
                                               "(0x1010:1 \"save\")?")
                                                .arg(node_list_text(nodes));
        if (desktop_seams::question(window(), tr("提示/Notice"), question) != QMessageBox::Yes)
            return;
        if (!watch_)
            break;
        watch_->look();
        std::vector<int> kept, dropped;
        for (const int n : nodes)
            (watch_->reboots(n) > reboots[n] ? dropped : kept).push_back(n);
        if (dropped.empty())
            break;
        if (kept.empty()) {
            show_commissioning_status(ui->commissioning_status->text() + tr("; 节点/node %1: %2").arg(node_list_text(dropped), rebooted_text()), true);
            return;
        }
        left_out = tr("节点/node %1: %2\n").arg(node_list_text(dropped), rebooted_text());
        nodes = kept;
        for (const int n : nodes)
            reboots[n] = watch_->reboots(n);
    }
    // The question ran an event loop of its own: the bus may have gone, another job started.
    if (!commissioning_ready())
        return;
    const QString before = ui->commissioning_status->text();
    start_page_job(std::make_unique<store_job>(nodes, wire(), [this, before](const store_job &store, bool) {
        report_.insert(report_.end(), store.report().begin(), store.report().end());
        QString text = before + tr("; 已保存/stored %1 of %2").arg(store.stored()).arg(store.report().size());
        if (store.bus_lost())
            text += QStringLiteral("; ") + bus_lost_note();
        show_commissioning_status(text, store.stored() < static_cast<int>(store.report().size()));
    }));
}

// ---- firmware -------------------------------------------------------------------------------

void Commissioning_page::on_update_firmware_clicked()
{
    std::vector<int> nodes;
    const QString text = ui->firmware_nodes->text().trimmed();
    QString error;
    if (text.isEmpty())
        nodes = {node_};
    else if (!parse_node_list(text, &nodes, &error)) {
        show_commissioning_status(error, true);
        return;
    }
    if (!commissioning_ready())
        return;
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::open, window(), firmware_kind,
                                                    tr("程序映像/Program image"), QString(),
                                                    tr("程序映像/Program images (*.bin *.hex *.img);;*"));
    if (path.isEmpty())
        return;
    objects::firmware_image image;
    if (!load_firmware_image(path, &image, &error)) {
        show_commissioning_status(error, true);
        return;
    }
    const bool force = ui->force_firmware->isChecked();
    const QString product = image.product_known ? hex::prefixed(image.product, 8) : tr("未知/unknown");
    const QString question =
        tr("将%1 (%2字节, CRC %3, 产品%4)下载到节点%5？每个节点的程序先停止并清除。\n"
           "Download %1 (%2 bytes, CRC %3, product %4) to node(s) %5? Each node's program is stopped "
           "and cleared first.")
            .arg(QFileInfo(path).fileName())
            .arg(image.data.size())
            .arg(hex::prefixed(image.crc, 8), product, node_list_text(nodes));
    if (desktop_seams::question(window(), tr("提示/Notice"), question) != QMessageBox::Yes || !commissioning_ready())
        return;
    firmware_image_ = image;
    firmware_report_.clear();
    watch_ = std::make_shared<reboot_watch>(tapped_error_control(nodes, bus()));
    auto job = std::make_unique<objects::firmware_job>(image, nodes, wire(), force,
                                                       [this](const objects::firmware_job &j, bool cancelled) {
                                                           firmware_ = nullptr;
                                                           firmware_job_finished(j, cancelled);
                                                       });
    objects::firmware_job *running = job.get();
    show_commissioning_status(tr("正在更新固件/Updating firmware..."), false);
    start_page_job(std::move(job));
    if (page_job_)
        firmware_ = running;
}

void Commissioning_page::firmware_job_finished(const objects::firmware_job &job, bool cancelled)
{
    firmware_report_ = job.reports();
    QStringList lines;
    lines << tr("固件已更新/firmware updated on %1 of %2 nodes").arg(job.updated()).arg(job.reports().size());
    for (const objects::firmware_report &r : job.reports())
        if (r.outcome != objects::firmware_report::result::updated)
            lines << tr("节点/node %1: %2%3")
                         .arg(r.node)
                         .arg(objects::firmware_result_text(r.outcome))
                         .arg(r.note.isEmpty() ? QString() : QStringLiteral(" — ") + r.note);
    if (cancelled)
        lines << tr("已取消/cancelled");
    show_commissioning_status(lines.join(QLatin1Char('\n')), job.updated() != static_cast<int>(job.reports().size()));
}

void Commissioning_page::on_save_firmware_report_clicked()
{
    if (firmware_report_.empty()) {
        show_commissioning_status(tr("尚无固件更新报告/No firmware update to report yet"), true);
        return;
    }
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::save, window(), firmware_report_kind,
                                                    tr("保存固件报告/Save firmware report"),
                                                    QStringLiteral("firmware_report.csv"), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(objects::firmware_report_csv(firmware_image_, firmware_report_).toUtf8()) < 0 || !f.flush()) {
        show_commissioning_status(tr("无法写入/Cannot write %1: %2").arg(path, f.errorString()), true);
        return;
    }
    show_commissioning_status(tr("报告已保存/report saved: %1 (%2 rows)")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(firmware_report_.size()),
                              false);
}

void Commissioning_page::on_save_dcf_report_clicked()
{
    if (report_.empty()) {
        show_commissioning_status(tr("尚无下载报告/No download to report yet"), true);
        return;
    }
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::save, window(), report_kind,
                                                    tr("保存报告/Save report"), QStringLiteral("dcf_report.csv"),
                                                    QStringLiteral("CSV (*.csv);;Excel (*.xlsx)"));
    if (!path.isEmpty())
        save_dcf_report_to(path);
}

bool Commissioning_page::save_dcf_report_to(const QString &path)
{
    QString error;
    if (!save_report(path, report_head_, report_, &error)) {
        show_commissioning_status(tr("无法写入/Cannot write %1: %2").arg(path, error), true);
        return false;
    }
    show_commissioning_status(
        tr("报告已保存/report saved: %1 (%2 rows)").arg(QDir::toNativeSeparators(path)).arg(report_.size()), false);
    return true;
}
