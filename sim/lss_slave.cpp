#include "sim/lss_slave.h"

namespace sim {
namespace {

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool valid_node(uint8_t id) { return (id >= 1 && id <= 127) || id == unconfigured_node; }

// Command specifiers.
constexpr uint8_t switch_global = 0x04;
constexpr uint8_t configure_node = 0x11;
constexpr uint8_t configure_timing = 0x13;
constexpr uint8_t activate_timing = 0x15;
constexpr uint8_t store_configuration = 0x17;
constexpr uint8_t select_vendor = 0x40;
constexpr uint8_t select_serial = 0x43;
constexpr uint8_t selected = 0x44;
constexpr uint8_t identify_vendor = 0x46;
constexpr uint8_t identify_serial_high = 0x4B;
constexpr uint8_t identify_unconfigured = 0x4C;
constexpr uint8_t identified = 0x4F;
constexpr uint8_t unconfigured_identified = 0x50;
constexpr uint8_t fast_scan_request = 0x51;
constexpr uint8_t inquire_vendor = 0x5A;
constexpr uint8_t inquire_node = 0x5E;

constexpr uint8_t fast_scan_reset = 0x80;

}  // namespace

lss_slave::lss_slave(const identity &id, uint8_t node_id)
    : id_(id), stored_node_(node_id), pending_node_(node_id), active_node_(node_id)
{
}

void lss_slave::power_on()
{
    pending_node_ = stored_node_;
    active_node_ = stored_node_;
    pending_timing_ = stored_timing_;
    active_timing_ = stored_timing_;
    configuring_ = false;
    fast_scan_part_ = 0;
}

void lss_slave::reply(std::vector<vci::can_message> &out, uint8_t command, uint32_t value) const
{
    vci::can_message m;
    m.id = lss_slave_id;
    m.len = 8;
    m.data[0] = command;
    for (int i = 0; i < 4; ++i)
        m.data[1 + i] = static_cast<uint8_t>(value >> (8 * i));
    out.push_back(m);
}

lss_slave::effect lss_slave::fast_scan(const uint8_t *d, std::vector<vci::can_message> &out)
{
    // Only a slave without node-ID, waiting, takes part.
    if (configuring_ || pending_node_ != unconfigured_node)
        return effect::none;
    const uint32_t id_number = le32(d + 1);
    const uint8_t bit_checked = d[5];
    const uint8_t part = d[6];
    const uint8_t next = d[7];
    if (bit_checked == fast_scan_reset) {
        fast_scan_part_ = 0;
        reply(out, identified);
        return effect::none;
    }
    if (bit_checked > 31 || part > 3 || next > 3 || part != fast_scan_part_)
        return effect::none;
    // The bits from bit_checked up must match; the ones below are still unknown to the master.
    const uint32_t mask = 0xFFFFFFFFu << bit_checked;
    if ((id_.part[part] & mask) != (id_number & mask))
        return effect::none;
    fast_scan_part_ = next;
    if (bit_checked == 0 && next < part) {
        // The whole identity matched: this slave is the one found.
        configuring_ = true;
        fast_scan_part_ = 0;
    }
    reply(out, identified);
    return effect::none;
}

lss_slave::effect lss_slave::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    if (frame.id != lss_master_id || frame.remote || frame.len != 8)
        return effect::none;
    const uint8_t *d = frame.data;
    const uint8_t cs = d[0];
    if (cs == switch_global) {
        if (d[1] > 1)
            return effect::none;
        const bool was = configuring_;
        configuring_ = d[1] == 1;
        return was && !configuring_ ? effect::back_to_waiting : effect::none;
    }
    if (cs >= select_vendor && cs <= select_serial) {
        if (configuring_)
            return effect::none;
        if (cs < select_serial) {
            selected_[cs - select_vendor] = le32(d + 1);
            return effect::none;
        }
        if (selected_[0] == id_.part[0] && selected_[1] == id_.part[1] && selected_[2] == id_.part[2]
            && le32(d + 1) == id_.part[3]) {
            configuring_ = true;
            reply(out, selected);
        }
        return effect::none;
    }
    if (cs >= identify_vendor && cs <= identify_serial_high) {
        range_[cs - identify_vendor] = le32(d + 1);
        if (cs == identify_serial_high && range_[0] == id_.part[0] && range_[1] == id_.part[1]
            && id_.part[2] >= range_[2] && id_.part[2] <= range_[3] && id_.part[3] >= range_[4]
            && id_.part[3] <= range_[5])
            reply(out, identified);
        return effect::none;
    }
    if (cs == identify_unconfigured) {
        if (pending_node_ == unconfigured_node)
            reply(out, unconfigured_identified);
        return effect::none;
    }
    if (cs == fast_scan_request)
        return fast_scan(d, out);
    if (!configuring_)
        return effect::none;
    switch (cs) {
    case configure_node:
        if (valid_node(d[1]))
            pending_node_ = d[1];
        reply(out, configure_node, valid_node(d[1]) ? 0 : 1);
        return effect::none;
    case configure_timing: {
        const bool ok = d[1] == 0 && timing_supported(d[2]);
        if (ok)
            pending_timing_ = d[2];
        reply(out, configure_timing, ok ? 0 : 1);
        return effect::none;
    }
    case activate_timing:
        active_timing_ = pending_timing_;
        switch_delay_ms_ = static_cast<uint16_t>(d[1] | d[2] << 8);
        return effect::bit_timing;
    case store_configuration:
        stored_node_ = pending_node_;
        stored_timing_ = pending_timing_;
        reply(out, store_configuration);
        return effect::none;
    default:
        break;
    }
    if (cs >= inquire_vendor && cs < inquire_node)
        reply(out, cs, id_.part[cs - inquire_vendor]);
    else if (cs == inquire_node)
        reply(out, cs, active_node_);
    return effect::none;
}

}  // namespace sim
