// The recorder of the simulated joint: a trace buffer inside the drive, as drive makers' tuning
// tools read. It samples up to eight mappable objects every cycle of the joint (250 us, or every
// n-th), keeps the pre-trigger samples in a ring while armed, and records from the trigger until
// the length is full; the master arms it and reads it back through manufacturer objects:
//
//   0x2130      control (1 arms, 0 stops); reads 0 idle, 1 armed, 2 triggered, 3 done
//   0x2131:0-8  the channels: their number, then each as a PDO maps it (index << 16 | sub << 8 | bits)
//   0x2132:1-4  trigger channel (0: at once), level (the channel's raw value), edge (0 rising,
//               1 falling), pre-trigger samples
//   0x2133      length in samples (1-16384)     0x2134  a sample every n cycles
//   0x2135      the trigger's sample in the recording
//   0x2136      the recording (DOMAIN, empty until done): the samples oldest first, each the
//               channels' values in order, little-endian in their sizes
//   0x2137      the cycle in us
//
// The configuration is refused while the recorder runs (0x08000022), a channel a PDO could not
// carry as a PDO mapping refuses it, and arming with no channels, an empty channel among those in
// use, a trigger channel beyond them or a pre-trigger not shorter than the length is refused with
// 0x06040043.
#include "sim/canopen_node.h"

#include "sim/sim_clock.h"

#include <limits>

namespace sim {

uint32_t canopen_node::check_recorder(const od_def &def, int64_t value) const
{
    if (def.index != 0x2130) {
        if (recorder_busy())
            return sdo_abort::device_state;
        // A channel is what a PDO could carry.
        return def.index == 0x2131 && def.sub != 0 ? check_map_entry(static_cast<uint32_t>(value), true) : 0;
    }
    if (value == 0)
        return 0;
    const int64_t count = param(0x2131, 0);
    if (count < 1)
        return sdo_abort::incompatible;
    for (int k = 1; k <= count; ++k) {
        const uint32_t entry = static_cast<uint32_t>(param(0x2131, static_cast<uint8_t>(k)));
        if (entry == 0 || check_map_entry(entry, true) != 0)
            return sdo_abort::incompatible;
    }
    if (param(0x2132, 1) > count || param(0x2132, 4) >= param(0x2133))
        return sdo_abort::incompatible;
    return 0;
}

void canopen_node::arm_recorder(bool arm)
{
    recorder_run &r = recorder_;
    r = recorder_run{};
    if (!arm)
        return;
    const int count = static_cast<int>(param(0x2131, 0));
    for (int k = 1; k <= count; ++k) {
        const uint32_t entry = static_cast<uint32_t>(param(0x2131, static_cast<uint8_t>(k)));
        const od_def *def = find_def(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8), nullptr, make_);
        r.channels.push_back(def);
        r.sample_bytes += static_cast<size_t>(type_size(def->type));
    }
    r.length = static_cast<size_t>(param(0x2133));
    r.trigger_channel = static_cast<int>(param(0x2132, 1));
    r.pretrigger = r.trigger_channel == 0 ? 0 : static_cast<size_t>(param(0x2132, 4));
    r.level = param(0x2132, 2);
    r.rising = param(0x2132, 3) == 0;
    r.period_us = int64_t(recorder_cycle_us) * param(0x2134);
    r.ring.assign(r.pretrigger * r.sample_bytes, '\0');
    r.data.reserve(r.length * r.sample_bytes);
    // On the joint's cycle grid, from the next cycle on.
    const int64_t now = clock::now_us();
    r.due_us = (now / recorder_cycle_us + 1) * recorder_cycle_us;
    r.state = recorder_state::armed;
}

std::string canopen_node::recorder_sample() const
{
    std::string s;
    for (const od_def *def : recorder_.channels)
        s += value_bytes(*def);
    return s;
}

int64_t canopen_node::recorder_due_us(int64_t now_us)
{
    recorder_run &r = recorder_;
    if (!recorder_busy())
        return std::numeric_limits<int64_t>::max();
    // Waiting for its trigger a minute without a look (a paused process): the cycles before are
    // not replayed one by one.
    const int64_t keep_us = static_cast<int64_t>(r.pretrigger + 2) * r.period_us + 60000000;
    if (r.state == recorder_state::armed && r.trigger_channel != 0 && now_us - r.due_us > keep_us)
        r.due_us += (now_us - r.due_us - keep_us) / r.period_us * r.period_us;
    return r.due_us;
}

void canopen_node::record_cycle(int64_t t_us)
{
    recorder_run &r = recorder_;
    if (!recorder_busy())
        return;
    r.due_us = t_us + r.period_us;
    const std::string s = recorder_sample();
    if (r.state == recorder_state::armed) {
        bool fired = r.trigger_channel == 0;
        if (!fired) {
            const od_def &def = *r.channels[static_cast<size_t>(r.trigger_channel - 1)];
            const int64_t v = number_of(value_bytes(def), def.type);
            // Only once the pre-trigger is full, so the trigger always sits at its place.
            fired = r.have_previous && r.ring_count == r.pretrigger
                    && (r.rising ? r.previous < r.level && v >= r.level : r.previous > r.level && v <= r.level);
            r.have_previous = true;
            r.previous = v;
        }
        if (!fired) {
            if (r.pretrigger == 0)
                return;
            r.ring.replace(r.ring_head * r.sample_bytes, r.sample_bytes, s);
            r.ring_head = (r.ring_head + 1) % r.pretrigger;
            r.ring_count = std::min(r.ring_count + 1, r.pretrigger);
            return;
        }
        // Oldest first: once full, the oldest sits where the next would go.
        const size_t oldest = r.ring_count < r.pretrigger ? 0 : r.ring_head;
        for (size_t k = 0; k < r.ring_count; ++k)
            r.data.append(r.ring, ((oldest + k) % r.pretrigger) * r.sample_bytes, r.sample_bytes);
        r.ring.clear();
        r.trigger_at = r.ring_count;
        r.state = recorder_state::triggered;
    }
    r.data += s;
    if (r.data.size() >= r.length * r.sample_bytes)
        r.state = recorder_state::done;
}

}  // namespace sim
