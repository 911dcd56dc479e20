#pragma once
// The seam between the adapter calls and a concrete bus. A backend reaches one bus; received
// frames are pushed into a frame_sink from whatever thread the backend runs on.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

namespace vci {

// Buses the program can have open at once; bus 0 is the one the original windows use, and bus k
// is the adapter's device index k.
constexpr int max_buses = 8;

struct can_message {
    uint32_t id = 0;
    uint8_t len = 0;  // up to 8, or up to 64 for an FD frame
    // Room for a whole FD payload, so that the bus tap and the trace file keep all of it;
    // classic frames use the first 8 bytes.
    uint8_t data[64] = {};
    bool remote = false;
    bool extended = false;  // 29-bit identifier
    // A CAN FD frame: shown to the bus tap, never queued as a classic frame.
    bool fd = false;
};

class frame_sink {
public:
    virtual ~frame_sink() = default;
    virtual void deliver(const can_message &msg) = 0;
    // The bus went away under us (adapter unplugged, interface down, server gone).
    virtual void bus_lost(const QString &why) = 0;
    // An error frame the controller reported (msg.id holds the error class bits); not data,
    // only recorded.
    virtual void error_frame(const can_message &msg) { (void)msg; }
    // The bus the frames belong to, for what a backend reports to the bus tap by itself (the
    // controller state).
    virtual int bus_index() const { return 0; }
};

class bus_backend {
public:
    virtual ~bus_backend() = default;
    // The interface as traces name it ("can0", "sim0", ...): the channel, never a bus address.
    virtual QString interface_name() const = 0;
    // Reach the bus; true only when it can be used. Received frames go to sink from now on.
    virtual bool connect_bus(frame_sink *sink, QString *error) = 0;
    // Apply the bit rate where the bus lets us; false when the bus refuses it.
    virtual bool set_bitrate(int bits_per_second) { (void)bits_per_second; return true; }
    virtual bool start() { return true; }
    virtual void disconnect_bus() = 0;
    virtual bool transmit(const can_message &msg) = 0;
    // Restarts the CAN controller (after bus-off); false where the bus cannot.
    virtual bool reset_controller() { return false; }
};

using backend_factory = std::function<std::unique_ptr<bus_backend>(int channel)>;
using bus_backend_factory = std::function<std::unique_ptr<bus_backend>(int bus, int channel)>;

// Where the adapter gets its bus when it opens: the program installs the choice from the
// environment (app/bus_choice.h), tests a bus of their own. Empty: no bus, opening fails.
// The one-argument form serves bus 0 alone.
void set_backend_factory(backend_factory factory);
void set_bus_backend_factory(bus_backend_factory factory);

// Describes the bus VELMORA_CAN selects for bus 0, e.g. "sim" or "socketcan:can0".
QString selected_bus_description(int channel);
// Every bus VELMORA_CAN lists, comma-separated, in bus order (at least one: unset is
// socketcan:can<channel> for bus 0).
QStringList selected_bus_descriptions(int channel);
// True when bus 0 is the in-process simulator.
bool simulated_bus_selected();

// The receive queue never holds more than this many frames; a flood drops the oldest.
constexpr int receive_queue_capacity = 4096;

// True after the open bus reported itself lost, until the next successful open.
bool bus_lost(int bus = 0);
QString bus_lost_reason(int bus = 0);

// CAN FD frames the bus delivered and the adapter left out of its receive queue, since the
// start of the program.
uint64_t fd_frames_ignored();

// Waits up to ms until a frame is in the receive queue (GetReceiveNum > 0), woken by its
// arrival rather than by polling: true when one is.
bool wait_for_frame(int32_t dev_type, int32_t dev_index, int ms);

// Restarts the open bus's controller; false when no bus is open or it cannot.
bool reset_controller(int bus = 0);

// Whether bus is open, and its interface name as traces give it (empty while never opened).
bool bus_open(int bus);
QString bus_interface(int bus);

}  // namespace vci
