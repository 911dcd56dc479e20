#include "canopen/lss_exchange.h"

#include "canopen/canopen_replies.h"

namespace canopen {

lss_outcome lss_exchange(const exchange_bus &bus, const lss_frame &request, int window_ms, const exchange_hooks &hooks)
{
    const uint8_t answer_cs = lss_answer_to(request.data[0]);
    exchange_request r(lss_request_id, request.data, 8, answer_cs ? window_ms : 0);
    if (answer_cs) {
        r.wait = wait_policy::until_reply;
        r.decoder = lss_answer_decoder(answer_cs);
    }
    const exchange_outcome out = run_exchange(bus, r, hooks);
    lss_outcome o;
    o.sent = out.sent;
    o.answered = out.answered;
    if (out.answered)
        o.answer = out.reply;
    return o;
}

bool lss_select(const exchange_bus &bus, const lss_identity &id, const exchange_hooks &hooks)
{
    const std::array<lss_frame, 4> frames = lss_switch_selective(id);
    for (int i = 0; i < 3; ++i)
        if (!lss_exchange(bus, frames[i], 0, hooks).sent)
            return false;
    return lss_exchange(bus, frames[3], lss_answer_window_ms, hooks).answered;
}

bool lss_back_to_waiting(const exchange_bus &bus, int boot_node, const exchange_hooks &hooks)
{
    const lss_frame waiting = lss_switch_global(lss_mode::waiting);
    exchange_request r(lss_request_id, waiting.data, 8, 0);
    if (boot_node >= 1 && boot_node <= 127) {
        r.reply_window_ms = lss_answer_window_ms;
        r.wait = wait_policy::until_reply;
        r.decoder = boot_up_decoder(boot_node);
    }
    const exchange_outcome out = run_exchange(bus, r, hooks);
    return out.sent && (!r.decoder || out.answered);
}

}  // namespace canopen
