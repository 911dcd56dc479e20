#include "custom_protocol/custom_exchange.h"

#include "base/shared_values.h"
#include "custom_protocol/control_can.h"

namespace {

constexpr uint32_t nmt_id = 0x000;
constexpr uint32_t sync_id = 0x080;
constexpr uint32_t error_control_first = 0x701;
constexpr uint32_t error_control_last = 0x77F;
constexpr int value_bytes = 4;
constexpr int ack_bytes = 1;

bool has_reply_shape(const bus_frame &f, custom_reply_shape shape)
{
    if (custom_never_a_reply(f.id))
        return false;
    const int n = bus_frame_bytes(f);
    return n >= value_bytes || (shape == custom_reply_shape::value_or_ack && n == ack_bytes);
}

void take_reply(const exchange_outcome &out)
{
    reply_length = out.reply.len;
    reply_value = custom_reply_value(out.reply.data, static_cast<uint8_t>(bus_frame_bytes(out.reply)));
}

}  // namespace

bool custom_never_a_reply(uint32_t id)
{
    return id == nmt_id || id == sync_id || (id >= error_control_first && id <= error_control_last);
}

int32_t custom_reply_value(const uint8_t data[8], uint8_t len)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | (i < len ? data[i] : 0u);
    return static_cast<int32_t>(v);
}

namespace {

// Nobody logs the transaction, so reading the rest of the window gains nothing: the reply ends
// it. The result is the same either way, since only a frame on the learned identifier (or any,
// while none is learned) ends the wait early, and the fallback is taken after the window.
wait_policy unlogged_wait(int log)
{
    return monitor_logging_on(log) ? wait_policy::fixed_window : wait_policy::until_reply;
}

}  // namespace

exchange_outcome custom_transaction(const exchange_bus &bus, exchange_request request, custom_reply_shape shape,
                                    const exchange_hooks &hooks)
{
    const uint32_t learned = static_cast<uint32_t>(custom_reply_id);
    // The first frame of the right shape stands in for the reply until one on the learned
    // identifier arrives.
    bool have_fallback = false;
    bus_frame fallback;
    request.decoder = [&](const bus_frame &f) {
        reply_verdict v;
        if (!has_reply_shape(f, shape))
            return v;
        if (learned == 0 || f.id == learned) {
            v.kind = reply_kind::reply;
        } else if (!have_fallback) {
            have_fallback = true;
            fallback = f;
        }
        return v;
    };
    exchange_outcome out = run_exchange(bus, request, hooks);
    if (!out.answered && have_fallback) {
        out.answered = true;
        out.reply = fallback;
    }
    return out;
}

bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log)
{
    exchange_request request(id, data, length, custom_reply_window_ms);
    request.wait = unlogged_wait(log);
    const exchange_outcome out = custom_transaction(adapter_bus_ops(), request, custom_reply_shape::value_or_ack,
                                                    monitor_hooks(emit_text, log, description));
    if (out.answered)
        take_reply(out);
    return out.answered;
}

bool custom_exchange(control_CAN *window, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log)
{
    monitor_emitter emit_text;
    if (window)
        emit_text = [window](const QString &text) { emit window->senddata(text); };
    return custom_exchange(emit_text, id, data, length, description, log);
}

bool custom_exchange(control_CAN *window, uint32_t id, const custom_request &request)
{
    monitor_emitter emit_text;
    if (window)
        emit_text = [window](const QString &text) { emit window->senddata(text); };
    return custom_exchange(emit_text, id, request);
}

bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const custom_request &request)
{
    exchange_request frame(id, request.data, request.length, custom_reply_window_ms);
    frame.wait = unlogged_wait(request.log);
    const exchange_outcome out =
        custom_transaction(adapter_bus_ops(), frame,
                           request.read ? custom_reply_shape::value : custom_reply_shape::value_or_ack,
                           monitor_hooks(emit_text, request.log, request.description));
    if (out.answered)
        take_reply(out);
    return out.answered;
}
