#pragma once
// One CANopen request/reply cycle on the adapter: clear the receive buffer, send the frame,
// give the node 5 ms, then read whatever arrived. Replies are not matched to the request; the
// last frame read leaves its bytes 4-7 in reply_value. Free of widgets so that tests can run
// it against a scripted adapter and check the monitor texts it emits.
#include <QString>
#include <cstdint>
#include <functional>

// Remote flag of the next exchange; only the node-guarding request raises it, and puts it
// back to 0 right after.
extern int32_t remote_request;

// The adapter steps the exchange uses, replaceable so that tests can reach the paths a real
// adapter only shows under timing luck (frames arriving between the count and the read).
struct canopen_bus_ops {
    std::function<void()> clear_buffer;
    std::function<bool(uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote)> send;
    std::function<void(int ms)> sleep_ms;
    std::function<int32_t()> pending;
    std::function<bool(uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens)> receive;
};

// The adapter of the process, with the device coordinates from the shared settings.
const canopen_bus_ops &adapter_bus_ops();

// Receives the six texts of each logged frame, one at a time, in record order.
using monitor_text_sink = std::function<void(const QString &)>;

// Bytes 4-7 little-endian; bytes at or beyond len count as 0 whatever the buffer holds.
int32_t canopen_reply_value(const uint8_t data[8], int len);

// The exchange. Returns true when the frame went out and the batch receive delivered frames.
bool run_canopen_exchange(const canopen_bus_ops &bus, uint32_t id, const uint8_t *data, uint8_t length,
                          uint8_t remote, const QString &description, int log, const monitor_text_sink &emit_text);
