#include "objects/node_discovery.h"

#include "can/vci/bus_tap.h"
#include "canopen/cia_objects.h"
#include "canopen/nmt_state.h"
#include "canopen/value_codec.h"

#include <algorithm>

namespace objects {

using canopen::data_type;
using canopen::format_value;

namespace {

constexpr uint16_t device_type_index = 0x1000;

struct identity_object {
    uint16_t index;
    uint8_t sub;
    data_type type;
    QString found_node::*field;
};

// What each node that answered the sweep is asked next, in this order.
const identity_object identity_objects[] = {
    {canopen::identity_index, canopen::identity_vendor, data_type::unsigned32, &found_node::vendor},
    {canopen::identity_index, canopen::identity_product, data_type::unsigned32, &found_node::product},
    {canopen::identity_index, canopen::identity_revision, data_type::unsigned32, &found_node::revision},
    {canopen::identity_index, canopen::identity_serial, data_type::unsigned32, &found_node::serial},
    {0x1008, 0, data_type::visible_string, &found_node::name},
};
constexpr int identity_count = static_cast<int>(sizeof identity_objects / sizeof identity_objects[0]);

QString number_text(const QByteArray &bytes) { return format_value(static_cast<uint16_t>(data_type::unsigned32), bytes, true); }

std::vector<discovered> &found_record()
{
    static std::vector<discovered> found;
    return found;
}

void forget_bus(int bus)
{
    std::vector<discovered> &found = found_record();
    found.erase(std::remove_if(found.begin(), found.end(), [bus](const discovered &d) { return d.bus == bus; }), found.end());
}

}  // namespace

const std::vector<discovered> &discovered_nodes() { return found_record(); }
void forget_discovered_nodes() { found_record().clear(); }

int heard_nmt_state(int node) { return heard_nmt_state_on(0, node); }

discovery_bus discovery_on_bus(int index, const std::function<canopen::sdo_link(int node)> &link, const monitor_sink &log)
{
    discovery_bus w;
    w.bus = &bus_ops(index);
    w.index = index;
    w.link = link;
    w.log = log;
    w.heard = [index](int node) { return heard_nmt_state_on(index, node); };
    return w;
}

int heard_nmt_state_on(int bus, int node)
{
    const vci::bus_tap::seen_frame seen =
        vci::bus_tap::last_received(bus, canopen::error_control_base + static_cast<uint32_t>(node));
    if (seen.t_us < 0 || seen.msg.len < 1 || vci::bus_tap::now_us() - seen.t_us > heard_within_us)
        return canopen::nmt_unknown;
    return seen.msg.data[0] & 0x7F;  // bit 7 is a guarding answer's toggle
}

node_discovery::node_discovery(const discovery_bus &wire, std::function<void(const node_discovery &, bool)> end,
                               int first, int last)
    : wire_(wire), end_(std::move(end)), first_(first), last_(last)
{
}

int node_discovery::total() const
{
    int reads = 0;
    for (const found_node &n : nodes_)
        reads += n.answers_sdo ? identity_count : 0;
    // Before the sweep, room for a few nodes so that the bar does not jump back.
    return 1 + (swept_ ? reads : 4 * identity_count);
}

bool node_discovery::step()
{
    if (finished())
        return false;
    ++steps_;
    if (!swept_)
        sweep();
    else
        read_next();
    return !finished();
}

void node_discovery::cancel()
{
    if (transfer_)
        canopen::cancel_sdo(wire_.link(nodes_[next_node_].node), *transfer_);
    transfer_.reset();
    swept_ = true;
    next_node_ = nodes_.size();
}

void node_discovery::ended(bool cancelled)
{
    if (end_)
        end_(*this, cancelled);
}

void node_discovery::sweep()
{
    const std::vector<canopen::sweep_answer> answers =
        canopen::sdo_sweep(*wire_.bus, first_, last_, device_type_index, 0, sweep_window_ms, wire_.log);
    for (const canopen::sweep_answer &a : answers) {
        found_node n;
        n.node = a.node;
        n.answers_sdo = a.answered;
        n.nmt_state = wire_.heard ? wire_.heard(a.node) : canopen::nmt_unknown;
        if (!a.answered && n.nmt_state == canopen::nmt_unknown)
            continue;
        if (a.answered && !a.refused && !a.data.isEmpty())
            n.device_type = number_text(a.data);
        nodes_.push_back(n);
    }
    swept_ = true;
    forget_bus(wire_.index);
    for (const found_node &n : nodes_)
        found_record().push_back({wire_.index, n.node});
    // Nodes that were only heard are listed as they are; the others are asked one by one.
    next_node_ = 0;
    skip_unasked();
}

void node_discovery::skip_unasked()
{
    while (next_node_ < nodes_.size() && !nodes_[next_node_].answers_sdo)
        ++next_node_;
}

void node_discovery::read_next()
{
    found_node &n = nodes_[next_node_];
    const identity_object &object = identity_objects[next_object_];
    if (!transfer_)
        transfer_ = canopen::sdo_transfer::upload(object.index, object.sub);
    canopen::step_sdo(wire_.link(n.node), *transfer_);
    if (!transfer_->done())
        return;
    const canopen::sdo_outcome o = transfer_->outcome();
    transfer_.reset();
    take(n, next_object_, o);
    // A node that falls silent is not waited for object after object.
    const bool silent = !o.ok && !o.server_aborted && o.abort == canopen::abort_code::timeout;
    if (++next_object_ < identity_count && !silent)
        return;
    next_object_ = 0;
    ++next_node_;
    skip_unasked();
}

void node_discovery::take(found_node &n, int object, const canopen::sdo_outcome &o)
{
    if (!o.ok)
        return;
    const identity_object &what = identity_objects[object];
    n.*what.field = what.type == data_type::visible_string ? format_value(static_cast<uint16_t>(what.type), o.data)
                                                           : canopen::identity_text(o.data);
}

}  // namespace objects
