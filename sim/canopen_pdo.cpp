// The PDOs of the simulated CANopen joint: their parameter rules, SYNC, reception and the
// transmission of TPDOs by SYNC, change, event timer and request.
#include "sim/canopen_node.h"

#include "sim/sim_clock.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint32_t cob_invalid = 0x80000000u;
constexpr uint32_t cob_no_rtr = 0x40000000u;
constexpr uint32_t cob_extended = 0x20000000u;

bool valid_tpdo_type(uint32_t t) { return t <= 240 || t >= 252; }
bool valid_rpdo_type(uint32_t t) { return t <= 240 || t >= 254; }
bool event_driven(int64_t type) { return type >= 254; }
// The event of type 254 is the maker's to define: this joint's is none but the event timer (and
// a remote request), so that a PDO sent for sampling comes exactly once a period. Type 255, the
// profile's event, is also a change of the mapped values.
bool sends_on_change(int64_t type) { return type == 255; }

}  // namespace

uint32_t canopen_node::check_pdo_comm(const od_def &def, uint32_t value) const
{
    const bool valid = pdo_valid(def.index);
    switch (def.sub) {
    case 1: {
        // The identifier can only change while the PDO is not valid; bit 31 alone may flip.
        if (value & cob_extended)
            return sdo_abort::invalid_value;
        const bool becomes_valid = (value & cob_invalid) == 0;
        if (becomes_valid && (value & 0x7FF) == 0)
            return sdo_abort::invalid_value;
        if (valid && becomes_valid && (value & 0x7FF) != (cob_id(def.index) & 0x7FF))
            return sdo_abort::invalid_value;
        return 0;
    }
    case 2:
        return (transmit_pdo(def.index) ? valid_tpdo_type(value) : valid_rpdo_type(value)) ? 0 : sdo_abort::invalid_value;
    case 3:
        return valid ? sdo_abort::invalid_value : 0;
    default:
        return 0;
    }
}

uint32_t canopen_node::check_map_entry(uint32_t entry, bool transmit) const
{
    if (entry == 0)
        return 0;
    uint32_t abort = 0;
    const od_def *def = find_def(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8), &abort, make_);
    if (!def)
        return abort;
    if (!def->pdo || (!transmit && !def->writable()) || (entry & 0xFF) != uint32_t(type_size(def->type)) * 8)
        return sdo_abort::not_mappable;
    return 0;
}

uint32_t canopen_node::check_pdo_map(const od_def &def, uint32_t value) const
{
    // A mapping changes only while its PDO is not valid, and entries only while the count is 0.
    if (pdo_valid(uint16_t(def.index - 0x200)))
        return sdo_abort::incompatible;
    const bool transmit = transmit_pdo(def.index);
    if (def.sub != 0)
        return param(def.index, 0) != 0 ? sdo_abort::incompatible : check_map_entry(value, transmit);
    unsigned bits = 0;
    for (uint32_t i = 1; i <= value; ++i) {
        const uint32_t entry = static_cast<uint32_t>(param(def.index, static_cast<uint8_t>(i)));
        if (entry == 0)
            return sdo_abort::not_mappable;
        const uint32_t abort = check_map_entry(entry, transmit);
        if (abort != 0)
            return abort;
        bits += entry & 0xFF;
    }
    return bits > 64 ? sdo_abort::mapping_too_long : 0;
}

void canopen_node::restart_pdos()
{
    for (tpdo_runtime &t : tpdo_)
        t = tpdo_runtime{};
    for (rpdo_runtime &r : rpdo_)
        r.buffered = false;
}

vci::can_message canopen_node::tpdo_payload(int n) const
{
    const uint16_t map = uint16_t(0x1A00 + n);
    vci::can_message msg;
    msg.id = cob_id(uint16_t(0x1800 + n)) & 0x7FF;
    int offset = 0;
    const int count = static_cast<int>(param(map, 0));
    for (int i = 1; i <= count; ++i) {
        const uint32_t entry = static_cast<uint32_t>(param(map, static_cast<uint8_t>(i)));
        const int bytes = static_cast<int>((entry & 0xFF) / 8);
        const od_def *def = find_def(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8), nullptr, make_);
        if (!def || offset + bytes > 8)
            break;
        const std::string value = value_bytes(*def);
        std::copy_n(value.begin(), std::min<size_t>(value.size(), size_t(bytes)), msg.data + offset);
        offset += bytes;
    }
    msg.len = static_cast<uint8_t>(offset);
    return msg;
}

bool canopen_node::tpdo_changed(int n, const vci::can_message &payload) const
{
    const tpdo_runtime &t = tpdo_[n];
    return !t.sent || payload.len != t.last_len || !std::equal(payload.data, payload.data + payload.len, t.last);
}

bool canopen_node::tpdo_wants(int n, const vci::can_message &payload, int64_t now_us) const
{
    const tpdo_runtime &t = tpdo_[n];
    const uint16_t comm = uint16_t(0x1800 + n);
    const int64_t timer_us = param(comm, 5) * 1000;
    const bool changed = sends_on_change(param(comm, 2)) && tpdo_changed(n, payload);
    if (!changed && !(timer_us > 0 && now_us >= t.event_due_us))
        return false;
    return !t.sent || now_us >= t.last_us + param(comm, 3) * 100;
}

void canopen_node::send_tpdo(int n, const vci::can_message &payload, int64_t now_us, std::vector<vci::can_message> &out)
{
    tpdo_runtime &t = tpdo_[n];
    const uint16_t comm = uint16_t(0x1800 + n);
    const int64_t timer_us = event_driven(param(comm, 2)) ? param(comm, 5) * 1000 : 0;
    int64_t sent_us = now_us;
    if (timer_us > 0) {
        // A change restarts the event timer (CiA 301: the event sets the timer). One sent by the
        // timer itself went, on the joint's own clock, at the deadline it served, and the next
        // deadline is a period after that one: a late look of the simulator does not stretch the
        // periods after it, and what it came too late for is lost, not sent in a burst.
        if (t.sent && now_us >= t.event_due_us) {
            const int64_t missed = (now_us - t.event_due_us) / timer_us;
            sent_us = t.event_due_us + missed * timer_us;
            t.event_due_us = sent_us + timer_us;
        } else {
            t.event_due_us = now_us + timer_us;
        }
    }
    t.sent = true;
    t.last_us = sent_us;
    t.last_len = payload.len;
    std::copy(payload.data, payload.data + 8, t.last);
    out.push_back(payload);
}

void canopen_node::serve_tpdos(int64_t now_us, std::vector<vci::can_message> &out)
{
    if (!configured() || nmt_ != nmt_state::operational)
        return;
    for (int n = 0; n < 4; ++n) {
        const uint16_t comm = uint16_t(0x1800 + n);
        if (!pdo_valid(comm) || !event_driven(param(comm, 2)))
            continue;
        const vci::can_message payload = tpdo_payload(n);
        if (tpdo_wants(n, payload, now_us))
            send_tpdo(n, payload, now_us, out);
    }
}

bool canopen_node::handle_tpdo_request(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    if (nmt_ != nmt_state::operational)
        return false;
    for (int n = 0; n < 4; ++n) {
        const uint32_t cob = cob_id(uint16_t(0x1800 + n));
        if ((cob & (cob_invalid | cob_no_rtr)) || frame.id != (cob & 0x7FF))
            continue;
        // Type 252 answers with what it took at the last SYNC, every other type with now.
        if (param(uint16_t(0x1800 + n), 2) == 252) {
            if (tpdo_[n].sent)
                out.push_back(tpdo_[n].sampled);
        } else {
            out.push_back(tpdo_payload(n));
        }
        return true;
    }
    return false;
}

void canopen_node::handle_sync(std::vector<vci::can_message> &out)
{
    if (nmt_ != nmt_state::operational) {
        for (rpdo_runtime &r : rpdo_)
            r.buffered = false;
        return;
    }
    for (int n = 0; n < 4; ++n) {
        if (rpdo_[n].buffered) {
            rpdo_[n].buffered = false;
            apply_rpdo(n, rpdo_[n].data);
        }
    }
    apply_cyclic_targets();

    const int64_t now = clock::now_us();
    for (int n = 0; n < 4; ++n) {
        const uint16_t comm = uint16_t(0x1800 + n);
        if (!pdo_valid(comm))
            continue;
        const int64_t type = param(comm, 2);
        tpdo_runtime &t = tpdo_[n];
        if (type == 0) {
            // Acyclic synchronous: sent at a SYNC only when the mapped data changed.
            const vci::can_message payload = tpdo_payload(n);
            if (tpdo_changed(n, payload))
                send_tpdo(n, payload, now, out);
        } else if (type <= 240) {
            if (++t.sync_count < type)
                continue;
            t.sync_count = 0;
            send_tpdo(n, tpdo_payload(n), now, out);
        } else if (type == 252) {
            t.sampled = tpdo_payload(n);
            t.sent = true;
        }
    }
}

void canopen_node::handle_rpdo(int n, const vci::can_message &frame)
{
    if (nmt_ != nmt_state::operational)
        return;
    const uint16_t map = uint16_t(0x1600 + n);
    unsigned bits = 0;
    for (int i = 1; i <= param(map, 0); ++i)
        bits += static_cast<uint32_t>(param(map, static_cast<uint8_t>(i))) & 0xFF;
    if (frame.len * 8u < bits) {
        pdo_length_error_ = true;
        queue_emcy(error_pdo_length);
        return;
    }
    if (pdo_length_error_) {
        // A PDO of the right length ends the error; the last one gone says so.
        pdo_length_error_ = false;
        if (error_register_now() == 0)
            queue_emcy(0x0000);
    }
    if (event_driven(param(uint16_t(0x1400 + n), 2))) {
        apply_rpdo(n, frame.data);
        return;
    }
    // One buffer: a later synchronous RPDO replaces an earlier one not yet applied, and only
    // the latest reaches the drive at the next SYNC.
    std::copy(frame.data, frame.data + 8, rpdo_[n].data);
    rpdo_[n].buffered = true;
}

void canopen_node::apply_rpdo(int n, const uint8_t *data)
{
    // The control word acts last, so that a new set-point bit sees the target that came in
    // the same PDO.
    const od_def *controlword = nullptr;
    std::string controlword_bytes;
    const uint16_t map = uint16_t(0x1600 + n);
    int offset = 0;
    for (int i = 1; i <= param(map, 0); ++i) {
        const uint32_t entry = static_cast<uint32_t>(param(map, static_cast<uint8_t>(i)));
        const int bytes = static_cast<int>((entry & 0xFF) / 8);
        const od_def *def = find_def(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8), nullptr, make_);
        if (!def || offset + bytes > 8)
            break;
        const std::string value(reinterpret_cast<const char *>(data + offset), static_cast<size_t>(bytes));
        offset += bytes;
        if (def->index == 0x6040) {
            controlword = def;
            controlword_bytes = value;
            continue;
        }
        assign(*def, value);  // a value out of range is dropped, as over SDO
    }
    if (controlword)
        assign(*controlword, controlword_bytes);
}

}  // namespace sim
