#include "objects/lss_dialog.h"

#include "ui_lss_dialog.h"

#include <algorithm>

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "base/language.h"
#include "base/shared_values.h"
#include "base/window_place.h"
#include "can/step_job.h"
#include "can/vci/bus_tap.h"
#include "objects/od_actions.h"

#include <QHeaderView>
#include <QPointer>
#include <QMessageBox>
#include <QTableWidgetItem>

using namespace canopen;

namespace {

enum column { col_vendor, col_product, col_revision, col_serial, col_done, col_count };

// The window after activation during which the drives switch: twice the switch delay, and the
// scan window again for the drives' own timing.
int switch_time_ms(int delay_ms) { return 2 * delay_ms + lss_scan_window_ms; }

// The fast scan as a job of the one runner: it takes its turn with other long work, and a Stop
// of a control window ends it between two steps. The scan owes the drives nothing when cut short:
// none is in configuration before its last confirmation.
class scan_job : public step_job {
public:
    scan_job(std::function<bool()> step, std::function<void()> cancel, std::function<int()> done)
        : step_(std::move(step)), cancel_(std::move(cancel)), done_(std::move(done))
    {
    }
    bool step() override { return step_(); }
    void cancel() override { cancel_(); }
    int done() const override { return done_(); }
    int total() const override { return lss_fast_scan::step_count; }

private:
    std::function<bool()> step_;
    std::function<void()> cancel_;
    std::function<int()> done_;
};

}  // namespace

Lss::Lss(const monitor_sink &log, QWidget *parent, int bus)
    : language_window(parent, QStringLiteral("Lss")), ui(new Ui::Lss), log_(log), bus_(bus_ops(bus)), bus_index_(bus)
{
    ui->setupUi(this);
    ui->lss_found->setColumnCount(col_count);
    ui->lss_found->verticalHeader()->hide();
    ui->lss_found->horizontalHeader()->setStretchLastSection(true);
    ui->lss_progress->setRange(0, lss_fast_scan::step_count);
    ui->lss_bit_rate->addItem(tr("不改变/unchanged"), -1);
    for (const uint8_t index : lss_bit_rate_indices)
        ui->lss_bit_rate->addItem(QStringLiteral("%1 kbit/s (%2)").arg(lss_bit_rate_kbps(index)).arg(index), index);
    waiting_timer_.setSingleShot(true);
    connect(&waiting_timer_, &QTimer::timeout, this, [this] {
        if (all_configuring_)
            switch_global(lss_mode::waiting);
    });
    connect(ui->lss_scan, &QPushButton::clicked, this, &Lss::scan);
    connect(ui->lss_cancel, &QPushButton::clicked, this, [this] {
        if (scanning_)
            job_runner::instance().cancel();
    });
    connect(ui->lss_configure, &QPushButton::clicked, this, &Lss::configure);
    connect(ui->lss_store, &QPushButton::clicked, this, &Lss::store);
    connect(ui->lss_select, &QPushButton::clicked, this, &Lss::select);
    connect(ui->lss_waiting, &QPushButton::clicked, this, [this] { switch_global(lss_mode::waiting); });
    connect(ui->lss_configuration, &QPushButton::clicked, this, [this] { switch_global(lss_mode::configuration); });
    connect(ui->lss_activate, &QPushButton::clicked, this, &Lss::activate_bit_rate);
    connect(ui->lss_found, &QTableWidget::itemSelectionChanged, this, [this] {
        const int r = ui->lss_found->currentRow();
        if (r < 0 || r >= static_cast<int>(found_.size()))
            return;
        QLineEdit *fields[4] = {ui->lss_vendor, ui->lss_product, ui->lss_revision, ui->lss_serial};
        for (int i = 0; i < 4; ++i)
            fields[i]->setText(hex::prefixed(found_[r].id.part[i], 8));
    });
    show_rows();
    update_buttons();
}

Lss::~Lss()
{
    if (scanning_)
        job_runner::instance().cancel();
    delete ui;
}

void Lss::retranslate()
{
    ui->retranslateUi(this);
    ui->lss_bit_rate->setItemText(0, tr("不改变/unchanged"));
    show_rows();
}

void Lss::hideEvent(QHideEvent *e)
{
    // Nothing stays half done behind a closed dialog: the scan stops, and no drive is left in
    // configuration where a later configure request of anyone would reach it.
    if (scanning_)
        job_runner::instance().cancel();
    if (current_ >= 0 && bus_ready())
        leave_configuration();
    QDialog::hideEvent(e);
}

// ---- helpers ------------------------------------------------------------------------------

bool Lss::bus_ready()
{
    if (device_open == 0) {
        show_status(tr("请先打开适配器/Open the adapter first"), true);
        return false;
    }
    if (!objects::bus_lost_text().isEmpty()) {
        show_status(objects::bus_lost_text(), true);
        return false;
    }
    return true;
}

exchange_hooks Lss::hooks(const QString &what) const { return monitor_hooks(log_, 1, what); }

void Lss::show_status(const QString &text, bool error)
{
    ui->lss_status->setStyleSheet(error ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
    ui->lss_status->setText(text);
}

void Lss::update_buttons()
{
    const bool idle = !scanning();
    const bool configuring = current_ >= 0 || all_configuring_;
    for (QWidget *w : std::initializer_list<QWidget *>{ui->lss_scan, ui->lss_select, ui->lss_waiting,
                                                       ui->lss_configuration, ui->lss_activate})
        w->setEnabled(idle);
    ui->lss_cancel->setEnabled(!idle);
    ui->lss_configure->setEnabled(idle && configuring);
    ui->lss_store->setEnabled(idle && configuring);
}

int Lss::row_of(const lss_identity &id)
{
    for (size_t r = 0; r < found_.size(); ++r)
        if (std::equal(id.part, id.part + 4, found_[r].id.part))
            return static_cast<int>(r);
    found_node n;
    n.id = id;
    found_.push_back(n);
    return static_cast<int>(found_.size()) - 1;
}

QString Lss::done_text(const found_node &n, bool configuring) const
{
    QStringList done;
    if (n.node)
        done << tr("节点号 %1/node-ID %1").arg(n.node);
    if (n.bit_rate >= 0)
        done << QStringLiteral("%1 kbit/s").arg(lss_bit_rate_kbps(n.bit_rate));
    if (n.stored)
        done << tr("已保存/stored");
    if (n.booted)
        done << tr("已启动/booted");
    if (configuring)
        done << tr("配置状态/in configuration");
    else if (done.isEmpty())
        done << (n.unconfigured ? tr("无节点号/no node-ID") : tr("等待/waiting"));
    return done.join(QStringLiteral(", "));
}

void Lss::show_rows()
{
    ui->lss_found->setHorizontalHeaderLabels(
        {tr("厂商/Vendor"), tr("产品/Product"), tr("版本/Revision"), tr("序列号/Serial"), tr("已做/Done")});
    ui->lss_found->setRowCount(static_cast<int>(found_.size()));
    for (int r = 0; r < static_cast<int>(found_.size()); ++r) {
        for (int c = col_vendor; c <= col_serial; ++c)
            ui->lss_found->setItem(r, c, new QTableWidgetItem(hex::prefixed(found_[r].id.part[c], 8)));
        ui->lss_found->setItem(r, col_done, new QTableWidgetItem(done_text(found_[r], r == current_)));
    }
    ui->lss_found->resizeColumnsToContents();
}

bool Lss::leave_configuration()
{
    found_node *n = current_ >= 0 ? &found_[current_] : nullptr;
    // Only a drive that had no node-ID boots now; one that had keeps its old node-ID until its
    // next reset.
    const int boot = n && n->unconfigured && n->node ? n->node : 0;
    const bool ok = lss_back_to_waiting(bus_, boot, hooks(QStringLiteral("LSS切换到等待/LSS switch to waiting")));
    if (n && boot && ok) {
        n->booted = true;
        n->unconfigured = false;
    }
    current_ = -1;
    all_configuring_ = false;
    show_rows();
    update_buttons();
    return ok;
}

// ---- fast scan ----------------------------------------------------------------------------

void Lss::scan()
{
    if (!bus_ready())
        return;
    // At most one drive may be in configuration, or one configure request would reach several:
    // whatever an earlier scan or selection left there goes back to waiting first.
    leave_configuration();
    scan_ = lss_fast_scan();
    ui->lss_progress->setValue(0);
    QPointer<Lss> self(this);
    auto job = std::make_unique<scan_job>([self] { return self && self->scan_step(); },
                                          [self] {
                                              if (self)
                                                  self->stop_scan(tr("扫描已取消/Scan cancelled"), false);
                                          },
                                          [self] { return self ? self->scan_.step() : 0; });
    if (!job_runner::instance().start(std::move(job))) {
        show_status(tr("另一项任务正在进行，请稍后/Another job is running: try again when it ends"), true);
        return;
    }
    scanning_ = true;
    show_status(tr("扫描中…/Scanning…"), false);
    update_buttons();
}

bool Lss::scan_step()
{
    const lss_outcome o = lss_exchange(bus_, scan_.request(), lss_scan_window_ms,
                                       hooks(QStringLiteral("LSS快速扫描/LSS fast scan")));
    if (!o.sent) {
        stop_scan(tr("发送失败/Sending failed"), true);
        return false;
    }
    scan_.take(o.answered);
    ui->lss_progress->setValue(scan_.step());
    switch (scan_.state()) {
    case lss_fast_scan::result::running:
        return true;
    case lss_fast_scan::result::none:
        stop_scan(tr("没有未配置的节点/No node without node-ID"), false);
        return false;
    case lss_fast_scan::result::lost:
        // The last confirmation may have reached the drive although its answer was lost.
        leave_configuration();
        stop_scan(tr("扫描中断：节点未确认，请重试/Scan lost the node's answer: scan again"), true);
        return false;
    case lss_fast_scan::result::found:
        // Found without node-ID: whatever the row says of an earlier life is past.
        current_ = row_of(scan_.identity());
        found_[current_] = found_node();
        found_[current_].id = scan_.identity();
        ui->lss_progress->setValue(lss_fast_scan::step_count);
        stop_scan(tr("找到节点，已进入配置状态/Found a node, now in configuration"), false);
        ui->lss_found->selectRow(current_);
        return false;
    }
    return false;
}

void Lss::stop_scan(const QString &why, bool error)
{
    scanning_ = false;
    show_status(why, error);
    show_rows();
    update_buttons();
}

// ---- configuration ------------------------------------------------------------------------

void Lss::configure()
{
    if (!bus_ready())
        return;
    const uint8_t node = static_cast<uint8_t>(ui->lss_node_id->value());
    std::set<int> used = node_ids_in_use();
    if (used.count(node) &&
        desktop_seams::question(this, tr("提示"),
                                tr("节点ID %1已被使用，仍要分配？/Node-ID %1 is already in use. Assign it anyway?").arg(node),
                                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    lss_outcome o = lss_exchange(bus_, lss_configure_node(node), lss_answer_window_ms,
                                 hooks(QStringLiteral("LSS设置节点号/LSS configure node-ID")));
    if (!o.answered) {
        show_status(tr("节点无应答/No answer from the node"), true);
        return;
    }
    if (!o.ok()) {
        show_status(tr("节点号：%1/Node-ID: %1").arg(lss_error_text(lss_cs::configure_node, o.error(), o.specific_error())), true);
        return;
    }
    if (current_ >= 0)
        found_[current_].node = node;
    // Ready for the next drive of the bench.
    used.insert(node);
    if (const int next = next_free_node_id(node, used))
        ui->lss_node_id->setValue(next);
    QString text = tr("节点号 %1 已设置/Node-ID %1 set").arg(node);
    const int rate = ui->lss_bit_rate->currentData().toInt();
    if (rate >= 0) {
        o = lss_exchange(bus_, lss_configure_bit_timing(static_cast<uint8_t>(rate)), lss_answer_window_ms,
                         hooks(QStringLiteral("LSS设置波特率/LSS configure bit timing")));
        if (!o.ok()) {
            const QString why = o.answered ? lss_error_text(lss_cs::configure_bit_timing, o.error(), o.specific_error())
                                           : tr("节点无应答/No answer from the node");
            show_status(text + tr("；波特率：%1/; bit rate: %1").arg(why), true);
            show_rows();
            return;
        }
        if (current_ >= 0)
            found_[current_].bit_rate = rate;
        text += QStringLiteral(", %1 kbit/s").arg(lss_bit_rate_kbps(rate));
    }
    show_status(text, false);
    show_rows();
}

std::set<int> Lss::node_ids_in_use() const
{
    std::set<int> used = node_ids_heard(vci::bus_tap::heard_since(bus_index_, 0));
    for (size_t i = 0; i < found_.size(); ++i)
        if (found_[i].node && static_cast<int>(i) != current_)
            used.insert(found_[i].node);
    return used;
}

void Lss::store()
{
    if (!bus_ready())
        return;
    const lss_outcome o = lss_exchange(bus_, lss_store_configuration(), lss_answer_window_ms,
                                       hooks(QStringLiteral("LSS保存配置/LSS store configuration")));
    if (!o.ok()) {
        // The drive stays in configuration: the user decides whether it boots unstored.
        show_status(tr("保存：%1/Store: %1")
                        .arg(o.answered ? lss_error_text(lss_cs::store, o.error(), o.specific_error())
                                        : tr("节点无应答/No answer from the node")),
                    true);
        return;
    }
    if (current_ < 0) {
        leave_configuration();
        show_status(tr("已保存，全部节点回到等待/Stored; every node is back to waiting"), false);
        return;
    }
    found_node &n = found_[current_];
    n.stored = true;
    const bool boots = n.unconfigured && n.node;
    const int node = n.node;
    if (!leave_configuration())
        show_status(boots ? tr("已保存，但节点 %1 未启动/Stored, but node %1 sent no boot-up").arg(node)
                          : tr("发送失败/Sending failed"),
                    true);
    else if (boots)
        show_status(tr("已保存，节点 %1 已启动/Stored; node %1 booted").arg(node), false);
    else
        show_status(tr("已保存，新设置在节点下次复位时生效/Stored; the new settings take effect at the node's next reset"),
                    false);
}

void Lss::select()
{
    if (!bus_ready())
        return;
    lss_identity id;
    QLineEdit *fields[4] = {ui->lss_vendor, ui->lss_product, ui->lss_revision, ui->lss_serial};
    for (int i = 0; i < 4; ++i) {
        uint64_t v = 0;
        if (!hex::parse(fields[i]->text(), &v) || v > 0xFFFFFFFFu) {
            show_status(tr("标识须为32位十六进制数/Each identity part is a 32-bit hex number"), true);
            fields[i]->setFocus();
            return;
        }
        id.part[i] = static_cast<uint32_t>(v);
    }
    leave_configuration();  // one drive in configuration at a time
    if (!lss_select(bus_, id, hooks(QStringLiteral("LSS选择/LSS switch state selective")))) {
        show_status(tr("没有节点有此标识/No node has this identity"), true);
        return;
    }
    current_ = row_of(id);
    const lss_outcome o =
        lss_exchange(bus_, lss_inquire(4), lss_answer_window_ms, hooks(QStringLiteral("LSS查询节点号/LSS inquire node-ID")));
    const uint32_t active = o.answered ? o.answer.data[1] : lss_unconfigured;
    found_[current_].unconfigured = active == lss_unconfigured;
    show_status(found_[current_].unconfigured
                    ? tr("节点已进入配置状态，无节点号/Node in configuration, without node-ID")
                    : tr("节点已进入配置状态，节点号 %1/Node in configuration, node-ID %1").arg(active),
                false);
    show_rows();
    ui->lss_found->selectRow(current_);
    update_buttons();
}

void Lss::switch_global(lss_mode mode)
{
    if (!bus_ready())
        return;
    if (mode == lss_mode::waiting) {
        waiting_timer_.stop();
        const bool ok = leave_configuration();
        show_status(ok ? tr("全部节点回到等待/Every node is back to waiting") : tr("发送失败/Sending failed"), !ok);
        return;
    }
    if (desktop_seams::question(this, tr("提示/Notice"),
                                tr("总线上所有节点都将进入配置状态，之后设置的节点号会同时给所有节点。继续？\n"
                                   "Every node on the bus enters configuration: a node-ID set now goes to all of "
                                   "them at once. Continue?"))
        != QMessageBox::Yes)
        return;
    leave_configuration();
    if (!lss_exchange(bus_, lss_switch_global(lss_mode::configuration), 0,
                      hooks(QStringLiteral("LSS切换到配置/LSS switch to configuration")))
             .sent) {
        show_status(tr("发送失败/Sending failed"), true);
        return;
    }
    all_configuring_ = true;
    show_status(tr("全部节点在配置状态/Every node is in configuration"), false);
    update_buttons();
}

void Lss::activate_bit_rate()
{
    if (!bus_ready())
        return;
    const int rate = ui->lss_bit_rate->currentData().toInt();
    if (rate < 0) {
        show_status(tr("请先选择波特率/Choose a bit rate first"), true);
        return;
    }
    const int kbps = lss_bit_rate_kbps(rate);
    const int given = static_cast<int>(std::count_if(found_.begin(), found_.end(), [rate](const found_node &n) {
        return n.bit_rate == rate;
    }));
    const QString text = tr("每个节点都必须先设置 %1 kbit/s，否则启用后它将离开总线（此列表中 %2 个已设置）。现在整个总线启用？\n"
                            "Every node must have been given %1 kbit/s first, or it drops off the bus once it is "
                            "active (%2 in this list were given it). Activate it on the whole bus now?")
                             .arg(kbps)
                             .arg(given);
    if (desktop_seams::question(this, tr("提示/Notice"), text) != QMessageBox::Yes)
        return;
    leave_configuration();
    // Every node takes the activation together, so every node must be in configuration first.
    const exchange_hooks h = hooks(QStringLiteral("LSS启用波特率/LSS activate bit timing"));
    const int delay = ui->lss_switch_delay->value();
    if (!lss_exchange(bus_, lss_switch_global(lss_mode::configuration), 0, h).sent
        || !lss_exchange(bus_, lss_activate_bit_timing(static_cast<uint16_t>(delay)), 0, h).sent) {
        show_status(tr("发送失败/Sending failed"), true);
        return;
    }
    all_configuring_ = true;
    update_buttons();
    if (kbps == baud_kbps) {
        // The adapter already runs at the new rate: the nodes go back to waiting once switched.
        waiting_timer_.start(switch_time_ms(delay));
        show_status(tr("总线已启用 %1 kbit/s/The bus runs at %1 kbit/s").arg(kbps), false);
    } else {
        show_status(tr("%2 ms 后总线切换到 %1 kbit/s：请把适配器设为此波特率，然后点“全部等待”\n"
                       "The bus switches to %1 kbit/s after %2 ms: set the adapter to it, then press "
                       "\"All waiting\"")
                        .arg(kbps)
                        .arg(switch_time_ms(delay)),
                    false);
    }
}
