#pragma once
// The SDO client's wire on the exchange core: requests to 0x600 + node, each step one
// transaction that waits until its answer from 0x580 + node has arrived, at most window_ms.
// Only whole 8-byte frames are taken. Every frame sent and received is logged into the CANopen
// monitor when logging is on; an abort's row carries its text. The bus must outlive the link.
#include "can/exchange.h"
#include "canopen/sdo_client.h"

#include <vector>

namespace canopen {

// The object dictionary's reply window for one SDO step. CiA 301 leaves the value to the
// application; this is the usual default of CANopen masters.
constexpr int sdo_timeout_ms = 1000;

sdo_link exchange_sdo_link(const exchange_bus &bus, int node, int window_ms, const monitor_sink &emit_text);

// One object read from every node first..last as one transaction of the exchange core: the
// upload requests back to back, every answer collected in one window (window_ms after the last
// request). A node answers with the object (an expedited upload: its bytes; the start of a
// segmented one: no bytes) or with an abort; either tells that it is there. Nothing is sent to
// go on with a segmented upload: the sweep asks only who answers.
struct sweep_answer {
    int node = 0;
    bool answered = false;
    bool refused = false;
    uint32_t abort = 0;
    QByteArray data;  // an expedited answer's bytes
};
std::vector<sweep_answer> sdo_sweep(const exchange_bus &bus, int first, int last, uint16_t index, uint8_t subindex,
                                    int window_ms, const monitor_sink &emit_text);

}  // namespace canopen
