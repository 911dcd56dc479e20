#pragma once
// Where samples go: nowhere while idle, into a ring of the last pre-trigger samples while armed,
// into the recording while recording. A trigger while armed starts the recording with what the
// ring held, so the recording shows the moments before it. Two triggers, either of which may
// fire first: the drive taking up a motion command, and a level crossed by a channel, both
// fired by the samples as they are fed. A command is taken up when, after expect_motion(), a
// sample shows the statusword's set-point acknowledge (bit 12) or target reached (bit 10)
// changed, or the velocity leaving 0: a command the drive applies only at a later SYNC, or
// never, does not start the recording at the click. Without a velocity or state channel the
// command itself is the trigger.
#include "scope/scope_recording.h"

#include <vector>

namespace scope {

struct level_trigger {
    int channel = -1;  // -1: none
    double level = 0.0;  // in the channel's scaled unit
    bool rising = true;
};

class capture {
public:
    enum class phase { idle, armed, recording };

    // Starts a new recording of these channels at once.
    void start(const channel_list &channels);
    // Starts waiting for a trigger, keeping the last pretrigger_samples samples (0 keeps none).
    void arm(const channel_list &channels, size_t pretrigger_samples, const level_trigger &level = {});
    // The motion command: an armed capture starts recording; otherwise nothing happens. Returns
    // true when this trigger started the recording.
    bool trigger(int64_t t_us);
    // A motion command was sent at t_us: an armed capture fires at the drive's answer to it (or
    // at once when no channel can show one; then true).
    bool expect_motion(int64_t t_us);
    void stop();
    // Shows a recording made elsewhere (the drive's recorder), idle.
    void load(recording r)
    {
        recording_ = std::move(r);
        phase_ = phase::idle;
    }
    // Returns true when this sample fired the level trigger (it is then the first sample after
    // the trigger).
    bool feed(const sample &s);

    phase state() const { return phase_; }
    recording &data() { return recording_; }
    const recording &data() const { return recording_; }

private:
    bool crosses(const sample &s);
    bool responds(const sample &s);

    phase phase_ = phase::idle;
    recording recording_;
    std::vector<sample> ring_;
    size_t ring_capacity_ = 0;
    size_t ring_next_ = 0;  // slot the next sample goes to once the ring is full
    level_trigger level_;
    bool have_previous_ = false;
    double previous_ = 0.0;
    // The motion trigger: waiting for the drive's answer, and what the last sample showed.
    bool awaiting_motion_ = false;
    int64_t command_us_ = 0;  // samples from before it (a stream hands them over late) are no answer
    int velocity_channel_ = -1;
    int state_channel_ = -1;
    int32_t last_statusword_ = -1;
    bool have_velocity_ = false;
    int32_t last_velocity_ = 0;
};

}  // namespace scope
