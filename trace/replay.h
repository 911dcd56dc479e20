#pragma once
// Plays a loaded trace back onto the bus with its original timing, scaled by a speed factor
// (2 = twice as fast), like canplayer. Clock-free: the caller says what time it is, so the
// window drives it from a timer and tests from a fake clock. Error frames are not sent.
#include "trace/trace_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trace {

class replay_scheduler {
public:
    static constexpr double min_speed = 0.1;
    static constexpr double max_speed = 10.0;

    // Starts over with these frames at time now_us; speed is clamped to min..max.
    void start(std::vector<trace_record> frames, double speed, int64_t now_us);
    // Frames whose time has come by now_us, in order; each is handed out once.
    std::vector<trace_record> due(int64_t now_us);
    // When the next frame is due (for the timer), or -1 when done.
    int64_t next_due_us() const;
    bool finished() const { return next_ >= frames_.size(); }
    size_t sent() const { return next_; }
    size_t total() const { return frames_.size(); }
    double speed() const { return speed_; }

private:
    std::vector<trace_record> frames_;
    size_t next_ = 0;
    double speed_ = 1.0;
    int64_t start_us_ = 0;
    int64_t first_us_ = 0;
};

}  // namespace trace
