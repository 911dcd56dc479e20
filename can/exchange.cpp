#include "can/exchange.h"

#include "base/hex.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/bus.h"
#include "can/heartbeat_producer.h"
#include "can/vci/bus_backend.h"
#include "can/vci/vci.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <cstring>

namespace {

// A DLC no frame can carry: marks batch entries the receive did not fill.
constexpr uint8_t unfilled_len = 0xFF;
// How often an until_reply transaction looks at the queue.
constexpr int poll_step_ms = 1;

bus_frame request_frame(const exchange_request &request)
{
    bus_frame f;
    f.id = request.id;
    f.len = request.length > 8 ? 8 : request.length;
    std::memcpy(f.data, request.data, f.len);
    f.remote = request.remote != 0;
    return f;
}

// Says what a received frame is, and notes it where it belongs.
using frame_judge = std::function<reply_verdict(const bus_frame &)>;

// When frames are pending, receives one batch and offers every frame it took, in order, to
// judge. False when the receive failed.
bool receive_and_offer(const exchange_bus &bus, const frame_judge &judge, const exchange_hooks &hooks, bool *received)
{
    if (bus.pending() <= 0)
        return true;
    if (bus.take) {
        bus_frame frames[frame_batch_size];
        const int n = bus.take(frames, frame_batch_size);
        if (n <= 0)
            return false;
        *received = true;
        for (int i = 0; i < n && i < frame_batch_size; ++i) {
            const reply_verdict verdict = judge(frames[i]);
            if (hooks.received)
                hooks.received(frames[i], verdict);
        }
        return true;
    }
    uint32_t ids[frame_batch_size] = {};
    // Zeroed payloads make bytes beyond a frame's DLC read as 0; the length sentinel tells which
    // entries the receive really filled, so nothing stale is read and nothing taken is skipped.
    uint8_t payloads[frame_batch_size][8] = {};
    uint8_t lens[frame_batch_size];
    uint8_t flags[frame_batch_size] = {};
    std::memset(lens, unfilled_len, sizeof lens);
    if (!bus.receive(ids, payloads, lens, flags))
        return false;
    *received = true;
    for (int32_t i = 0; i < frame_batch_size && lens[i] != unfilled_len; ++i) {
        bus_frame f;
        f.id = ids[i];
        f.len = lens[i];
        std::memcpy(f.data, payloads[i], static_cast<size_t>(bus_frame_bytes(f)));
        f.extended = (flags[i] & batch_flag::extended) != 0;
        f.remote = (flags[i] & batch_flag::remote) != 0;
        f.bus = static_cast<uint8_t>(bus.index);
        const reply_verdict verdict = judge(f);
        if (hooks.received)
            hooks.received(f, verdict);
    }
    return true;
}

// Offers a frame to one request's decoder: the first frame taken is the reply; what follows it
// is other traffic.
reply_verdict offer(const reply_decoder &decoder, const bus_frame &f, exchange_outcome &out)
{
    ++out.frames;
    const reply_verdict verdict = decoder && is_standard_data(f) ? decoder(f) : reply_verdict();
    if (verdict.kind == reply_kind::other || out.answered)
        return reply_verdict();
    out.answered = true;
    out.refused = verdict.kind == reply_kind::refusal;
    out.abort_code = out.refused ? verdict.code : 0;
    out.reply = f;
    return verdict;
}

// Reads what arrives until answered() holds or window_ms have passed.
void read_until(const exchange_bus &bus, int window_ms, const std::function<bool()> &answered,
                const frame_judge &judge, const exchange_hooks &hooks, bool *received)
{
    if (bus.wait_for_frame) {
        // Foreign frames end a wait early, so the window is kept by the clock, not by steps.
        QElapsedTimer waited;
        waited.start();
        for (qint64 left = window_ms; left > 0 && !answered(); left = window_ms - waited.elapsed()) {
            bus.wait_for_frame(static_cast<int>(left));
            if (!receive_and_offer(bus, judge, hooks, received))
                break;
        }
        return;
    }
    for (int waited = 0; waited < window_ms && !answered(); waited += poll_step_ms) {
        bus.sleep_ms(poll_step_ms);
        if (!receive_and_offer(bus, judge, hooks, received))
            break;
    }
}

// Reads what arrives until the decoder has taken a frame or the reply window has passed.
void read_until_reply(const exchange_bus &bus, const exchange_request &request, const exchange_hooks &hooks,
                      exchange_outcome &out)
{
    read_until(
        bus, request.reply_window_ms, [&out] { return out.answered; },
        [&](const bus_frame &f) { return offer(request.decoder, f, out); }, hooks, &out.received);
}

}  // namespace

exchange_request::exchange_request(uint32_t frame_id, const uint8_t *bytes, uint8_t len, int window_ms)
    : id(frame_id), length(len > 8 ? 8 : len), reply_window_ms(window_ms)
{
    if (bytes && length > 0)
        std::memcpy(data, bytes, length);
}

const exchange_bus &adapter_bus_ops() { return can::bus::at(0).ops(); }

const exchange_bus &bus_ops(int index) { return can::bus::at(index).ops(); }

exchange_outcome run_exchange(const exchange_bus &bus, const exchange_request &request, const exchange_hooks &hooks)
{
    exchange_outcome out;
    out.awaited = static_cast<bool>(request.decoder);
    const bus_frame sent = request_frame(request);
    if (request.clear_first)
        bus.clear_buffer();
    if (!bus.send(sent.id, sent.data, sent.len, request.remote))
        return out;
    out.sent = true;

    if (request.wait == wait_policy::fixed_window) {
        // A frame that awaits nothing (an abort, a block's segment) goes without the sleep's
        // own cost: a sleep of 0 ms still takes tens of microseconds.
        if (request.reply_window_ms > 0)
            bus.sleep_ms(request.reply_window_ms);
        if (hooks.sent)
            hooks.sent(sent);
        receive_and_offer(
            bus, [&](const bus_frame &f) { return offer(request.decoder, f, out); }, hooks, &out.received);
        return out;
    }

    if (hooks.sent)
        hooks.sent(sent);
    read_until_reply(bus, request, hooks, out);
    return out;
}

std::vector<exchange_outcome> run_exchange_batch(const exchange_bus &bus, const std::vector<exchange_request> &requests,
                                               int reply_window_ms, const exchange_hooks &hooks)
{
    std::vector<exchange_outcome> outs(requests.size());
    size_t awaited = 0;
    bus.clear_buffer();
    for (size_t i = 0; i < requests.size(); ++i) {
        const exchange_request &r = requests[i];
        const bus_frame sent = request_frame(r);
        outs[i].awaited = static_cast<bool>(r.decoder);
        outs[i].sent = bus.send(sent.id, sent.data, sent.len, r.remote);
        if (outs[i].sent && outs[i].awaited)
            ++awaited;
        if (outs[i].sent && hooks.sent)
            hooks.sent(sent);
    }
    size_t answered = 0;
    bool received = false;
    // A frame answers the first request still waiting whose decoder takes it.
    const auto judge = [&](const bus_frame &f) {
        for (size_t i = 0; i < requests.size(); ++i) {
            exchange_outcome &out = outs[i];
            if (!out.sent || out.answered || !requests[i].decoder)
                continue;
            const reply_verdict verdict = offer(requests[i].decoder, f, out);
            if (verdict.kind != reply_kind::other) {
                ++answered;
                return verdict;
            }
        }
        return reply_verdict();
    };
    read_until(bus, reply_window_ms, [&] { return awaited > 0 && answered == awaited; }, judge, hooks, &received);
    for (exchange_outcome &out : outs)
        out.received = received;
    return outs;
}

exchange_outcome await_frame(const exchange_bus &bus, const reply_decoder &decoder, int window_ms,
                             const exchange_hooks &hooks)
{
    exchange_request request;
    request.reply_window_ms = window_ms;
    request.decoder = decoder;
    exchange_outcome out;
    out.awaited = static_cast<bool>(decoder);
    read_until_reply(bus, request, hooks, out);
    return out;
}

void emit_monitor_record(const monitor_sink &sink, monitor_direction direction, const bus_frame &frame,
                         const QString &description)
{
    if (!sink)
        return;
    QStringList texts = monitor_record(monitor_seq, QDateTime::currentDateTime(), direction, frame.id, frame.data,
                                       frame.remote ? 0 : bus_frame_bytes(frame), description);
    // A received frame's comment (an abort's text) goes where a sent frame has its description.
    texts.last() = description;
    // Another device's extended or remote frame on a node's identifier must not read as that
    // node's answer: an extended identifier has its eight digits, as candump writes it, and a
    // remote frame, which carries no bytes, says so.
    if (frame.extended)
        texts[3] = hex::digits(frame.id, 8);
    if (frame.remote && direction == monitor_direction::received && description.isEmpty())
        texts.last() = QStringLiteral("远程帧/remote frame, DLC %1").arg(frame.len);
    for (const QString &text : texts)
        sink(text);
    ++monitor_seq;
}

exchange_hooks monitor_hooks(const monitor_sink &sink, int log, const QString &description,
                             const monitor_comment &comment)
{
    exchange_hooks hooks;
    if (!sink)
        return hooks;
    hooks.sent = [sink, log, description](const bus_frame &request) {
        if (monitor_logging_on(log))
            emit_monitor_record(sink, monitor_direction::sent, request, description);
    };
    hooks.received = [sink, log, comment](const bus_frame &frame, const reply_verdict &verdict) {
        if (monitor_logging_on(log))
            emit_monitor_record(sink, monitor_direction::received, frame, comment ? comment(frame, verdict) : QString());
    };
    return hooks;
}
