#pragma once
// Turns a fuzzer's bytes into a run of bus frames for the simulated joints, each followed by a
// step of the joints' clock, and checks every answer is a frame the bus could carry.
#include "can/vci/bus_backend.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

namespace fuzz {

class frame_reader {
public:
    frame_reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// Up to 256 frames per input, so one input never runs away with the fuzzing time. Record:
// identifier byte (mapped by pick_id), length/flags byte, the data bytes, clock step byte.
inline void run_frames(const uint8_t *data, size_t size, const std::function<uint32_t(uint8_t)> &pick_id)
{
    static const bool manual = [] {
        sim::clock::set_manual(true);
        return true;
    }();
    (void)manual;
    // A joint without node-ID too, which only LSS reaches.
    sim::simulator joints({{1, 10231}, {2, 10230}, {7, 10231}, {sim::unconfigured_node, 10231, 0, 0x5A5A}});
    std::vector<vci::can_message> answers = joints.power_on();
    frame_reader in(data, size);
    for (int n = 0; n < 256 && !in.done(); ++n) {
        vci::can_message m;
        m.id = pick_id(in.byte());
        const uint8_t flags = in.byte();
        m.len = flags & 0x0F;
        if (m.len > 8)
            m.len = 8;
        m.remote = (flags & 0x10) != 0;
        if (!m.remote)
            for (int i = 0; i < m.len; ++i)
                m.data[i] = in.byte();
        const std::vector<vci::can_message> out = joints.process(m);
        answers.insert(answers.end(), out.begin(), out.end());
        sim::clock::advance_us(int64_t(in.byte()) * 1000);
    }
    for (const vci::can_message &a : answers)
        if (a.id > 0x7FF || a.len > 8 || a.remote)
            std::abort();
    // Whatever fell due with time is a bus frame too.
    sim::clock::advance_us(1000000);
    for (const vci::can_message &a : joints.spontaneous())
        if (a.id > 0x7FF || a.len > 8 || a.remote)
            std::abort();
}

}  // namespace fuzz
