#include "scope/scope_capture.h"

namespace scope {

void capture::start(const channel_list &channels)
{
    const size_t cap = recording_.cap();
    recording_.reset(channels);
    recording_.set_cap(cap);
    ring_.clear();
    level_ = level_trigger();
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
    phase_ = phase::armed;
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
        if (crosses(s)) {
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
