#include "sim/canopen_node.h"

#include "sim/sim_clock.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint32_t nmt_id = 0x000;
constexpr uint32_t emcy_base = 0x080;
constexpr uint32_t tpdo1_base = 0x180;
constexpr uint32_t rpdo1_base = 0x200;
constexpr uint32_t sdo_response_base = 0x580;
constexpr uint32_t sdo_request_base = 0x600;
constexpr uint32_t error_control_base = 0x700;

constexpr uint32_t cob_invalid = 0x80000000u;
constexpr uint32_t cob_extended = 0x20000000u;
constexpr uint32_t sync_generate = 0x40000000u;

constexpr uint32_t device_type_servo = 0x00020192;  // CiA 402, servo drive
// pp, pv, tq, ip, csp, csv, cst
constexpr uint32_t supported_modes = (1u << 0) | (1u << 2) | (1u << 3) | (1u << 6) | (1u << 7) | (1u << 8) | (1u << 9);
constexpr uint32_t product_code = 0x00000402;
constexpr uint32_t revision = 0x00010000;

// Bounded so that a master that never sends SYNC cannot grow the queue without end.

enum access : uint8_t { ro, rw };
enum mapping : uint8_t { no_map = 0, map_rx = 1, map_tx = 2 };

struct object_entry {
    uint16_t index;
    uint8_t sub;
    uint8_t size;  // bytes
    access acc;
    uint8_t map;
};

// Every subindex the server knows. Mapping entries 1..8 of 0x1600/0x1A00 and identity
// entries 1..4 are listed one by one so that lookups stay a plain table scan.
const object_entry dictionary[] = {
    {0x1000, 0, 4, ro, no_map},
    {0x1001, 0, 1, ro, map_tx},
    {0x1005, 0, 4, rw, no_map},
    {0x1006, 0, 4, rw, no_map},
    {0x100C, 0, 2, rw, no_map},
    {0x100D, 0, 1, rw, no_map},
    {0x1014, 0, 4, ro, no_map},
    {0x1017, 0, 2, rw, no_map},
    {0x1018, 0, 1, ro, no_map},
    {0x1018, 1, 4, ro, no_map},
    {0x1018, 2, 4, ro, no_map},
    {0x1018, 3, 4, ro, no_map},
    {0x1018, 4, 4, ro, no_map},
    {0x1400, 0, 1, ro, no_map},
    {0x1400, 1, 4, rw, no_map},
    {0x1400, 2, 1, rw, no_map},
    {0x1600, 0, 1, rw, no_map},
    {0x1600, 1, 4, rw, no_map},
    {0x1600, 2, 4, rw, no_map},
    {0x1600, 3, 4, rw, no_map},
    {0x1600, 4, 4, rw, no_map},
    {0x1600, 5, 4, rw, no_map},
    {0x1600, 6, 4, rw, no_map},
    {0x1600, 7, 4, rw, no_map},
    {0x1600, 8, 4, rw, no_map},
    {0x1800, 0, 1, ro, no_map},
    {0x1800, 1, 4, rw, no_map},
    {0x1800, 2, 1, rw, no_map},
    {0x1800, 3, 2, rw, no_map},
    {0x1800, 5, 2, rw, no_map},
    {0x1A00, 0, 1, rw, no_map},
    {0x1A00, 1, 4, rw, no_map},
    {0x1A00, 2, 4, rw, no_map},
    {0x1A00, 3, 4, rw, no_map},
    {0x1A00, 4, 4, rw, no_map},
    {0x1A00, 5, 4, rw, no_map},
    {0x1A00, 6, 4, rw, no_map},
    {0x1A00, 7, 4, rw, no_map},
    {0x1A00, 8, 4, rw, no_map},
    {0x603F, 0, 2, ro, map_tx},
    {0x6040, 0, 2, rw, map_rx},
    {0x6041, 0, 2, ro, map_tx},
    {0x6060, 0, 1, rw, map_rx},
    {0x6061, 0, 1, ro, map_tx},
    {0x6064, 0, 4, ro, map_tx},
    {0x6065, 0, 4, rw, no_map},
    {0x606C, 0, 4, ro, map_tx},
    {0x6071, 0, 2, rw, map_rx},
    {0x6075, 0, 4, rw, no_map},
    {0x6077, 0, 2, ro, map_tx},
    {0x6078, 0, 2, ro, map_tx},
    {0x607A, 0, 4, rw, map_rx},
    {0x6080, 0, 4, rw, no_map},
    {0x6081, 0, 4, rw, map_rx},
    {0x6083, 0, 4, rw, no_map},
    {0x6084, 0, 4, rw, no_map},
    {0x60C1, 0, 1, ro, no_map},
    {0x60C1, 1, 2, rw, map_rx},
    {0x60C1, 2, 2, rw, map_rx},
    {0x60FF, 0, 4, rw, map_rx},
    {0x6502, 0, 4, ro, no_map},
};

// nullptr with the abort code when index or subindex is unknown.
const object_entry *find_entry(uint16_t index, uint8_t sub, uint32_t *abort)
{
    bool index_known = false;
    for (const object_entry &e : dictionary) {
        if (e.index != index)
            continue;
        index_known = true;
        if (e.sub == sub)
            return &e;
    }
    if (abort)
        *abort = index_known ? canopen_node::abort_no_subindex : canopen_node::abort_no_object;
    return nullptr;
}

uint32_t size_mask(int size) { return size >= 4 ? 0xFFFFFFFFu : ((1u << (8 * size)) - 1); }

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void put_le(uint32_t value, uint8_t *p, int count)
{
    for (int i = 0; i < count; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool valid_tpdo_type(uint32_t t) { return t <= 240 || t >= 252; }
bool valid_rpdo_type(uint32_t t) { return t <= 240 || t >= 254; }
bool synchronous(uint8_t type) { return type <= 240; }

// Generic error, plus the current/voltage/temperature/communication bit of the code's family.
uint8_t error_register(uint16_t code)
{
    if (code == 0)
        return 0;
    switch (code >> 12) {
    case 0x2: return 0x03;
    case 0x3: return 0x05;
    case 0x4: return 0x09;
    case 0x8: return 0x11;
    default: return 0x01;
    }
}

bool is_mode(int8_t m) { return m == 0 || m == 1 || m == 3 || m == 4 || m == 7 || m == 8 || m == 9 || m == 10; }

}  // namespace

canopen_node::canopen_node(int node, motor_model &motor) : node_(node), motor_(motor)
{
    reset_application();
    reset_communication();
}

vci::can_message canopen_node::boot_up() const
{
    vci::can_message boot;
    boot.id = error_control_base + static_cast<uint32_t>(node_);
    boot.len = 1;
    boot.data[0] = 0x00;
    return boot;
}

void canopen_node::power_on(std::vector<vci::can_message> &out)
{
    pending_emcy_.clear();
    reset_application();
    reset_communication();
    out.push_back(boot_up());
}

void canopen_node::reset_communication()
{
    nmt_ = nmt_state::pre_operational;
    guard_toggle_ = false;
    sync_cob_ = 0x80;
    cycle_us_ = 0;
    guard_time_ms_ = 0;
    life_time_factor_ = 0;
    heartbeat_ms_ = 0;
    const uint32_t n = static_cast<uint32_t>(node_);
    rpdo_comm_ = pdo_comm{};
    rpdo_comm_.cob_id = rpdo1_base + n;
    rpdo_comm_.type = 255;
    tpdo_comm_ = pdo_comm{};
    tpdo_comm_.cob_id = tpdo1_base + n;
    tpdo_comm_.type = 255;
    // Default mappings of a CiA 402 drive: control word in, status word out.
    rpdo_map_ = pdo_map{};
    rpdo_map_.count = 1;
    rpdo_map_.entries[0] = 0x60400010;
    tpdo_map_ = pdo_map{};
    tpdo_map_.count = 1;
    tpdo_map_.entries[0] = 0x60410010;
    sync_count_ = 0;
    tpdo_sent_once_ = false;
    rpdo_buffered_ = false;
}

void canopen_node::reset_application()
{
    if (motor_.enabled())
        motor_.set_enabled(false);
    motor_.clear_fault();
    power_ = power_state::switch_on_disabled;
    controlword_ = 0;
    fault_code_ = 0;
    mode_ = 0;
    target_position_ = 0;
    target_velocity_ = 0;
    target_torque_ = 0;
    ip_low_ = 0;
    ip_high_ = 0;
    following_window_ = 20000;
    rated_current_ma_ = motor_model::rated_current_ma;
    max_speed_ = 5000;
    setpoint_ack_ = false;
    has_pending_setpoint_ = false;
    pending_setpoint_ = 0;
    ip_running_ = false;
    ip_target_ = 0;
}

void canopen_node::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    sync_with_motor();
    std::vector<vci::can_message> replies;
    const uint32_t n = static_cast<uint32_t>(node_);

    if (frame.id == nmt_id) {
        if (!frame.remote)
            handle_nmt(frame, replies);
    } else if (frame.id == error_control_base + n) {
        // Node guarding: a remote request is answered in every state, stopped included.
        if (frame.remote) {
            vci::can_message answer;
            answer.id = error_control_base + n;
            answer.len = 1;
            answer.data[0] = static_cast<uint8_t>((guard_toggle_ ? 0x80 : 0x00) | static_cast<uint8_t>(nmt_));
            guard_toggle_ = !guard_toggle_;
            replies.push_back(answer);
        }
    } else if (nmt_ != nmt_state::stopped && !frame.remote) {
        if (frame.id == sdo_request_base + n)
            handle_sdo(frame, replies);
        else if (frame.id == (sync_cob_ & 0x7FF))
            handle_sync(replies);
        else if (frame.id == (rpdo_comm_.cob_id & 0x7FF))
            handle_rpdo(frame);
    }

    // Emergencies first: their identifiers win arbitration over every answer of this node.
    if (nmt_ != nmt_state::stopped)
        out.insert(out.end(), pending_emcy_.begin(), pending_emcy_.end());
    pending_emcy_.clear();
    out.insert(out.end(), replies.begin(), replies.end());
}

void canopen_node::heartbeat(int64_t now_us, std::vector<vci::can_message> &out)
{
    if (heartbeat_ms_ == 0 || now_us < next_heartbeat_us_)
        return;
    // One heartbeat however long the bus was not looked at: a producer does not catch up.
    next_heartbeat_us_ = now_us + int64_t(heartbeat_ms_) * 1000;
    vci::can_message beat;
    beat.id = error_control_base + static_cast<uint32_t>(node_);
    beat.len = 1;
    beat.data[0] = static_cast<uint8_t>(nmt_);
    out.push_back(beat);
}

void canopen_node::handle_nmt(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    if (frame.len < 2)
        return;
    const uint8_t target = frame.data[1];
    if (target != 0 && target != static_cast<uint8_t>(node_))
        return;
    switch (frame.data[0]) {
    case 0x01:
        nmt_ = nmt_state::operational;
        break;
    case 0x02:
        nmt_ = nmt_state::stopped;
        rpdo_buffered_ = false;
        break;
    case 0x80:
        nmt_ = nmt_state::pre_operational;
        rpdo_buffered_ = false;
        break;
    case 0x81:
        pending_emcy_.clear();
        reset_application();
        reset_communication();
        out.push_back(boot_up());
        break;
    case 0x82:
        reset_communication();
        out.push_back(boot_up());
        break;
    default:
        break;
    }
}

void canopen_node::handle_sdo(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    // Expedited SDO frames always carry 8 bytes; anything shorter is not an SDO request.
    if (frame.len != 8)
        return;
    const uint8_t command = frame.data[0];
    const uint16_t index = static_cast<uint16_t>(frame.data[1] | frame.data[2] << 8);
    const uint8_t sub = frame.data[3];

    vci::can_message reply;
    reply.id = sdo_response_base + static_cast<uint32_t>(node_);
    reply.len = 8;
    reply.data[1] = frame.data[1];
    reply.data[2] = frame.data[2];
    reply.data[3] = sub;

    uint32_t abort = 0;
    const uint8_t specifier = command >> 5;
    if (specifier == 4)
        return;  // the client aborted; nothing to answer
    if (specifier == 2) {
        uint32_t value = 0;
        int size = 0;
        abort = read_object(index, sub, value, size);
        if (abort == 0) {
            reply.data[0] = static_cast<uint8_t>(0x43 | ((4 - size) << 2));
            put_le(value, reply.data + 4, size);
        }
    } else if (specifier == 1) {
        const bool expedited = (command & 0x02) != 0;
        const bool size_indicated = (command & 0x01) != 0;
        if (!expedited) {
            // Every object here fits an expedited transfer; a segmented one cannot match.
            abort = abort_length_mismatch;
        } else {
            const int given = size_indicated ? 4 - ((command >> 2) & 0x03) : 0;
            abort = write_object(index, sub, le32(frame.data + 4), given);
            if (abort == 0)
                reply.data[0] = 0x60;
        }
    } else {
        abort = abort_unknown_command;
    }
    if (abort != 0) {
        reply.data[0] = 0x80;
        put_le(abort, reply.data + 4, 4);
    }
    out.push_back(reply);
}

uint32_t canopen_node::read_object(uint16_t index, uint8_t sub, uint32_t &value, int &size) const
{
    uint32_t abort = 0;
    const object_entry *e = find_entry(index, sub, &abort);
    if (!e)
        return abort;
    size = e->size;
    value = get(index, sub) & size_mask(size);
    return 0;
}

uint32_t canopen_node::write_object(uint16_t index, uint8_t sub, uint32_t value, int given_size)
{
    uint32_t abort = 0;
    const object_entry *e = find_entry(index, sub, &abort);
    if (!e)
        return abort;
    if (e->acc == ro)
        return abort_read_only;
    if (given_size != 0 && given_size != e->size)
        return abort_length_mismatch;
    return set(index, sub, value & size_mask(e->size));
}

uint32_t canopen_node::get(uint16_t index, uint8_t sub) const
{
    const uint32_t n = static_cast<uint32_t>(node_);
    switch (index) {
    case 0x1000: return device_type_servo;
    case 0x1001: return error_register(fault_code_);
    case 0x1005: return sync_cob_;
    case 0x1006: return cycle_us_;
    case 0x100C: return guard_time_ms_;
    case 0x100D: return life_time_factor_;
    case 0x1014: return emcy_base + n;
    case 0x1017: return heartbeat_ms_;
    case 0x1018:
        switch (sub) {
        case 0: return 4;
        case 1: return 0;  // no vendor identifier assigned to the simulator
        case 2: return product_code;
        case 3: return revision;
        default: return 0x00010000u + n;
        }
    case 0x1400:
        return sub == 0 ? 2 : (sub == 1 ? rpdo_comm_.cob_id : rpdo_comm_.type);
    case 0x1600: return sub == 0 ? rpdo_map_.count : rpdo_map_.entries[sub - 1];
    case 0x1800:
        switch (sub) {
        case 0: return 5;
        case 1: return tpdo_comm_.cob_id;
        case 2: return tpdo_comm_.type;
        case 3: return tpdo_comm_.inhibit;
        default: return tpdo_comm_.event_timer;
        }
    case 0x1A00: return sub == 0 ? tpdo_map_.count : tpdo_map_.entries[sub - 1];
    case 0x603F: return fault_code_;
    case 0x6040: return controlword_;
    case 0x6041: return statusword();
    case 0x6060:
    case 0x6061: return static_cast<uint8_t>(mode_);
    case 0x6064: return static_cast<uint32_t>(motor_.position());
    case 0x6065: return following_window_;
    case 0x606C: return static_cast<uint32_t>(motor_.speed());
    case 0x6071: return static_cast<uint16_t>(target_torque_);
    case 0x6075: return rated_current_ma_;
    case 0x6077:
    case 0x6078:
        // Torque follows the current, so both read the current in per mille of rated.
        return static_cast<uint16_t>(permille_of_rated(motor_.current_ma()));
    case 0x607A: return static_cast<uint32_t>(target_position_);
    case 0x6080: return max_speed_;
    case 0x6081: return static_cast<uint32_t>(motor_.profile_speed());
    case 0x6083: return static_cast<uint32_t>(motor_.profile_acceleration());
    case 0x6084: return static_cast<uint32_t>(motor_.profile_deceleration());
    case 0x60C1: return sub == 0 ? 2 : (sub == 1 ? ip_low_ : ip_high_);
    case 0x60FF: return static_cast<uint32_t>(target_velocity_);
    case 0x6502: return supported_modes;
    default: return 0;
    }
}

uint32_t canopen_node::set(uint16_t index, uint8_t sub, uint32_t value)
{
    switch (index) {
    case 0x1005:
        // The node only consumes SYNC; extended identifiers do not exist on this bus.
        if (value & (sync_generate | cob_extended) || (value & 0x7FF) == 0)
            return abort_invalid_value;
        sync_cob_ = value;
        return 0;
    case 0x1006: cycle_us_ = value; return 0;
    case 0x100C: guard_time_ms_ = static_cast<uint16_t>(value); return 0;
    case 0x100D: life_time_factor_ = static_cast<uint8_t>(value); return 0;
    case 0x1017:
        heartbeat_ms_ = static_cast<uint16_t>(value);
        next_heartbeat_us_ = clock::now_us() + int64_t(heartbeat_ms_) * 1000;
        return 0;
    case 0x1400: return write_pdo_comm(rpdo_comm_, false, sub, value);
    case 0x1600: return write_pdo_map(rpdo_map_, rpdo_comm_, false, sub, value);
    case 0x1800: return write_pdo_comm(tpdo_comm_, true, sub, value);
    case 0x1A00: return write_pdo_map(tpdo_map_, tpdo_comm_, true, sub, value);
    case 0x6040: apply_controlword(static_cast<uint16_t>(value)); return 0;
    case 0x6060: {
        const int8_t m = static_cast<int8_t>(value);
        if (!is_mode(m))
            return abort_invalid_value;
        if (m != mode_) {
            mode_ = m;
            // Whatever the old mode was doing ends; the new one starts from rest.
            has_pending_setpoint_ = false;
            setpoint_ack_ = false;
            ip_running_ = false;
            if (power_ == power_state::operation_enabled) {
                motor_.halt();
                apply_continuous_targets();
            }
        }
        return 0;
    }
    case 0x6065: following_window_ = value; return 0;
    case 0x6071:
        target_torque_ = static_cast<int16_t>(value);
        if (mode_ == 4)
            apply_continuous_targets();
        return 0;
    case 0x6075:
        // The per-mille current and torque objects divide by it.
        if (value == 0)
            return abort_value_too_low;
        if (value > 0x7FFFFFFFu)
            return abort_value_too_high;
        rated_current_ma_ = value;
        return 0;
    case 0x607A: target_position_ = static_cast<int32_t>(value); return 0;
    case 0x6080:
        if (value > 0x7FFFFFFFu)
            return abort_value_too_high;
        max_speed_ = value;
        return 0;
    case 0x6081:
        if (value > 0x7FFFFFFFu)
            return abort_value_too_high;
        motor_.set_profile(value, motor_.profile_acceleration(), motor_.profile_deceleration());
        // A profile speed of 0 brings a running profile move to rest.
        if (value == 0 && (mode_ == 1 || mode_ == 7) && motor_.current_mode() == motor_model::mode::position) {
            has_pending_setpoint_ = false;
            motor_.halt();
        }
        return 0;
    case 0x6083:
    case 0x6084:
        if (value == 0)
            return abort_value_too_low;
        if (value > 0x7FFFFFFFu)
            return abort_value_too_high;
        if (index == 0x6083)
            motor_.set_profile(motor_.profile_speed(), value, motor_.profile_deceleration());
        else
            motor_.set_profile(motor_.profile_speed(), motor_.profile_acceleration(), value);
        return 0;
    case 0x60C1:
        if (sub == 1)
            ip_low_ = static_cast<uint16_t>(value);
        else
            ip_high_ = static_cast<uint16_t>(value);
        return 0;
    case 0x60FF:
        target_velocity_ = static_cast<int32_t>(value);
        if (mode_ == 3)
            apply_continuous_targets();
        return 0;
    default:
        return abort_read_only;
    }
}

uint32_t canopen_node::write_pdo_comm(pdo_comm &comm, bool transmit, uint8_t sub, uint32_t value)
{
    const bool valid = (comm.cob_id & cob_invalid) == 0;
    switch (sub) {
    case 1: {
        // The identifier can only change while the PDO is not valid; bit 31 alone may flip.
        if (value & cob_extended)
            return abort_invalid_value;
        const bool becomes_valid = (value & cob_invalid) == 0;
        if (becomes_valid && (value & 0x7FF) == 0)
            return abort_invalid_value;
        if (valid && becomes_valid && (value & 0x7FF) != (comm.cob_id & 0x7FF))
            return abort_invalid_value;
        comm.cob_id = value;
        if (!valid && becomes_valid) {
            sync_count_ = 0;
            tpdo_sent_once_ = false;
        }
        return 0;
    }
    case 2:
        if (transmit ? !valid_tpdo_type(value) : !valid_rpdo_type(value))
            return abort_invalid_value;
        comm.type = static_cast<uint8_t>(value);
        return 0;
    case 3:
        if (valid)
            return abort_invalid_value;
        comm.inhibit = static_cast<uint16_t>(value);
        return 0;
    case 5:
        comm.event_timer = static_cast<uint16_t>(value);
        return 0;
    default:
        return abort_read_only;
    }
}

uint32_t canopen_node::check_map_entry(uint32_t entry, bool transmit) const
{
    if (entry == 0)
        return 0;
    uint32_t abort = 0;
    const object_entry *e = find_entry(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8), &abort);
    if (!e)
        return abort;
    if (!(e->map & (transmit ? map_tx : map_rx)) || (entry & 0xFF) != e->size * 8u)
        return abort_not_mappable;
    return 0;
}

uint32_t canopen_node::write_pdo_map(pdo_map &map, const pdo_comm &comm, bool transmit, uint8_t sub, uint32_t value)
{
    // A mapping changes only while its PDO is not valid, and entries only while the count is 0.
    if ((comm.cob_id & cob_invalid) == 0)
        return abort_unsupported_access;
    if (sub == 0) {
        if (value > 8)
            return abort_value_too_high;
        unsigned bits = 0;
        for (uint32_t i = 0; i < value; ++i) {
            const uint32_t entry = map.entries[i];
            if (entry == 0)
                return abort_not_mappable;
            const uint32_t abort = check_map_entry(entry, transmit);
            if (abort != 0)
                return abort;
            bits += entry & 0xFF;
        }
        if (bits > 64)
            return abort_mapping_too_long;
        map.count = static_cast<uint8_t>(value);
        return 0;
    }
    if (map.count != 0)
        return abort_unsupported_access;
    const uint32_t abort = check_map_entry(value, transmit);
    if (abort != 0)
        return abort;
    map.entries[sub - 1] = value;
    return 0;
}

void canopen_node::handle_rpdo(const vci::can_message &frame)
{
    if (nmt_ != nmt_state::operational || (rpdo_comm_.cob_id & cob_invalid))
        return;
    unsigned bits = 0;
    for (int i = 0; i < rpdo_map_.count; ++i)
        bits += rpdo_map_.entries[i] & 0xFF;
    if (frame.len * 8u < bits) {
        queue_emcy(error_pdo_length);
        return;
    }
    received_pdo pdo;
    std::copy(frame.data, frame.data + 8, pdo.data);
    pdo.len = frame.len;
    if (!synchronous(rpdo_comm_.type)) {
        apply_rpdo(pdo.data);
        return;
    }
    // One buffer: a later synchronous RPDO replaces an earlier one not yet applied, and only
    // the latest reaches the drive at the next SYNC.
    rpdo_buffer_ = pdo;
    rpdo_buffered_ = true;
}

void canopen_node::apply_rpdo(const uint8_t *data)
{
    // The control word acts last, so that a new set-point bit sees the target that came in
    // the same PDO.
    bool has_controlword = false;
    uint16_t controlword = 0;
    int offset = 0;
    for (int i = 0; i < rpdo_map_.count; ++i) {
        const uint32_t entry = rpdo_map_.entries[i];
        const int bytes = static_cast<int>((entry & 0xFF) / 8);
        uint32_t value = 0;
        for (int b = 0; b < bytes; ++b)
            value |= uint32_t(data[offset + b]) << (8 * b);
        offset += bytes;
        const uint16_t index = static_cast<uint16_t>(entry >> 16);
        if (index == 0x6040) {
            has_controlword = true;
            controlword = static_cast<uint16_t>(value);
            continue;
        }
        set(index, static_cast<uint8_t>(entry >> 8), value);
    }
    if (has_controlword)
        apply_controlword(controlword);
}

bool canopen_node::tpdo_payload(vci::can_message &msg)
{
    msg.id = tpdo_comm_.cob_id & 0x7FF;
    int offset = 0;
    for (int i = 0; i < tpdo_map_.count; ++i) {
        const uint32_t entry = tpdo_map_.entries[i];
        const int bytes = static_cast<int>((entry & 0xFF) / 8);
        put_le(get(static_cast<uint16_t>(entry >> 16), static_cast<uint8_t>(entry >> 8)), msg.data + offset, bytes);
        offset += bytes;
    }
    msg.len = static_cast<uint8_t>(offset);
    return true;
}

void canopen_node::handle_sync(std::vector<vci::can_message> &out)
{
    if (nmt_ != nmt_state::operational) {
        rpdo_buffered_ = false;
        return;
    }
    if (rpdo_buffered_) {
        rpdo_buffered_ = false;
        apply_rpdo(rpdo_buffer_.data);
    }
    apply_cyclic_targets();

    if (tpdo_comm_.cob_id & cob_invalid)
        return;
    const uint8_t type = tpdo_comm_.type;
    if (type == 0) {
        // Acyclic synchronous: sent at a SYNC only when the mapped data changed.
        vci::can_message msg;
        tpdo_payload(msg);
        if (tpdo_sent_once_ && std::equal(msg.data, msg.data + 8, last_tpdo_))
            return;
        std::copy(msg.data, msg.data + 8, last_tpdo_);
        tpdo_sent_once_ = true;
        out.push_back(msg);
    } else if (type <= 240) {
        if (++sync_count_ < type)
            return;
        sync_count_ = 0;
        vci::can_message msg;
        tpdo_payload(msg);
        out.push_back(msg);
    }
}

// ---- CiA 402 ---------------------------------------------------------------------------

void canopen_node::sync_with_motor()
{
    if (has_pending_setpoint_ && power_ == power_state::operation_enabled && !motor_.moving()) {
        has_pending_setpoint_ = false;
        motor_.move_to(pending_setpoint_);
    }
    if (motor_.error_code() != 0 && power_ != power_state::fault) {
        raise_fault(error_device);
        return;
    }
    // The power stage switched off from elsewhere (the drive's own protocol).
    if ((power_ == power_state::operation_enabled || power_ == power_state::quick_stop_active) && !motor_.enabled())
        power_ = power_state::switched_on;
}

uint16_t canopen_node::statusword() const
{
    uint16_t sw = 0;
    switch (power_) {
    case power_state::switch_on_disabled: sw = 0x0040; break;
    case power_state::ready_to_switch_on: sw = 0x0031; break;
    case power_state::switched_on: sw = 0x0033; break;
    case power_state::operation_enabled: sw = 0x0037; break;
    case power_state::quick_stop_active: sw = 0x0017; break;
    case power_state::fault: sw = 0x0008; break;
    }
    sw |= 0x0200;  // remote: the control word comes from the network
    const bool enabled = power_ == power_state::operation_enabled;
    bool reached = !motor_.moving();
    bool bit12 = false;
    if (enabled) {
        switch (mode_) {
        case 1:
            reached = !motor_.moving() && !has_pending_setpoint_;
            bit12 = setpoint_ack_;
            break;
        case 3:
            reached = motor_.speed() == (halted() ? 0 : target_velocity_);
            bit12 = motor_.speed() == 0;
            break;
        case 7:
            bit12 = ip_running_;
            break;
        case 8:
        case 9:
        case 10:
            bit12 = true;  // following the command value
            reached = mode_ == 9 ? motor_.speed() == target_velocity_ : (mode_ == 10 || !motor_.moving());
            break;
        default:
            break;
        }
    }
    if (reached)
        sw |= 0x0400;
    if (bit12)
        sw |= 0x1000;
    return sw;
}

void canopen_node::enter(power_state next)
{
    const bool was_on = power_ == power_state::operation_enabled || power_ == power_state::quick_stop_active;
    const bool is_on = next == power_state::operation_enabled || next == power_state::quick_stop_active;
    power_ = next;
    if (was_on && !is_on) {
        motor_.set_enabled(false);
        has_pending_setpoint_ = false;
        ip_running_ = false;
    } else if (!was_on && is_on) {
        motor_.set_enabled(true);
        apply_continuous_targets();
    } else if (next == power_state::operation_enabled) {
        apply_continuous_targets();  // back from quick stop
    }
}

void canopen_node::apply_controlword(uint16_t cw)
{
    const uint16_t old = controlword_;
    controlword_ = cw;
    const bool rising = (cw & 0x80) && !(old & 0x80);

    if (power_ == power_state::fault) {
        if (rising) {
            fault_code_ = 0;
            motor_.clear_fault();
            power_ = power_state::switch_on_disabled;
            queue_emcy(0x0000);  // error reset
        }
        return;
    }
    if (cw & 0x80)
        return;  // fault reset outside fault: no command

    const bool enable_voltage = cw & 0x02;
    const bool quick_stop_off = cw & 0x04;  // 0 = quick stop requested
    const bool switch_on = cw & 0x01;
    const bool enable_operation = cw & 0x08;
    const power_state s = power_;
    using ps = power_state;

    if (!enable_voltage) {
        if (s != ps::switch_on_disabled)
            enter(ps::switch_on_disabled);
    } else if (!quick_stop_off) {
        if (s == ps::ready_to_switch_on || s == ps::switched_on)
            enter(ps::switch_on_disabled);
        else if (s == ps::operation_enabled) {
            enter(ps::quick_stop_active);
            motor_.halt();
        }
    } else if (!switch_on) {
        if (s == ps::switch_on_disabled || s == ps::switched_on || s == ps::operation_enabled)
            enter(ps::ready_to_switch_on);
    } else if (!enable_operation) {
        if (s == ps::ready_to_switch_on || s == ps::operation_enabled)
            enter(ps::switched_on);
    } else {
        if (s == ps::ready_to_switch_on || s == ps::switched_on || s == ps::quick_stop_active)
            enter(ps::operation_enabled);
    }

    if (power_ != ps::operation_enabled)
        return;
    const bool halt_now = cw & 0x100;
    const bool halt_before = old & 0x100;
    if (halt_now && !halt_before)
        motor_.halt();
    else if (!halt_now && halt_before && (mode_ == 3 || mode_ == 4))
        apply_continuous_targets();

    if (mode_ == 1) {
        const bool new_setpoint = (cw & 0x10) && !(old & 0x10);
        if (!(cw & 0x10))
            setpoint_ack_ = false;
        if (new_setpoint && !halt_now) {
            int64_t target = target_position_;
            if (cw & 0x40) {
                const bool moving = motor_.current_mode() == motor_model::mode::position;
                target += moving ? motor_.target_position() : motor_.position();
            }
            setpoint_ack_ = true;
            // Without "change set immediately" a running move finishes first.
            if (!(cw & 0x20) && motor_.current_mode() == motor_model::mode::position) {
                has_pending_setpoint_ = true;
                pending_setpoint_ = target;
            } else {
                has_pending_setpoint_ = false;
                motor_.move_to(target);
            }
        }
    }
}

int32_t canopen_node::current_ma_from_permille(int32_t permille) const
{
    return static_cast<int32_t>(static_cast<int64_t>(permille) * rated_current_ma_ / 1000);
}

int16_t canopen_node::permille_of_rated(int32_t current_ma) const
{
    const int64_t p = static_cast<int64_t>(current_ma) * 1000 / static_cast<int64_t>(rated_current_ma_);
    return static_cast<int16_t>(std::max<int64_t>(-32768, std::min<int64_t>(32767, p)));
}

void canopen_node::apply_continuous_targets()
{
    if (power_ != power_state::operation_enabled)
        return;
    if (mode_ == 3)
        motor_.run_at(halted() ? 0 : target_velocity_);
    else if (mode_ == 4)
        motor_.apply_torque(halted() ? 0 : current_ma_from_permille(target_torque_), max_speed_);
}

void canopen_node::apply_cyclic_targets()
{
    if (power_ != power_state::operation_enabled)
        return;
    switch (mode_) {
    case 7: {
        if (!(controlword_ & 0x10) || halted()) {
            ip_running_ = false;
            return;
        }
        const int32_t target = static_cast<int32_t>(uint32_t(ip_high_) << 16 | ip_low_);
        if (!ip_running_ || target != ip_target_)
            motor_.move_to(target);
        ip_running_ = true;
        ip_target_ = target;
        return;
    }
    case 8: {
        const int64_t step = static_cast<int64_t>(target_position_) - motor_.position();
        if (following_window_ != 0xFFFFFFFFu && (step > following_window_ || -step > following_window_)) {
            raise_fault(error_following);
            return;
        }
        motor_.follow(target_position_);
        return;
    }
    case 9:
        motor_.run_at(halted() ? 0 : target_velocity_);
        return;
    case 10:
        motor_.apply_torque(halted() ? 0 : current_ma_from_permille(target_torque_), max_speed_);
        return;
    default:
        return;
    }
}

void canopen_node::raise_fault(uint16_t code)
{
    fault_code_ = code;
    const bool was_on = power_ == power_state::operation_enabled || power_ == power_state::quick_stop_active;
    power_ = power_state::fault;
    if (was_on || motor_.enabled())
        motor_.set_enabled(false);
    has_pending_setpoint_ = false;
    ip_running_ = false;
    setpoint_ack_ = false;
    queue_emcy(code);
}

void canopen_node::inject_fault(uint16_t code)
{
    if (code == 0)
        return;
    raise_fault(code);
}

void canopen_node::queue_emcy(uint16_t code)
{
    vci::can_message m;
    m.id = emcy_base + static_cast<uint32_t>(node_);
    m.len = 8;
    put_le(code, m.data, 2);
    m.data[2] = error_register(code == 0 ? fault_code_ : code);
    pending_emcy_.push_back(m);
}

}  // namespace sim
