#include "scope/scope_capture.h"

namespace scope {

void capture::start(const channel_list &channels)
{
    const size_t cap = recording_.cap();
    recording_.reset(channels);
    recording_.set_cap(cap);
    ring_.clear();
    level_ = level_trigger();
    awaiting_motion_ = false;
    phase_ = phase::recording;
}

void capture::arm(const channel_list &channels, size_t pretrigger_samples, const level_trigger &level)
{
    start(channels);
    ring_.reserve(pretrigger_samples);
    ring_capacity_ = pretrigger_samples;
    ring_next_ = 0;
    level_ = level;
    have_previous_ = false;
    awaiting_motion_ = false;
    velocity_channel_ = state_channel_ = -1;
    for (int ch = 0; ch < recording_.width(); ++ch) {
        const role kind = recording_.channel_defs()[ch].kind;
        if (kind == role::velocity && velocity_channel_ < 0)
            velocity_channel_ = ch;
        if (kind == role::state && state_channel_ < 0)
            state_channel_ = ch;
    }
    last_statusword_ = -1;
    have_velocity_ = false;
    phase_ = phase::armed;
}

bool capture::expect_motion(int64_t t_us)
{
    if (phase_ != phase::armed)
        return false;
    if (velocity_channel_ < 0 && state_channel_ < 0)
        return trigger(t_us);
    awaiting_motion_ = true;
    command_us_ = t_us;
    return false;
}

bool capture::responds(const sample &s)
{
    // What the sample shows is compared with the one before, command or not: the answer is a
    // change after the command.
    constexpr int32_t answer_bits = 0x1400;  // bit 12 set-point acknowledge, bit 10 target reached
    bool answered = false;
    if (state_channel_ >= 0 && s.statusword >= 0) {
        answered = last_statusword_ >= 0 && ((s.statusword ^ last_statusword_) & answer_bits) != 0;
        last_statusword_ = s.statusword;
    }
    if (velocity_channel_ >= 0 && s.has(velocity_channel_)) {
        const int32_t v = s.value[velocity_channel_];
        answered = answered || (have_velocity_ && last_velocity_ == 0 && v != 0);
        have_velocity_ = true;
        last_velocity_ = v;
    }
    return awaiting_motion_ && answered && s.t_us >= command_us_;
}

bool capture::trigger(int64_t t_us)
{
    if (phase_ != phase::armed)
        return false;
    // Oldest first: once the ring has wrapped, the oldest sample sits where the next would go.
    const size_t n = ring_.size();
    const size_t oldest = n < ring_capacity_ ? 0 : ring_next_;
    for (size_t k = 0; k < n; ++k)
        recording_.append(ring_[(oldest + k) % n]);
    ring_.clear();
    recording_.set_trigger_us(t_us);
    awaiting_motion_ = false;
    phase_ = phase::recording;
    return true;
}

void capture::stop() { phase_ = phase::idle; }

bool capture::crosses(const sample &s)
{
    const int ch = level_.channel;
    if (ch < 0 || ch >= recording_.width() || !s.has(ch))
        return false;
    const double v = recording_.channel_defs()[ch].value(s.value[ch]);
    const bool crossed = have_previous_ && (level_.rising ? previous_ < level_.level && v >= level_.level
                                                          : previous_ > level_.level && v <= level_.level);
    have_previous_ = true;
    previous_ = v;
    return crossed;
}

bool capture::feed(const sample &s)
{
    switch (phase_) {
    case phase::idle:
        return false;
    case phase::recording:
        recording_.append(s);
        return false;
    case phase::armed:
        // Both see every sample: each compares the next one with it.
        const bool level = crosses(s);
        const bool motion = responds(s);
        if (level || motion) {
            trigger(s.t_us);
            recording_.append(s);
            return true;
        }
        if (ring_capacity_ == 0)
            return false;
        if (ring_.size() < ring_capacity_) {
            ring_.push_back(s);
            return false;
        }
        ring_[ring_next_] = s;
        ring_next_ = (ring_next_ + 1) % ring_capacity_;
        return false;
    }
    return false;
}

}  // namespace scope
