#include "trace/replay.h"

#include <algorithm>
#include <cmath>

namespace trace {

bool held_back_by_default(uint32_t id)
{
    const auto node_range = [id](uint32_t base) { return id > base && id <= base + 0x7F; };
    return id == 0x000 || node_range(0x080) || node_range(0x180) || node_range(0x280) || node_range(0x380) ||
           node_range(0x480) || node_range(0x580) || node_range(0x700) || id == 0x7E4;
}

bool adapter_can_send(const trace_record &r) { return !r.error() && !r.fd() && !r.extended() && r.id <= 0x7FF; }

uint64_t send_plan::key(uint32_t id, bool extended, bool fd, bool transmitted)
{
    return uint64_t(id) << 3 | uint64_t(extended) << 2 | uint64_t(fd) << 1 | uint64_t(transmitted);
}

send_plan::send_plan(const frame_log &log)
{
    std::map<uint64_t, send_choice> found;
    for (size_t i = 0; i < log.size(); ++i) {
        const trace_record &r = log.at(i);
        if (r.error())
            continue;
        send_choice &c = found[key(r.id, r.extended(), r.fd(), r.transmitted())];
        if (c.frames++ == 0) {
            c.id = r.id;
            c.extended = r.extended();
            c.fd = r.fd();
            c.transmitted = r.transmitted();
            c.sendable = adapter_can_send(r);
            c.held_back = !r.extended() && held_back_by_default(r.id);
            c.ticked = c.transmitted && !c.held_back;
        }
    }
    for (const auto &f : found) {
        index_[f.first] = choices_.size();
        choices_.push_back(f.second);
    }
}

void send_plan::tick(size_t choice, bool on)
{
    if (choice < choices_.size())
        choices_[choice].ticked = on;
}

const send_choice *send_plan::choice_of(const trace_record &r) const
{
    if (r.error())
        return nullptr;
    const auto found = index_.find(key(r.id, r.extended(), r.fd(), r.transmitted()));
    return found == index_.end() ? nullptr : &choices_[found->second];
}

bool send_plan::sends(const trace_record &r) const
{
    const send_choice *c = choice_of(r);
    return c && c->ticked && c->sendable;
}

bool send_plan::skips(const trace_record &r) const
{
    const send_choice *c = choice_of(r);
    return c && c->ticked && !c->sendable;
}

size_t send_plan::frames_to_send() const
{
    size_t n = 0;
    for (const send_choice &c : choices_)
        n += c.ticked && c.sendable ? c.frames : 0;
    return n;
}

size_t send_plan::frames_skipped() const
{
    size_t n = 0;
    for (const send_choice &c : choices_)
        n += c.ticked && !c.sendable ? c.frames : 0;
    return n;
}

int64_t replay_scheduler::gap_after(size_t i, int64_t *latest) const
{
    const int64_t t = log_->at(i).t_us;
    const int64_t gap = std::clamp<int64_t>(t - *latest, 0, gap_limit_us_);
    *latest = std::max(*latest, t);
    return gap;
}

int64_t replay_scheduler::remaining_after_next() const
{
    int64_t latest = std::max(latest_us_, log_->at(next_).t_us);
    int64_t sum = 0;
    for (size_t i = next_ + 1; i < log_->size(); ++i)
        sum += gap_after(i, &latest);
    return sum;
}

void replay_scheduler::start(const frame_log &log, double speed, int64_t gap_limit_us, int64_t now_us)
{
    log_ = &log;
    next_ = 0;
    speed_ = std::isfinite(speed) ? std::clamp(speed, min_speed, max_speed) : 1.0;
    gap_limit_us_ = std::max<int64_t>(0, gap_limit_us);
    clock_us_ = now_us;
    played_us_ = 0;
    next_at_us_ = 0;
    latest_us_ = log.empty() ? 0 : log.at(0).t_us;
    total_ = log.empty() ? 0 : remaining_after_next();
}

void replay_scheduler::stop() { *this = replay_scheduler(); }

void replay_scheduler::set_speed(double speed, int64_t now_us)
{
    played_us_ += static_cast<double>(now_us - clock_us_) * speed_;
    clock_us_ = now_us;
    speed_ = std::isfinite(speed) ? std::clamp(speed, min_speed, max_speed) : 1.0;
}

void replay_scheduler::set_gap_limit(int64_t gap_limit_us)
{
    gap_limit_us_ = std::max<int64_t>(0, gap_limit_us);
    if (!finished())
        total_ = next_at_us_ + remaining_after_next();
}

std::vector<size_t> replay_scheduler::due(int64_t now_us, size_t most)
{
    std::vector<size_t> out;
    if (!log_)
        return out;
    played_us_ += static_cast<double>(now_us - clock_us_) * speed_;
    clock_us_ = now_us;
    while (!finished() && static_cast<double>(next_at_us_) <= played_us_ && out.size() < most) {
        out.push_back(next_);
        latest_us_ = std::max(latest_us_, log_->at(next_).t_us);
        if (++next_ < log_->size())
            next_at_us_ += gap_after(next_, &latest_us_);
    }
    return out;
}

int64_t replay_scheduler::next_due_us() const
{
    if (finished())
        return -1;
    const double ahead = static_cast<double>(next_at_us_) - played_us_;
    return clock_us_ + std::max<int64_t>(0, static_cast<int64_t>(std::ceil(ahead / speed_)));
}

int64_t replay_scheduler::played_us() const
{
    if (finished())
        return total_;
    return std::clamp<int64_t>(static_cast<int64_t>(played_us_), 0, total_);
}

}  // namespace trace
