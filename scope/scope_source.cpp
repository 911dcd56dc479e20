#include "scope/scope_source.h"

#include "canopen/canopen_commands.h"
#include "canopen/canopen_frames.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"

namespace scope {
namespace {

// The reply windows of the two protocols' exchanges: only time-outs here.
constexpr int custom_reply_window_ms = 6;
constexpr int sdo_reply_window_ms = 5;
constexpr uint32_t custom_reply_offset = 0x80;  // request 0x640 + node, reply 0x5C0 + node
constexpr uint32_t sdo_reply_offset = 0x80;     // request 0x600 + node, reply 0x580 + node
constexpr uint8_t sdo_abort = 0x80;

bool sdo_upload_reply(uint8_t command) { return command == 0x4F || command == 0x4B || command == 0x47 || command == 0x43; }

}  // namespace

bool custom_source::read_register(const uint8_t *request, uint8_t length, int32_t *value)
{
    bus_frame req;
    req.id = request_id_;
    req.len = length;
    std::copy(request, request + length, req.data);
    const uint32_t reply_id = request_id_ - custom_reply_offset;
    bus_frame reply;
    const bool ok = link_.transact(
        req, [reply_id](const bus_frame &f) { return f.id == reply_id && f.len == 4; }, custom_reply_window_ms,
        &reply);
    if (ok)
        *value = custom_reply_value(reply.data, reply.len);
    return ok;
}

bool custom_source::read(sample *s)
{
    const struct {
        channel ch;
        custom_request request;
    } reads[] = {
        {position, read_actual_position()},
        {velocity, read_actual_speed()},
        {current, read_actual_current()},
    };
    bool any = false;
    for (const auto &r : reads) {
        int32_t v = 0;
        if (read_register(r.request.data, r.request.length, &v)) {
            s->set(r.ch, v);
            any = true;
        }
    }
    return any;
}

bool canopen_source::upload(uint16_t index, uint8_t subindex, int32_t *value)
{
    const canopen::frame f = canopen::sdo_upload(static_cast<int32_t>(request_id_), index, subindex);
    bus_frame req;
    req.id = f.id;
    req.len = f.len;
    std::copy(f.data, f.data + 8, req.data);
    const uint32_t reply_id = request_id_ - sdo_reply_offset;
    auto is_reply = [&](const bus_frame &r) {
        return r.id == reply_id && r.len == 8 && (sdo_upload_reply(r.data[0]) || r.data[0] == sdo_abort)
               && r.data[1] == f.data[1] && r.data[2] == f.data[2] && r.data[3] == f.data[3];
    };
    bus_frame reply;
    if (!link_.transact(req, is_reply, sdo_reply_window_ms, &reply) || reply.data[0] == sdo_abort)
        return false;
    *value = static_cast<int32_t>(uint32_t(reply.data[4]) | uint32_t(reply.data[5]) << 8
                                  | uint32_t(reply.data[6]) << 16 | uint32_t(reply.data[7]) << 24);
    return true;
}

bool canopen_source::read(sample *s)
{
    bool any = false;
    int32_t v = 0;
    if (upload(0x6064, 0, &v)) {
        s->set(position, v);
        any = true;
    }
    if (upload(0x606C, 0, &v)) {
        s->set(velocity, v);
        any = true;
    }
    if (!rated_known_)
        rated_known_ = upload(0x6075, 0, &rated_ma_);
    if (upload(0x6078, 0, &v)) {
        any = true;
        if (rated_known_)
            s->set(current, canopen::current_milliamps(true, v, true, rated_ma_));
    }
    if (upload(0x6041, 0, &v)) {
        s->set(state, state_number(static_cast<uint16_t>(v)));
        any = true;
    }
    return any;
}

}  // namespace scope
