#pragma once
// The CANopen vocabulary of the window, the frame builders and the poll: the CiA 301 and CiA 402
// objects they address, the control words they send and the states they read back from the
// statusword. (The simulated joints keep tables of their own on purpose: they are the
// independent drive the program is checked against.)
//
//   state                   statusword mask  value
//   not ready to switch on  0x4F             0x00
//   switch on disabled      0x4F             0x40
//   ready to switch on      0x6F             0x21
//   switched on             0x6F             0x23
//   operation enabled       0x6F             0x27
//   quick stop active       0x6F             0x07
//   fault reaction active   0x4F             0x0F
//   fault                   0x4F             0x08
#include <QString>
#include <cstdint>

namespace canopen {

namespace object {
// CiA 301 communication objects.
constexpr uint16_t cob_id_sync = 0x1005;
constexpr uint16_t communication_cycle_period = 0x1006;
constexpr uint16_t rpdo1_communication = 0x1400;
constexpr uint16_t rpdo1_mapping = 0x1600;
constexpr uint16_t tpdo1_communication = 0x1800;
constexpr uint16_t tpdo1_mapping = 0x1A00;
// Sub n: the node-ID a heartbeat is expected from (bits 16-23) and the time in ms (bits 0-15).
constexpr uint16_t consumer_heartbeat_time = 0x1016;
// Sub 1: the NMT state a communication error sends the node to (0 pre-operational).
constexpr uint16_t error_behaviour = 0x1029;
// CiA 402 drive objects.
// What the drive does when the connection is lost (a heartbeat consumer times out): 3 quick stop.
constexpr uint16_t abort_connection_option = 0x6007;
constexpr uint16_t error_code = 0x603F;
constexpr uint16_t controlword = 0x6040;
constexpr uint16_t statusword = 0x6041;
constexpr uint16_t modes_of_operation = 0x6060;
constexpr uint16_t modes_of_operation_display = 0x6061;
constexpr uint16_t position_actual_value = 0x6064;
constexpr uint16_t velocity_actual_value = 0x606C;
constexpr uint16_t target_torque = 0x6071;
constexpr uint16_t motor_rated_current = 0x6075;
constexpr uint16_t torque_actual_value = 0x6077;
constexpr uint16_t current_actual_value = 0x6078;
constexpr uint16_t target_position = 0x607A;
// Homing: the position the home position reads once homing is attained, the method, the
// speeds (sub 1 searching for a switch, sub 2 for zero) and the acceleration.
constexpr uint16_t home_offset = 0x607C;
constexpr uint16_t homing_method = 0x6098;
constexpr uint16_t homing_speeds = 0x6099;
constexpr uint16_t homing_acceleration = 0x609A;
constexpr uint16_t profile_velocity = 0x6081;
constexpr uint16_t profile_acceleration = 0x6083;
constexpr uint16_t profile_deceleration = 0x6084;
constexpr uint16_t interpolation_data_record = 0x60C1;
constexpr uint16_t target_velocity = 0x60FF;
}  // namespace object

// Subindices of the PDO communication parameters (0x1400/0x1800).
constexpr uint8_t pdo_cob_id = 1;
constexpr uint8_t pdo_transmission_type = 2;
constexpr uint8_t pdo_inhibit_time = 3;
constexpr uint8_t pdo_event_timer = 5;
// A PDO mapping entry: the object, its subindex and its length in bits.
constexpr uint32_t pdo_map_entry(uint16_t index, uint8_t subindex, uint8_t bits)
{
    return static_cast<uint32_t>(index) << 16 | static_cast<uint32_t>(subindex) << 8 | bits;
}

// Control words.
constexpr uint16_t cw_fault_reset = 0x0080;
constexpr uint16_t cw_shutdown = 0x0006;
constexpr uint16_t cw_switch_on = 0x0007;
constexpr uint16_t cw_enable_operation = 0x000F;
// Profile position: enable operation with the new set-point bit (4). Interpolated position
// reads the same bit as "interpolation active".
constexpr uint16_t cw_new_setpoint = 0x001F;
// Enable operation with bits 4 and 5 (change set immediately): what the velocity, torque and
// cyclic pages send with every set-point.
constexpr uint16_t cw_enable_immediate = 0x002F;
constexpr uint16_t cw_halt_bit = 0x0100;
// Homing: enable operation with bit 4 (operation start), which starts homing on its rising edge.
constexpr uint16_t cw_homing_start = 0x001F;
// Bit 1 clear is Disable voltage; the profile torque page sends it with bit 0 set.
constexpr uint16_t cw_torque_page_disable = 0x0001;

// Statusword masks of the state table above; the powered states are told apart by bit 5 too.
constexpr uint16_t sw_state_mask = 0x4F;
constexpr uint16_t sw_powered_state_mask = 0x6F;
// Statusword bits of the modes: target reached (10), and bits 12/13 as each mode reads them.
constexpr uint16_t sw_target_reached = 0x0400;
constexpr uint16_t sw_setpoint_acknowledge = 0x1000;  // profile position
constexpr uint16_t sw_homing_attained = 0x1000;       // homing
constexpr uint16_t sw_homing_error = 0x2000;          // homing

// Modes of operation (0x6060).
constexpr int8_t mode_profile_position = 1;
constexpr int8_t mode_profile_velocity = 3;
constexpr int8_t mode_homing = 6;

enum class drive_state {
    not_ready,
    switch_on_disabled,
    ready_to_switch_on,
    switched_on,
    operation_enabled,
    quick_stop_active,
    fault_reaction_active,
    fault,
    unknown,
};

drive_state state_of(uint16_t statusword);
// "运行使能\nOperation enabled", ... as the window shows it.
QString state_text(drive_state state);
// What the window says when Enable did not reach "operation enabled": the state found, or that
// the drive did not answer (known false).
QString enable_failed_text(bool known, uint16_t statusword);

}  // namespace canopen
