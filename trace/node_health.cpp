#include "trace/node_health.h"

#include "canopen/canopen_frames.h"
#include "trace/frame_decoder.h"

namespace trace {
namespace {

// Frames a node sends: EMCY, TPDOs, SDO responses, error control answers, the maker's replies.
bool sent_by_node(const trace_record &r, frame_kind kind)
{
    switch (kind) {
    case frame_kind::emcy: return true;
    case frame_kind::error_control: return !r.remote();
    case frame_kind::sdo: return r.id < canopen::sdo_request_base;
    case frame_kind::maker: return r.id < maker_request_base;
    case frame_kind::pdo: return ((r.id - 1) >> 7 & 1) != 0;  // TPDO blocks
    default: return false;
    }
}

}  // namespace

void node_health::observe(const trace_record &r, uint16_t iface)
{
    const frame_kind kind = classify(r);
    if (!sent_by_node(r, kind))
        return;
    const int node = node_of(r);
    if (node < 1 || node > 127)
        return;
    node_health_row &row = nodes_[{iface, node}];
    row.iface = iface;
    row.node = node;
    row.last_seen_us = r.t_us;
    if (kind == frame_kind::emcy && r.len >= 2) {
        ++row.emcy_count;
        row.last_error = r.data[0] | r.data[1] << 8;
    }
    else if (kind == frame_kind::error_control && r.len >= 1) {
        // A node that has booted is pre-operational.
        row.nmt_state = r.data[0] == 0x00 ? 0x7F : r.data[0] & 0x7F;
        const bool heartbeat = (r.data[0] & 0x80) == 0 && r.data[0] != 0x00;
        if (r.data[0] == 0x00) {
            // Boot-up: the node starts over, and so does its heartbeat.
            row.last_heartbeat_us = -1;
            row.heartbeat_period_us = 0;
        }
        else if (heartbeat) {
            if (row.last_heartbeat_us >= 0 && r.t_us > row.last_heartbeat_us)
                row.heartbeat_period_us = r.t_us - row.last_heartbeat_us;
            row.last_heartbeat_us = r.t_us;
        }
    }
}

bool node_health::several_interfaces() const
{
    return !nodes_.empty() && nodes_.begin()->first.first != nodes_.rbegin()->first.first;
}

std::vector<node_health_row> node_health::rows(int64_t now_us) const
{
    std::vector<node_health_row> out;
    out.reserve(nodes_.size());
    for (const auto &entry : nodes_) {
        node_health_row row = entry.second;
        row.lost = row.heartbeat_period_us > 0 &&
                   now_us - row.last_heartbeat_us > lost_after_periods * row.heartbeat_period_us;
        out.push_back(row);
    }
    return out;
}

}  // namespace trace
