#include "objects/dcf_watch.h"

#include "can/vci/bus_tap.h"
#include "canopen/nmt_state.h"

#include <memory>

namespace objects {
namespace {

constexpr uint8_t boot_up = 0x00;
constexpr uint8_t stopped = 0x04;
constexpr uint8_t operational = 0x05;
constexpr uint8_t pre_operational = 0x7F;
constexpr uint8_t toggle_bit = 0x80;

}  // namespace

void reboot_watch::look()
{
    if (!heard_)
        return;
    for (const error_control_frame &f : heard_()) {
        if (f.state == boot_up) {
            ++reboots_[f.node];
            last_[f.node] = pre_operational;  // where a node goes after its boot-up
            continue;
        }
        const uint8_t state = f.state & static_cast<uint8_t>(~toggle_bit);
        const auto before = last_.find(f.node);
        const bool was_running = before != last_.end() && (before->second == operational || before->second == stopped);
        if (state == pre_operational) {
            if (was_running && commanded_.count(f.node) == 0)
                ++reboots_[f.node];
            commanded_.erase(f.node);
        }
        last_[f.node] = state;
    }
}

void reboot_watch::commanded_pre_operational(int node)
{
    // What was heard before the command is judged without it.
    look();
    commanded_.insert(node);
}

reboot_watch::source tapped_error_control(const std::vector<int> &nodes, int bus)
{
    std::vector<uint32_t> ids;
    for (const int n : nodes)
        ids.push_back(canopen::error_control_base + static_cast<uint32_t>(n));
    auto listener = std::make_shared<vci::bus_tap::listener>(bus, ids);
    return [listener] {
        std::vector<vci::tapped_frame> frames;
        listener->drain(frames);
        std::vector<error_control_frame> out;
        for (const vci::tapped_frame &t : frames)
            if (t.msg.len >= 1 && !t.msg.remote && !t.msg.extended)
                out.push_back({static_cast<int>(t.msg.id - canopen::error_control_base), t.msg.data[0]});
        return out;
    };
}

}  // namespace objects
