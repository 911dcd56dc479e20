#pragma once
// The set of simulated joints on one bus. Frames sent on the bus go in through process();
// whatever the joints answer comes back out, in order, at once (well inside any reply window).
#include "sim/sim_joint.h"

#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

// Joints when VELMORA_SIM_NODES is not set: two CANopen-capable joints and one joint with
// EtherCAT firmware.
constexpr const char *default_nodes = "1:10231,2:10231,3:10230";
constexpr uint32_t default_firmware = 10231;

// Period of a heartbeat producer when its entry names none: 10 Hz.
constexpr uint16_t default_heartbeat_ms = 100;

struct joint_config {
    int node;  // 255 (unconfigured_node): a CANopen joint without node-ID, waiting for LSS
    uint32_t firmware;
    // Not 0: no joint at this node, only a CANopen heartbeat producer (0x700+node, state
    // operational) with this period in ms, as another device on a busy bus would be.
    uint16_t heartbeat_only_ms = 0;
    // CANopen serial number (0x1018 sub 4); 0 means 0x00010000 + node.
    uint32_t serial = 0;
    // False: a standard CANopen drive of another make, which does not speak the custom protocol.
    bool custom_protocol = true;
};

// Parses "entry,entry,..." with nodes 1..127; an entry is "node[:firmware]" for a joint,
// "node:heartbeat[/ms]" for a heartbeat producer of an absent node (default every 100 ms),
// "node:canopen" for a CANopen joint that does not speak the custom protocol, or
// "lss:SERIAL[:firmware]" for a CANopen joint without node-ID and with that serial number
// (decimal or 0x-hex), which LSS can give one. Returns false (and says why) on bad text.
bool parse_nodes(const QString &text, std::vector<joint_config> *out, QString *error);
// The list of simulated bus index from VELMORA_SIM_NODES-style text ("1:10231;2:10231,3:10230").
QString nodes_of_bus(const QString &text, int index);

class simulator {
public:
    // The in-process simulator behind VELMORA_CAN=sim, configured from VELMORA_SIM_NODES
    // the first time it is used. The joints keep their state across adapter close and open.
    // Each simulated bus has one of its own (sim,sim: two buses, index 0 and 1); the lists of
    // VELMORA_SIM_NODES are separated by ';' in that order, and a bus without a list of its own
    // takes the first.
    static simulator &instance(int index = 0);

    simulator() = default;
    explicit simulator(const std::vector<joint_config> &joints);

    // Replaces the joints (tests); their state starts fresh.
    void configure(const std::vector<joint_config> &joints);
    std::vector<vci::can_message> power_on();
    std::vector<vci::can_message> process(const vci::can_message &frame);
    // Frames nobody asked for that are due by now: the heartbeats of the producers and of
    // the CANopen joints whose 0x1017 is set, and the TPDOs sent by event timer or by a change
    // of a moving joint. The bus asks as often as it likes, at the latest at next_due_us().
    std::vector<vci::can_message> spontaneous();
    // When spontaneous() next has something to send; INT64_MAX for nothing until a frame comes.
    int64_t next_due_us() const;

    // A drive fault on a joint as the hardware raises it (the motor stops, the drive reports the
    // code in both protocols); returns what the joint sends at once: a CANopen joint's
    // emergency message. Unknown nodes and code 0 change nothing.
    std::vector<vci::can_message> inject_fault(int node, uint16_t code);
    // Blocks the joint's load: the shaft stands still while the drive goes on commanding it, so
    // that a position mode's following error grows until the drive faults (0x8611). False for
    // an unknown node.
    bool block(int node);

    // The joint with this node number now (LSS may have given it).
    joint *find(int node);
    // Node numbers of the joints that have one.
    std::vector<int> nodes() const;

    // Cut the bus (for tests of a lost adapter): the in-process adapter then fails.
    void set_cut(bool cut) { cut_ = cut; }
    bool cut() const { return cut_; }

private:
    mutable std::recursive_mutex mutex_;
    struct heartbeat_producer {
        int64_t period_us;
        int64_t next_us;
    };
    std::vector<std::unique_ptr<joint>> joints_;
    std::map<int, heartbeat_producer> producers_;
    bool cut_ = false;
};

}  // namespace sim
