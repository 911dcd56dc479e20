#pragma once
// The drive maker's request/reply protocol of one simulated joint: requests on 0x640 + node,
// replies on custom_reply_base + node.
//
// Replies:
//  - a read (2-byte request, 4 bytes for the actual speed) answers 4 bytes: the register's value,
//    big-endian, in data bytes 0-3;
//  - a write (6-byte request: register, then the value big-endian) that the drive accepts, and
//    the plain commands start, stop and save, answer one byte, 01. The control program relies on
//    that 1-byte answer for motion_mode; every accepted write answers the same way so a monitor
//    trace shows which writes the drive took;
//  - a write the drive refuses (a value out of its range, a read-only register) and an unknown
//    register get no answer at all, as an unacknowledged request on the real bus.
//
// Modes: control_mode 3 (position) runs the profile moves started by start_motion according to
// motion_mode (0 continuous at the signed profile speed, 1 single move, 2 back and forth); a
// single or back-and-forth move is relative when relative_distance is not 0, otherwise it goes to
// target_position. control_mode 2 (speed) runs at analog_target cnt/s and control_mode 1 (torque)
// drives analog_target mA up to max_speed_limit, both while the power stage is enabled.
//
// Faults: start_motion while the power stage is disabled raises fault_motion_while_disabled; a
// speed-control target beyond max_drive_speed raises fault_over_speed. A fault stops the joint and
// disables the power stage; error_code reads it and enabling again clears it. Tests and the
// simulator program inject any other code with inject_fault() on the joint found through
// sim::simulator::instance().find(node)->custom().
#include "can/vci/bus_backend.h"
#include "sim/motor_model.h"

#include <vector>

namespace sim {

constexpr uint32_t custom_request_base = 0x640;
constexpr uint32_t custom_reply_base = 0x5C0;

class custom_drive {
public:
    custom_drive(int node, uint32_t firmware, motor_model &motor);
    // Answers one request addressed to this joint.
    void handle(const vci::can_message &request, std::vector<vci::can_message> &out);

    // A new node number (given through CANopen's LSS): replies go out on the new identifier.
    void set_node(int node) { node_ = node; }

    // Raises a drive fault as the hardware would (over-temperature, encoder loss, ...).
    void inject_fault(int32_t code) { motor_.inject_fault(code); }

    int32_t control_mode() const { return control_mode_; }
    int32_t motion_mode() const { return motion_mode_; }

    static constexpr int32_t fault_over_speed = 0x0021;
    static constexpr int32_t max_drive_speed = 1000000;  // cnt/s

private:
    vci::can_message reply_value(int32_t value) const;
    vci::can_message reply_ack() const;
    bool read(uint16_t reg, int32_t *value) const;
    bool write(uint16_t reg, int32_t value);
    void start_motion();
    // Applies the analog target in speed or torque control (power stage on, internal source).
    void apply_analog();
    void push_profile();

    int node_;
    uint32_t firmware_;
    motor_model &motor_;

    int32_t control_mode_ = 3;
    int32_t motion_mode_ = 1;
    int32_t profile_speed_;
    int32_t profile_acceleration_;
    int32_t profile_deceleration_;
    int32_t target_position_ = 0;
    int32_t relative_distance_ = 0;
    int32_t control_source_ = 0;
    int32_t analog_source_ = 0;
    int32_t analog_target_ = 0;
    int32_t max_speed_limit_ = 10000;
    bool continuous_ = false;  // the running motion is the continuous kind
};

}  // namespace sim
