#pragma once
// Requests of the drive's own protocol as data: frame bytes, DLC, the description that the
// monitor shows and whether the request is logged. Nothing here touches a widget or the bus, so
// the control window and its poll build every frame through these functions and tests check
// them byte by byte.
#include <QString>
#include <cstdint>

// Requests go to request_base + node, replies come from reply_base + node.
namespace custom_id {
constexpr uint32_t request_base = 0x640;
constexpr uint32_t reply_base = 0x5C0;
}  // namespace custom_id

namespace custom_register {
constexpr uint16_t firmware_number = 0x0001;
constexpr uint16_t actual_position = 0x0002;
constexpr uint16_t actual_speed = 0x0005;
constexpr uint16_t actual_current = 0x0008;
constexpr uint16_t error_code = 0x001F;
constexpr uint16_t motion_state = 0x0020;
constexpr uint16_t control_mode = 0x004E;
constexpr uint16_t start_motion = 0x0083;
constexpr uint16_t save_parameters = 0x00E8;
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
constexpr uint16_t max_speed_limit = 0x0204;
}  // namespace custom_register

// Values of the mode registers.
namespace custom_control_mode {
constexpr int32_t torque = 1;
constexpr int32_t speed = 2;
constexpr int32_t position = 3;
}  // namespace custom_control_mode
namespace custom_motion_mode {
constexpr int32_t continuous = 0;
constexpr int32_t unidirectional = 1;
constexpr int32_t repetitive = 2;
}  // namespace custom_motion_mode

struct custom_request {
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t length = 0;
    QString description;
    int log = 0;  // 1 = record in the monitor
    bool read = false;  // answered by a value in data bytes 0-3, never by an acknowledgement
};

// A number typed by the user: base-10 signed 32-bit; anything else (including a number out of
// the 32-bit range) is 0.
int32_t custom_value_from_text(const QString &text);

// Negation that cannot overflow: the one value without a positive counterpart, INT32_MIN,
// becomes INT32_MAX, the nearest value of the opposite sign.
int32_t custom_negate(int32_t v);
int32_t custom_magnitude(int32_t v);

// Building blocks.
custom_request custom_read(uint16_t reg, const QString &description = QString());
custom_request custom_write(uint16_t reg, int32_t value, const QString &description, int log);
custom_request custom_command(uint16_t reg, const QString &description, int log);

// Reads; all silent. The poll passes its own (unlogged) descriptions.
custom_request read_actual_position(const QString &description = QString());
custom_request read_actual_speed(const QString &description = QString());  // 00 05 00 01
custom_request read_actual_current(const QString &description = QString());
custom_request read_error_code(const QString &description = QString());
custom_request read_motion_state();
custom_request read_profile_speed();
custom_request read_profile_acceleration();
custom_request read_profile_deceleration();
// The node window's: its scan probes a node by reading the actual position; the firmware
// number is read with the trailing bytes 00 04; the save is a bare command.
custom_request read_firmware_number();
custom_request save_parameters();

// control_mode: 1 and 2 are logged; position mode (3) is always sent silently.
custom_request write_control_mode(int32_t mode);

enum class start_kind { forward, backwards, motion };
custom_request write_start_motion(start_kind kind);
custom_request write_stop_motion();

// T is the line edit's text exactly as typed; the value is its conversion.
custom_request write_target_position(const QString &typed);
// Relative move: forward sends the typed value and describes it as typed; backwards sends the
// negated value and describes it by the number actually sent.
custom_request write_relative_distance(const QString &typed, bool backwards);
// The zero written before an absolute move.
custom_request write_relative_distance_zero();
custom_request write_profile_acceleration(const QString &typed);
custom_request write_profile_deceleration(const QString &typed);
// Apply: the speed as typed.
custom_request write_profile_speed(const QString &typed);
// Continuous motion: the signed speed, |v| forward and -|v| backwards. *sent (optional)
// receives the value, which the window writes back into its speed field.
custom_request write_continuous_speed(const QString &typed, bool backwards, int32_t *sent = nullptr);
custom_request write_motion_mode(int32_t mode);
custom_request write_enable_state(bool enable);
custom_request write_control_source();
custom_request write_analog_source();
custom_request write_target_current(const QString &typed);
custom_request write_target_speed(const QString &typed);
custom_request write_analog_stop();
custom_request write_max_speed_limit(const QString &typed);
