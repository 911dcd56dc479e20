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

const exchange_bus &sampler_bus()
{
    // The core's until-reply wait returns as soon as the answer is pending.
    return adapter_bus_ops();
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
        } else if (!any) {
            return false;  // a silent joint costs one reply window per sample, not three
        }
    }
    return any;
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
    bool answered = false;
    int32_t v = 0;
    if (upload(canopen::object::position_actual_value, 0, &v, &answered))
        s->set(position, v);
    else if (!answered)
        return false;  // a silent node costs one reply window per sample, not five
    bool any = s->has(position);
    if (upload(canopen::object::velocity_actual_value, 0, &v)) {
        s->set(velocity, v);
        any = true;
    }
    // Asked once: a node that refuses it shows no current, and is not asked again each sample.
    if (!rated_asked_)
        rated_known_ = upload(canopen::object::motor_rated_current, 0, &rated_ma_, &rated_asked_);
    if (upload(canopen::object::current_actual_value, 0, &v)) {
        any = true;
        if (rated_known_)
            s->set(current, canopen::current_milliamps(true, v, true, rated_ma_));
    }
    if (upload(canopen::object::statusword, 0, &v)) {
        s->set(state, state_number(static_cast<uint16_t>(v)));
        any = true;
    }
    return any;
}

}  // namespace scope
