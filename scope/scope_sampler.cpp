#include "scope/scope_sampler.h"

#include "base/motion_notifier.h"
#include "can/step_job.h"

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
    if (timer_.isActive())
        start_timer();
}

void sampler::start_timer() { timer_.start(1000 / rate_hz_); }

void sampler::record()
{
    failed_ = 0;
    silent_in_a_row_ = 0;
    capture_.start();
    start_timer();
}

void sampler::arm(double pretrigger_s)
{
    failed_ = 0;
    silent_in_a_row_ = 0;
    capture_.arm(static_cast<size_t>(std::lround(std::max(0.0, pretrigger_s) * rate_hz_)));
    start_timer();
}

void sampler::stop()
{
    timer_.stop();
    capture_.stop();
}

void sampler::tick()
{
    // While a job transfers (can/step_job.h), a read of the same server would end its transfer:
    // the recording leaves those ticks out rather than counting them as silence.
    if (!source_ || !sampling() || job_runner::instance().busy())
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
    if (s.has(position)) {
        have_position_ = true;
        last_position_ = s.value[position];
    }
    if (have_setpoint_)
        s.set(setpoint, setpoint_);
    capture_.feed(s);
    capture_.data().set_unit(unit_);
}

void sampler::motion_sent(int kind, qint32 value)
{
    const motion_kind k = static_cast<motion_kind>(kind);
    // A relative target is only known from a recent position: one read before this recording
    // (or arming) may be long out of date.
    if (k == motion_kind::relative && !sampling()) {
        have_setpoint_ = false;
        return;
    }
    if (k == motion_kind::relative)
        setpoint_ = static_cast<int32_t>(std::clamp<int64_t>((have_position_ ? int64_t(last_position_) : 0) + value,
                                                            INT32_MIN, INT32_MAX));
    else
        setpoint_ = value;
    have_setpoint_ = true;
    unit_ = unit_of(k);
    if (capture_.trigger(clock_())) {
        capture_.data().set_unit(unit_);
        emit triggered();
    }
}

}  // namespace scope
