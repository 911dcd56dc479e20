#include "can/adapter.h"

#include "base/shared_values.h"
#include "can/vci/vci.h"

#include <cstring>

bool timing_for_rate(int32_t kbps, uint8_t *timing0, uint8_t *timing1)
{
    for (const bit_timing &row : bit_timing_table) {
        if (row.kbps == kbps) {
            *timing0 = row.timing0;
            *timing1 = row.timing1;
            return true;
        }
    }
    return false;
}

void open_adapter()
{
    if (OpenDevice(device_type, device_index, can_index) != 1) {
        adapter_error = 1;
        return;
    }
    vci_init_config config;
    std::memset(&config, 0, sizeof config);
    config.acc_code = 0;
    config.acc_mask = 0xFFFFFFFFu;
    config.filter = 0;
    config.mode = static_cast<uint8_t>(work_mode & 0xFF);
    // A rate outside the table leaves the timing fields at 0, which the library refuses.
    timing_for_rate(baud_kbps, &config.timing0, &config.timing1);
    if (InitCAN(device_type, device_index, can_index, &config) != 1) {
        adapter_error = 2;
        return;
    }
    if (StartCAN(device_type, device_index, can_index) != 1)
        adapter_error = 3;
}

int32_t close_adapter()
{
    const int32_t result = CloseDevice(device_type, device_index);
    if (result == 1)
        device_open = 0;
    else
        adapter_error = 4;
    return result;
}

bool send_frame(uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote)
{
    return send_frame_to(device_type, device_index, can_index, id, data, len, remote);
}

bool send_frame_to(int32_t dev_type, int32_t dev_index, int32_t channel, uint32_t id, const uint8_t *data,
                   uint8_t len, uint8_t remote)
{
    vci_frame frame;
    std::memset(&frame, 0, sizeof frame);
    frame.id = id;
    frame.remote_flag = remote;
    frame.data_len = len;
    if (data && len > 0)
        std::memcpy(frame.data, data, len > 8 ? 8 : len);
    return Transmit(dev_type, dev_index, channel, &frame, 1) == 1;
}

bool receive_batch(uint32_t ids[frame_batch_size], uint8_t payloads[frame_batch_size][8],
                   uint8_t lens[frame_batch_size], uint8_t flags[frame_batch_size], int32_t *count)
{
    vci_frame buffer[frame_batch_size];
    const int32_t received = Receive(device_type, device_index, can_index, buffer, frame_batch_size, 10);
    // Neither "nothing" nor the library's error value -1 is a batch.
    if (received <= 0)
        return false;
    // Every frame taken is handed back: a count made before the read may already be short.
    const int32_t taken = received < frame_batch_size ? received : frame_batch_size;
    for (int32_t i = 0; i < taken; ++i) {
        ids[i] = buffer[i].id;
        const uint8_t len = buffer[i].data_len > 8 ? 8 : buffer[i].data_len;
        lens[i] = buffer[i].data_len;
        std::memcpy(payloads[i], buffer[i].data, len);
        if (flags)
            flags[i] = static_cast<uint8_t>((buffer[i].extern_flag ? batch_flag::extended : 0) |
                                            (buffer[i].remote_flag ? batch_flag::remote : 0));
    }
    if (count)
        *count = taken;
    return true;
}

void put_be32(uint32_t value, uint8_t payload[8])
{
    payload[2] = static_cast<uint8_t>(value >> 24);
    payload[3] = static_cast<uint8_t>(value >> 16);
    payload[4] = static_cast<uint8_t>(value >> 8);
    payload[5] = static_cast<uint8_t>(value);
}

void put_le_bytes(uint32_t value, uint8_t *buffer, int offset, int count)
{
    if (count > 4)
        count = 4;
    for (int i = 0; i < count; ++i)
        buffer[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
