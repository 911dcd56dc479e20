#pragma once
// Per-node health as the bus shows it: NMT state from boot-up, heartbeat or guarding answers,
// when the node last sent anything, its measured heartbeat period, its emergencies. A node whose
// heartbeat stops for more than three of its periods is lost.
#include "trace/trace_record.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace trace {

struct node_health_row {
    uint16_t iface = 0;  // the interface the node is on (frame_log::intern's number)
    int node = 0;
    int nmt_state = -1;         // state byte of the last error-control frame; -1 none seen
    int64_t last_seen_us = -1;  // last frame the node sent
    int64_t last_heartbeat_us = -1;
    int64_t heartbeat_period_us = 0;  // 0 until two heartbeats were seen
    unsigned emcy_count = 0;
    int last_error = -1;  // code of the last EMCY; -1 none
    bool lost = false;
};

class node_health {
public:
    // Frames sent by a node count; frames sent to it (by this program or another master) don't.
    // A node is a node of one interface: node 1 of two buses is two rows.
    void observe(const trace_record &r, uint16_t iface = 0);
    // The rows at time now_us (same clock as the records), by interface number, then node.
    std::vector<node_health_row> rows(int64_t now_us) const;
    // Whether the rows come from more than one interface (a table then names it).
    bool several_interfaces() const;
    void clear() { nodes_.clear(); }

    static constexpr int lost_after_periods = 3;

private:
    std::map<std::pair<uint16_t, int>, node_health_row> nodes_;
};

}  // namespace trace
