#include "custom_protocol/custom_exchange.h"

#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "custom_protocol/control_can.h"
#include "tools/monitor_record.h"

#include <QDateTime>
#include <QThread>

namespace {

// The drive's reply window.
constexpr unsigned long reply_wait_ms = 6;

// A DLC no frame can carry: marks batch entries the receive did not fill.
constexpr uint8_t unfilled_len = 0xFF;

void emit_record(const monitor_emitter &emit_text, monitor_direction direction, uint32_t id, const uint8_t *data,
                 int len, const QString &description)
{
    // Without a receiver nothing is logged, so the sequence number must not move either.
    if (!emit_text)
        return;
    const QStringList texts =
        monitor_record(monitor_seq, QDateTime::currentDateTime(), direction, id, data, len, description);
    for (const QString &text : texts)
        emit_text(text);
    ++monitor_seq;
}

}  // namespace

int32_t custom_reply_value(const uint8_t data[8], uint8_t len)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | (i < len ? data[i] : 0u);
    return static_cast<int32_t>(v);
}

bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log)
{
    ClearBuffer(device_type, device_index, can_index);
    if (length > 8)
        length = 8;
    if (!send_frame(id, data, length, 0))
        return false;
    QThread::msleep(reply_wait_ms);

    if (monitor_logging_on(log))
        emit_record(emit_text, monitor_direction::sent, id, data, length, description);

    int32_t pending = GetReceiveNum(device_type, device_index, can_index);
    // Zeroed payloads make bytes beyond a frame's DLC read as 0; the length sentinel tells which
    // entries the receive really filled, so a count that outruns the batch never reads stale data.
    uint32_t ids[frame_batch_size] = {};
    uint8_t payloads[frame_batch_size][8] = {};
    uint8_t lens[frame_batch_size];
    for (uint8_t &len : lens)
        len = unfilled_len;
    if (!receive_batch(ids, payloads, lens))
        return false;
    if (pending > frame_batch_size)
        pending = frame_batch_size;
    for (int32_t i = 0; i < pending; ++i) {
        if (lens[i] == unfilled_len)
            break;
        const uint8_t len = lens[i] > 8 ? 8 : lens[i];
        reply_length = lens[i];
        reply_value = custom_reply_value(payloads[i], len);
        if (monitor_logging_on(log))
            emit_record(emit_text, monitor_direction::received, ids[i], payloads[i], len, QString());
    }
    return true;
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
    return custom_exchange(window, id, request.data, request.length, request.description, request.log);
}

bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const custom_request &request)
{
    return custom_exchange(emit_text, id, request.data, request.length, request.description, request.log);
}
