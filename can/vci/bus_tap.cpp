#include "can/vci/bus_tap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <mutex>

namespace vci {
namespace bus_tap {
namespace {

using steady = std::chrono::steady_clock;

}  // namespace

struct listener::state {
    int bus = 0;
    std::vector<uint32_t> ids;
    std::vector<tapped_frame> pending;
    uint64_t dropped = 0;
};

namespace {

// What the tap keeps of each bus; the frames themselves share one buffer, in time order.
struct bus_part {
    seen_frame last[0x800];
    uint8_t iface = 0;
    bool holding = false;
    tapped_frame outgoing;
    size_t outgoing_at = 0;  // where in pending the held frame belongs
    std::atomic<uint8_t> state{static_cast<uint8_t>(bus_state::unknown)};
};

int valid_bus(int bus) { return bus >= 0 && bus < max_buses ? bus : 0; }

struct tap_state {
    std::mutex mutex;
    std::vector<tapped_frame> pending;
    bus_part buses[max_buses];
    std::vector<listener::state *> listeners;
    uint64_t dropped = 0;
    std::vector<QString> interfaces{QStringLiteral("can0")};
    const steady::time_point epoch = steady::now();
    const int64_t epoch_wall =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
};

tap_state &tap()
{
    static tap_state t;
    return t;
}

// Started with the library so that times count from program start, not from the first frame.
const bool started = (tap(), true);

}  // namespace

namespace {
std::atomic<int64_t (*)()> replaced_clock{nullptr};
}  // namespace

int64_t now_us()
{
    if (int64_t (*clock)() = replaced_clock.load())
        return clock();
    return std::chrono::duration_cast<std::chrono::microseconds>(steady::now() - tap().epoch).count();
}

void set_clock(int64_t (*clock)()) { replaced_clock = clock; }

int64_t epoch_wall_us() { return tap().epoch_wall; }

namespace {

tapped_frame stamped(tap_state &t, int bus, const can_message &msg, bool transmitted, bool error)
{
    tapped_frame f;
    f.t_us = now_us();  // under the lock: frames leave in time order
    f.msg = msg;
    f.transmitted = transmitted;
    f.error = error;
    f.iface = t.buses[bus].iface;
    f.bus = static_cast<uint8_t>(bus);
    return f;
}

}  // namespace

void record(const can_message &msg, bool transmitted, bool error, int bus)
{
    bus = valid_bus(bus);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const tapped_frame f = stamped(t, bus, msg, transmitted, error);
    if (!transmitted && !error && !msg.extended && !msg.remote && !msg.fd) {
        t.buses[bus].last[msg.id & 0x7FF] = seen_frame{f.t_us, msg};
        for (listener::state *l : t.listeners) {
            if (l->bus != bus || std::find(l->ids.begin(), l->ids.end(), msg.id) == l->ids.end())
                continue;
            if (l->pending.size() >= capacity)
                ++l->dropped;
            else
                l->pending.push_back(f);
        }
    }
    if (t.pending.size() >= capacity) {
        ++t.dropped;
        return;
    }
    t.pending.push_back(f);
}

seen_frame last_received(uint32_t standard_id) { return last_received(0, standard_id); }

seen_frame last_received(int bus, uint32_t standard_id)
{
    if (bus < 0 || bus >= max_buses)
        return seen_frame();
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    return standard_id < 0x800 ? t.buses[bus].last[standard_id] : seen_frame();
}

std::vector<uint32_t> heard_since(int64_t t_us) { return heard_since(0, t_us); }

std::vector<uint32_t> heard_since(int bus, int64_t t_us)
{
    std::vector<uint32_t> ids;
    if (bus < 0 || bus >= max_buses)
        return ids;
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const seen_frame *last = t.buses[bus].last;
    for (uint32_t id = 0; id < 0x800; ++id)
        if (last[id].t_us >= 0 && last[id].t_us >= t_us)
            ids.push_back(id);
    return ids;
}

void forget_received(int bus)
{
    bus = valid_bus(bus);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::fill(std::begin(t.buses[bus].last), std::end(t.buses[bus].last), seen_frame());
}

void begin_transmit(const can_message &msg, int bus)
{
    bus = valid_bus(bus);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    bus_part &b = t.buses[bus];
    b.outgoing = stamped(t, bus, msg, true, false);
    b.outgoing_at = t.pending.size();
    b.holding = true;
}

void end_transmit(bool sent, int bus)
{
    bus = valid_bus(bus);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    bus_part &b = t.buses[bus];
    if (!b.holding)
        return;
    b.holding = false;
    if (!sent)
        return;
    if (t.pending.size() >= capacity) {
        ++t.dropped;
        return;
    }
    const size_t at = std::min(b.outgoing_at, t.pending.size());
    t.pending.insert(t.pending.begin() + static_cast<std::ptrdiff_t>(at), b.outgoing);
    // Another bus's held frame that belongs after this one moves along with what it precedes.
    for (bus_part &other : t.buses)
        if (&other != &b && other.holding && other.outgoing_at >= at)
            ++other.outgoing_at;
}

void set_interface(const QString &name, int bus)
{
    bus = valid_bus(bus);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto found = std::find(t.interfaces.begin(), t.interfaces.end(), name);
    if (found != t.interfaces.end()) {
        t.buses[bus].iface = static_cast<uint8_t>(found - t.interfaces.begin());
    } else if (t.interfaces.size() < 256) {
        t.buses[bus].iface = static_cast<uint8_t>(t.interfaces.size());
        t.interfaces.push_back(name);
    }
}

QString interface_name(uint8_t iface)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    return iface < t.interfaces.size() ? t.interfaces[iface] : QString();
}

listener::listener(std::vector<uint32_t> ids) : listener(0, std::move(ids)) {}

listener::listener(int bus, std::vector<uint32_t> ids) : state_(new state)
{
    state_->bus = bus;
    state_->ids = std::move(ids);
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.listeners.push_back(state_);
}

listener::~listener()
{
    tap_state &t = tap();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.listeners.erase(std::remove(t.listeners.begin(), t.listeners.end(), state_), t.listeners.end());
    }
    delete state_;
}

size_t listener::drain(std::vector<tapped_frame> &out)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const size_t n = state_->pending.size();
    out.insert(out.end(), state_->pending.begin(), state_->pending.end());
    state_->pending.clear();
    return n;
}

uint64_t listener::dropped() const
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    return state_->dropped;
}

size_t drain(std::vector<tapped_frame> &out, size_t max)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const size_t n = std::min(max, t.pending.size());
    // A held frame belongs before what is left.
    for (bus_part &b : t.buses)
        b.outgoing_at -= std::min(b.outgoing_at, n);
    out.insert(out.end(), t.pending.begin(), t.pending.begin() + static_cast<std::ptrdiff_t>(n));
    t.pending.erase(t.pending.begin(), t.pending.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

uint64_t dropped()
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.dropped;
}

void report_bus_state(bus_state state, int bus) { tap().buses[valid_bus(bus)].state.store(static_cast<uint8_t>(state)); }

bus_state current_bus_state(int bus) { return static_cast<bus_state>(tap().buses[valid_bus(bus)].state.load()); }

}  // namespace bus_tap
}  // namespace vci
