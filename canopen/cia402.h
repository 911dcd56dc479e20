#pragma once
// The CANopen vocabulary of the window, the frame builders and the poll: the CiA 301 and CiA 402
// objects they address, the control words they send and the states they read back from the
// statusword. (The simulated joints keep tables of their own on purpose: they are the
// independent drive the program is checked against.)
// The modes and the statusword are named tables below (as python-canopen's OperationMode and
// State402 are), so no caller keeps a number of its own.
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
#include <vector>

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
// Bit 0 negative limit switch, 1 positive limit switch, 2 home switch.
constexpr uint16_t digital_inputs = 0x60FD;
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
// The raw value of object index:subindex in a PDO's data laid out by its mapping entries (in the
// form above, in order), with its length in bits; false when it is not mapped, or not whole
// within len bytes, or longer than 32 bits.
bool pdo_mapped_value(const std::vector<uint32_t> &map, const uint8_t *data, int len, uint16_t index, uint8_t subindex,
                      uint32_t *raw, int *bits);

// Controlword 0x6040. The commands of the state machine are patterns of bits 0-3 and 7 (the
// mask says which bits the drive looks at); bits 4-6 and 8-9 mean what the mode makes of them.
namespace cw_bit {
constexpr uint16_t switch_on = 0x0001;
constexpr uint16_t enable_voltage = 0x0002;
constexpr uint16_t quick_stop = 0x0004;  // 0 = quick stop
constexpr uint16_t enable_operation = 0x0008;
// Profile position: new set-point; homing: operation start; interpolated position: interpolation
// active. Each acts on its rising edge.
constexpr uint16_t operation_start = 0x0010;
constexpr uint16_t change_set_immediately = 0x0020;  // profile position (and the window's other pages)
constexpr uint16_t relative = 0x0040;                // profile position: the target is a distance
constexpr uint16_t fault_reset = 0x0080;             // rising edge
constexpr uint16_t halt = 0x0100;
constexpr uint16_t change_on_set_point = 0x0200;  // profile position
}  // namespace cw_bit

struct controlword_command {
    const char *key;  // "shutdown", ...
    uint16_t mask;
    uint16_t value;
    const char *zh;
    const char *en;
};
enum class command { shutdown, switch_on, enable_operation, disable_voltage, quick_stop, disable_operation, fault_reset };
constexpr int command_count = 7;
const controlword_command &command_info(command c);
// The command a controlword gives (fault reset when bit 7 is set, else the first in the order of
// enum command that matches: every word is one; switch on and disable operation are the same
// word, told apart only by the state it is sent in).
const controlword_command *command_of(uint16_t controlword);

constexpr uint16_t cw_fault_reset = cw_bit::fault_reset;
constexpr uint16_t cw_shutdown = cw_bit::enable_voltage | cw_bit::quick_stop;
constexpr uint16_t cw_switch_on = cw_shutdown | cw_bit::switch_on;
constexpr uint16_t cw_enable_operation = cw_switch_on | cw_bit::enable_operation;
constexpr uint16_t cw_disable_operation = cw_switch_on;
constexpr uint16_t cw_disable_voltage = 0x0000;
constexpr uint16_t cw_quick_stop = cw_bit::enable_voltage;  // enable voltage with quick stop clear
// Profile position: enable operation with the new set-point bit (4). Interpolated position
// reads the same bit as "interpolation active".
constexpr uint16_t cw_new_setpoint = cw_enable_operation | cw_bit::operation_start;
// Enable operation with bits 4 and 5 (change set immediately): what the velocity, torque and
// cyclic pages send with every set-point.
constexpr uint16_t cw_enable_immediate = cw_enable_operation | cw_bit::change_set_immediately;
constexpr uint16_t cw_halt_bit = cw_bit::halt;
// Homing: enable operation with bit 4 (operation start), which starts homing on its rising edge.
constexpr uint16_t cw_homing_start = cw_enable_operation | cw_bit::operation_start;
// Bit 1 clear is Disable voltage; the profile torque page sends it with bit 0 set.
constexpr uint16_t cw_torque_page_disable = cw_bit::switch_on;

// Statusword 0x6041. Bits 0-3, 5 and 6 make the state (the table at the top); bits 12 and 13
// mean what the mode makes of them (mode_info::bit12 / bit13).
namespace sw_bit {
constexpr uint16_t ready_to_switch_on = 0x0001;
constexpr uint16_t switched_on = 0x0002;
constexpr uint16_t operation_enabled = 0x0004;
constexpr uint16_t fault = 0x0008;
constexpr uint16_t voltage_enabled = 0x0010;
constexpr uint16_t quick_stop = 0x0020;  // 0 = quick stop active
constexpr uint16_t switch_on_disabled = 0x0040;
constexpr uint16_t warning = 0x0080;
constexpr uint16_t remote = 0x0200;
constexpr uint16_t target_reached = 0x0400;
constexpr uint16_t internal_limit = 0x0800;
constexpr uint16_t mode_bit12 = 0x1000;
constexpr uint16_t mode_bit13 = 0x2000;
}  // namespace sw_bit

// Statusword masks of the state table above; the powered states are told apart by bit 5 too.
constexpr uint16_t sw_state_mask = 0x4F;
constexpr uint16_t sw_powered_state_mask = 0x6F;
constexpr uint16_t sw_target_reached = sw_bit::target_reached;
constexpr uint16_t sw_internal_limit = sw_bit::internal_limit;
constexpr uint16_t sw_setpoint_acknowledge = sw_bit::mode_bit12;  // profile position
constexpr uint16_t sw_following_error = sw_bit::mode_bit13;       // profile position, CSP
constexpr uint16_t sw_homing_attained = sw_bit::mode_bit12;       // homing
constexpr uint16_t sw_homing_error = sw_bit::mode_bit13;          // homing

// A named bit: its mask and its names in both languages.
struct named_bit {
    uint16_t mask;
    const char *zh;
    const char *en;
};

// Modes of operation (0x6060, shown in 0x6061).
constexpr int8_t mode_profile_position = 1;
constexpr int8_t mode_velocity = 2;
constexpr int8_t mode_profile_velocity = 3;
constexpr int8_t mode_profile_torque = 4;
constexpr int8_t mode_homing = 6;
constexpr int8_t mode_interpolated_position = 7;
constexpr int8_t mode_cyclic_position = 8;
constexpr int8_t mode_cyclic_velocity = 9;
constexpr int8_t mode_cyclic_torque = 10;

// What the set-point and the actual value of a mode are.
enum class quantity { position, velocity, torque };
// What tells that a command of the mode is done: a move's target reached (bit 10 with the
// set-point acknowledged), homing attained (bits 12 and 10, 13 clear), or nothing: the mode runs
// until it is stopped or is fed set-points by the master.
enum class mode_end { target_reached, homing_attained, none };

struct mode_info {
    int8_t value;          // 0x6060
    const char *key;       // "pp", "vl", "pv", "tq", "hm", "ip", "csp", "csv", "cst"
    const char *zh;
    const char *en;
    quantity kind;
    uint16_t set_point;    // the object the set-point goes to; 0: none (homing runs on its own)
    uint8_t set_point_sub;
    uint16_t actual;       // the actual value the mode controls
    bool cyclic;           // set-points come in synchronous RPDOs, applied at each SYNC
    mode_end ends;
    uint8_t supported_bit; // its bit in 0x6502 supported drive modes
    named_bit bit12;       // the statusword's mode bits as this mode reads them (mask 0: reserved)
    named_bit bit13;
};

// Every CiA 402 mode, in the order of its value.
const mode_info *modes_begin();
const mode_info *modes_end();
// The mode with this 0x6060 value; nullptr for a value CiA 402 gives no mode.
const mode_info *find_mode(int8_t value);

// The statusword bits outside the state that mean something whatever the state: warning,
// remote, target reached, internal limit, and the mode's bits 12 and 13 (named by the mode; by
// number when the mode is unknown, nullptr).
std::vector<named_bit> statusword_flags(uint16_t statusword, const mode_info *mode);

// 0x60FD digital inputs: the switches a drive reports (CiA 402 bits 0-2).
constexpr uint32_t di_negative_limit = 0x1;
constexpr uint32_t di_positive_limit = 0x2;
constexpr uint32_t di_home_switch = 0x4;
std::vector<named_bit> digital_input_flags(uint32_t inputs);

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
// The state's names apart: "运行使能", "Operation enabled".
const char *state_name_zh(drive_state state);
const char *state_name_en(drive_state state);
// The walk to "operation enabled": what to send after a look at the statusword. look counts the
// looks of this walk from 0, so that a quick stop is first offered the way back to operation
// (where its option code allows it) and later taken through "switch on disabled". The caller
// reads the statusword, sends what this says, and looks again, at most enable_looks times;
// between states (not ready, fault reaction) it waits, up to enable_settle_ms in all, and such
// a look counts as none.
struct enable_command {
    enum class action {
        done,    // operation enabled: nothing to send
        send,    // write controlwords[0 .. count - 1], in this order
        settle,  // between states: send nothing, look again shortly
    };
    action what = action::done;
    // A fault reset acts on the rising edge of bit 7, so it is sent after a word without it.
    uint16_t controlwords[2] = {0, 0};
    int count = 0;
};
enable_command next_enable_command(uint16_t statusword, int look);
// Enough looks to walk from "fault" to "operation enabled", with a look at each state.
constexpr int enable_looks = 8;
constexpr int enable_settle_ms = 500;

// What the window says when Enable did not reach "operation enabled": the state found, or that
// the drive did not answer (known false).
QString enable_failed_text(bool known, uint16_t statusword);

// What a statusword says, for windows that show drives: the state and the flags the mode reads.
struct statusword_reading {
    drive_state state;
    std::vector<named_bit> flags;
};
statusword_reading read_statusword(uint16_t statusword, const mode_info *mode);
// "operation enabled; target reached, homing attained" (English, lower case: for log lines).
QString statusword_summary(uint16_t statusword, const mode_info *mode);
// "运行使能：目标到达、回零完成\nOperation enabled: target reached, homing attained", for windows.
QString statusword_text(uint16_t statusword, const mode_info *mode);

// Error codes of 0x603F, EMCY and 0x1003 (CiA 301 families, CiA 402 codes).
struct error_code_info {
    uint16_t code;
    const char *zh;
    const char *en;
};
// The code's own entry, else the nearest family it belongs to (0x2311 -> 0x2310, 0x2350 ->
// 0x2300, 0x2400 -> 0x2000, 0xFF42 -> 0xFF00); nullptr outside every family (0x0001-0x0FFF).
// 0x0000 is "error reset / no error".
const error_code_info *find_error_code(uint16_t code);
// True when find_error_code gives the code's own entry rather than its family's.
bool error_code_known(uint16_t code);
// "持续过流(0x2310)\nContinuous over-current", the error document's form; for a code known only
// by its family the family's names with the code itself. Empty outside every family.
QString error_code_text(uint16_t code);
// The table in full, in order of the code.
const error_code_info *error_codes_begin();
const error_code_info *error_codes_end();

}  // namespace canopen
