#include "objects/dcf_job.h"

#include "base/hex.h"
#include "canopen/cia_objects.h"
#include "canopen/sdo_abort.h"
#include "objects/od_actions.h"

namespace objects {
namespace {

constexpr uint16_t store_index = 0x1010;
constexpr uint8_t store_all_sub = 1;

// Read of each node before a download, for the report: 0x1018 subs 1-4 in this order.
QString node_summary::*const identity_fields[] = {&node_summary::vendor, &node_summary::product,
                                                  &node_summary::revision, &node_summary::serial};
constexpr int identity_reads = 4;

QString interrupted_text() { return QStringLiteral("中断：未回读/interrupted: not read back"); }

// A row that tells of the whole node rather than of one object.
report_row node_row(int node, const QString &name, const QString &note)
{
    report_row line;
    line.node = node;
    line.name = name;
    line.before = line.after = QStringLiteral("-");
    line.note = note;
    return line;
}

}  // namespace

QString rebooted_text() { return QStringLiteral("下载中重启：未配置/rebooted during download: not configured"); }

QString bus_lost_note() { return QStringLiteral("总线断开/bus lost"); }

QString result_text(node_summary::result r)
{
    switch (r) {
    case node_summary::result::not_reached: return QStringLiteral("未处理/not done");
    case node_summary::result::compared: return QStringLiteral("已比较/compared");
    case node_summary::result::configured: return QStringLiteral("已配置并校验/configured and verified");
    case node_summary::result::not_configured: return QStringLiteral("未完全配置/not fully configured");
    case node_summary::result::no_answer: return QStringLiteral("无应答/no answer");
    case node_summary::result::rebooted: return rebooted_text();
    case node_summary::result::bus_lost: return bus_lost_note();
    }
    return QString();
}

dcf_job::dcf_job(mode m, const eds_document &dcf, const std::vector<int> &nodes, const dcf_wire &wire,
                 std::function<void(const dcf_job &, bool)> end)
    : mode_(m), nodes_(nodes), wire_(wire), end_(std::move(end))
{
    for (const int n : nodes_) {
        node_first_row_.push_back(static_cast<int>(rows_.size()));
        for (const dcf_value &v : dcf_values(dcf, n)) {
            dcf_row r;
            r.node = n;
            r.value = v;
            rows_.push_back(r);
        }
        node_summary s;
        s.node = n;
        summaries_.push_back(s);
    }
    node_first_row_.push_back(static_cast<int>(rows_.size()));
    notes_.resize(rows_.size());
    written_.resize(rows_.size());
    reboots_before_.resize(nodes_.size());
    expected_ = static_cast<int>(rows_.size()) + (downloads() ? identity_reads * node_count() : 0);
    begin_node();
}

std::vector<int> dcf_job::nodes_written() const
{
    std::vector<int> out;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (written_[i] && (out.empty() || out.back() != rows_[i].node))
            out.push_back(rows_[i].node);
    std::vector<int> kept;
    for (const int n : out) {
        const auto at = std::find(nodes_.begin(), nodes_.end(), n) - nodes_.begin();
        if (summaries_[static_cast<size_t>(at)].outcome != node_summary::result::rebooted)
            kept.push_back(n);
    }
    return kept;
}

bool dcf_job::step()
{
    if (finished())
        return false;
    ++steps_;
    const size_t working_on = node_;
    watch_reboots();
    if (node_ != working_on)
        return !finished();
    switch (phase_) {
    case phase::identity: step_identity(); break;
    case phase::read: step_read(); break;
    case phase::pre_operational:
        if (stop_) {
            end_here();
            break;
        }
        wire_.pre_operational(node());
        if (wire_.watch)
            wire_.watch->commanded_pre_operational(node());
        phase_ = phase::write;
        at_ = 0;
        break;
    case phase::write: step_write(); break;
    case phase::verify: step_verify(); break;
    }
    return !finished();
}

void dcf_job::watch_reboots()
{
    if (!wire_.watch)
        return;
    wire_.watch->look();
    for (size_t i = 0; i <= node_ && i < nodes_.size(); ++i) {
        const node_summary::result r = summaries_[i].outcome;
        // Only work done on a node before it rebooted is lost: the node being worked on, and in
        // a download the nodes already written.
        const bool lost = i == node_ || (downloads() && (r == node_summary::result::configured || r == node_summary::result::not_configured));
        if (lost && wire_.watch->reboots(nodes_[i]) > reboots_before_[i])
            node_rebooted(i);
    }
}

void dcf_job::node_rebooted(size_t at)
{
    const int n = nodes_[at];
    for (report_row &line : report_) {
        if (line.node != n || line.index == 0)
            continue;
        totals_.verified -= line.verified && line.written ? 1 : 0;
        line.verified = false;
        line.note = line.note.isEmpty() ? rebooted_text() : line.note + QStringLiteral("; ") + rebooted_text();
    }
    report_.push_back(node_row(n, QStringLiteral("节点重启/node rebooted"), rebooted_text()));
    if (at != node_) {
        set_done(at, node_summary::result::rebooted);
        return;
    }
    // What it was in the middle of went with the reboot; the node's server knows nothing of it.
    transfer_.reset();
    finish_node(node_summary::result::rebooted);
}

void dcf_job::set_done(size_t at, node_summary::result r)
{
    const auto counts = [](node_summary::result x) {
        return x == node_summary::result::configured || x == node_summary::result::compared;
    };
    node_summary &s = summaries_[at];
    totals_.nodes_done += (counts(r) ? 1 : 0) - (counts(s.outcome) ? 1 : 0);
    s.outcome = r;
}

void dcf_job::end_here()
{
    totals_.cancelled = true;
    if (node_ < nodes_.size() && (phase_ == phase::write || phase_ == phase::verify))
        set_done(node_, node_summary::result::not_configured);
    node_ = nodes_.size();
}

bool dcf_job::lost_bus()
{
    if (!wire_.bus_lost || !wire_.bus_lost())
        return false;
    totals_.bus_lost = true;
    transfer_.reset();
    // What the group had written is told; the rest never went out.
    if (phase_ == phase::write || phase_ == phase::verify)
        report_group(interrupted_text(), true);
    report_.push_back(node_row(node(), bus_lost_note(), bus_lost_note()));
    set_done(node_, node_summary::result::bus_lost);
    node_ = nodes_.size();
    return true;
}

void dcf_job::cancel()
{
    if (finished())
        return;
    if (transfer_)
        canopen::cancel_sdo(wire_.link(node()), *transfer_);
    transfer_.reset();
    // A group cut short is told as it stands: what was written, nothing read back.
    if (phase_ == phase::write || phase_ == phase::verify)
        report_group(interrupted_text());
    end_here();
}

void dcf_job::ended(bool cancelled)
{
    totals_.cancelled = totals_.cancelled || cancelled;
    if (end_)
        end_(*this, totals_.cancelled);
}

bool dcf_job::run_transfer(const canopen::sdo_transfer &start)
{
    return canopen::step_transfer(wire_.link(node()), transfer_, start, &outcome_);
}

void dcf_job::step_identity()
{
    if (!transfer_ && stop_)
        return end_here();
    if (!run_transfer(canopen::sdo_transfer::upload(canopen::identity_index, static_cast<uint8_t>(canopen::identity_vendor + at_))))
        return;
    if (outcome_.unanswered()) {
        if (!lost_bus())
            node_silent(0);
        return;
    }
    if (outcome_.ok)
        summaries_[node_].*identity_fields[at_] = canopen::identity_text(outcome_.data);
    if (++at_ < identity_reads)
        return;
    phase_ = phase::read;
    at_ = 0;
}

void dcf_job::node_silent(int from_row)
{
    const int count = node_first_row_[node_ + 1] - first_row();
    for (int at = from_row; at < count; ++at) {
        dcf_row &rest = rows_[static_cast<size_t>(first_row() + at)];
        rest.state = dcf_state::not_readable;
        rest.abort = canopen::abort_code::timeout;
    }
    finish_node(node_summary::result::no_answer);
}

void dcf_job::step_read()
{
    const int count = node_first_row_[node_ + 1] - first_row();
    if (at_ == 0) {
        before_.assign(static_cast<size_t>(count), QByteArray());
        read_before_.assign(static_cast<size_t>(count), false);
    }
    if (!transfer_ && stop_)
        return end_here();
    if (at_ < count) {
        dcf_row &r = rows_[static_cast<size_t>(first_row() + at_)];
        if (r.value.bytes.ok && !run_transfer(canopen::sdo_transfer::upload(r.value.index, r.value.sub)))
            return;
        if (r.value.bytes.ok && outcome_.unanswered() && lost_bus())
            return;
        r.state = r.value.bytes.ok ? compare(r.value, outcome_) : dcf_state::invalid;
        r.read = r.value.bytes.ok && outcome_.ok;
        r.drive = r.read ? outcome_.data : QByteArray();
        r.abort = r.read ? 0 : outcome_.abort;
        before_[static_cast<size_t>(at_)] = r.drive;
        read_before_[static_cast<size_t>(at_)] = r.read;
        ++totals_.compared;
        totals_.differing += r.state == dcf_state::same ? 0 : 1;
        ++at_;
        // A node that does not answer is not asked object after object.
        if (r.value.bytes.ok && outcome_.unanswered())
            return node_silent(at_);
        if (at_ < count)
            return;
    }
    if (mode_ == mode::compare)
        return finish_node(node_summary::result::compared);
    plan_node();
}

void dcf_job::plan_node()
{
    // A value for an object the drive cannot show (it has no such object, say) cannot be put on
    // it: the node is not configured, and the report says which object.
    for (int i = first_row(); i < node_first_row_[node_ + 1]; ++i) {
        const dcf_row &r = rows_[static_cast<size_t>(i)];
        if (!r.value.bytes.ok || r.state != dcf_state::not_readable || wants_write(r) || is_command_object(r.value.index))
            continue;
        node_failed_ = true;
        report_row line;
        line.node = r.node;
        line.index = r.value.index;
        line.sub = r.value.sub;
        line.name = r.value.name;
        line.before = QStringLiteral("-");
        line.after = canopen::abort_text(r.abort);
        line.note = QStringLiteral("驱动器上读不到，未写入/not readable on the drive: not written");
        report_.push_back(line);
    }
    const auto first = rows_.begin() + first_row();
    const auto last = rows_.begin() + node_first_row_[node_ + 1];
    groups_ = plan_download(std::vector<dcf_row>(first, last));
    for (dcf_group &g : groups_) {
        for (dcf_write &w : g.writes)
            if (w.row >= 0)
                w.row += first_row();
        for (int &r : g.rows)
            r += first_row();
        expected_ += static_cast<int>(g.writes.size() + g.rows.size());
    }
    if (groups_.empty())
        return finish_node(node_failed_ ? node_summary::result::not_configured : node_summary::result::configured);
    ++expected_;  // the NMT command
    group_ = 0;
    phase_ = phase::pre_operational;
}

void dcf_job::step_write()
{
    const dcf_group &g = groups_[group_];
    const dcf_write &w = g.writes[static_cast<size_t>(at_)];
    if (!run_transfer(canopen::sdo_transfer::download(w.index, w.sub, w.data)))
        return;
    if (outcome_.unanswered() && lost_bus())
        return;
    if (outcome_.ok && w.row >= 0) {
        written_[static_cast<size_t>(w.row)] = true;
        ++totals_.written;
    } else if (!outcome_.ok) {
        ++totals_.refused;
        node_failed_ = true;
        const QString why = canopen::abort_text(outcome_.abort);
        if (w.row >= 0) {
            notes_[static_cast<size_t>(w.row)] = QStringLiteral("写入被拒绝/write refused: ") + why;
        } else {
            // A step of a PDO's procedure concerns every object of the group being written.
            const QString step = QStringLiteral("PDO步骤/PDO step %1:%2: ")
                                     .arg(hex::prefixed(w.index, 4), hex::digits(w.sub, 2)) + why;
            for (const int r : g.rows)
                if (wants_write(rows_[static_cast<size_t>(r)]))
                    notes_[static_cast<size_t>(r)] = step;
        }
    }
    if (++at_ < static_cast<int>(g.writes.size()))
        return;
    phase_ = phase::verify;
    at_ = 0;
}

void dcf_job::step_verify()
{
    const dcf_group &g = groups_[group_];
    dcf_row &r = rows_[static_cast<size_t>(g.rows[static_cast<size_t>(at_)])];
    if (!run_transfer(canopen::sdo_transfer::upload(r.value.index, r.value.sub)))
        return;
    if (outcome_.unanswered() && lost_bus())
        return;
    r.read = outcome_.ok;
    r.drive = outcome_.ok ? outcome_.data : QByteArray();
    r.abort = outcome_.ok ? 0 : outcome_.abort;
    r.state = compare(r.value, outcome_);
    if (++at_ < static_cast<int>(g.rows.size()))
        return;
    finish_group();
}

void dcf_job::finish_group()
{
    for (const int i : groups_[group_].rows) {
        const dcf_row &r = rows_[static_cast<size_t>(i)];
        if (written_[static_cast<size_t>(i)] && !(r.read && r.drive == r.value.bytes.bytes))
            node_failed_ = true;
    }
    report_group(QString());
    ++group_;
    at_ = 0;
    phase_ = phase::write;
    if (stop_)
        end_here();
    else if (group_ >= groups_.size())
        finish_node(node_failed_ ? node_summary::result::not_configured : node_summary::result::configured);
}

void dcf_job::report_group(const QString &interrupted, bool written_only)
{
    for (const int i : groups_[group_].rows) {
        const dcf_row &r = rows_[static_cast<size_t>(i)];
        const size_t k = static_cast<size_t>(i - first_row());
        const bool written = written_[static_cast<size_t>(i)];
        const bool changed = read_before_[k] != r.read || before_[k] != r.drive;
        const bool cut_short = !interrupted.isEmpty() && (written_only ? written : wants_write(r));
        if (!written && notes_[static_cast<size_t>(i)].isEmpty() && !changed && !cut_short)
            continue;
        report_row line;
        line.node = r.node;
        line.index = r.value.index;
        line.sub = r.value.sub;
        line.name = r.value.name;
        line.before = read_before_[k] ? drive_text(r.value, before_[k]) : QStringLiteral("-");
        line.after = r.read ? drive_text(r.value, r.drive) : canopen::abort_text(r.abort);
        line.verified = r.read && r.drive == r.value.bytes.bytes;
        line.written = written;
        line.note = notes_[static_cast<size_t>(i)];
        if (!interrupted.isEmpty()) {
            line.after = QStringLiteral("-");
            line.verified = false;
            line.note = line.note.isEmpty() ? interrupted : line.note + QStringLiteral("; ") + interrupted;
        }
        totals_.verified += line.verified && written ? 1 : 0;
        report_.push_back(line);
    }
}

void dcf_job::finish_node(node_summary::result r)
{
    set_done(node_, r);
    ++node_;
    groups_.clear();
    group_ = 0;
    begin_node();
}

void dcf_job::begin_node()
{
    phase_ = downloads() ? phase::identity : phase::read;
    at_ = 0;
    node_failed_ = false;
    if (node_ < nodes_.size() && wire_.watch) {
        wire_.watch->look();
        reboots_before_[node_] = wire_.watch->reboots(node());
    }
}

store_job::store_job(const std::vector<int> &nodes, const dcf_wire &wire, std::function<void(const store_job &, bool)> end)
    : nodes_(nodes), wire_(wire), end_(std::move(end))
{
    if (wire_.watch)
        wire_.watch->look();
    for (const int n : nodes_)
        reboots_before_.push_back(wire_.watch ? wire_.watch->reboots(n) : 0);
}

bool store_job::step()
{
    if (next_ >= nodes_.size())
        return false;
    const int node = nodes_[next_];
    if (!transfer_ && wire_.watch) {
        wire_.watch->look();
        if (wire_.watch->reboots(node) > reboots_before_[next_]) {
            report_row line = node_row(node, QStringLiteral("保存参数/Save parameters"),
                                       rebooted_text() + QStringLiteral("; 未保存/not stored"));
            line.index = store_index;
            line.sub = store_all_sub;
            report_.push_back(line);
            return ++next_ < nodes_.size();
        }
    }
    if (!transfer_)
        transfer_ = store_parameters();
    canopen::step_sdo(wire_.link(node), *transfer_);
    if (!transfer_->done())
        return true;
    const canopen::sdo_outcome o = transfer_->outcome();
    transfer_.reset();
    ++next_;
    report_row line;
    line.node = node;
    line.index = store_index;
    line.sub = store_all_sub;
    line.name = QStringLiteral("保存参数/Save parameters");
    line.before = QStringLiteral("-");
    line.after = o.ok ? QStringLiteral("save") : canopen::abort_text(o.abort);
    line.verified = o.ok;
    if (o.unanswered() && wire_.bus_lost && wire_.bus_lost()) {
        // Said once; no other node is asked.
        bus_lost_ = true;
        line.after = QStringLiteral("-");
        line.note = bus_lost_note();
        next_ = nodes_.size();
    }
    stored_ += o.ok ? 1 : 0;
    report_.push_back(line);
    return next_ < nodes_.size();
}

void store_job::cancel()
{
    if (transfer_ && next_ < nodes_.size())
        canopen::cancel_sdo(wire_.link(nodes_[next_]), *transfer_);
    transfer_.reset();
    next_ = nodes_.size();
}

void store_job::ended(bool cancelled)
{
    if (end_)
        end_(*this, cancelled);
}

}  // namespace objects
