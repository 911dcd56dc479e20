#pragma once
// Velmora's adapter library: the eight adapter calls the program is written against, served by
// a selectable bus (the in-process simulator, or any QtSerialBus plugin). Results follow the
// adapter convention: 1 = done, 0 = refused, counts for the two counting calls, -1 = device
// not usable.
#include <cstddef>
#include <cstdint>

// Init configuration record, 16 bytes, little-endian.
struct vci_init_config {
    uint32_t acc_code;
    uint32_t acc_mask;
    uint32_t reserved;
    uint8_t filter;
    uint8_t timing0;
    uint8_t timing1;
    uint8_t mode;
};
static_assert(sizeof(vci_init_config) == 16, "init record is 16 bytes");
static_assert(offsetof(vci_init_config, acc_code) == 0, "init record layout");
static_assert(offsetof(vci_init_config, acc_mask) == 4, "init record layout");
static_assert(offsetof(vci_init_config, reserved) == 8, "init record layout");
static_assert(offsetof(vci_init_config, filter) == 12, "init record layout");
static_assert(offsetof(vci_init_config, timing0) == 13, "init record layout");
static_assert(offsetof(vci_init_config, timing1) == 14, "init record layout");
static_assert(offsetof(vci_init_config, mode) == 15, "init record layout");

// The fifteen rates the adapter knows, with the Timing0/Timing1 pair that selects each.
struct bit_timing {
    int32_t kbps;
    uint8_t timing0;
    uint8_t timing1;
};
extern const bit_timing bit_timing_table[15];

// CAN frame record, 24 bytes, little-endian.
struct vci_frame {
    uint32_t id;
    uint32_t time_stamp;
    uint8_t time_flag;
    uint8_t send_type;
    uint8_t remote_flag;
    uint8_t extern_flag;
    uint8_t data_len;
    uint8_t data[8];
    uint8_t reserved[3];
};
static_assert(sizeof(vci_frame) == 24, "frame record is 24 bytes");
static_assert(offsetof(vci_frame, id) == 0, "frame record layout");
static_assert(offsetof(vci_frame, time_stamp) == 4, "frame record layout");
static_assert(offsetof(vci_frame, time_flag) == 8, "frame record layout");
static_assert(offsetof(vci_frame, send_type) == 9, "frame record layout");
static_assert(offsetof(vci_frame, remote_flag) == 10, "frame record layout");
static_assert(offsetof(vci_frame, extern_flag) == 11, "frame record layout");
static_assert(offsetof(vci_frame, data_len) == 12, "frame record layout");
static_assert(offsetof(vci_frame, data) == 13, "frame record layout");
static_assert(offsetof(vci_frame, reserved) == 21, "frame record layout");

int32_t OpenDevice(int32_t dev_type, int32_t dev_index, int32_t channel);
int32_t CloseDevice(int32_t dev_type, int32_t dev_index);
int32_t InitCAN(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_init_config *config);
int32_t StartCAN(int32_t dev_type, int32_t dev_index, int32_t channel);
int32_t ClearBuffer(int32_t dev_type, int32_t dev_index, int32_t channel);
int32_t GetReceiveNum(int32_t dev_type, int32_t dev_index, int32_t channel);
int32_t Transmit(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_frame *frames, int32_t count);
int32_t Receive(int32_t dev_type, int32_t dev_index, int32_t channel, vci_frame *frames, int32_t capacity,
                int32_t wait_ms);
