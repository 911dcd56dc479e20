#pragma once
// One request/reply exchange of the drive's own protocol on the exchange core: empty the receive
// buffer, send the request, give the drive 6 ms, then read whatever has arrived and, when asked
// to, record every frame in the frame monitor (six texts per frame, see can/monitor_record.h).
//
// The reply is the first standard data frame that can be one: never a frame on 0x000, 0x080 or
// 0x701-0x77F (NMT, SYNC, heartbeat and boot-up); a read's reply carries data bytes 0-3 (DLC 4
// or more), other requests are also acknowledged by one byte (the motion_mode write). Each
// node's reply identifier is learned from its answer to the presence probe (the connected
// node's is also custom_reply_id); once known, only a frame on it answers that node, and while
// it is unknown any frame of the right shape is taken. After a request that went unanswered,
// the node's next request first waits out a late answer (custom_late_guard_ms). The reply's
// value goes to reply_value / reply_length.
#include "can/exchange.h"
#include "custom_protocol/custom_commands.h"

#include <QString>
#include <cstdint>
#include <vector>

class control_CAN;

// Receives the monitor texts one at a time, in column order.
using monitor_emitter = monitor_sink;

constexpr int custom_reply_window_ms = 6;
// How long after an unanswered request's window its late answer is still waited for (ms);
// tests lengthen it so that no scheduling delay of a loaded machine outlasts it.
extern int custom_late_guard_ms;

enum class custom_reply_shape {
    value,        // a read: data bytes 0-3
    value_or_ack  // a write or command: bytes 0-3, or the one-byte acknowledgement
};

// Frames that are never an answer of the drive's protocol.
bool custom_never_a_reply(uint32_t id);

// The reply identifier known for the node addressed on request_id (0x640 + node), 0 while
// unknown.
uint32_t custom_learned_reply_id(uint32_t request_id, int bus = 0);
// Records the identifier the node addressed on request_id answered its probe from; 0 forgets it.
void custom_learn_reply_id(uint32_t request_id, uint32_t reply_id, int bus = 0);
// Forgets them on every bus.
void custom_forget_reply_ids();

// The transaction itself: the reply chosen as described above (outcome.answered tells whether
// one came). reply_value and reply_length are left alone.
// The identifiers other devices were heard on in the moment before now (their PDOs, say): a
// drive answers only when asked, so none of them is the reply of a node not yet learned.
std::vector<uint32_t> custom_other_traffic(int bus = 0);

// While none is learned, a frame on one of not_replies (other traffic heard before the request)
// is not taken for the answer either.
exchange_outcome custom_transaction(const exchange_bus &bus, exchange_request request, custom_reply_shape shape,
                                    const exchange_hooks &hooks, const std::vector<uint32_t> &not_replies = {});

// Records go out through window->senddata. Returns true when the request went out and its reply
// came; false when the transmit was refused or no reply arrived (reply_value/reply_length keep
// their values then).
bool custom_exchange(control_CAN *window, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log);
// The same exchange with any receiver of the monitor texts (may be empty).
bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const uint8_t *data, uint8_t length,
                     const QString &description, int log);
// A prepared request from the command set; a read awaits a value, not an acknowledgement.
bool custom_exchange(control_CAN *window, uint32_t id, const custom_request &request);
bool custom_exchange(const monitor_emitter &emit_text, uint32_t id, const custom_request &request);

// Data bytes 0-3 as a big-endian number; bytes beyond len count as 0.
int32_t custom_reply_value(const uint8_t data[8], uint8_t len);
