// Homing (CiA 402 mode 6) of the simulated joint, on the axis motor_model.h describes: two
// limit switches, a home switch cam and an index pulse per revolution.
//
//   0x6098 method   1/2 limit switch then the first index pulse off it; 17/18 the limit switch's
//                   edge; 19/20 the home cam's lower edge (-500), 21/22 its upper edge (+500),
//                   the even method ending with a positive search for 19/20 and a negative one
//                   for 21/22; 33/34 the next index pulse negative/positive; 35/37 here
//   0x6099:1/2      speed searching for a switch / for zero (the edge and the index pulse)
//   0x609A          acceleration and deceleration of every homing ramp
//   0x607C          the position 0x6064 reads at the home position once homing is attained
//   statusword      bit 12 attained, bit 13 error, bit 10 target reached (homing at rest)
//
// A search for the home cam that finds no edge its way runs to the limit switch and turns
// round, as a drive on a real axis does; a limit switch met otherwise is a homing error. The
// joint stops on each edge by itself (motor_model::latch_at) and, once the home position is
// known, moves back onto it.
#include "sim/canopen_node.h"

#include <cmath>

namespace sim {
namespace {

using mm = motor_model;
constexpr uint32_t index_pulse = 0;
constexpr bool active = true;
constexpr bool inactive = false;

// Where a search from `from` in direction dir finds the input taking state `becomes`; false when
// it never does that way.
bool next_edge(uint32_t input, bool becomes, double from, int dir, double *at)
{
    switch (input) {
    case index_pulse: {
        const double rev = mm::counts_per_revolution;
        *at = rev * (dir > 0 ? std::floor(from / rev) + 1 : std::ceil(from / rev) - 1);
        return true;
    }
    // A search that begins on the edge itself (the last leg ended there) finds it there.
    case mm::input_negative_limit:
        *at = mm::negative_limit_at;
        return becomes == active ? dir < 0 && from >= *at : dir > 0 && from <= *at;
    case mm::input_positive_limit:
        *at = mm::positive_limit_at;
        return becomes == active ? dir > 0 && from <= *at : dir < 0 && from >= *at;
    case mm::input_home_switch:
        if (dir > 0) {
            *at = becomes == active ? mm::home_cam_low : mm::home_cam_high;
            return becomes == active ? from <= *at : from >= mm::home_cam_low && from <= *at;
        }
        *at = becomes == active ? mm::home_cam_high : mm::home_cam_low;
        return becomes == active ? from >= *at : from <= mm::home_cam_high && from >= *at;
    default:
        return false;
    }
}

}  // namespace

void canopen_node::plan_homing(bool home_active)
{
    using leg = homing_leg;
    constexpr int pos = 1, neg = -1;
    constexpr bool fast = false, slow = true;
    const uint32_t in = motor_.inputs();
    const bool at_negative = in & mm::input_negative_limit;
    const bool at_positive = in & mm::input_positive_limit;
    legs_.clear();
    switch (param(0x6098)) {
    case 1:
    case 17:
        if (!at_negative)
            legs_.push_back(leg{neg, fast, mm::input_negative_limit, active});
        legs_.push_back(leg{pos, slow, mm::input_negative_limit, inactive});
        if (param(0x6098) == 1)
            legs_.push_back(leg{pos, slow, index_pulse, active});
        return;
    case 2:
    case 18:
        if (!at_positive)
            legs_.push_back(leg{pos, fast, mm::input_positive_limit, active});
        legs_.push_back(leg{neg, slow, mm::input_positive_limit, inactive});
        if (param(0x6098) == 2)
            legs_.push_back(leg{neg, slow, index_pulse, active});
        return;
    // The home switch as CiA 402 draws it for 19/20 is active on the positive side of its edge,
    // for 21/22 on the negative side: the cam's lower and upper edge.
    case 19:
        if (!home_active)
            legs_ = {leg{pos, fast, mm::input_home_switch, active}, leg{neg, slow, mm::input_home_switch, inactive}};
        else
            legs_ = {leg{neg, fast, mm::input_home_switch, inactive}};
        return;
    case 20:
        if (!home_active)
            legs_ = {leg{pos, fast, mm::input_home_switch, active}};
        else
            legs_ = {leg{neg, fast, mm::input_home_switch, inactive}, leg{pos, slow, mm::input_home_switch, active}};
        return;
    case 21:
        if (!home_active)
            legs_ = {leg{neg, fast, mm::input_home_switch, active}, leg{pos, slow, mm::input_home_switch, inactive}};
        else
            legs_ = {leg{pos, fast, mm::input_home_switch, inactive}};
        return;
    case 22:
        if (!home_active)
            legs_ = {leg{neg, fast, mm::input_home_switch, active}};
        else
            legs_ = {leg{pos, fast, mm::input_home_switch, inactive}, leg{neg, slow, mm::input_home_switch, active}};
        return;
    case 33: legs_ = {leg{neg, slow, index_pulse, active}}; return;
    case 34: legs_ = {leg{pos, slow, index_pulse, active}}; return;
    default: return;
    }
}

void canopen_node::start_homing()
{
    turned_ = false;
    turning_ = false;
    leg_to_limit_ = false;
    motor_.clear_latch();
    const int64_t method = param(0x6098);
    if (method == 35 || method == 37) {
        finish_homing(motor_.mechanical_position());
        return;
    }
    plan_homing(motor_.inputs() & mm::input_home_switch);
    leg_ = 0;
    homing_ = homing_stage::searching;
    begin_leg(motor_.mechanical_position());
}

void canopen_node::begin_leg(double from)
{
    if (leg_ >= legs_.size()) {
        end_homing(homing_stage::error);
        return;
    }
    const homing_leg &l = legs_[leg_];
    leg_to_limit_ = false;
    if (!next_edge(l.input, l.becomes, from, l.dir, &leg_edge_)) {
        if (l.input != mm::input_home_switch || turned_) {
            end_homing(homing_stage::error);
            return;
        }
        leg_to_limit_ = true;
        leg_edge_ = l.dir > 0 ? mm::positive_limit_at : mm::negative_limit_at;
    }
    const int64_t speed = param(0x6099, l.zero_speed ? 2 : 1);
    motor_.use_ramp(speed, param(0x609A));
    motor_.latch_at(leg_edge_, l.dir);
    motor_.run_at(l.dir * speed);
}

void canopen_node::serve_homing()
{
    if (homing_ == homing_stage::returning) {
        if (!motor_.moving()) {
            motor_.end_ramp();
            homing_ = homing_stage::attained;
        }
        return;
    }
    if (homing_ != homing_stage::searching) {
        if (!motor_.moving())
            motor_.end_ramp();
        return;
    }
    const homing_leg &l = legs_[leg_];
    const double at = motor_.mechanical_position();
    // A leg that begins where the last one's ramp down already took the joint past its edge
    // has passed it too.
    const bool passed = motor_.latched() || (at - leg_edge_) * l.dir >= 0;
    if (!passed) {
        // Running into a limit switch nobody searches for ends homing.
        const uint32_t in = motor_.inputs();
        const uint32_t ahead = l.dir > 0 ? mm::input_positive_limit : mm::input_negative_limit;
        if ((in & ahead) && l.input != ahead && !leg_to_limit_)
            end_homing(homing_stage::error);
        return;
    }
    motor_.clear_latch();
    if (leg_to_limit_) {
        // No edge that way: back the other way for the cam, then on as from inside it.
        turned_ = true;
        turning_ = true;
        legs_ = {homing_leg{-l.dir, false, mm::input_home_switch, active}};
        leg_ = 0;
        begin_leg(leg_edge_);
        return;
    }
    if (turning_) {
        turning_ = false;
        plan_homing(true);
        leg_ = 0;
        begin_leg(leg_edge_);
        return;
    }
    if (leg_ + 1 < legs_.size()) {
        ++leg_;
        begin_leg(leg_edge_);
        return;
    }
    finish_homing(leg_edge_);
}

void canopen_node::finish_homing(double home)
{
    // The counted position moves so that the home position reads the home offset; the joint
    // then goes back onto it with the speed searching for zero.
    const int64_t offset = param(0x607C);
    motor_.shift_frame(offset - static_cast<int64_t>(std::llround(motor_.counted(home))));
    legs_.clear();
    if (!motor_.moving() && motor_.position() == offset) {
        homing_ = homing_stage::attained;
        return;
    }
    motor_.use_ramp(param(0x6099, 2), param(0x609A));
    motor_.move_to(offset);
    homing_ = homing_stage::returning;
}

void canopen_node::end_homing(homing_stage why)
{
    const bool was_busy = homing_busy();
    homing_ = why;
    legs_.clear();
    leg_to_limit_ = false;
    turning_ = false;
    motor_.clear_latch();
    if (was_busy && motor_.moving())
        motor_.halt();  // with the homing ramp, which ends at rest
}

}  // namespace sim
