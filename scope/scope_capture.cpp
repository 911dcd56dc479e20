#include "scope/scope_capture.h"

namespace scope {

void capture::start()
{
    recording_.clear();
    ring_.clear();
    phase_ = phase::recording;
}

void capture::arm(size_t pretrigger_samples)
{
    recording_.clear();
    ring_.clear();
    ring_.reserve(pretrigger_samples);
    ring_capacity_ = pretrigger_samples;
    ring_next_ = 0;
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
    const int64_t origin = recording_.empty() ? t_us : recording_.at(0).t_us;
    recording_.set_trigger_s((t_us - origin) / 1e6);
    phase_ = phase::recording;
    return true;
}

void capture::stop() { phase_ = phase::idle; }

void capture::feed(const sample &s)
{
    switch (phase_) {
    case phase::idle:
        return;
    case phase::recording:
        recording_.append(s);
        return;
    case phase::armed:
        if (ring_capacity_ == 0)
            return;
        if (ring_.size() < ring_capacity_) {
            ring_.push_back(s);
            return;
        }
        ring_[ring_next_] = s;
        ring_next_ = (ring_next_ + 1) % ring_capacity_;
        return;
    }
}

}  // namespace scope
