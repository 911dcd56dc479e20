#include "canopen/sdo_bus_link.h"

#include "base/hex.h"
#include "canopen/canopen_frames.h"

#include <cstring>

namespace canopen {
namespace {

QString describe(const sdo_frame &f)
{
    const uint16_t index = static_cast<uint16_t>(f.data[1] | f.data[2] << 8);
    const QString object = hex::digits(index, 4) + QLatin1Char(':') + hex::digits(f.data[3], 2);
    switch (f.data[0] & sdo_command_mask) {
    case sdo_upload_initiate: return QStringLiteral("SDO读 %1/SDO upload %1").arg(object);
    case sdo_download_initiate: return QStringLiteral("SDO写 %1/SDO download %1").arg(object);
    case sdo_abort: return QStringLiteral("SDO中止 %1/SDO abort %1").arg(object);
    default: return QStringLiteral("SDO分段/SDO segment");
    }
}

exchange_request sdo_request(int node, const sdo_frame &f, int window_ms)
{
    return exchange_request(sdo_request_base + static_cast<uint32_t>(node), f.data, 8, window_ms);
}

QString abort_comment(const bus_frame &, const reply_verdict &verdict)
{
    return verdict.kind == reply_kind::refusal ? abort_text(verdict.code) : QString();
}

}  // namespace

sdo_link exchange_sdo_link(const exchange_bus &bus, int node, int window_ms, const monitor_sink &emit_text)
{
    const uint32_t reply_id = sdo_response_base + static_cast<uint32_t>(node);
    sdo_link link;
    link.transact = [&bus, node, window_ms, reply_id, emit_text](const sdo_frame &request,
                                                                 const std::function<bool(const sdo_frame &)> &is_reply,
                                                                 sdo_frame *reply) {
        exchange_request r = sdo_request(node, request, window_ms);
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

}  // namespace canopen
