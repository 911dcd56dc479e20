#include "custom_protocol/custom_exchange.h"

#include "can/bus.h"

#include "base/shared_values.h"
#include "can/vci/bus_tap.h"
#include "custom_protocol/control_can.h"

#include <QElapsedTimer>
#include <algorithm>
#include <map>

int custom_late_guard_ms = 6;

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
// it. The result is the same either way, since only the reply ends the wait early.
wait_policy unlogged_wait(int log)
{
    return monitor_logging_on(log) ? wait_policy::fixed_window : wait_policy::until_reply;
}

// What is known of each node, by the identifier its requests go to: learned from its answer to
// the presence probe, and whether its last request went unanswered (since the end of that
// request's window). Each bus keeps its own.
using node_replies = can::learned_reply;

std::map<uint32_t, node_replies> &nodes(int bus = 0) { return can::bus::at(bus).replies(); }

// The drive's reply names no register, so an answer that comes after its window would pass for
// the answer to the node's next request. After an unanswered request that next request first
// waits until the late frame has come (and takes it off the queue) or the guard time has passed
// since the request's window closed; the clear before the send does the rest.
void wait_out_late_reply(const exchange_bus &bus, node_replies &node, uint32_t reply_id)
{
    if (!node.unanswered)
        return;
    node.unanswered = false;
    const qint64 left = custom_late_guard_ms - node.since.elapsed();
    if (left <= 0)
        return;
    await_frame(bus, [reply_id](const bus_frame &f) {
        reply_verdict v;
        if (f.id == reply_id)
            v.kind = reply_kind::reply;
        return v;
    }, static_cast<int>(left));
}

}  // namespace

uint32_t custom_learned_reply_id(uint32_t request_id, int bus)
{
    // The connected node is bus 0's.
    if (bus == 0 && custom_reply_id != 0 && request_id == static_cast<uint32_t>(custom_request_id))
        return static_cast<uint32_t>(custom_reply_id);
    const auto it = nodes(bus).find(request_id);
    return it == nodes(bus).end() ? 0 : it->second.reply_id;
}

void custom_learn_reply_id(uint32_t request_id, uint32_t reply_id, int bus)
{
    node_replies &node = nodes(bus)[request_id];
    node.reply_id = reply_id;
    node.unanswered = false;
}

void custom_forget_reply_ids()
{
    for (int i = 0; i < vci::max_buses; ++i)
        nodes(i).clear();
}

std::vector<uint32_t> custom_other_traffic(int bus)
{
    constexpr int64_t look_back_us = 200000;
    return vci::bus_tap::heard_since(bus, vci::bus_tap::now_us() - look_back_us);
}

exchange_outcome custom_transaction(const exchange_bus &bus, exchange_request request, custom_reply_shape shape,
                                    const exchange_hooks &hooks, const std::vector<uint32_t> &not_replies)
{
    const uint32_t learned = custom_learned_reply_id(request.id, bus.index);
    node_replies &node = nodes(bus.index)[request.id];
    if (learned != 0)
        wait_out_late_reply(bus, node, learned);
    // Once a node's reply identifier is known, nothing else answers it; until then any frame of
    // the right shape does.
    request.decoder = [learned, shape, &not_replies](const bus_frame &f) {
        reply_verdict v;
        const bool allowed = learned != 0 ? f.id == learned
                                          : std::find(not_replies.begin(), not_replies.end(), f.id) == not_replies.end();
        if (has_reply_shape(f, shape) && allowed)
            v.kind = reply_kind::reply;
        return v;
    };
    const exchange_outcome out = run_exchange(bus, request, hooks);
    node.unanswered = learned != 0 && out.sent && !out.answered;
    if (node.unanswered)
        node.since.start();
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
