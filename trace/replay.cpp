#include "trace/replay.h"

#include <algorithm>
#include <cmath>

namespace trace {

void replay_scheduler::start(std::vector<trace_record> frames, double speed, int64_t now_us)
{
    frames.erase(std::remove_if(frames.begin(), frames.end(), [](const trace_record &r) { return r.error(); }),
                 frames.end());
    frames_ = std::move(frames);
    next_ = 0;
    speed_ = std::isfinite(speed) ? std::clamp(speed, min_speed, max_speed) : 1.0;
    start_us_ = now_us;
    first_us_ = frames_.empty() ? 0 : frames_.front().t_us;
}

int64_t replay_scheduler::next_due_us() const
{
    if (finished())
        return -1;
    const int64_t offset = std::max<int64_t>(0, frames_[next_].t_us - first_us_);
    return start_us_ + static_cast<int64_t>(std::llround(static_cast<double>(offset) / speed_));
}

std::vector<trace_record> replay_scheduler::due(int64_t now_us)
{
    std::vector<trace_record> out;
    while (!finished() && next_due_us() <= now_us)
        out.push_back(frames_[next_++]);
    return out;
}

}  // namespace trace
