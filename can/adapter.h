#pragma once
// Adapter operations on top of the adapter library, with the device coordinates taken from the
// shared adapter settings. Failures are recorded in adapter_error; device_open is the callers'.
#include <cstdint>

// Looks up kbps in the adapter's table of rates (can/vci/vci.h); false when it is not there.
bool timing_for_rate(int32_t kbps, uint8_t *timing0, uint8_t *timing1);

constexpr int frame_batch_size = 64;

// Kind of a batch entry's frame, as the bus reported it.
namespace batch_flag {
constexpr uint8_t extended = 0x01;  // 29-bit identifier
constexpr uint8_t remote = 0x02;
}  // namespace batch_flag

void open_adapter();
int32_t close_adapter();
bool send_frame(uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote);
// The same on the adapter device of another bus (can/bus.h).
bool send_frame_to(int32_t dev_type, int32_t dev_index, int32_t channel, uint32_t id, const uint8_t *data,
                   uint8_t len, uint8_t remote);
// Takes up to frame_batch_size frames and hands every one of them back, in arrival order;
// flags (when given) receives each entry's batch_flag bits and count how many entries were
// filled. False when nothing came.
bool receive_batch(uint32_t ids[frame_batch_size], uint8_t payloads[frame_batch_size][8],
                   uint8_t lens[frame_batch_size], uint8_t flags[frame_batch_size] = nullptr,
                   int32_t *count = nullptr);

// Custom protocol: value, most significant byte first, into payload bytes 2..5.
void put_be32(uint32_t value, uint8_t payload[8]);
// CANopen: the low count bytes of value, least significant first, from buffer[offset].
void put_le_bytes(uint32_t value, uint8_t *buffer, int offset, int count);
