// The simulated joint watching the other nodes' heartbeats as a standard drive watches its
// master: the heartbeat consumer (0x1016) and what a lost producer sets off, the abort
// connection option (0x6007) and the communication error behaviour (0x1029:1).
//
//   0x1016 sub n   bits 24-31 0, bits 16-23 the producer's node-ID, bits 0-15 the time in ms;
//                  node 0 or time 0: the entry watches nothing
//   heartbeat      0x700 + producer, 1 byte: its NMT state (0x00 is its boot-up, no heartbeat)
//   lost           EMCY 0x8130 with the communication bit in 0x1001, then 0x6007, then 0x1029:1
#include "sim/canopen_node.h"

#include "sim/sim_clock.h"

#include <algorithm>
#include <limits>

namespace sim {
namespace {

constexpr uint32_t heartbeat_base = 0x700;
constexpr uint32_t entry_reserved = 0xFF800000u;  // bits 24-31 and node-IDs above 127

uint8_t producer_of(uint32_t entry) { return static_cast<uint8_t>(entry >> 16); }
int64_t time_us_of(uint32_t entry) { return int64_t(entry & 0xFFFF) * 1000; }
bool watches(uint32_t entry) { return producer_of(entry) != 0 && time_us_of(entry) != 0; }

// 0x6007, as CiA 402 numbers its reactions.
enum abort_option : int64_t { abort_none = 0, abort_fault = 1, abort_disable_voltage = 2, abort_quick_stop = 3 };
// 0x1029:1, as CiA 301 numbers them.
enum comm_error_behaviour : int64_t { to_pre_operational = 0, no_change = 1, to_stopped = 2 };

}  // namespace

uint32_t canopen_node::consumer_entry(int n) const { return static_cast<uint32_t>(param(0x1016, uint8_t(n + 1))); }

uint32_t canopen_node::check_consumer_entry(uint8_t sub, uint32_t value) const
{
    if (value & entry_reserved)
        return sdo_abort::incompatible;
    if (!watches(value))
        return 0;
    // One time per producer: two entries for the same node would leave the reaction undefined.
    for (int n = 0; n < consumer_entries; ++n)
        if (n + 1 != sub && watches(consumer_entry(n)) && producer_of(consumer_entry(n)) == producer_of(value))
            return sdo_abort::incompatible;
    return 0;
}

bool canopen_node::producer_lost() const
{
    return std::any_of(std::begin(watch_), std::end(watch_), [](const watched_producer &w) { return w.lost; });
}

void canopen_node::restart_watch(int n)
{
    const bool was_lost = producer_lost();
    watch_[n] = watched_producer{};
    comm_error_gone(was_lost);
}

void canopen_node::comm_error_gone(bool was_lost)
{
    // The error clears with its cause; a fault it raised stays until the fault reset.
    if (was_lost && !producer_lost() && error_register_now() == 0)
        queue_emcy(0x0000);
}

void canopen_node::consume_heartbeat(const vci::can_message &frame)
{
    const uint8_t producer = static_cast<uint8_t>(frame.id - heartbeat_base);
    const bool boot_up = frame.data[0] == 0x00;
    const bool was_lost = producer_lost();
    const int64_t now = clock::now_us();
    for (int n = 0; n < consumer_entries; ++n) {
        const uint32_t entry = consumer_entry(n);
        if (!watches(entry) || producer_of(entry) != producer)
            continue;
        // A producer that boots starts over: watched again from its first heartbeat.
        watch_[n].due_us = boot_up ? 0 : now + time_us_of(entry);
        if (!boot_up)
            watch_[n].lost = false;
    }
    comm_error_gone(was_lost);
}

void canopen_node::watch_producers(int64_t now_us, std::vector<vci::can_message> &out)
{
    bool lost_now = false;
    for (watched_producer &w : watch_) {
        if (w.due_us == 0 || now_us < w.due_us)
            continue;
        w.due_us = 0;  // once, until the producer is heard again
        w.lost = true;
        lost_now = true;
    }
    if (!lost_now)
        return;
    abort_connection();
    // The emergency leaves before a change of state could silence it.
    flush_emcy(out);
    switch (param(0x1029, 1)) {
    case to_pre_operational:
        if (nmt_ == nmt_state::operational)
            nmt_ = nmt_state::pre_operational;
        return;
    case to_stopped: nmt_ = nmt_state::stopped; return;
    default: return;
    }
}

void canopen_node::abort_connection()
{
    using ps = power_state;
    const int64_t option = param(0x6007);
    if (option == abort_fault && !in_fault()) {
        raise_fault(error_heartbeat);
        return;
    }
    queue_emcy(error_heartbeat);
    if (option == abort_disable_voltage && power_ != ps::switch_on_disabled && !in_fault()) {
        enter(ps::switch_on_disabled);
    } else if (option == abort_quick_stop) {
        // As the quick stop command: ramps down from operation enabled, switches off otherwise.
        if (power_ == ps::operation_enabled) {
            quick_stop();
        } else if (power_ == ps::ready_to_switch_on || power_ == ps::switched_on) {
            enter(ps::switch_on_disabled);
        }
    }
}

int64_t canopen_node::next_watch_due_us() const
{
    int64_t due = std::numeric_limits<int64_t>::max();
    for (const watched_producer &w : watch_)
        if (w.due_us != 0)
            due = std::min(due, w.due_us);
    return due;
}

bool canopen_node::is_heartbeat_of_other(const vci::can_message &frame) const
{
    return !frame.remote && frame.len >= 1 && frame.id > heartbeat_base && frame.id <= heartbeat_base + 127
           && frame.id != heartbeat_base + static_cast<uint32_t>(node_);
}

}  // namespace sim
