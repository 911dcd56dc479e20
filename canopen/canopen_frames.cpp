#include "canopen/canopen_frames.h"

#include "can/adapter.h"

namespace canopen {

frame sdo_upload(int32_t sdo_request_id, uint16_t index, uint8_t subindex)
{
    frame f;
    f.id = static_cast<uint32_t>(sdo_request_id);
    f.len = 8;
    f.data[0] = sdo_upload_request;
    put_le_bytes(index, f.data, 1, 2);
    f.data[3] = subindex;
    return f;
}

frame sdo_download(int32_t sdo_request_id, uint16_t index, uint8_t subindex, uint32_t value, int size)
{
    frame f;
    f.id = static_cast<uint32_t>(sdo_request_id);
    f.len = 8;
    switch (size) {
    case 1: f.data[0] = sdo_download_1; break;
    case 2: f.data[0] = sdo_download_2; break;
    default:
        size = 4;
        f.data[0] = sdo_download_4;
        break;
    }
    put_le_bytes(index, f.data, 1, 2);
    f.data[3] = subindex;
    put_le_bytes(value, f.data, 4, size);
    return f;
}

frame nmt(uint8_t command, int32_t sdo_request_id)
{
    frame f;
    f.id = nmt_id;
    f.len = 2;
    f.data[0] = command;
    f.data[1] = static_cast<uint8_t>(sdo_request_id & 0xFF);
    return f;
}

frame sync()
{
    frame f;
    f.id = sync_id;
    return f;
}

frame guarding_request(int32_t sdo_request_id)
{
    frame f;
    f.id = guarding_id(sdo_request_id);
    f.remote = 1;
    return f;
}

frame rpdo1(int32_t sdo_request_id, uint16_t control_word, int32_t set_point)
{
    frame f;
    f.id = rpdo1_id(sdo_request_id);
    f.len = 6;
    put_le_bytes(control_word, f.data, 0, 2);
    put_le_bytes(static_cast<uint32_t>(set_point), f.data, 2, 4);
    return f;
}

}  // namespace canopen
