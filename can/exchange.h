#pragma once
// The one request/reply transaction of the program.
//
// All request/reply traffic goes through run_exchange: the custom protocol, CANopen (SDO, NMT,
// node guarding, SYNC, RPDO), the node probe, the frame sender, and any newer client (a sampler,
// an SDO client). It runs on the GUI thread, one transaction at a time: the receive queue is
// emptied before the request and read after it, so a transaction started in between would take
// the other's reply. Nothing here may be called from another thread or re-entered from a hook.
//
// One transaction:
//   1. clear the receive queue (the frame sender keeps it),
//   2. send the request; a refused send ends here with nothing logged and no wait,
//   3. wait: either the protocol's whole reply window (fixed_window: everything that arrived in
//      it is read and logged), or until the decoder has taken the awaited frame, with the
//      reply window as timeout (until_reply, for clients that want no more than the answer),
//   4. count the pending frames and receive them as one batch (at most frame_batch_size),
//   5. offer each received standard data frame, in order, to the decoder: not a reply, the
//      reply, or a refusal (an SDO abort). Extended and remote frames are never offered: no
//      reply of either protocol is one. The first frame taken is the reply; every frame,
//      offered or not, taken or not, goes to the received hook.
//
// Work of many transactions (a segmented SDO transfer, Read all, a configuration download, a
// search of the bus) never loops here or in a nested event loop: it runs as a job of steps
// (can/step_job.h), one transaction per turn of the event loop, with progress and Cancel, so the
// GUI thread is never held longer than one transaction. One job runs at a time. A Stop, Disable
// or quick stop clicked meanwhile is taken at the next step: the job ends (an SDO transfer with
// its abort to the server), then the stop is sent.
#include "can/monitor_record.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// A frame as received. len is the DLC as the adapter reported it (a record may claim more than
// 8); data beyond the DLC reads as 0.
// The one record of a received frame, from the adapter to the decoders.
struct bus_frame {
    uint32_t id = 0;
    uint8_t len = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool extended = false;  // 29-bit identifier
    bool remote = false;
    int64_t t_us = -1;      // when the adapter took it off the bus (bus tap time); -1 unknown
    uint8_t bus = 0;        // the bus it came on
};
inline int bus_frame_bytes(const bus_frame &f) { return f.len > 8 ? 8 : f.len; }
// The only kind of frame that can answer a request.
inline bool is_standard_data(const bus_frame &f) { return !f.extended && !f.remote; }

enum class reply_kind { other, reply, refusal };
struct reply_verdict {
    reply_kind kind = reply_kind::other;
    uint32_t code = 0;  // the refusal's code (an SDO abort code)
};
// Says what a received frame is to the request it was built for.
using reply_decoder = std::function<reply_verdict(const bus_frame &)>;

enum class wait_policy { fixed_window, until_reply };

// The adapter steps of a transaction: the one seam through which tests reach the paths a real
// adapter shows only under timing luck (frames arriving between the count and the read).
struct exchange_bus {
    std::function<void()> clear_buffer;
    std::function<bool(uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote)> send;
    std::function<void(int ms)> sleep_ms;
    std::function<int32_t()> pending;
    // The batch read: fills ids, payloads, lens and each entry's batch_flag bits.
    std::function<bool(uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens, uint8_t *flags)> receive;
    // Waits up to ms, returning as soon as a frame is pending; until_reply uses it so that an
    // answer in microseconds is not held for a whole millisecond step. Empty: sleep_ms.
    std::function<void(int ms)> wait_for_frame;
    // The batch read as records (up to capacity, in arrival order): used instead of receive
    // when given. Returns how many were filled; 0 when nothing came or the read failed.
    std::function<int(bus_frame *frames, int capacity)> take;
    // The bus these steps reach (can/bus.h), for what is learned per bus.
    int index = 0;
};

// The adapter of the process, with the device coordinates from the shared settings: bus 0.
const exchange_bus &adapter_bus_ops();
// The steps over bus index of can/bus.h (bus 0: adapter_bus_ops()).
const exchange_bus &bus_ops(int index);

struct exchange_request {
    uint32_t id = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t length = 0;  // more than 8 is sent as 8
    uint8_t remote = 0;
    int reply_window_ms = 0;
    bool clear_first = true;
    wait_policy wait = wait_policy::fixed_window;
    // Empty: no reply is awaited; the transaction only collects what arrived.
    reply_decoder decoder;

    exchange_request() = default;
    exchange_request(uint32_t frame_id, const uint8_t *bytes, uint8_t len, int window_ms);
};

struct exchange_outcome {
    bool sent = false;
    bool awaited = false;   // the request had a decoder
    bool received = false;  // the batch receive delivered frames
    bool answered = false;  // the decoder took a frame: the reply, or a refusal
    bool refused = false;
    bus_frame reply;        // the frame taken, when answered
    uint32_t abort_code = 0;
    int frames = 0;         // received frames offered to the decoder
    // The awaited reply came and is not a refusal.
    bool succeeded() const { return answered && !refused; }
    // What the callers' bool results report: the reply came, or, when none was awaited, frames
    // arrived in the window.
    bool completed() const { return awaited ? succeeded() : received; }
};

// Where the transaction reports what went out and what came back (the monitor, a table).
struct exchange_hooks {
    // The request, once it is out: after the reply window (fixed_window) or right after the
    // send (until_reply).
    std::function<void(const bus_frame &request)> sent;
    std::function<void(const bus_frame &frame, const reply_verdict &verdict)> received;
};

exchange_outcome run_exchange(const exchange_bus &bus, const exchange_request &request,
                              const exchange_hooks &hooks = exchange_hooks());

// Several requests as one transaction, for a sweep over many nodes: the queue is cleared once,
// the requests go out back to back, and their answers are collected in one reply window that
// ends as soon as every request that went out has its answer. A frame answers the first
// request still waiting whose decoder takes it. One outcome per request, in order; the requests'
// own windows, wait policies and clear flags are not used. The sent hook sees each request as
// it goes out, the received hook every frame.
std::vector<exchange_outcome> run_exchange_batch(const exchange_bus &bus, const std::vector<exchange_request> &requests,
                                               int reply_window_ms, const exchange_hooks &hooks = exchange_hooks());

// Sends nothing: reads what arrives, as an until_reply transaction does, until the decoder takes
// a frame or window_ms have passed. For waiting out what an earlier request may still bring.
exchange_outcome await_frame(const exchange_bus &bus, const reply_decoder &decoder, int window_ms,
                             const exchange_hooks &hooks = exchange_hooks());

// ---- the frame monitor ---------------------------------------------------------------------

// Receives the six texts of each logged frame, one at a time, in record order.
using monitor_sink = std::function<void(const QString &)>;

// Emits one record to sink. The rule for monitor_seq: it moves by one exactly when a record is
// emitted, so an exchange without a receiver (or with logging off) leaves it where it is.
void emit_monitor_record(const monitor_sink &sink, monitor_direction direction, const bus_frame &frame,
                         const QString &description);

// Text for the comment column of a received frame; empty for an ordinary one.
using monitor_comment = std::function<QString(const bus_frame &, const reply_verdict &)>;

// Hooks that log the request with description and every received frame, while
// monitor_logging_on(log) holds (tested for each record).
exchange_hooks monitor_hooks(const monitor_sink &sink, int log, const QString &description,
                             const monitor_comment &comment = monitor_comment());
