#pragma once
// Where samples go: nowhere while idle, into a ring of the last pre-trigger samples while armed,
// into the recording while recording. A trigger while armed starts the recording with what the
// ring held, so the recording shows the moments before the motion command.
#include "scope/scope_recording.h"

#include <vector>

namespace scope {

class capture {
public:
    enum class phase { idle, armed, recording };

    // Starts a new recording at once.
    void start();
    // Starts waiting for a trigger, keeping the last pretrigger_samples samples (0 keeps none).
    void arm(size_t pretrigger_samples);
    // The motion command: an armed capture starts recording; otherwise nothing happens. Returns
    // true when this trigger started the recording.
    bool trigger(int64_t t_us);
    void stop();
    void feed(const sample &s);

    phase state() const { return phase_; }
    recording &data() { return recording_; }
    const recording &data() const { return recording_; }

private:
    phase phase_ = phase::idle;
    recording recording_;
    std::vector<sample> ring_;
    size_t ring_capacity_ = 0;
    size_t ring_next_ = 0;  // slot the next sample goes to once the ring is full
};

}  // namespace scope
