#pragma once
// Playing a log back, and the choice of what of it may reach the bus. No widgets and no clock:
// the caller says what time it is, so the window drives it from a timer and tests from a fake
// clock.
#include "trace/frame_log.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace trace {

// NMT commands (0x000) and what the nodes' side of CANopen sends: EMCY, TPDOs, SDO replies,
// heartbeats and LSS replies. Sending a log never puts these on the bus unless the user asks.
bool held_back_by_default(uint32_t id);
// What this adapter can put on the bus: standard classic data and remote frames.
bool adapter_can_send(const trace_record &r);

// One identifier of a log (with its kind and direction) and whether its frames are sent.
struct send_choice {
    uint32_t id = 0;
    bool extended = false;
    bool fd = false;
    bool transmitted = false;  // the log marks its frames as sent by the program that wrote it
    size_t frames = 0;
    bool sendable = true;  // false: ticked or not, its frames are skipped and counted
    bool held_back = false;
    bool ticked = false;
};

// By default a log sends only the frames it marks as transmitted (a log without marks counts as
// received, so nothing is ticked), never the held-back identifiers, and never error frames.
class send_plan {
public:
    send_plan() = default;
    explicit send_plan(const frame_log &log);

    const std::vector<send_choice> &choices() const { return choices_; }
    void tick(size_t choice, bool on);
    // The frame goes to the bus; or it was chosen but this adapter cannot send it.
    bool sends(const trace_record &r) const;
    bool skips(const trace_record &r) const;
    size_t frames_to_send() const;
    size_t frames_skipped() const;

private:
    const send_choice *choice_of(const trace_record &r) const;
    static uint64_t key(uint32_t id, bool extended, bool fd, bool transmitted);

    std::vector<send_choice> choices_;  // by identifier
    std::map<uint64_t, size_t> index_;
};

// Times a playback of a log: frames come in log order, each after its gap to the latest time
// seen before it, scaled by the speed; gaps longer than the gap limit are shortened to it,
// frames stamped earlier than one before them follow at once, so no timestamp stalls it.
class replay_scheduler {
public:
    static constexpr double min_speed = 0.1;
    static constexpr double max_speed = 10.0;
    static constexpr int64_t default_gap_limit_us = 1000000;
    // Frames handed out per look at the most (unless the caller asks for fewer), so that a
    // burst never holds the caller long.
    static constexpr size_t max_batch = 2000;

    // Starts over with the log's frames at time now_us; speed is clamped to min..max.
    void start(const frame_log &log, double speed, int64_t gap_limit_us, int64_t now_us);
    void stop();
    // Both take effect at once: what was played so far stays played.
    void set_speed(double speed, int64_t now_us);
    void set_gap_limit(int64_t gap_limit_us);

    // Positions of the frames whose time has come by now_us, in order; each handed out once.
    std::vector<size_t> due(int64_t now_us, size_t most = max_batch);
    // When the next frame is due (for the timer), or -1 when done.
    int64_t next_due_us() const;
    bool running() const { return log_ != nullptr; }
    bool finished() const { return !log_ || next_ >= log_->size(); }
    size_t position() const { return next_; }
    double speed() const { return speed_; }
    // Play time (the log's time with the gaps shortened) reached so far, and of the whole log.
    int64_t played_us() const;
    int64_t total_us() const { return total_; }

private:
    int64_t gap_after(size_t i, int64_t *latest) const;
    int64_t remaining_after_next() const;

    const frame_log *log_ = nullptr;
    size_t next_ = 0;
    double speed_ = 1.0;
    int64_t gap_limit_us_ = default_gap_limit_us;
    int64_t clock_us_ = 0;   // caller's time of the last look
    double played_us_ = 0;   // play time reached by then
    int64_t next_at_us_ = 0;  // play time of the next frame
    int64_t latest_us_ = 0;   // latest log time handed out
    int64_t total_ = 0;
};

}  // namespace trace
