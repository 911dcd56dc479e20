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
    // The client's own abort says why, as the server's does.
    case sdo_abort: return QStringLiteral("SDO中止 %1/SDO abort %1: %2").arg(object, abort_text(sdo_abort_code(f)));
    default: return QStringLiteral("SDO分段/SDO segment");
    }
}

exchange_request sdo_request(int node, const sdo_frame &f, int window_ms)
{
    return exchange_request(sdo_request_base + static_cast<uint32_t>(node), f.data, 8, window_ms);
}

// Takes the whole 8-byte frames from the node's server that is_reply accepts.
reply_decoder server_decoder(int node, const std::function<bool(const sdo_frame &)> &is_reply)
{
    const uint32_t reply_id = sdo_response_base + static_cast<uint32_t>(node);
    return [reply_id, is_reply](const bus_frame &f) {
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
}

QString abort_comment(const bus_frame &, const reply_verdict &verdict)
{
    return verdict.kind == reply_kind::refusal ? abort_text(verdict.code) : QString();
}

}  // namespace

sdo_link exchange_sdo_link(const exchange_bus &bus, int node, int window_ms, const monitor_sink &emit_text)
{
    sdo_link link;
    link.transact = [&bus, node, window_ms, emit_text](const sdo_frame &request,
                                                       const std::function<bool(const sdo_frame &)> &is_reply,
                                                       sdo_frame *reply) {
        exchange_request r = sdo_request(node, request, window_ms);
        r.wait = wait_policy::until_reply;
        r.decoder = server_decoder(node, is_reply);
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

std::vector<sweep_answer> sdo_sweep(const exchange_bus &bus, int first, int last, uint16_t index, uint8_t subindex,
                                    int window_ms, const monitor_sink &emit_text)
{
    const sdo_frame request = sdo_upload_request(index, subindex);
    const sdo_transfer upload = sdo_transfer::upload(index, subindex);
    const auto is_answer = [upload](const sdo_frame &f) { return upload.accepts(f); };
    std::vector<exchange_request> requests;
    for (int node = first; node <= last; ++node) {
        requests.push_back(sdo_request(node, request, window_ms));
        requests.back().decoder = server_decoder(node, is_answer);
    }
    const std::vector<exchange_outcome> outs =
        run_exchange_batch(bus, requests, window_ms, monitor_hooks(emit_text, 1, describe(request), abort_comment));
    std::vector<sweep_answer> answers;
    for (size_t i = 0; i < outs.size(); ++i) {
        sweep_answer a;
        a.node = first + static_cast<int>(i);
        a.answered = outs[i].answered;
        a.refused = outs[i].refused;
        a.abort = outs[i].abort_code;
        if (a.answered && !a.refused) {
            sdo_transfer upload = sdo_transfer::upload(index, subindex);
            sdo_frame answer;
            std::memcpy(answer.data, outs[i].reply.data, 8);
            upload.take(answer);
            if (upload.done() && upload.outcome().ok)
                a.data = upload.outcome().data;
        }
        answers.push_back(a);
    }
    return answers;
}

}  // namespace canopen
