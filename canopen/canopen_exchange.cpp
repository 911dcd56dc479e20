#include "canopen/canopen_exchange.h"

#include "base/shared_values.h"
#include "canopen/canopen_frames.h"
#include "canopen/canopen_replies.h"

int32_t remote_request = 0;

int32_t canopen_reply_value(const uint8_t data[8], int len)
{
    uint32_t v = 0;
    for (int i = 4; i < 8; ++i) {
        const uint32_t byte = i < len ? data[i] : 0;
        v |= byte << (8 * (i - 4));
    }
    return static_cast<int32_t>(v);
}

exchange_outcome canopen_transaction(const exchange_bus &bus, uint32_t id, const uint8_t *data, uint8_t length,
                                     uint8_t remote, const QString &description, int log, const monitor_sink &emit_text)
{
    exchange_request request(id, data, length, canopen_reply_window_ms);
    request.remote = remote;
    request.decoder = canopen::reply_decoder_for(sdo_request_id - static_cast<int32_t>(canopen::sdo_request_base), id, request.data, request.length, remote);
    // Nobody logs this transaction, so reading the rest of the window gains nothing: the awaited
    // answer ends it. The poll's five reads then hold the GUI thread for their answers only.
    if (request.decoder && !monitor_logging_on(log))
        request.wait = wait_policy::until_reply;
    const monitor_comment comment = [](const bus_frame &, const reply_verdict &v) {
        return v.kind == reply_kind::refusal ? canopen::control_abort_text(v.code) : QString();
    };
    const exchange_outcome out = run_exchange(bus, request, monitor_hooks(emit_text, log, description, comment));
    if (out.succeeded())
        reply_value = canopen_reply_value(out.reply.data, bus_frame_bytes(out.reply));
    return out;
}

bool run_canopen_exchange(const exchange_bus &bus, uint32_t id, const uint8_t *data, uint8_t length,
                          uint8_t remote, const QString &description, int log, const monitor_sink &emit_text)
{
    return canopen_transaction(bus, id, data, length, remote, description, log, emit_text).completed();
}
