#include "scope/scope_source.h"

#include "base/shared_values.h"
#include "canopen/canopen_commands.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/canopen_replies.h"
#include "canopen/cia402.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"

namespace scope {

uint32_t little_endian(const QByteArray &bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes.size() && i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    return v;
}

QByteArray little_endian(uint32_t v, int size)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b += static_cast<char>(v >> (8 * i));
    return b;
}

bool stored_key(const channel_def &ch, uint32_t raw, bool rated_known, int32_t rated_ma, int32_t *key)
{
    switch (ch.kind) {
    case role::current:
        if (!rated_known)
            return false;
        *key = canopen::current_milliamps(true, static_cast<int16_t>(raw), true, rated_ma);
        return true;
    case role::state:
        *key = state_number(static_cast<uint16_t>(raw));
        return true;
    default:
        *key = ch.key_of_raw(raw);
        return true;
    }
}

const exchange_bus &sampler_bus(int bus)
{
    // The core's until-reply wait returns as soon as the answer is pending.
    return bus_ops(bus);
}

bool custom_source::read_register(const uint8_t *request, uint8_t length, int32_t *value)
{
    exchange_request req(request_id_, request, length, custom_reply_window_ms);
    req.wait = wait_policy::until_reply;
    const exchange_outcome out = custom_transaction(bus_, req, custom_reply_shape::value, exchange_hooks());
    if (out.answered)
        *value = custom_reply_value(out.reply.data, static_cast<uint8_t>(bus_frame_bytes(out.reply)));
    return out.answered;
}

custom_source::custom_source(const exchange_bus &bus, uint32_t request_id, const channel_list &channels)
    : bus_(bus), request_id_(request_id), channels_(channels)
{
    for (size_t ch = 0; ch < channels_.size() && ch < max_channels; ++ch) {
        const role r = channels_[ch].kind;
        if (r == role::position || r == role::velocity || r == role::current)
            mask_ = static_cast<channel_mask>(mask_ | bit(static_cast<int>(ch)));
    }
}

bool custom_source::read(sample *s)
{
    bool any = false;
    for (size_t ch = 0; ch < channels_.size() && ch < max_channels; ++ch) {
        if (!(mask_ & bit(static_cast<int>(ch))))
            continue;
        const role r = channels_[ch].kind;
        const custom_request request = r == role::position   ? read_actual_position()
                                       : r == role::velocity ? read_actual_speed()
                                                             : read_actual_current();
        int32_t v = 0;
        if (read_register(request.data, request.length, &v)) {
            s->set(static_cast<int>(ch), v);
            any = true;
        } else if (!any) {
            return false;  // a silent joint costs one reply window per sample, not three
        }
    }
    return any;
}

canopen_source::canopen_source(const exchange_bus &bus, uint32_t sdo_request_id, const channel_list &channels)
    : bus_(bus), request_id_(sdo_request_id), channels_(channels)
{
    for (size_t ch = 0; ch < channels_.size() && ch < max_channels; ++ch) {
        if (channels_[ch].is_object() && channels_[ch].bits() > 0)
            mask_ = static_cast<channel_mask>(mask_ | bit(static_cast<int>(ch)));
    }
}

bool canopen_source::upload(uint16_t index, uint8_t subindex, int32_t *value, bool *answered)
{
    const canopen::frame f = canopen::sdo_upload(static_cast<int32_t>(request_id_), index, subindex);
    exchange_request req(f.id, f.data, f.len, canopen_reply_window_ms);
    req.wait = wait_policy::until_reply;
    const int32_t node = static_cast<int32_t>(request_id_ - canopen::sdo_request_base);
    req.decoder = canopen::reply_decoder_for(node, f.id, f.data, f.len, 0);
    const exchange_outcome out = run_exchange(bus_, req);
    if (answered)
        *answered = out.answered;
    if (!out.succeeded())
        return false;
    *value = canopen_reply_value(out.reply.data, bus_frame_bytes(out.reply));
    return true;
}

bool canopen_source::read(sample *s)
{
    bool any = false;
    bool first = true;
    for (size_t ch = 0; ch < channels_.size() && ch < max_channels; ++ch) {
        if (!(mask_ & bit(static_cast<int>(ch))))
            continue;
        const channel_def &c = channels_[ch];
        // Asked once: a node that refuses it shows no current, and is not asked again each sample.
        if (c.kind == role::current && !rated_asked_)
            rated_known_ = upload(canopen::object::motor_rated_current, 0, &rated_ma_, &rated_asked_);
        bool answered = false;
        int32_t raw = 0;
        const bool ok = upload(c.index, c.sub, &raw, &answered);
        if (first && !answered)
            return false;  // a silent node costs one reply window per sample, not one per channel
        first = false;
        int32_t key = 0;
        if (ok && stored_key(c, static_cast<uint32_t>(raw), rated_known_, rated_ma_, &key)) {
            s->set(static_cast<int>(ch), key);
            if (c.kind == role::state)
                s->statusword = static_cast<uint16_t>(raw);
            any = true;
        }
        any = any || (ok && c.kind == role::current);
    }
    return any;
}

}  // namespace scope
