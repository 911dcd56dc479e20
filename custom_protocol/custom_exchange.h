#pragma once
// One request/reply exchange of the drive's own protocol: empty the receive buffer, send the
// request, give the drive 6 ms, then read whatever has arrived. The value of the last frame read
// is left in reply_value / reply_length for the caller; when asked to, every frame is recorded in
// the frame monitor (six texts per frame, see tools/monitor_record.h).
#include "custom_protocol/custom_commands.h"

#include <QString>
#include <cstdint>
#include <functional>

class control_CAN;

// Receives the monitor texts one at a time, in column order.
using monitor_emitter = std::function<void(const QString &)>;

// Records go out through window->senddata. Returns true when the request went out and the
// batch receive found frames; false when the transmit was refused or nothing arrived.
bool custom_exchange(control_CAN *window, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log);
// The same exchange with any receiver of the monitor texts (may be empty).
bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log);
// A prepared request from the command set.
bool custom_exchange(control_CAN *window, uint32_t id, const custom_request &request);
bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const custom_request &request);

// Data bytes 0-3 as a big-endian number; bytes beyond len count as 0.
int32_t custom_reply_value(const uint8_t data[8], uint8_t len);
