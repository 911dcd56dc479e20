#pragma once
// Which CANopen nodes are on the bus, whatever their make: every node whose boot-up or heartbeat
// was heard lately, and every node that answers an SDO read of its device type (0x1000), asked
// of nodes 1..127 at once in one sweep transaction. Then, one transaction a step, each node that
// answered is asked its identity (0x1018 subs 1-4) and its name (0x1008). A job of steps
// (can/step_job.h).
#include "can/step_job.h"
#include "canopen/sdo_bus_link.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace objects {

struct found_node {
    int node = 0;
    bool answers_sdo = false;
    // Texts as the table shows them; empty when the node did not give the object.
    QString device_type;
    QString vendor;
    QString product;
    QString revision;
    QString serial;
    QString name;
    int nmt_state = -1;  // canopen::nmt_unknown without a recent boot-up or heartbeat
};

// How long after a boot-up or heartbeat a node still counts as heard: longer than the slowest
// heartbeat a bench is set up with, short enough that a node unplugged a while ago drops out.
constexpr int64_t heard_within_us = 10 * 1000 * 1000;
// The sweep's reply window after its last request: every node of a 1 Mbit/s bus answers 127
// requests well within it, and a slower bus still gets its answers in.
constexpr int sweep_window_ms = 300;

// The state byte of node's last error-control frame heard within heard_within_us, by the bus
// tap; nmt_unknown when none. On bus (can/bus.h) when given.
int heard_nmt_state(int node);
int heard_nmt_state_on(int bus, int node);

struct discovery_bus {
    const exchange_bus *bus = nullptr;
    int index = 0;  // which bus (can/bus.h), for the record of what was found
    std::function<canopen::sdo_link(int node)> link;
    monitor_sink log;
    // Empty: what the tap heard on bus's own bus.
    std::function<int(int node)> heard = heard_nmt_state;
};
// The wire of a discovery on bus index (can/bus.h): its exchange steps, and what its tap heard.
discovery_bus discovery_on_bus(int index, const std::function<canopen::sdo_link(int node)> &link, const monitor_sink &log);

// Every (bus, node) the last sweep of each bus found, so that a window opened later (the Joints
// window) lists the nodes of a discovery made before it. A new sweep of a bus replaces its nodes.
struct discovered {
    int bus = 0;
    int node = 0;
};
const std::vector<discovered> &discovered_nodes();
void forget_discovered_nodes();

class node_discovery : public step_job {
public:
    // end hears of the end, with the job still there to be asked.
    explicit node_discovery(const discovery_bus &wire, std::function<void(const node_discovery &, bool cancelled)> end = {},
                            int first = 1, int last = 127);

    bool step() override;
    // A read under way ends with its abort.
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return steps_; }
    int total() const override;
    bool finished() const { return swept_ && next_node_ >= nodes_.size(); }

    // In node order; complete once finished.
    const std::vector<found_node> &nodes() const { return nodes_; }

private:
    void sweep();
    void read_next();
    void skip_unasked();
    void take(found_node &n, int object, const canopen::sdo_outcome &o);

    discovery_bus wire_;
    std::function<void(const node_discovery &, bool cancelled)> end_;
    int first_;
    int last_;
    bool swept_ = false;
    std::vector<found_node> nodes_;
    size_t next_node_ = 0;  // the node whose identity is being read
    int next_object_ = 0;   // of identity_objects
    std::optional<canopen::sdo_transfer> transfer_;
    int steps_ = 0;
};

}  // namespace objects
