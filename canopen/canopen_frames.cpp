#include "canopen/canopen_frames.h"

#include "can/adapter.h"
#include "canopen/sdo_client.h"

#include <algorithm>

namespace canopen {

namespace {

frame on_id(int32_t sdo_request_id, const sdo_frame &request)
{
    frame f;
    f.id = static_cast<uint32_t>(sdo_request_id);
    f.len = 8;
    std::copy(request.data, request.data + 8, f.data);
    return f;
}

}  // namespace

frame sdo_upload(int32_t sdo_request_id, uint16_t index, uint8_t subindex)
{
    return on_id(sdo_request_id, sdo_upload_request(index, subindex));
}

frame sdo_download(int32_t sdo_request_id, uint16_t index, uint8_t subindex, uint32_t value, int size)
{
    if (size != 1 && size != 2)
        size = 4;
    QByteArray bytes(size, '\0');
    put_le_bytes(value, reinterpret_cast<uint8_t *>(bytes.data()), 0, size);
    return on_id(sdo_request_id, sdo_download_request(index, subindex, bytes));
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
