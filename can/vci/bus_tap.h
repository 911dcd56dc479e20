#pragma once
// A read-only tap on every frame the adapter transmits or takes off the bus, for the bus trace.
// Whatever thread meets a frame records it (the caller of Transmit once the bus took the frame,
// the I/O thread for received frames, on their way into the receive queue so that ClearBuffer
// cannot hide them); the trace
// drains the frames in batches from a GUI timer. The buffer is bounded: when nobody drains it,
// newer frames are counted as dropped instead of growing memory.
#include "can/vci/bus_backend.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vci {

// Controller states as CAN defines them; unknown when the bus does not report one.
enum class bus_state : uint8_t { unknown, error_active, error_warning, error_passive, bus_off };

struct tapped_frame {
    int64_t t_us = 0;  // microseconds since the tap's epoch (program start)
    can_message msg;
    bool transmitted = false;
    // An error frame: msg.id holds the error class bits, msg.data the controller's details.
    bool error = false;
    uint8_t iface = 0;  // the bus's interface at the time (interface_name())
    uint8_t bus = 0;    // which of the open buses (0 .. max_buses - 1)
};

namespace bus_tap {

constexpr size_t capacity = 1u << 17;

void record(const can_message &msg, bool transmitted, bool error = false, int bus = 0);
// A frame on its way out: stamped now, recorded by end_transmit only when the bus took it, and
// then ahead of what arrived meanwhile (a simulated bus answers inside its transmit). One
// transmission at a time.
void begin_transmit(const can_message &msg, int bus = 0);
void end_transmit(bool sent, int bus = 0);

// The interface bus's frames are recorded on from now on ("can0", "sim0"), and the name behind a
// frame's iface.
void set_interface(const QString &name, int bus = 0);
QString interface_name(uint8_t iface);

// Appends up to max waiting frames to out, oldest first; returns how many were moved.
size_t drain(std::vector<tapped_frame> &out, size_t max = capacity);
// Frames refused because the buffer was full, since the start of the program.
uint64_t dropped();

// The last data frame received on each standard identifier since the adapter was opened, kept
// apart from the drained buffer so that a window can ask who spoke (heartbeats, boot-ups)
// without taking the trace's frames. t_us is -1 while none was seen.
struct seen_frame {
    int64_t t_us = -1;
    can_message msg;
};
// Each bus keeps its own: node 5 of bus 1 is not node 5 of bus 0. The forms without a bus are
// bus 0's.
seen_frame last_received(uint32_t standard_id);
seen_frame last_received(int bus, uint32_t standard_id);
// The standard identifiers a data frame was received on at t_us or later.
std::vector<uint32_t> heard_since(int64_t t_us);
std::vector<uint32_t> heard_since(int bus, int64_t t_us);
// Forgets them all: what was heard on the bus of an earlier opening says nothing of this one.
void forget_received(int bus = 0);

// Microseconds since the tap's epoch, and the wall-clock time of that epoch (for log files).
int64_t now_us();
// Replaces the clock of now_us() and of the frames' times (nullptr: the tap's own), so that a test
// on the simulator's manual clock sees frames at the simulated times they were sent.
void set_clock(int64_t (*clock)());
int64_t epoch_wall_us();

// A reader of its own beside the trace's queue, which it leaves alone: received standard data
// frames on the identifiers it names, bounded like the tap (a full queue counts the frame as
// dropped). For samplers that take a drive's PDOs as they come.
class listener {
public:
    explicit listener(std::vector<uint32_t> ids);  // on bus 0
    listener(int bus, std::vector<uint32_t> ids);
    ~listener();
    listener(const listener &) = delete;
    listener &operator=(const listener &) = delete;

    // Appends the waiting frames to out, oldest first; returns how many were moved.
    size_t drain(std::vector<tapped_frame> &out);
    uint64_t dropped() const;

    struct state;

private:
    state *state_;
};

// The controller state last reported by the bus in use.
void report_bus_state(bus_state state, int bus = 0);
bus_state current_bus_state(int bus = 0);

}  // namespace bus_tap
}  // namespace vci
