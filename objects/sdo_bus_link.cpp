#include "objects/sdo_bus_link.h"

#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "tools/monitor_record.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace objects {
namespace {

// Receive waits at most this long per call, so a silent node costs sdo_timeout_ms and no more.
constexpr int receive_slice_ms = 10;

void log_frame(const monitor_sink &emit_text, monitor_direction direction, uint32_t id, const uint8_t *data, int len,
               const QString &description)
{
    if (!monitor_logging_on(1))
        return;
    for (const QString &t : monitor_record(monitor_seq, QDateTime::currentDateTime(), direction, id, data, len, description))
        if (emit_text)
            emit_text(t);
    ++monitor_seq;
}

QString describe(const sdo_frame &f)
{
    const uint16_t index = static_cast<uint16_t>(f.data[1] | f.data[2] << 8);
    const QString object = QStringLiteral("%1:%2").arg(index, 4, 16, QLatin1Char('0')).arg(f.data[3], 2, 16, QLatin1Char('0')).toUpper();
    switch (f.data[0] & 0xE0) {
    case 0x40: return QStringLiteral("SDO读 %1/SDO upload %1").arg(object);
    case 0x20: return QStringLiteral("SDO写 %1/SDO download %1").arg(object);
    case 0x80: return QStringLiteral("SDO中止 %1/SDO abort %1").arg(object);
    default: return QStringLiteral("SDO分段/SDO segment");
    }
}

bool send(int node, const sdo_frame &f, const monitor_sink &emit_text)
{
    const uint32_t id = 0x600u + static_cast<uint32_t>(node);
    if (!send_frame(id, f.data, 8, 0))
        return false;
    log_frame(emit_text, monitor_direction::sent, id, f.data, 8, describe(f));
    return true;
}

// Reads what arrives until a frame from the node passes is_reply or the time is up.
bool await_reply(int node, const std::function<bool(const sdo_frame &)> &is_reply, sdo_frame *reply,
                 const monitor_sink &emit_text)
{
    const uint32_t reply_id = 0x580u + static_cast<uint32_t>(node);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < sdo_timeout_ms) {
        vci_frame batch[frame_batch_size];
        const int32_t wait = static_cast<int32_t>(std::min<qint64>(receive_slice_ms, sdo_timeout_ms - clock.elapsed()));
        const int32_t n = Receive(device_type, device_index, can_index, batch, frame_batch_size, std::max(wait, 1));
        if (n < 0)
            return false;
        bool found = false;
        for (int32_t i = 0; i < n; ++i) {
            const int len = batch[i].data_len > 8 ? 8 : batch[i].data_len;
            log_frame(emit_text, monitor_direction::received, batch[i].id, batch[i].data, len, QString());
            if (found || batch[i].id != reply_id || batch[i].remote_flag || len != 8)
                continue;
            sdo_frame f;
            std::copy(batch[i].data, batch[i].data + 8, f.data);
            if (is_reply(f)) {
                *reply = f;
                found = true;  // the rest of the batch is still logged
            }
        }
        if (found)
            return true;
    }
    return false;
}

}  // namespace

sdo_link adapter_sdo_link(int node, const monitor_sink &emit_text)
{
    sdo_link link;
    link.transact = [node, emit_text](const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply,
                                      sdo_frame *reply) {
        ClearBuffer(device_type, device_index, can_index);
        return send(node, request, emit_text) && await_reply(node, is_reply, reply, emit_text);
    };
    link.send = [node, emit_text](const sdo_frame &f) { send(node, f, emit_text); };
    return link;
}

}  // namespace objects
