#include "scope/scope_sampler.h"

#include "base/motion_notifier.h"
#include "can/step_job.h"
#include "can/vci/bus_tap.h"

#include <QElapsedTimer>
#include <algorithm>
#include <climits>
#include <cmath>

namespace scope {
namespace {

int64_t monotonic_us()
{
    static QElapsedTimer since_start;
    if (!since_start.isValid())
        since_start.start();
    return since_start.nsecsElapsed() / 1000;
}

setpoint_unit unit_of(motion_kind kind)
{
    switch (kind) {
    case motion_kind::velocity: return setpoint_unit::cnt_per_s;
    case motion_kind::torque_ma: return setpoint_unit::milliamps;
    case motion_kind::torque_per_mille: return setpoint_unit::per_mille;
    default: return setpoint_unit::cnt;
    }
}

}  // namespace

sampler::sampler(QObject *parent) : QObject(parent), clock_(monotonic_us)
{
    // A coarse timer may drift by 5 % of its interval; the samples must stay evenly spaced.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &sampler::tick);
    connect(&motion_notifier::instance(), &motion_notifier::motion_sent, this, &sampler::motion_sent);
}

void sampler::set_rate_hz(int hz)
{
    for (int r : rates_hz) {
        if (r == hz)
            rate_hz_ = hz;
    }
}

int64_t sampler::now_us() const
{
    return source_ && source_->streaming() ? vci::bus_tap::now_us() : clock_();
}

void sampler::start(const channel_list &channels)
{
    failed_ = 0;
    silent_in_a_row_ = 0;
    setpoint_channel_ = position_channel_ = -1;
    for (size_t ch = 0; ch < channels.size() && ch < max_channels; ++ch) {
        if (channels[ch].kind == role::setpoint && setpoint_channel_ < 0)
            setpoint_channel_ = static_cast<int>(ch);
        if (channels[ch].kind == role::position && position_channel_ < 0)
            position_channel_ = static_cast<int>(ch);
    }
    streamed_.clear();
    if (source_ && source_->streaming()) {
        // What came before the start is not part of the recording, what the source still holds
        // back from then neither.
        source_->collect(streamed_);
        streamed_.clear();
        stream_start_us_ = vci::bus_tap::now_us();
    }
    timer_.start(source_ && source_->streaming() ? stream_period_ms : 1000 / rate_hz_);
}

void sampler::record(const channel_list &channels)
{
    capture_.start(channels);
    start(channels);
}

void sampler::arm(const channel_list &channels, double pretrigger_s, const level_trigger &level, bool on_motion)
{
    on_motion_ = on_motion;
    capture_.arm(channels, static_cast<size_t>(std::lround(std::max(0.0, pretrigger_s) * rate_hz_)), level);
    start(channels);
}

void sampler::stop()
{
    if (source_ && source_->streaming() && sampling()) {
        // What arrived up to the stop belongs to the recording, what the source held back too.
        streamed_.clear();
        source_->finish(streamed_);
        for (sample &s : streamed_)
            if (s.t_us >= stream_start_us_)
                take(s);
    }
    timer_.stop();
    capture_.stop();
}

void sampler::take(sample &s)
{
    if (position_channel_ >= 0 && s.has(position_channel_)) {
        have_position_ = true;
        last_position_ = s.value[position_channel_];
    }
    // A period a stream missed stays a row of its time alone.
    const bool gap = s.present == 0 && source_ && source_->streaming();
    if (have_setpoint_ && setpoint_channel_ >= 0 && !gap) {
        // A polled sample is read after the command; a streamed one may have been sent before it.
        const bool streamed = source_ && source_->streaming();
        if (!streamed || s.t_us > setpoint_since_us_)
            s.set(setpoint_channel_, setpoint_);
        else if (had_setpoint_)
            s.set(setpoint_channel_, previous_setpoint_);
    }
    const bool fired = capture_.feed(s);
    capture_.data().set_unit(unit_);
    if (fired)
        emit triggered();
}

void sampler::tick()
{
    if (!source_ || !sampling())
        return;
    if (source_->streaming()) {
        streamed_.clear();
        source_->collect(streamed_);
        // Silence is told (stream_silent()); the recording goes on.
        silent_in_a_row_ = streamed_.empty() ? silent_in_a_row_ + 1 : 0;
        for (sample &s : streamed_)
            if (s.t_us >= stream_start_us_)
                take(s);
        return;
    }
    // While a job transfers (can/step_job.h), a read of the same server would end its transfer:
    // the recording leaves those ticks out rather than counting them as silence.
    if (job_runner::instance().busy())
        return;
    sample s;
    s.t_us = clock_();
    if (source_->read(&s)) {
        silent_in_a_row_ = 0;
    } else {
        ++failed_;
        if (++silent_in_a_row_ >= rate_hz_) {
            stop();
            emit joint_lost();
            return;
        }
    }
    take(s);
}

void sampler::motion_sent(int kind, qint32 value)
{
    const motion_kind k = static_cast<motion_kind>(kind);
    // A relative target is only known from a recent position: one read before this recording
    // (or arming) may be long out of date.
    if (k == motion_kind::relative && !sampling()) {
        have_setpoint_ = had_setpoint_ = false;
        return;
    }
    // Streamed samples from before the command still carry the previous set-point.
    if (source_ && source_->streaming() && sampling())
        tick();
    had_setpoint_ = have_setpoint_;
    previous_setpoint_ = setpoint_;
    setpoint_since_us_ = now_us();
    if (k == motion_kind::relative)
        setpoint_ = static_cast<int32_t>(std::clamp<int64_t>((have_position_ ? int64_t(last_position_) : 0) + value,
                                                            INT32_MIN, INT32_MAX));
    else
        setpoint_ = value;
    have_setpoint_ = true;
    unit_ = unit_of(k);
    if (on_motion_ && capture_.expect_motion(now_us())) {
        capture_.data().set_unit(unit_);
        emit triggered();
    }
}

}  // namespace scope
