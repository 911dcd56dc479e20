#pragma once
// One CANopen request/reply cycle on the exchange core: clear the receive buffer, send the
// frame, give the node 5 ms, then read whatever arrived and log all of it. The answer is the
// frame canopen_replies.h names for the request (an SDO abort is a refusal); its bytes 4-7 go to
// reply_value. Free of widgets so that tests can run it against a scripted adapter and check
// the monitor texts it emits.
#include "can/exchange.h"

#include <QString>
#include <cstdint>

// Remote flag of the next exchange; only the node-guarding request raises it, and puts it
// back to 0 right after.
extern int32_t remote_request;

// The adapter steps the exchange uses (the exchange core's seam).
using canopen_bus_ops = exchange_bus;
using monitor_text_sink = monitor_sink;

constexpr int canopen_reply_window_ms = 5;

// Bytes 4-7 little-endian; bytes at or beyond len count as 0 whatever the buffer holds.
int32_t canopen_reply_value(const uint8_t data[8], int len);

// The exchange with the node of sdo_request_id. A refusal's received row carries the abort text
// as its comment. reply_value takes the answer's bytes 4-7 only when the answer is not a refusal.
exchange_outcome canopen_transaction(const exchange_bus &bus, uint32_t id, const uint8_t *data, uint8_t length,
                                     uint8_t remote, const QString &description, int log, const monitor_sink &emit_text);

// True when the frame went out and its answer came (an abort is no answer). For a frame that
// awaits none (RPDO, NMT start and stop): true when frames arrived in the window.
bool run_canopen_exchange(const exchange_bus &bus, uint32_t id, const uint8_t *data, uint8_t length,
                          uint8_t remote, const QString &description, int log, const monitor_sink &emit_text);
