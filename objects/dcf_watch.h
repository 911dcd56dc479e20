#pragma once
// Which nodes rebooted while a configuration was compared with them, put on them or stored:
// a reboot takes the values written before it away, so nothing may be reported or stored as
// configured on such a node. A node tells of its reboot by its boot-up message; a heartbeat
// that turns pre-operational from operational or stopped says the same when the boot-up was
// missed, unless our own NMT command explains it.
//
//   0x700+n   00          boot-up
//   0x700+n   05 / 04     heartbeat: operational / stopped
//   0x700+n   7F          heartbeat: pre-operational (bit 7 of a guarding answer is its toggle)
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace objects {

struct error_control_frame {
    int node = 0;
    uint8_t state = 0;  // the frame's one data byte
};

class reboot_watch {
public:
    // Gives the error-control frames heard since it was last asked, oldest first.
    using source = std::function<std::vector<error_control_frame>()>;
    explicit reboot_watch(source heard) : heard_(std::move(heard)) {}

    // Takes what was heard since the last look.
    void look();
    // The NMT command "enter pre-operational" went to node: the change its heartbeat shows next
    // is that command's doing.
    void commanded_pre_operational(int node);
    // Reboots of node seen so far: a caller compares with the count it took when it began.
    int reboots(int node) const
    {
        const auto it = reboots_.find(node);
        return it == reboots_.end() ? 0 : it->second;
    }

private:
    source heard_;
    std::map<int, uint8_t> last_;  // the state last heard, by node
    std::set<int> commanded_;
    std::map<int, int> reboots_;
};

// Every boot-up and heartbeat of these nodes of bus (can/bus.h) the bus tap sees from now on.
reboot_watch::source tapped_error_control(const std::vector<int> &nodes, int bus = 0);

}  // namespace objects
