#pragma once
// Layer setting services on the exchange core: each request one transaction on 0x7E5, waiting
// for its answer on 0x7E4 when one is awaited. Frames and the fast scan are in lss_master.h.
#include "can/exchange.h"
#include "canopen/lss_master.h"

namespace canopen {

// One request as one transaction, waiting for its answer when one is awaited.
struct lss_outcome {
    bool sent = false;
    bool answered = false;
    bus_frame answer;
    uint8_t error() const { return answer.data[1]; }
    uint8_t specific_error() const { return answer.data[2]; }
    bool ok() const { return answered && error() == 0; }
};
lss_outcome lss_exchange(const exchange_bus &bus, const lss_frame &request, int window_ms, const exchange_hooks &hooks);

// Switch state selective: the four requests, the last one awaiting the slave's answer. True when
// the slave with this identity answered and is in configuration.
bool lss_select(const exchange_bus &bus, const lss_identity &id, const exchange_hooks &hooks);

// Switch state global waiting, which ends configuration for every slave; a slave that had no
// node-ID and was given one boots with it. When boot_node is 1..127 waits up to
// lss_answer_window_ms for its boot-up, and says whether it came; true otherwise.
bool lss_back_to_waiting(const exchange_bus &bus, int boot_node, const exchange_hooks &hooks);

}  // namespace canopen
