#include "objects/dcf_job.h"

#include "base/hex.h"
#include "canopen/sdo_abort.h"
#include "objects/od_actions.h"

namespace objects {
namespace {

constexpr uint16_t store_index = 0x1010;
constexpr uint8_t store_all_sub = 1;

bool timed_out(const canopen::sdo_outcome &o) { return !o.ok && !o.server_aborted && o.abort == canopen::abort_code::timeout; }

}  // namespace

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
    }
    node_first_row_.push_back(static_cast<int>(rows_.size()));
    notes_.resize(rows_.size());
    written_.resize(rows_.size());
    expected_ = static_cast<int>(rows_.size());
}

std::vector<int> dcf_job::nodes_written() const
{
    std::vector<int> out;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (written_[i] && (out.empty() || out.back() != rows_[i].node))
            out.push_back(rows_[i].node);
    return out;
}

bool dcf_job::step()
{
    if (finished())
        return false;
    ++steps_;
    switch (phase_) {
    case phase::read: step_read(); break;
    case phase::pre_operational:
        if (stop_) {
            end_here();
            break;
        }
        wire_.pre_operational(node());
        phase_ = phase::write;
        at_ = 0;
        break;
    case phase::write: step_write(); break;
    case phase::verify: step_verify(); break;
    }
    return !finished();
}

void dcf_job::end_here()
{
    totals_.cancelled = true;
    node_ = nodes_.size();
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
        report_group(QStringLiteral("中断：未回读/interrupted: not read back"));
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
    if (!transfer_)
        transfer_ = start;
    canopen::step_sdo(wire_.link(node()), *transfer_);
    if (!transfer_->done())
        return false;
    outcome_ = transfer_->outcome();
    transfer_.reset();
    return true;
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
        if (r.value.bytes.ok && timed_out(outcome_)) {
            for (; at_ < count; ++at_) {
                dcf_row &rest = rows_[static_cast<size_t>(first_row() + at_)];
                rest.state = dcf_state::not_readable;
                rest.abort = canopen::abort_code::timeout;
            }
            return next_node();
        }
        if (at_ < count)
            return;
    }
    if (mode_ == mode::compare)
        return next_node();
    plan_node();
}

void dcf_job::plan_node()
{
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
        return next_node();
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
    if (outcome_.ok && w.row >= 0) {
        written_[static_cast<size_t>(w.row)] = true;
        ++totals_.written;
    } else if (!outcome_.ok) {
        ++totals_.refused;
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
    report_group(QString());
    ++group_;
    at_ = 0;
    phase_ = phase::write;
    if (stop_)
        end_here();
    else if (group_ >= groups_.size())
        next_node();
}

void dcf_job::report_group(const QString &interrupted)
{
    for (const int i : groups_[group_].rows) {
        const dcf_row &r = rows_[static_cast<size_t>(i)];
        const size_t k = static_cast<size_t>(i - first_row());
        const bool changed = read_before_[k] != r.read || before_[k] != r.drive;
        const bool cut_short = !interrupted.isEmpty() && wants_write(r);
        if (!written_[static_cast<size_t>(i)] && notes_[static_cast<size_t>(i)].isEmpty() && !changed && !cut_short)
            continue;
        report_row line;
        line.node = r.node;
        line.index = r.value.index;
        line.sub = r.value.sub;
        line.name = r.value.name;
        line.before = read_before_[k] ? drive_text(r.value, before_[k]) : QStringLiteral("-");
        line.after = r.read ? drive_text(r.value, r.drive) : canopen::abort_text(r.abort);
        line.verified = r.read && r.drive == r.value.bytes.bytes;
        line.note = notes_[static_cast<size_t>(i)];
        if (!interrupted.isEmpty()) {
            line.after = QStringLiteral("-");
            line.verified = false;
            line.note = line.note.isEmpty() ? interrupted : line.note + QStringLiteral("; ") + interrupted;
        }
        totals_.verified += line.verified && written_[static_cast<size_t>(i)] ? 1 : 0;
        report_.push_back(line);
    }
}

void dcf_job::next_node()
{
    ++totals_.nodes_done;
    ++node_;
    phase_ = phase::read;
    at_ = 0;
    groups_.clear();
    group_ = 0;
}

bool store_job::step()
{
    if (next_ >= nodes_.size())
        return false;
    const int node = nodes_[next_];
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
