#include "objects/bench_boot.h"

#include "base/joint_names.h"

#include "base/text_safety.h"
#include "can/vci/bus_tap.h"
#include "canopen/cia_objects.h"
#include "canopen/lss_exchange.h"
#include "canopen/nmt_state.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/sdo_bus_link.h"
#include "can/vci/bus_backend.h"
#include "objects/od_actions.h"
#include "tools/xlsx_workbook.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace objects {
namespace {

constexpr uint8_t hb_operational = 0x05;
constexpr uint8_t hb_boot_up = 0x00;

const char *const step_names[boot_step_count] = {"present", "identity", "configuration", "store", "heartbeat", "start"};

// The DCF without the objects that command instead of configuring: storing is a step of its own.
eds_document configuration_of(const eds_document &dcf)
{
    eds_document d = dcf;
    for (od_object &o : d.objects)
        if (o.index == 0x1010 || o.index == 0x1011)
            for (od_entry &e : o.entries)
                e.parameter_value.clear();
    return d;
}

QString seconds_text(double s) { return QString::number(s, 'f', 3); }

}  // namespace

boot_wire adapter_boot_wire(const monitor_sink &log) { return bus_boot_wire(0, log); }

boot_wire bus_boot_wire(int index, const monitor_sink &log)
{
    boot_wire w;
    const exchange_bus *ops = &bus_ops(index);  // the bus objects live as long as the program
    const auto link = [log, ops](int n) { return canopen::exchange_sdo_link(*ops, n, canopen::sdo_timeout_ms, log); };
    const auto nmt = [log, ops](uint8_t command, int n, const QString &what) {
        const canopen::frame f = canopen::nmt(command, static_cast<int32_t>(canopen::sdo_request_base) + n);
        run_canopen_exchange(*ops, f.id, f.data, f.len, 0, what.arg(n), 1, log);
    };
    w.discovery = discovery_on_bus(index, link, log);
    w.dcf.link = link;
    w.dcf.pre_operational = [nmt](int n) {
        nmt(canopen::nmt_enter_pre_operational, n, QStringLiteral("NMT预运行/NMT pre-operational %1"));
    };
    w.dcf.bus_lost = [index] { return vci::bus_lost(index); };
    w.bus = index;
    w.start = [nmt](int n) { nmt(canopen::nmt_start, n, QStringLiteral("NMT启动/NMT start %1")); };
    w.lss_hooks = monitor_hooks(log, 1, QStringLiteral("LSS"));
    return w;
}

QString boot_step_name(boot_step step) { return QString::fromLatin1(step_names[static_cast<int>(step)]); }

QString step_result_text(step_result r)
{
    switch (r) {
    case step_result::passed: return QStringLiteral("通过/passed");
    case step_result::failed: return QStringLiteral("失败/failed");
    case step_result::skipped: return QStringLiteral("跳过/skipped");
    case step_result::not_run: break;
    }
    return QStringLiteral("未运行/not run");
}

bool node_boot::done() const
{
    for (const step_record &s : steps)
        if (s.result != step_result::passed && s.result != step_result::skipped)
            return false;
    return steps[static_cast<int>(boot_step::start)].result == step_result::passed;
}

bool node_boot::failed() const
{
    for (const step_record &s : steps)
        if (s.result == step_result::failed)
            return true;
    return false;
}

QString node_boot::title() const { return QStringLiteral("%1 (node %2)").arg(name).arg(node); }

bench_boot::bench_boot(const bench_file &bench, const boot_options &options, const boot_wire &wire,
                       std::function<void(const bench_boot &, int)> progress,
                       std::function<void(const bench_boot &, bool)> end)
    : bench_(bench), options_(options), wire_(wire), progress_(std::move(progress)), end_(std::move(end)),
      last_beat_(128), first_beat_since_(bench.nodes.size(), -1)
{
    std::vector<uint32_t> ids;
    std::vector<int> node_ids;
    for (const bench_node &b : bench_.nodes) {
        node_boot n;
        n.node = b.node;
        n.name = b.name;
        nodes_.push_back(n);
        ids.push_back(canopen::error_control_base + static_cast<uint32_t>(b.node));
        node_ids.push_back(b.node);
    }
    heartbeats_ = std::make_shared<vci::bus_tap::listener>(wire_.bus, ids);
    // A node that reboots between its download and its store must not be stored as configured.
    if (!wire_.dcf.watch)
        wire_.dcf.watch = std::make_shared<reboot_watch>(tapped_error_control(node_ids, wire_.bus));
    clock_.start();
}

bench_boot::~bench_boot() = default;

int bench_boot::total() const { return std::max(steps_ + 1, 1 + static_cast<int>(nodes_.size()) * 30); }

int bench_boot::nodes_done() const
{
    int n = 0;
    for (const node_boot &b : nodes_)
        n += b.done() ? 1 : 0;
    return n;
}

void bench_boot::stop_after_step()
{
    stop_ = true;
    if (download_)
        download_->stop_between_objects();
}

bool bench_boot::gone() const { return wire_.dcf.bus_lost && wire_.dcf.bus_lost(); }

void bench_boot::hear()
{
    std::vector<vci::tapped_frame> frames;
    heartbeats_->drain(frames);
    for (const vci::tapped_frame &t : frames) {
        const uint32_t node = t.msg.id - canopen::error_control_base;
        if (t.msg.len < 1 || t.msg.remote || t.msg.extended || node < 1 || node > 127)
            continue;
        last_beat_[node] = {t.t_us, static_cast<uint8_t>(t.msg.data[0] & 0x7F)};
    }
}

bool bench_boot::step()
{
    if (phase_ == phase::finished)
        return false;
    ++steps_;
    hear();
    switch (phase_) {
    case phase::discover: step_discover(); break;
    case phase::node:
        switch (step_) {
        case boot_step::present: step_present(); break;
        case boot_step::identity: step_identity(); break;
        case boot_step::configuration: step_configuration(); break;
        case boot_step::store: step_store(); break;
        case boot_step::heartbeat: step_heartbeat(); break;
        case boot_step::start: step_start(); break;
        }
        break;
    case phase::start_all: step_start_all(); break;
    case phase::finished: break;
    }
    return phase_ != phase::finished;
}

void bench_boot::cancel()
{
    // What the step in hand did before it was cut off is told with it.
    QString found;
    if (download_) {
        const dcf_totals &t = download_->totals();
        found = QStringLiteral("写入/written %1, 回读校验/verified by read-back %2, 已中断/cut off").arg(t.written).arg(t.verified);
    }
    if (sub_)
        sub_->cancel();
    sub_.reset();
    download_ = nullptr;
    if (transfer_)
        canopen::cancel_sdo(wire_.dcf.link(here().node), *transfer_);
    transfer_.reset();
    // A slave must not be left in configuration, where it takes every LSS request meant for others.
    if (in_configuration_)
        canopen::lss_back_to_waiting(*wire_.discovery.bus, 0, wire_.lss_hooks);
    in_configuration_ = false;
    cancelled_ = true;
    const QString sent = QStringLiteral("NMT启动已发送，运行未确认：已取消/NMT start sent, operational not confirmed: cancelled");
    if (phase_ == phase::node && at_ < nodes_.size() && here().current >= 0) {
        const bool started = step_ == boot_step::start && start_sent_us_ >= 0;
        record(step_result::failed, found, QString(), started ? sent : QStringLiteral("已取消/cancelled"));
    } else if (phase_ == phase::start_all && start_sent_us_ >= 0) {
        for (const size_t i : to_start_) {
            at_ = i;
            step_ = boot_step::start;
            record(step_result::failed, QString(), QString(), sent);
        }
    }
    leave_rest(QStringLiteral("已取消，未运行/cancelled: not run"));
    finish();
}

void bench_boot::ended(bool cancelled)
{
    if (end_)
        end_(*this, cancelled || cancelled_);
}

void bench_boot::begin_step(boot_step s)
{
    step_ = s;
    step_began_s_ = now_s();
    node_boot &n = here();
    n.current = static_cast<int>(s);
    if (n.started_s < 0)
        n.started_s = step_began_s_;
    if (progress_)
        progress_(*this, static_cast<int>(at_));
}

void bench_boot::record(step_result result, const QString &found, const QString &done, const QString &note)
{
    node_boot &n = here();
    step_record &r = n.at(step_);
    r.result = result;
    r.found = found;
    r.done = done;
    r.note = note;
    r.seconds = now_s() - step_began_s_;
    if (result == step_result::failed) {
        n.current = -1;
        n.ended_s = now_s();
        for (int s = static_cast<int>(step_) + 1; s < boot_step_count; ++s)
            n.steps[s].note = QStringLiteral("未运行：前一步失败/not run: an earlier step failed");
    }
    if (progress_)
        progress_(*this, static_cast<int>(at_));
}

void bench_boot::pass(const QString &found, const QString &done)
{
    record(step_result::passed, found, done, QString());
    after_step();
}

void bench_boot::fail(const QString &found, const QString &note)
{
    record(step_result::failed, found, QString(), note);
    next_node();
}

void bench_boot::skip(const QString &note)
{
    record(step_result::skipped, QString(), QString(), note);
    after_step();
}

// The node's next step, or the next node; a Cancel asked for meanwhile is taken here.
void bench_boot::after_step()
{
    node_boot &n = here();
    const int next = static_cast<int>(step_) + 1;
    const bool last = next == boot_step_count
                      || (next == static_cast<int>(boot_step::start) && options_.order == start_order::all_at_once);
    if (last) {
        n.current = -1;
        if (next == boot_step_count)
            n.ended_s = now_s();
        if (progress_)
            progress_(*this, static_cast<int>(at_));
        return next_node();
    }
    if (stop_ || gone()) {
        n.current = -1;
        n.ended_s = now_s();
        return end_early();
    }
    begin_step(static_cast<boot_step>(next));
}

void bench_boot::end_early()
{
    bus_lost_ = gone();
    cancelled_ = !bus_lost_;
    leave_rest(bus_lost_ ? bus_lost_note() : QStringLiteral("已取消，未运行/cancelled: not run"));
    finish();
}

void bench_boot::next_node()
{
    ++at_;
    if (stop_ || gone())
        return end_early();
    if (at_ < nodes_.size()) {
        lss_begun_ = false;
        identity_part_ = 0;
        start_sent_us_ = -1;
        begin_step(boot_step::present);
        return;
    }
    if (options_.order == start_order::all_at_once) {
        to_start_.clear();
        for (size_t i = 0; i < nodes_.size(); ++i)
            if (!nodes_[i].failed() && nodes_[i].at(boot_step::heartbeat).result == step_result::passed)
                to_start_.push_back(i);
        start_sent_us_ = -1;
        phase_ = phase::start_all;
        return;
    }
    finish();
}

void bench_boot::leave_rest(const QString &note)
{
    for (node_boot &n : nodes_)
        for (step_record &s : n.steps)
            if (s.result == step_result::not_run && s.note.isEmpty())
                s.note = note;
}

void bench_boot::finish()
{
    phase_ = phase::finished;
    sub_.reset();
    download_ = nullptr;
    for (node_boot &n : nodes_)
        n.current = -1;
}

// ---- the steps -----------------------------------------------------------------------------

void bench_boot::step_discover()
{
    if (!sub_) {
        discovery_began_s_ = now_s();
        sub_ = std::make_unique<node_discovery>(wire_.discovery);
    }
    if (sub_->step())
        return;
    const auto *d = static_cast<const node_discovery *>(sub_.get());
    QStringList answering, heard;
    for (const found_node &n : d->nodes()) {
        if (n.answers_sdo) {
            answering_.push_back(n.node);
            answering << QString::number(n.node);
        } else {
            heard << QString::number(n.node);
        }
    }
    sub_.reset();
    discovery_.seconds = now_s() - discovery_began_s_;
    discovery_.found = QStringLiteral("SDO应答/answering SDO: %1").arg(answering.isEmpty() ? QStringLiteral("-") : answering.join(QLatin1Char(',')));
    if (!heard.isEmpty())
        discovery_.found += QStringLiteral("; 仅心跳/heartbeat only: %1").arg(heard.join(QLatin1Char(',')));
    if (gone()) {
        discovery_.result = step_result::failed;
        discovery_.note = bus_lost_note();
        bus_lost_ = true;
        leave_rest(bus_lost_note());
        return finish();
    }
    discovery_.result = step_result::passed;
    discovery_.done = QStringLiteral("节点1-127已查找/nodes 1-127 searched");
    if (nodes_.empty())
        return finish();
    phase_ = phase::node;
    at_ = 0;
    lss_begun_ = false;
    begin_step(boot_step::present);
}

void bench_boot::step_present()
{
    const int id = spec().node;
    if (!lss_begun_) {
        if (std::find(answering_.begin(), answering_.end(), id) != answering_.end())
            return pass(QStringLiteral("节点%1应答SDO/node %1 answers SDO").arg(id), QString());
        const expected_identity &x = spec().expected;
        if (!x.known[3])
            return fail(QStringLiteral("节点%1无应答/node %1 did not answer").arg(id),
                        QStringLiteral("不在总线上，DCF无序列号(LSS_SerialNumber)/absent, and its DCF gives no serial "
                                       "number (LSS_SerialNumber) to find it by"));
        lss_begun_ = true;
        here().by_lss = true;
        lss_id_ = x.id;
        scan_ = canopen::lss_fast_scan();
        lss_ = x.known[0] && x.known[1] && x.known[2] ? lss_stage::select : lss_stage::scan;
        return;
    }
    step_lss();
}

void bench_boot::step_lss()
{
    using namespace canopen;
    const int id = spec().node;
    const exchange_bus &bus = *wire_.discovery.bus;
    const auto id_text = [this] {
        const bool all[4] = {true, true, true, true};
        return identity_parts_text(lss_id_, all);
    };
    switch (lss_) {
    case lss_stage::scan: {
        const lss_outcome o = lss_exchange(bus, scan_.request(), lss_scan_window_ms, wire_.lss_hooks);
        if (!o.sent)
            return fail(QString(), QStringLiteral("LSS快速扫描发送失败/LSS fast scan: sending failed"));
        scan_.take(o.answered);
        if (scan_.state() == lss_fast_scan::result::running)
            return;
        if (scan_.state() != lss_fast_scan::result::found)
            return fail(QString(), QStringLiteral("快速扫描未找到无节点号的节点/the fast scan found no node without node-ID"));
        in_configuration_ = true;
        // The one found tells the make and model of the fresh node; the serial number picks it.
        const expected_identity &x = spec().expected;
        for (int part = 0; part < 3; ++part)
            if (!x.known[part])
                lss_id_.part[part] = scan_.identity().part[part];
        lss_ = lss_stage::scan_back;
        return;
    }
    case lss_stage::scan_back:
        lss_back_to_waiting(bus, 0, wire_.lss_hooks);
        in_configuration_ = false;
        lss_ = lss_stage::select;
        return;
    case lss_stage::select:
        if (!lss_select(bus, lss_id_, wire_.lss_hooks))
            return fail(QString(), QStringLiteral("LSS无节点应答/no node answered LSS switch state selective with %1").arg(id_text()));
        in_configuration_ = true;
        lss_ = lss_stage::configure;
        return;
    case lss_stage::configure: {
        const lss_outcome o = lss_exchange(bus, lss_configure_node(static_cast<uint8_t>(id)), lss_answer_window_ms, wire_.lss_hooks);
        if (!o.ok()) {
            lss_back_to_waiting(bus, 0, wire_.lss_hooks);
            in_configuration_ = false;
            return fail(QStringLiteral("LSS找到/found by LSS: %1").arg(id_text()),
                        QStringLiteral("设置节点号/configure node-ID %1: %2")
                            .arg(id)
                            .arg(o.answered ? lss_error_text(lss_cs::configure_node, o.error(), o.specific_error())
                                            : QStringLiteral("无应答/no answer")));
        }
        lss_ = lss_stage::store;
        return;
    }
    case lss_stage::store: {
        const lss_outcome o = lss_exchange(bus, lss_store_configuration(), lss_answer_window_ms, wire_.lss_hooks);
        if (!o.ok()) {
            // It boots with the node-ID now, unstored: the report says so.
            const bool booted = lss_back_to_waiting(bus, id, wire_.lss_hooks);
            in_configuration_ = false;
            return fail(QStringLiteral("LSS找到/found by LSS: %1").arg(id_text()),
                        QStringLiteral("节点号%1已分配但未保存/node-ID %1 given, not stored: %2%3")
                            .arg(id)
                            .arg(o.answered ? lss_error_text(lss_cs::store, o.error(), o.specific_error())
                                            : QStringLiteral("无应答/no answer"))
                            .arg(booted ? QStringLiteral("; 已启动/booted") : QString()));
        }
        lss_ = lss_stage::boot;
        return;
    }
    case lss_stage::boot: {
        const bool booted = lss_back_to_waiting(bus, id, wire_.lss_hooks);
        in_configuration_ = false;
        const QString found = QStringLiteral("LSS找到/found by LSS: %1").arg(id_text());
        if (!booted)
            return fail(found, QStringLiteral("节点号%1已分配并保存，未收到启动报文/node-ID %1 given and stored; its boot-up "
                                              "was not heard")
                                   .arg(id));
        return pass(found, QStringLiteral("分配节点号%1，已保存，已启动/given node-ID %1, stored, booted").arg(id));
    }
    }
}

void bench_boot::step_identity()
{
    const int id = spec().node;
    if (!transfer_) {
        if (identity_part_ == 0)
            for (bool &k : found_known_)
                k = false;
        transfer_ = canopen::sdo_transfer::upload(canopen::identity_index, static_cast<uint8_t>(identity_part_ + 1));
    }
    canopen::step_sdo(wire_.dcf.link(id), *transfer_);
    if (!transfer_->done())
        return;
    const canopen::sdo_outcome o = transfer_->outcome();
    transfer_.reset();
    const int part = identity_part_;
    if (o.ok && o.data.size() >= 4) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(o.data[i])) << (8 * i);
        found_id_.part[part] = v;
        found_known_[part] = true;
    }
    const expected_identity &x = spec().expected;
    const QString found = identity_parts_text(found_id_, found_known_);
    if (!found_known_[part] && (x.known[part] || o.unanswered())) {
        identity_part_ = 0;
        return fail(found, QStringLiteral("0x1018:%1 未读到/not read: %2；未写入/nothing written").arg(part + 1).arg(failure_text(o)));
    }
    if (++identity_part_ < 4)
        return;
    identity_part_ = 0;
    bool matches = true;
    for (int i = 0; i < 4; ++i)
        matches = matches && (!x.known[i] || (found_known_[i] && found_id_.part[i] == x.id.part[i]));
    const QString wanted = identity_parts_text(x.id, x.known);
    if (!matches)
        return fail(found, QStringLiteral("身份不符，DCF要求/identity differs, the DCF gives %1；未写入/nothing written").arg(wanted));
    pass(found, QStringLiteral("与DCF相符/matches the DCF (%1)").arg(wanted.isEmpty() ? QStringLiteral("-") : wanted));
}

void bench_boot::step_configuration()
{
    const int id = spec().node;
    if (!sub_) {
        auto job = std::make_unique<dcf_job>(dcf_job::mode::download, configuration_of(spec().dcf), std::vector<int>{id}, wire_.dcf);
        download_ = job.get();
        if (stop_)
            download_->stop_between_objects();
        sub_ = std::move(job);
    }
    if (sub_->step())
        return;
    const std::unique_ptr<step_job> ended = std::move(sub_);
    const dcf_job &job = *download_;
    download_ = nullptr;
    const dcf_totals &t = job.totals();
    const QString found = QStringLiteral("比较/compared %1, 不同/differing %2").arg(t.compared).arg(t.differing);
    const QString done = QStringLiteral("写入/written %1, 回读校验/verified by read-back %2").arg(t.written).arg(t.verified);
    const node_summary::result r = job.summaries().empty() ? node_summary::result::not_reached : job.summaries().front().outcome;
    if (r == node_summary::result::configured && t.refused == 0 && !t.cancelled && !t.bus_lost)
        return pass(found, done);
    QStringList why;
    why << result_text(r);
    if (t.cancelled)
        why << QStringLiteral("已取消/cancelled");
    if (t.bus_lost)
        why << bus_lost_note();
    int told = 0;
    for (const report_row &row : job.report())
        if (!row.note.isEmpty() && row.index != 0 && told++ < 3)
            why << QStringLiteral("0x%1:%2 %3").arg(row.index, 4, 16, QLatin1Char('0')).arg(row.sub).arg(row.note);
    record(step_result::failed, found, done, why.join(QStringLiteral("; ")));
    next_node();
}

void bench_boot::step_store()
{
    if (!spec().store && !options_.store_always)
        return skip(QStringLiteral("DCF未要求保存(0x1010:1)/the DCF does not ask for it (0x1010:1 \"save\")"));
    const int id = spec().node;
    if (!sub_)
        sub_ = std::make_unique<store_job>(std::vector<int>{id}, wire_.dcf);
    if (sub_->step())
        return;
    const std::unique_ptr<step_job> ended = std::move(sub_);
    const auto &store = static_cast<const store_job &>(*ended);
    if (store.stored() == 1)
        return pass(QString(), QStringLiteral("已保存/stored (0x1010:1 \"save\")"));
    const report_row row = store.report().empty() ? report_row() : store.report().front();
    fail(row.after, row.note.isEmpty() ? QStringLiteral("未保存/not stored") : row.note);
}

void bench_boot::step_heartbeat()
{
    const int id = spec().node;
    const int period = spec().heartbeat_ms;
    if (period <= 0)
        return fail(QString(), QStringLiteral("DCF未给出心跳生产时间(0x1017)，无法监视，未启动/the DCF gives no producer "
                                              "heartbeat time (0x1017): the node could not be watched, not started"));
    if (first_beat_since_[at_] < 0)
        first_beat_since_[at_] = vci::bus_tap::now_us();
    const heard_beat &beat = last_beat_[static_cast<size_t>(id)];
    if (beat.t_us >= first_beat_since_[at_] && beat.state != hb_boot_up)
        return pass(QStringLiteral("心跳/heartbeat: %1").arg(canopen::nmt_state_text(beat.state)),
                    QStringLiteral("生产时间/producer time %1 ms, 已监视/watched").arg(period));
    if (waited_out(first_beat_since_[at_], period))
        return fail(QString(), QStringLiteral("%1 ms内未收到心跳/no heartbeat within %1 ms; 未启动/not started")
                                   .arg(heartbeat_periods_waited * period + heartbeat_slack_ms));
    idle();
}

bool bench_boot::waited_out(int64_t since_us, int period_ms) const
{
    return vci::bus_tap::now_us() - since_us > int64_t(heartbeat_periods_waited * period_ms + heartbeat_slack_ms) * 1000;
}

void bench_boot::idle() const
{
    // Waiting for a heartbeat is not a transaction: the event loop gets the time, the processor
    // nearly all of it back.
    QThread::msleep(1);
}

// NMT start, the node's last step: sent once, then its heartbeat awaited.
void bench_boot::step_start()
{
    const int id = spec().node;
    if (start_sent_us_ < 0) {
        start_sent_us_ = vci::bus_tap::now_us();
        wire_.start(id);
        return;
    }
    const heard_beat &beat = last_beat_[static_cast<size_t>(id)];
    if (beat.t_us >= start_sent_us_ && beat.state == hb_operational)
        return pass(QStringLiteral("心跳/heartbeat: %1").arg(canopen::nmt_state_text(beat.state)),
                    QStringLiteral("NMT启动，心跳确认运行/NMT start sent, operational confirmed by the heartbeat"));
    if (waited_out(start_sent_us_, spec().heartbeat_ms))
        return fail(beat.t_us >= start_sent_us_ ? QStringLiteral("心跳/heartbeat: %1").arg(canopen::nmt_state_text(beat.state))
                                                : QStringLiteral("无心跳/no heartbeat"),
                    QStringLiteral("NMT启动已发送，运行未确认/NMT start sent, operational not confirmed"));
    idle();
}

void bench_boot::step_start_all()
{
    if (start_sent_us_ < 0) {
        start_sent_us_ = vci::bus_tap::now_us();
        start_began_s_ = now_s();
        for (const size_t i : to_start_) {
            at_ = i;
            begin_step(boot_step::start);
        }
        for (const size_t i : to_start_)
            wire_.start(nodes_[i].node);
        return;
    }
    std::vector<size_t> waiting;
    for (const size_t i : to_start_) {
        at_ = i;
        step_ = boot_step::start;
        step_began_s_ = start_began_s_;
        const heard_beat &beat = last_beat_[static_cast<size_t>(nodes_[i].node)];
        if (beat.t_us >= start_sent_us_ && beat.state == hb_operational) {
            record(step_result::passed, QStringLiteral("心跳/heartbeat: %1").arg(canopen::nmt_state_text(beat.state)),
                   QStringLiteral("NMT启动，心跳确认运行/NMT start sent, operational confirmed by the heartbeat"), QString());
            nodes_[i].current = -1;
            nodes_[i].ended_s = now_s();
        } else if (waited_out(start_sent_us_, spec().heartbeat_ms)) {
            record(step_result::failed, QStringLiteral("无运行心跳/no operational heartbeat"), QString(),
                   QStringLiteral("NMT启动已发送，运行未确认/NMT start sent, operational not confirmed"));
        } else {
            waiting.push_back(i);
        }
    }
    to_start_ = waiting;
    if (to_start_.empty())
        return finish();
    idle();
}

// ---- the report ----------------------------------------------------------------------------

int boot_outcome::nodes_done() const
{
    int n = 0;
    for (const node_boot &b : nodes)
        n += b.done() ? 1 : 0;
    return n;
}

boot_outcome outcome_of(const bench_boot &boot, const QDateTime &started)
{
    boot_outcome o;
    o.bench = boot.bench();
    o.nodes = boot.nodes();
    o.discovery = boot.discovery();
    o.seconds = boot.seconds();
    o.started = started;
    return o;
}

QStringList boot_report_headers()
{
    return {QStringLiteral("节点/Node"),  QStringLiteral("名称/Name"), QStringLiteral("步骤/Step"),
            QStringLiteral("结果/Result"), QStringLiteral("发现/Found"), QStringLiteral("完成/Done"),
            QStringLiteral("用时/Time (s)"), QStringLiteral("说明/Note")};
}

std::vector<QStringList> boot_report_rows(const boot_outcome &boot)
{
    std::vector<QStringList> rows;
    const step_record &d = boot.discovery;
    rows.push_back({QStringLiteral("-"), boot.bench.net_name, QStringLiteral("discovery"), step_result_text(d.result), d.found,
                    d.done, seconds_text(d.seconds), d.note});
    for (const node_boot &n : boot.nodes) {
        for (int s = 0; s < boot_step_count; ++s) {
            const step_record &r = n.steps[s];
            rows.push_back({QString::number(n.node), n.name, QString::fromLatin1(step_names[s]), step_result_text(r.result),
                            r.found, r.done, r.result == step_result::not_run ? QString() : seconds_text(r.seconds), r.note});
        }
        const bool timed = n.started_s >= 0 && n.ended_s >= n.started_s;
        rows.push_back({QString::number(n.node), n.name, QStringLiteral("boot"),
                        n.done() ? QStringLiteral("完成/done") : QStringLiteral("未完成/not done"), QString(), QString(),
                        timed ? seconds_text(n.ended_s - n.started_s) : QString(), QString()});
    }
    return rows;
}

QByteArray boot_junit(const boot_outcome &boot)
{
    using text_safety::safe_text;
    const QString suite = boot.bench.net_name.isEmpty() ? QStringLiteral("bench") : boot.bench.net_name;
    int tests = 1, failures = 0, skipped = 0;
    for (const node_boot &n : boot.nodes)
        for (const step_record &s : n.steps) {
            ++tests;
            failures += s.result == step_result::failed ? 1 : 0;
            skipped += s.result == step_result::not_run || s.result == step_result::skipped ? 1 : 0;
        }
    failures += boot.discovery.result == step_result::failed ? 1 : 0;
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("testsuites"));
    w.writeAttribute(QStringLiteral("name"), safe_text(suite));
    w.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    w.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    w.writeAttribute(QStringLiteral("time"), seconds_text(boot.seconds));
    w.writeStartElement(QStringLiteral("testsuite"));
    w.writeAttribute(QStringLiteral("name"), safe_text(suite));
    w.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    w.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    w.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    w.writeAttribute(QStringLiteral("time"), seconds_text(boot.seconds));
    w.writeAttribute(QStringLiteral("timestamp"), boot.started.toString(Qt::ISODate));
    w.writeStartElement(QStringLiteral("properties"));
    const auto property = [&w](const QString &name, const QString &value) {
        w.writeStartElement(QStringLiteral("property"));
        w.writeAttribute(QStringLiteral("name"), safe_text(name));
        w.writeAttribute(QStringLiteral("value"), safe_text(value));
        w.writeEndElement();
    };
    property(QStringLiteral("bench"), boot.bench.path);
    property(QStringLiteral("nodes"), QString::number(boot.nodes.size()));
    property(QStringLiteral("nodes_done"), QString::number(boot.nodes_done()));
    for (const node_boot &n : boot.nodes)
        if (n.started_s >= 0 && n.ended_s >= n.started_s)
            property(n.title() + QStringLiteral(" boot_s"), seconds_text(n.ended_s - n.started_s));
    w.writeEndElement();
    const auto testcase = [&](const QString &name, const step_record &r) {
        w.writeStartElement(QStringLiteral("testcase"));
        w.writeAttribute(QStringLiteral("classname"), safe_text(suite));
        w.writeAttribute(QStringLiteral("name"), safe_text(name));
        w.writeAttribute(QStringLiteral("time"), seconds_text(r.seconds));
        if (r.result == step_result::failed) {
            w.writeStartElement(QStringLiteral("failure"));
            w.writeAttribute(QStringLiteral("message"), safe_text(r.note));
            w.writeCharacters(safe_text(r.found.isEmpty() ? r.note : QStringLiteral("found: ") + r.found + QLatin1Char('\n') + r.note));
            w.writeEndElement();
        } else if (r.result == step_result::not_run || r.result == step_result::skipped) {
            w.writeStartElement(QStringLiteral("skipped"));
            w.writeAttribute(QStringLiteral("message"), safe_text(r.note));
            w.writeEndElement();
        }
        const QStringList said = QStringList{r.found.isEmpty() ? QString() : QStringLiteral("found: ") + r.found,
                                             r.done.isEmpty() ? QString() : QStringLiteral("done: ") + r.done};
        const QString out_text = QStringList(said).filter(QRegularExpression(QStringLiteral("."))).join(QLatin1Char('\n'));
        if (!out_text.isEmpty() && r.result == step_result::passed)
            w.writeTextElement(QStringLiteral("system-out"), safe_text(out_text));
        w.writeEndElement();
    };
    testcase(QStringLiteral("bench: discovery"), boot.discovery);
    for (const node_boot &n : boot.nodes)
        for (int s = 0; s < boot_step_count; ++s)
            testcase(n.title() + QStringLiteral(": ") + QString::fromLatin1(step_names[s]), n.steps[s]);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

bool save_boot_report(const QString &path, const boot_outcome &boot, QString *error)
{
    const auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const std::vector<QStringList> rows = boot_report_rows(boot);
    const QStringList title = {QStringLiteral("启动报告/Boot-up report"), boot.bench.path,
                               boot.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        table_snapshot snap;
        snap.headers << title.join(QStringLiteral("  ")) << boot_report_headers();
        snap.widths = QVector<int>(snap.headers.size(), 150);
        snap.rows = static_cast<int>(rows.size());
        for (int i = 0; i < snap.rows; ++i) {
            snap.cells << QString::number(i + 1);
            for (const QString &c : rows[static_cast<size_t>(i)])
                snap.cells << c;
        }
        return write_monitor_workbook(path, snap, error);
    }
    QByteArray bytes;
    if (path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive)) {
        bytes = boot_junit(boot);
    } else {
        const auto line = [](const QStringList &cells) {
            QStringList quoted;
            for (const QString &c : cells)
                quoted << text_safety::csv_field(c);
            return quoted.join(QLatin1Char(','));
        };
        QStringList lines{line(title), line(boot_report_headers())};
        for (const QStringList &r : rows)
            lines << line(r);
        bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        return failed(f.errorString());
    return true;
}

QStringList boot_summary(const boot_outcome &boot)
{
    QStringList out;
    for (const node_boot &n : boot.nodes) {
        const bool timed = n.started_s >= 0 && n.ended_s >= n.started_s;
        const QString time = timed ? QStringLiteral(" (%1 s)").arg(n.ended_s - n.started_s, 0, 'f', 2) : QString();
        if (n.done()) {
            out << QStringLiteral("%1: 完成/done%2").arg(n.title(), time);
            continue;
        }
        QString where;
        for (int s = 0; s < boot_step_count && where.isEmpty(); ++s)
            if (n.steps[s].result == step_result::failed)
                where = QStringLiteral("失败于/failed at %1: %2").arg(QString::fromLatin1(step_names[s]), n.steps[s].note);
        if (where.isEmpty())
            where = QStringLiteral("未完成/not done: %1").arg(n.steps[boot_step_count - 1].note);
        out << QStringLiteral("%1: %2%3").arg(n.title(), where, time);
    }
    return out;
}

void keep_bench_names(const bench_file &bench, int bus)
{
    for (const bench_node &n : bench.nodes)
        if (!n.name.isEmpty() && n.name != unnamed_node(n.node))
            joint_names::save_joint_name(bus, n.node, n.name);
}

}  // namespace objects
