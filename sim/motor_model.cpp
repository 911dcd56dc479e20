#include "sim/motor_model.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {
constexpr double max_step_s = 0.001;  // integrate in steps of at most 1 ms
double sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }
}  // namespace

void motor_model::advance(int64_t now_us)
{
    if (last_us_ < 0 || now_us <= last_us_) {
        if (last_us_ < 0)
            last_us_ = now_us;
        return;
    }
    double remaining = (now_us - last_us_) / 1e6;
    last_us_ = now_us;
    // Very long gaps (a paused process) are not replayed step by step.
    remaining = std::min(remaining, 600.0);
    while (remaining > 0) {
        const double dt = std::min(remaining, max_step_s);
        step(dt);
        remaining -= dt;
        if (mode_ == mode::idle && velocity_ == 0)
            break;
    }
}

double motor_model::ramp_speed() const
{
    const int64_t s = std::min(ramp_override_ ? ramp_speed_ : profile_speed_, speed_limit_);
    return static_cast<double>(s > 0 ? s : 1);
}
double motor_model::ramp_accel() const { return static_cast<double>(ramp_override_ ? ramp_accel_ : accel_); }
double motor_model::ramp_decel() const { return static_cast<double>(ramp_override_ ? ramp_accel_ : decel_); }

void motor_model::check_latch(double before)
{
    if (!latch_armed_)
        return;
    const double from = before - origin_;
    const double to = actual() - origin_;
    const bool passed = latch_dir_ > 0 ? from < latch_at_ && to >= latch_at_ : from > latch_at_ && to <= latch_at_;
    if (!passed)
        return;
    latch_armed_ = false;
    latch_hit_ = true;
    // Down to rest from here; whoever armed the latch decides what comes next.
    shuttle_ = false;
    torque_current_ = 0;
    start_velocity_ramp(0);
}

void motor_model::step(double dt)
{
    const double before = actual();
    step_motion(dt);
    check_latch(before);
}

void motor_model::step_motion(double dt)
{
    accel_now_ = 0;
    switch (mode_) {
    case mode::idle:
        velocity_ = 0;
        return;
    case mode::position: {
        const double to_go = target_ - position_;
        const double dir = sign(to_go);
        const double v = velocity_;
        const double decel = ramp_decel();
        const double accel = ramp_accel();
        const double vmax = ramp_speed();
        // Distance needed to stop from the present speed.
        const double stop_dist = v * v / (2 * decel);
        double new_v;
        if (std::fabs(to_go) <= 1e-9 && std::fabs(v) < 1e-9) {
            position_ = target_;
            velocity_ = 0;
            arrived();
            return;
        }
        if (sign(v) != 0 && sign(v) != dir) {
            new_v = v - sign(v) * decel * dt;  // moving away: brake first
            if (sign(new_v) != sign(v))
                new_v = 0;
        } else if (std::fabs(to_go) <= stop_dist + std::fabs(v) * dt) {
            new_v = v - sign(v) * decel * dt;  // braking into the target
            if (sign(new_v) != sign(v) || std::fabs(new_v) < decel * dt)
                new_v = dir * std::min(std::fabs(to_go) / dt, decel * dt);
        } else {
            new_v = v + dir * accel * dt;
            if (std::fabs(new_v) > vmax)
                new_v = dir * vmax;
        }
        double next = position_ + 0.5 * (v + new_v) * dt;
        if ((target_ - next) * dir < 0 || std::fabs(target_ - next) < 0.5) {
            next = target_;
            new_v = 0;
        }
        accel_now_ = (new_v - v) / dt;
        position_ = next;
        velocity_ = new_v;
        if (position_ == target_ && velocity_ == 0)
            arrived();
        return;
    }
    case mode::velocity: {
        const double v = velocity_;
        const double limit = static_cast<double>(speed_limit_);
        const double target = std::max(-limit, std::min(limit, target_velocity_));
        const double diff = target - v;
        const double rate = (std::fabs(target) < std::fabs(v) || sign(target) != sign(v))
                                ? ramp_decel()
                                : ramp_accel();
        double new_v = v + sign(diff) * std::min(std::fabs(diff), rate * dt);
        accel_now_ = (new_v - v) / dt;
        position_ += 0.5 * (v + new_v) * dt;
        velocity_ = new_v;
        if (target_velocity_ == 0 && velocity_ == 0) {
            mode_ = mode::idle;
            accel_now_ = 0;
        }
        return;
    }
    case mode::torque: {
        // A simple load: the current accelerates the joint up to the speed limit.
        const double v = velocity_;
        const double limit = static_cast<double>(max_speed_);
        double new_v = v + torque_current_ * 10.0 * dt;
        if (torque_current_ == 0)
            new_v = v - sign(v) * std::min(std::fabs(v), static_cast<double>(decel_) * dt);
        new_v = std::max(-limit, std::min(limit, new_v));
        position_ += 0.5 * (v + new_v) * dt;
        velocity_ = new_v;
        if (torque_current_ == 0 && velocity_ == 0)
            mode_ = mode::idle;
        return;
    }
    }
}

int32_t motor_model::position() const { return static_cast<int32_t>(std::llround(actual())); }
int32_t motor_model::position_demand() const { return static_cast<int32_t>(std::llround(position_)); }
int32_t motor_model::speed_demand() const { return static_cast<int32_t>(std::llround(velocity_)); }
int32_t motor_model::speed() const { return blocked_ ? 0 : static_cast<int32_t>(std::llround(velocity_)); }

uint32_t motor_model::inputs() const
{
    const double at = mechanical_position();
    uint32_t bits = 0;
    if (at < negative_limit_at)
        bits |= input_negative_limit;
    if (at > positive_limit_at)
        bits |= input_positive_limit;
    if (at >= home_cam_low && at <= home_cam_high)
        bits |= input_home_switch;
    return bits;
}

void motor_model::shift_frame(int64_t delta)
{
    const double d = static_cast<double>(delta);
    position_ += d;
    target_ += d;
    blocked_at_ += d;
    shuttle_from_ += d;
    shuttle_to_ += d;
    origin_ += d;
}

void motor_model::use_ramp(int64_t speed, int64_t acceleration)
{
    ramp_override_ = true;
    ramp_speed_ = speed;
    ramp_accel_ = acceleration > 0 ? acceleration : 1;
}

void motor_model::latch_at(double at, int dir)
{
    latch_armed_ = true;
    latch_hit_ = false;
    latch_at_ = at;
    latch_dir_ = dir;
}

void motor_model::set_blocked(bool blocked)
{
    if (blocked && !blocked_)
        blocked_at_ = position_;
    else if (!blocked && blocked_)
        position_ = target_ = blocked_at_;  // released: the profile starts again from the shaft
    blocked_ = blocked;
}

int32_t motor_model::current_ma() const
{
    if (!enabled_)
        return 0;
    if (mode_ == mode::torque)
        return torque_current_;
    if (blocked_ && mode_ != mode::idle)
        return rated_current_ma * (velocity_ < 0 ? -1 : 1);  // pushing against the block
    // Holding current plus a share for acceleration and for friction at speed.
    const double c = 50.0 * sign(velocity_) + accel_now_ * 0.02 + velocity_ * 0.01;
    return static_cast<int32_t>(std::llround(std::max(-double(rated_current_ma), std::min(double(rated_current_ma), c))));
}

bool motor_model::moving() const { return mode_ != mode::idle || velocity_ != 0; }

void motor_model::set_enabled(bool on)
{
    enabled_ = on;
    if (!on) {
        // Without power there is no profile: the demand is where the shaft is.
        position_ = target_ = actual();
        shuttle_ = false;
        mode_ = mode::idle;
        velocity_ = 0;
        torque_current_ = 0;
    }
}

void motor_model::set_profile(int64_t speed, int64_t acceleration, int64_t deceleration)
{
    profile_speed_ = speed >= 0 ? speed : 1;
    accel_ = acceleration > 0 ? acceleration : 1;
    decel_ = deceleration > 0 ? deceleration : 1;
}

void motor_model::arrived()
{
    if (!shuttle_) {
        mode_ = mode::idle;
        accel_now_ = 0;  // at rest: no acceleration current left over from the last step
        return;
    }
    target_ = target_ == shuttle_to_ ? shuttle_from_ : shuttle_to_;
}

bool motor_model::move_to(int64_t target)
{
    shuttle_ = false;
    if (!enabled_ || error_code_ != 0) {
        if (error_code_ == 0)
            inject_fault(fault_motion_while_disabled);
        return false;
    }
    target_ = static_cast<double>(target);
    mode_ = mode::position;
    return true;
}

bool motor_model::move_back_and_forth(int64_t target)
{
    const double from = static_cast<double>(std::llround(position_));
    if (!move_to(target))
        return false;
    shuttle_from_ = from;
    shuttle_to_ = static_cast<double>(target);
    shuttle_ = shuttle_from_ != shuttle_to_;
    return true;
}

void motor_model::start_velocity_ramp(double velocity)
{
    shuttle_ = false;
    target_velocity_ = velocity;
    mode_ = mode::velocity;
}

bool motor_model::run_at(int64_t velocity)
{
    if (!enabled_ || error_code_ != 0) {
        if (error_code_ == 0 && velocity != 0)
            inject_fault(fault_motion_while_disabled);
        return false;
    }
    start_velocity_ramp(static_cast<double>(velocity));
    return true;
}

bool motor_model::apply_torque(int32_t current_ma, int64_t max_speed)
{
    shuttle_ = false;
    if (!enabled_ || error_code_ != 0) {
        if (error_code_ == 0 && current_ma != 0)
            inject_fault(fault_motion_while_disabled);
        return false;
    }
    torque_current_ = std::max(-rated_current_ma, std::min(rated_current_ma, current_ma));
    max_speed_ = max_speed < 0 ? -max_speed : max_speed;
    mode_ = mode::torque;
    return true;
}

bool motor_model::follow(int64_t target)
{
    shuttle_ = false;
    if (!enabled_ || error_code_ != 0)
        return false;
    target_ = static_cast<double>(target);
    velocity_ = 0;
    position_ = target_;
    mode_ = mode::idle;
    return true;
}

void motor_model::halt()
{
    if (mode_ == mode::idle)
        return;
    torque_current_ = 0;
    start_velocity_ramp(0);
}

void motor_model::inject_fault(int32_t code)
{
    error_code_ = code;
    if (code != 0) {
        position_ = target_ = actual();
        shuttle_ = false;
        mode_ = mode::idle;
        velocity_ = 0;
        torque_current_ = 0;
        enabled_ = false;
    }
}

void motor_model::clear_fault() { error_code_ = 0; }

void motor_model::set_position(int64_t p)
{
    position_ = static_cast<double>(p);
    target_ = position_;
    blocked_at_ = position_;
}

}  // namespace sim
