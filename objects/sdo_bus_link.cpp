#include "objects/sdo_bus_link.h"

#include "canopen/canopen_frames.h"
#include "canopen/sdo_abort.h"

#include <cstring>

namespace objects {
namespace {

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

exchange_request sdo_request(int node, const sdo_frame &f, int window_ms)
{
    return exchange_request(canopen::sdo_request_base + static_cast<uint32_t>(node), f.data, 8, window_ms);
}

QString abort_comment(const bus_frame &, const reply_verdict &verdict)
{
    return verdict.kind == reply_kind::refusal ? canopen::abort_text(verdict.code) : QString();
}

}  // namespace

sdo_link exchange_sdo_link(const exchange_bus &bus, int node, const monitor_sink &emit_text)
{
    const uint32_t reply_id = canopen::sdo_response_base + static_cast<uint32_t>(node);
    sdo_link link;
    link.transact = [&bus, node, reply_id, emit_text](const sdo_frame &request,
                                                        const std::function<bool(const sdo_frame &)> &is_reply,
                                                        sdo_frame *reply) {
        exchange_request r = sdo_request(node, request, sdo_timeout_ms);
        r.wait = wait_policy::until_reply;
        r.decoder = [reply_id, &is_reply](const bus_frame &f) {
            reply_verdict v;
            if (f.id != reply_id || f.len != 8)
                return v;
            sdo_frame candidate;
            std::memcpy(candidate.data, f.data, 8);
            if (!is_reply(candidate))
                return v;
            v.kind = sdo_is_abort(candidate) ? reply_kind::refusal : reply_kind::reply;
            v.code = sdo_is_abort(candidate) ? sdo_abort_code(candidate) : 0;
            return v;
        };
        const exchange_outcome out = run_exchange(bus, r, monitor_hooks(emit_text, 1, describe(request), abort_comment));
        if (!out.answered)
            return false;
        std::memcpy(reply->data, out.reply.data, 8);
        return true;
    };
    // The client's own abort awaits nothing.
    link.send = [&bus, node, emit_text](const sdo_frame &f) {
        run_exchange(bus, sdo_request(node, f, 0), monitor_hooks(emit_text, 1, describe(f)));
    };
    return link;
}

}  // namespace objects
