#include "base/shared_values.h"

int32_t device_type = 3;
int32_t device_index = 0;
int32_t can_index = 0;
int32_t baud_kbps = 1000;
int32_t work_mode = 0;

int32_t adapter_error = 0;
int32_t device_open = 0;
uint8_t app_running = 1;

int32_t node_connected = 0;
int32_t node_id = 0;
int32_t sdo_request_id = 0;
int32_t custom_request_id = 0;
QString protocol_name;
uint8_t canopen_supported = 0;
int32_t comm_cycle_us = 0;

int32_t custom_link_active = 0;
int32_t canopen_link_active = 0;

int32_t reply_value = 0;
int32_t reply_length = 0;
int32_t custom_reply_id = 0;

int32_t monitor_capture = 1;
int32_t monitor_seq = 1;
int32_t monitor_open = 0;

int32_t custom_control_open = 0;
int32_t canopen_control_open = 0;
uint8_t custom_send_open = 0;
uint8_t set_node_open = 0;
int32_t motion_window_open = 0;

custom_send *custom_send_window = nullptr;
monitor *custom_monitor = nullptr;
monitor *canopen_monitor = nullptr;
control_CAN *custom_control = nullptr;
control_CANopen *canopen_control = nullptr;
joint_CAN_set *settings_window = nullptr;
Set_node *set_node_window = nullptr;

void reset_shared_values()
{
    device_type = 3;
    device_index = 0;
    can_index = 0;
    baud_kbps = 1000;
    work_mode = 0;
    adapter_error = 0;
    device_open = 0;
    app_running = 1;
    node_connected = 0;
    node_id = 0;
    sdo_request_id = 0;
    custom_request_id = 0;
    protocol_name.clear();
    canopen_supported = 0;
    comm_cycle_us = 0;
    custom_link_active = 0;
    canopen_link_active = 0;
    reply_value = 0;
    reply_length = 0;
    custom_reply_id = 0;
    monitor_capture = 1;
    monitor_seq = 1;
    monitor_open = 0;
    custom_control_open = 0;
    canopen_control_open = 0;
    custom_send_open = 0;
    set_node_open = 0;
    motion_window_open = 0;
    custom_send_window = nullptr;
    custom_monitor = nullptr;
    canopen_monitor = nullptr;
    custom_control = nullptr;
    canopen_control = nullptr;
    settings_window = nullptr;
    set_node_window = nullptr;
}

namespace protocol {
bool is_custom(const QString &name) { return name == QStringLiteral("CAN自定义") || name == QStringLiteral("CAN"); }
bool is_canopen(const QString &name) { return name == QStringLiteral("CANopen"); }
}  // namespace protocol
