#include "canopen/canopen_exchange.h"

#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "tools/monitor_record.h"

#include <QDateTime>
#include <QThread>

int32_t remote_request = 0;

namespace {

constexpr int reply_window_ms = 5;

void emit_record(const monitor_text_sink &emit_text, monitor_direction direction, uint32_t id, const uint8_t *data,
                 int len, const QString &description)
{
    const QStringList texts =
        monitor_record(monitor_seq, QDateTime::currentDateTime(), direction, id, data, len, description);
    if (emit_text) {
        for (const QString &t : texts)
            emit_text(t);
    }
    ++monitor_seq;
}

}  // namespace

const canopen_bus_ops &adapter_bus_ops()
{
    static const canopen_bus_ops ops{
        [] { ClearBuffer(device_type, device_index, can_index); },
        [](uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote) { return send_frame(id, data, len, remote); },
        [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); },
        [] { return GetReceiveNum(device_type, device_index, can_index); },
        [](uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens) { return receive_batch(ids, payloads, lens); },
    };
    return ops;
}

int32_t canopen_reply_value(const uint8_t data[8], int len)
{
    uint32_t v = 0;
    for (int i = 4; i < 8; ++i) {
        const uint32_t byte = i < len ? data[i] : 0;
        v |= byte << (8 * (i - 4));
    }
    return static_cast<int32_t>(v);
}

bool run_canopen_exchange(const canopen_bus_ops &bus, uint32_t id, const uint8_t *data, uint8_t length,
                          uint8_t remote, const QString &description, int log, const monitor_text_sink &emit_text)
{
    if (length > 8)
        length = 8;
    bus.clear_buffer();
    if (!bus.send(id, data, length, remote))
        return false;
    bus.sleep_ms(reply_window_ms);

    if (monitor_logging_on(log))
        emit_record(emit_text, monitor_direction::sent, id, data, length, description);

    const int32_t pending = bus.pending();
    uint32_t ids[frame_batch_size] = {};
    uint8_t payloads[frame_batch_size][8] = {};
    uint8_t lens[frame_batch_size] = {};
    if (!bus.receive(ids, payloads, lens))
        return false;

    const int32_t count = pending < 0 ? 0 : (pending > frame_batch_size ? frame_batch_size : pending);
    for (int32_t i = 0; i < count; ++i) {
        // A receive record may claim more than 8 bytes; never read past the payload.
        const int len = lens[i] > 8 ? 8 : lens[i];
        reply_value = canopen_reply_value(payloads[i], len);
        if (monitor_logging_on(log))
            emit_record(emit_text, monitor_direction::received, ids[i], payloads[i], len, QString());
    }
    return true;
}
