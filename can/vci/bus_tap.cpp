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

struct tap_state {
    std::mutex mutex;
    std::vector<tapped_frame> pending;
    seen_frame last[0x800];
    uint64_t dropped = 0;
    std::atomic<uint8_t> state{static_cast<uint8_t>(bus_state::unknown)};
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

int64_t now_us() { return std::chrono::duration_cast<std::chrono::microseconds>(steady::now() - tap().epoch).count(); }

int64_t epoch_wall_us() { return tap().epoch_wall; }

void record(const can_message &msg, bool transmitted, bool error)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    tapped_frame f;
    f.t_us = now_us();  // under the lock: frames leave in time order
    f.msg = msg;
    f.transmitted = transmitted;
    f.error = error;
    if (!transmitted && !error && !msg.extended && !msg.remote && !msg.fd)
        t.last[msg.id & 0x7FF] = seen_frame{f.t_us, msg};
    if (t.pending.size() >= capacity) {
        ++t.dropped;
        return;
    }
    t.pending.push_back(f);
}

seen_frame last_received(uint32_t standard_id)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    return standard_id < 0x800 ? t.last[standard_id] : seen_frame();
}

void forget_received()
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::fill(std::begin(t.last), std::end(t.last), seen_frame());
}

size_t drain(std::vector<tapped_frame> &out, size_t max)
{
    tap_state &t = tap();
    std::lock_guard<std::mutex> lock(t.mutex);
    const size_t n = std::min(max, t.pending.size());
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

void report_bus_state(bus_state state) { tap().state.store(static_cast<uint8_t>(state)); }

bus_state current_bus_state() { return static_cast<bus_state>(tap().state.load()); }

}  // namespace bus_tap
}  // namespace vci
