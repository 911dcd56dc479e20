#pragma once
// Process-wide values shared by the windows. Everything here is read and written on the GUI
// thread only; worker threads never touch them.
#include <QString>
#include <cstdint>

class custom_send;
class monitor;
class control_CAN;
class control_CANopen;
class joint_CAN_set;
class Set_node;

// Adapter settings: fixed for the life of the process.
extern int32_t device_type;   // 3
extern int32_t device_index;  // 0
extern int32_t can_index;     // 0
extern int32_t baud_kbps;     // 1000
extern int32_t work_mode;     // 0

// Adapter status.
extern int32_t adapter_error;  // 0 none, 1 open, 2 init, 3 start, 4 close failed
extern int32_t device_open;
extern uint8_t app_running;    // 1

// Node and protocol.
extern int32_t node_connected;
extern int32_t node_id;
extern int32_t sdo_request_id;
extern int32_t custom_request_id;
extern QString protocol_name;
namespace protocol {
// What protocol_name says: the custom protocol goes by two names ("CAN自定义", and "CAN").
bool is_custom(const QString &name);
bool is_canopen(const QString &name);
}  // namespace protocol
extern uint8_t canopen_supported;
extern int32_t comm_cycle_us;

// Link flags of the two motion windows.
extern int32_t custom_link_active;
extern int32_t canopen_link_active;

// Exchange result.
extern int32_t reply_value;
extern int32_t reply_length;
// Identifier that answered the presence probe at connect: the drive's custom-protocol reply
// identifier, preferred by every later exchange; 0 while unknown.
extern int32_t custom_reply_id;

// Monitor logging.
extern int32_t monitor_capture;  // 1
extern int32_t monitor_seq;      // 1
extern int32_t monitor_open;

// Window visibility flags.
extern int32_t custom_control_open;
extern int32_t canopen_control_open;
extern uint8_t custom_send_open;
extern uint8_t set_node_open;
extern int32_t motion_window_open;

// Window instances, set once by the main window's constructor in this order.
extern custom_send *custom_send_window;
extern monitor *custom_monitor;
extern monitor *canopen_monitor;
extern control_CAN *custom_control;
extern control_CANopen *canopen_control;
extern joint_CAN_set *settings_window;
extern Set_node *set_node_window;

// Puts every value above back to its start-up value (window pointers to null). For tests that
// run several scenarios in one process.
void reset_shared_values();
