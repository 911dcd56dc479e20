#include "sim/custom_drive.h"

#include <cstdlib>

namespace sim {

namespace reg {
constexpr uint16_t firmware = 0x0001;
constexpr uint16_t actual_position = 0x0002;
constexpr uint16_t actual_speed = 0x0005;
constexpr uint16_t actual_current = 0x0008;
constexpr uint16_t error_code = 0x001F;
constexpr uint16_t motion_state = 0x0020;
constexpr uint16_t control_mode = 0x004E;
constexpr uint16_t start_motion = 0x0083;
constexpr uint16_t stop_motion = 0x0084;
constexpr uint16_t target_position = 0x0086;
constexpr uint16_t relative_distance = 0x0087;
constexpr uint16_t profile_acceleration = 0x0088;
constexpr uint16_t profile_deceleration = 0x0089;
constexpr uint16_t profile_speed = 0x008A;
constexpr uint16_t motion_mode = 0x008D;
constexpr uint16_t enable_state = 0x0100;
constexpr uint16_t control_source = 0x0112;
constexpr uint16_t analog_source = 0x01FD;
constexpr uint16_t analog_target = 0x01FE;
constexpr uint16_t save_parameters = 0x00E8;
constexpr uint16_t max_speed_limit = 0x0204;
}  // namespace reg

custom_drive::custom_drive(int node, uint32_t firmware, motor_model &motor)
    : node_(node),
      firmware_(firmware),
      motor_(motor),
      profile_speed_(static_cast<int32_t>(motor.profile_speed())),
      profile_acceleration_(static_cast<int32_t>(motor.profile_acceleration())),
      profile_deceleration_(static_cast<int32_t>(motor.profile_deceleration()))
{
}

vci::can_message custom_drive::reply_value(int32_t value) const
{
    vci::can_message m;
    m.id = custom_reply_base + static_cast<uint32_t>(node_);
    m.len = 4;
    const uint32_t v = static_cast<uint32_t>(value);
    m.data[0] = static_cast<uint8_t>(v >> 24);
    m.data[1] = static_cast<uint8_t>(v >> 16);
    m.data[2] = static_cast<uint8_t>(v >> 8);
    m.data[3] = static_cast<uint8_t>(v);
    return m;
}

vci::can_message custom_drive::reply_ack() const
{
    vci::can_message m;
    m.id = custom_reply_base + static_cast<uint32_t>(node_);
    m.len = 1;
    m.data[0] = 1;
    return m;
}

void custom_drive::handle(const vci::can_message &request, std::vector<vci::can_message> &out)
{
    if (request.remote || request.len < 2)
        return;
    const uint16_t r = static_cast<uint16_t>(request.data[0] << 8 | request.data[1]);

    switch (r) {
    case reg::start_motion:
        start_motion();
        out.push_back(reply_ack());
        return;
    case reg::stop_motion:
        continuous_ = false;
        motor_.halt();
        out.push_back(reply_ack());
        return;
    case reg::save_parameters:
        out.push_back(reply_ack());
        return;
    default:
        break;
    }

    if (request.len >= 6) {
        const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(request.data[2]) << 24 |
                                                   static_cast<uint32_t>(request.data[3]) << 16 |
                                                   static_cast<uint32_t>(request.data[4]) << 8 | request.data[5]);
        if (write(r, value))
            out.push_back(reply_ack());
        return;
    }
    int32_t value = 0;
    if (read(r, &value))
        out.push_back(reply_value(value));
}

bool custom_drive::read(uint16_t r, int32_t *value) const
{
    switch (r) {
    case reg::firmware: *value = static_cast<int32_t>(firmware_); return true;
    case reg::actual_position: *value = motor_.position(); return true;
    case reg::actual_speed: *value = motor_.speed(); return true;
    case reg::actual_current: *value = motor_.current_ma(); return true;
    case reg::error_code: *value = motor_.error_code(); return true;
    case reg::motion_state: *value = motor_.moving() ? 1 : 0; return true;
    case reg::control_mode: *value = control_mode_; return true;
    case reg::target_position: *value = target_position_; return true;
    case reg::relative_distance: *value = relative_distance_; return true;
    case reg::profile_acceleration: *value = profile_acceleration_; return true;
    case reg::profile_deceleration: *value = profile_deceleration_; return true;
    case reg::profile_speed: *value = profile_speed_; return true;
    case reg::motion_mode: *value = motion_mode_; return true;
    case reg::enable_state: *value = motor_.enabled() ? 1 : 0; return true;
    case reg::control_source: *value = control_source_; return true;
    case reg::analog_source: *value = analog_source_; return true;
    case reg::analog_target: *value = analog_target_; return true;
    case reg::max_speed_limit: *value = max_speed_limit_; return true;
    default: return false;
    }
}

bool custom_drive::write(uint16_t r, int32_t value)
{
    switch (r) {
    case reg::control_mode:
        if (value < 1 || value > 3)
            return false;
        if (value != control_mode_) {
            // A mode change stops what the old mode was doing and forgets its target, so the
            // joint does not lurch off with a set-point meant for another mode.
            control_mode_ = value;
            continuous_ = false;
            analog_target_ = 0;
            motor_.halt();
        }
        return true;
    case reg::target_position:
        target_position_ = value;
        return true;
    case reg::relative_distance:
        relative_distance_ = value;
        return true;
    case reg::profile_acceleration:
        profile_acceleration_ = value;
        push_profile();
        return true;
    case reg::profile_deceleration:
        profile_deceleration_ = value;
        push_profile();
        return true;
    case reg::profile_speed:
        profile_speed_ = value;
        push_profile();
        // Continuous motion follows the speed at once, sign included: this is how a running
        // joint is reversed.
        if (continuous_ && motor_.current_mode() == motor_model::mode::velocity && motor_.enabled())
            motor_.run_at(profile_speed_);
        return true;
    case reg::motion_mode:
        if (value < 0 || value > 2)
            return false;
        motion_mode_ = value;
        return true;
    case reg::enable_state:
        if (value != 0 && value != 1)
            return false;
        if (value == 1) {
            motor_.clear_fault();
            motor_.set_enabled(true);
            apply_analog();
        } else {
            continuous_ = false;
            motor_.set_enabled(false);
        }
        return true;
    case reg::control_source:
        control_source_ = value;
        return true;
    case reg::analog_source:
        analog_source_ = value;
        apply_analog();
        return true;
    case reg::analog_target:
        analog_target_ = value;
        apply_analog();
        return true;
    case reg::max_speed_limit:
        max_speed_limit_ = value;
        apply_analog();
        return true;
    default:
        return false;
    }
}

void custom_drive::push_profile()
{
    // The profile generator takes magnitudes; the sign of the speed only picks the direction
    // of continuous motion.
    motor_.set_profile(std::llabs(static_cast<long long>(profile_speed_)), profile_acceleration_,
                       profile_deceleration_);
}

void custom_drive::start_motion()
{
    if (control_mode_ != 3)
        return;  // speed and torque control follow analog_target instead
    continuous_ = false;
    if (!motor_.enabled()) {
        // A start with the power stage off is a fault on the drive, not a silent no-op.
        if (motor_.error_code() == 0)
            motor_.inject_fault(motor_model::fault_motion_while_disabled);
        return;
    }
    push_profile();
    switch (motion_mode_) {
    case 0:
        continuous_ = motor_.run_at(profile_speed_);
        return;
    case 1:
    case 2: {
        const int64_t target = relative_distance_ != 0
                                   ? static_cast<int64_t>(motor_.position()) + relative_distance_
                                   : static_cast<int64_t>(target_position_);
        if (motion_mode_ == 2)
            motor_.move_back_and_forth(target);
        else
            motor_.move_to(target);
        return;
    }
    default:
        return;
    }
}

void custom_drive::apply_analog()
{
    if (!motor_.enabled() || analog_source_ != 0)
        return;
    if (control_mode_ == 2) {
        if (std::llabs(static_cast<long long>(analog_target_)) > max_drive_speed) {
            motor_.inject_fault(fault_over_speed);
            return;
        }
        if (analog_target_ == 0 && !motor_.moving())
            return;
        motor_.run_at(analog_target_);
    } else if (control_mode_ == 1) {
        if (analog_target_ == 0 && motor_.current_mode() != motor_model::mode::torque)
            return;
        motor_.apply_torque(analog_target_, max_speed_limit_);
    }
}

}  // namespace sim
