#include "sim/canopen_node.h"

#include "sim/sim_clock.h"

#include <algorithm>
#include <limits>

namespace sim {
namespace {

constexpr uint32_t nmt_id = 0x000;
constexpr uint32_t emcy_base = 0x080;
constexpr uint32_t sdo_response_base = 0x580;
constexpr uint32_t sdo_request_base = 0x600;
constexpr uint32_t error_control_base = 0x700;

constexpr uint32_t cob_extended = 0x20000000u;
constexpr uint32_t sync_generate = 0x40000000u;
constexpr uint32_t default_serial_base = 0x00010000;

void put_le(uint32_t value, uint8_t *p, int count)
{
    for (int i = 0; i < count; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

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

constexpr uint8_t communication_error = 0x11;  // generic and communication bits of 0x1001

bool is_mode(int64_t m) { return m == 0 || m == 1 || m == 3 || m == 4 || m == 6 || m == 7 || m == 8 || m == 9 || m == 10; }

// Quick stop option code (0x605A) as CiA 402 numbers it; 3, 4, 7 and 8 (current and voltage
// limit) are not offered.
constexpr int64_t qs_disable = 0;
constexpr int64_t qs_slow_down = 1;
constexpr int64_t qs_quick_ramp = 2;
constexpr int64_t qs_slow_down_stay = 5;
constexpr int64_t qs_quick_ramp_stay = 6;
bool is_quick_stop_option(int64_t v)
{
    return v == qs_disable || v == qs_slow_down || v == qs_quick_ramp || v == qs_slow_down_stay || v == qs_quick_ramp_stay;
}
// 0x605B/0x605C: 1 down the slow-down ramp first; 0x605E: 1 slow-down ramp, 2 quick stop ramp.
constexpr int64_t option_slow_down = 1;
constexpr int64_t option_quick_ramp = 2;

bool is_homing_method(int64_t m)
{
    const std::vector<int8_t> &methods = homing_methods();
    return std::find(methods.begin(), methods.end(), m) != methods.end();
}

lss_slave::identity identity_of(uint32_t serial, joint_make make)
{
    lss_slave::identity id{};
    for (uint8_t sub = 1; sub <= 3; ++sub)
        id.part[sub - 1] = static_cast<uint32_t>(find_def(0x1018, sub, nullptr, make)->initial);
    id.part[3] = serial;
    return id;
}

}  // namespace

canopen_node::canopen_node(int node, motor_model &motor)
    : canopen_node(node, motor, default_serial_base + static_cast<uint32_t>(node))
{
}

canopen_node::canopen_node(int node, motor_model &motor, uint32_t serial, joint_make make)
    : node_(node), make_(make), motor_(motor), serial_(serial), sdo_(*this),
      lss_(identity_of(serial, make), static_cast<uint8_t>(node))
{
    reset_application();
    reset_communication();
}

uint8_t canopen_node::error_register_now() const
{
    const bool communication = producer_lost() || pdo_length_error_;
    return static_cast<uint8_t>(error_register(fault_code_) | (communication ? communication_error : 0));
}

// ---- object values ---------------------------------------------------------------------

bool canopen_node::live_value(const od_def &def, int64_t &v) const
{
    switch (def.index) {
    case 0x1001: v = error_register_now(); return true;
    case 0x1003:
        if (def.sub == 0)
            v = static_cast<int64_t>(error_history_.size());
        else
            v = def.sub <= error_history_.size() ? error_history_[def.sub - 1] : 0;
        return true;
    case 0x1018:
        if (def.sub != 4)
            return false;
        v = serial_;
        return true;
    case 0x1F51:
    case 0x1F56:
    case 0x1F57:
        if (def.sub != 1)
            return false;
        v = def.index == 0x1F51 ? (program_.running() ? 1 : 0)
            : def.index == 0x1F56 ? program_.identification(clock::now_us())
                                  : program_.flash_status(clock::now_us());
        return true;
    case 0x2130: v = static_cast<int64_t>(recorder_.state); return true;
    case 0x2135: v = static_cast<int64_t>(recorder_.trigger_at); return true;
    case 0x603F: v = fault_code_; return true;
    case 0x6040: v = controlword_; return true;
    case 0x6041: v = statusword(); return true;
    case 0x6060:
    case 0x6061: v = mode_; return true;
    case 0x6064: v = motor_.position(); return true;
    case 0x60FD: v = motor_.inputs(); return true;
    case 0x6062: v = motor_.position_demand(); return true;
    case 0x606B: v = motor_.speed_demand(); return true;
    case 0x60F4: v = int64_t(motor_.position_demand()) - motor_.position(); return true;
    case 0x606C: v = motor_.speed(); return true;
    case 0x6077:
    case 0x6078:
        // Torque follows the current, so both read the current in per mille of rated.
        v = permille_of_rated(motor_.current_ma());
        return true;
    // The profile lives in the motor, which the drive's own protocol sets as well.
    case 0x6081: v = motor_.profile_speed(); return true;
    case 0x6083: v = motor_.profile_acceleration(); return true;
    case 0x6084: v = motor_.profile_deceleration(); return true;
    default: return false;
    }
}

std::string canopen_node::value_bytes(const od_def &def) const
{
    if (def.index == 0x2120)
        return recorder_buffer();
    if (def.index == 0x2136)
        return recorder_.state == recorder_state::done ? recorder_.data : std::string();
    if (def.index == 0x100A)
        return program_.version();
    if (def.index == 0x1F50 && def.sub == 1)
        return std::string();  // the bootloader keeps no copy to read back
    int64_t v = 0;
    if (live_value(def, v))
        return bytes_of(v, type_size(def.type));
    const auto it = values_.find(def.key());
    return it != values_.end() ? it->second : default_bytes(def, node_, make_);
}

int64_t canopen_node::param(uint16_t index, uint8_t sub) const
{
    const od_def *def = find_def(index, sub, nullptr, make_);
    return def ? number_of(value_bytes(*def), def->type) : 0;
}

void canopen_node::load_range(uint16_t first, uint16_t last)
{
    for (const od_def &def : joint_dictionary(make_)) {
        int64_t v = 0;
        if (def.index < first || def.index > last || live_value(def, v))
            continue;
        const auto saved = saved_.find(def.key());
        values_[def.key()] = saved != saved_.end() ? saved->second : default_bytes(def, node_, make_);
    }
}

uint32_t canopen_node::read(uint16_t index, uint8_t sub, std::string &bytes)
{
    uint32_t abort = 0;
    const od_def *def = find_def(index, sub, &abort, make_);
    if (!def)
        return abort;
    bytes = value_bytes(*def);
    return 0;
}

uint32_t canopen_node::can_write(uint16_t index, uint8_t sub, size_t size, bool size_known)
{
    uint32_t abort = 0;
    const od_def *def = find_def(index, sub, &abort, make_);
    if (!def)
        return abort;
    if (!def->writable())
        return sdo_abort::read_only;
    const size_t fixed = static_cast<size_t>(type_size(def->type));
    if (size_known && fixed != 0 && size != fixed)
        return sdo_abort::length_mismatch;
    if (index == 0x1F50)
        return program_.can_download(size, nmt_ == nmt_state::pre_operational, clock::now_us());
    if (size_known && fixed == 0 && size > (def->type == od_type::domain ? domain_max : string_max))
        return sdo_abort::too_long;
    return 0;
}

uint32_t canopen_node::write(uint16_t index, uint8_t sub, const std::string &bytes, bool exact)
{
    const uint32_t abort = can_write(index, sub, bytes.size(), exact);
    if (abort != 0)
        return abort;
    const od_def &def = *find_def(index, sub, nullptr, make_);
    const size_t fixed = static_cast<size_t>(type_size(def.type));
    std::string value = bytes;
    if (fixed != 0) {
        if (value.size() < fixed)
            return sdo_abort::length_mismatch;
        value.resize(fixed);
    }
    if (index == 0x1010 || index == 0x1011)
        return store_command(index, sub, static_cast<uint32_t>(number_of(value, def.type)));
    if (index == 0x1F50)
        return program_.download(value, nmt_ == nmt_state::pre_operational, clock::now_us());

    return assign(def, value);
}

uint32_t canopen_node::assign(const od_def &def, const std::string &bytes)
{
    int64_t v = 0;
    if (def.type != od_type::visible_string && def.type != od_type::domain) {
        v = number_of(bytes, def.type);
        if (def.limited() && v < def.low)
            return sdo_abort::too_low;
        if (def.limited() && v > def.high)
            return sdo_abort::too_high;
        const uint32_t abort = check_value(def, v);
        if (abort != 0)
            return abort;
    }
    if (def.index == 0x1F51)
        return program_.command(v, power_ == power_state::operation_enabled, clock::now_us(), &boot_pending_);
    int64_t unused = 0;
    if (!live_value(def, unused))
        values_[def.key()] = bytes;
    applied(def, v);
    return 0;
}

uint32_t canopen_node::check_value(const od_def &def, int64_t value) const
{
    const uint32_t u = static_cast<uint32_t>(value);
    if (is_pdo_comm(def.index))
        return check_pdo_comm(def, u);
    if (is_pdo_map(def.index))
        return check_pdo_map(def, u);
    if (def.index >= 0x2130 && def.index <= 0x2134)
        return check_recorder(def, value);
    switch (def.index) {
    case 0x1005:
        // The node only consumes SYNC; extended identifiers do not exist on this bus.
        return (u & (sync_generate | cob_extended)) || (u & 0x7FF) == 0 ? sdo_abort::invalid_value : 0;
    case 0x6060: return is_mode(value) ? 0 : sdo_abort::invalid_value;
    case 0x6098: return is_homing_method(value) ? 0 : sdo_abort::invalid_value;
    case 0x605A: return is_quick_stop_option(value) ? 0 : sdo_abort::invalid_value;
    case 0x1016: return def.sub == 0 ? 0 : check_consumer_entry(def.sub, u);
    case 0x1003: return value == 0 ? 0 : sdo_abort::invalid_value;  // only clearing it
    case 0x607D: {
        const int64_t lower = def.sub == 1 ? value : param(0x607D, 1);
        const int64_t upper = def.sub == 2 ? value : param(0x607D, 2);
        return upper < lower ? sdo_abort::max_below_min : 0;
    }
    case 0x2103: {
        // The lower position limit may not pass the upper one.
        const int64_t lower = def.sub == 1 ? value : param(0x2103, 1);
        const int64_t upper = def.sub == 2 ? value : param(0x2103, 2);
        return upper < lower ? sdo_abort::max_below_min : 0;
    }
    default: return 0;
    }
}

void canopen_node::applied(const od_def &def, int64_t value)
{
    if (is_pdo_comm(def.index)) {
        // A PDO newly configured starts over: sent at once when event-driven, counted afresh.
        if (transmit_pdo(def.index))
            tpdo_[def.index & 3] = tpdo_runtime{};
        else
            rpdo_[def.index & 3].buffered = false;
        return;
    }
    switch (def.index) {
    case 0x1016:
        if (def.sub >= 1)
            restart_watch(def.sub - 1);
        return;
    case 0x1017: next_heartbeat_us_ = clock::now_us() + value * 1000; return;
    case 0x2130: arm_recorder(value != 0); return;
    case 0x1003: error_history_.clear(); return;
    case 0x6040: apply_controlword(static_cast<uint16_t>(value)); return;
    case 0x6060: change_mode(static_cast<int8_t>(value)); return;
    case 0x6071:
        if (mode_ == 4)
            apply_continuous_targets();
        return;
    case 0x60FF:
        if (mode_ == 3)
            apply_continuous_targets();
        return;
    case 0x6081:
        motor_.set_profile(value, motor_.profile_acceleration(), motor_.profile_deceleration());
        // In profile position a velocity of 0 is "stop now": down to standstill with 0x6084.
        if (value == 0 && mode_ == 1)
            motor_.halt();
        return;
    case 0x6083: motor_.set_profile(motor_.profile_speed(), value, motor_.profile_deceleration()); return;
    case 0x607F: motor_.set_speed_limit(value); return;
    case 0x6084: motor_.set_profile(motor_.profile_speed(), motor_.profile_acceleration(), value); return;
    default: return;
    }
}

uint32_t canopen_node::store_command(uint16_t index, uint8_t sub, uint32_t signature)
{
    if (index == 0x1010) {
        if (signature != save_signature)
            return sdo_abort::cannot_store;
        for (const od_def &def : joint_dictionary(make_)) {
            if (!saved_by_store(def) || !in_group(def.index, sub))
                continue;
            const std::string bytes = value_bytes(def);
            // An identifier still at its node-ID default follows a new node-ID.
            if (def.kind == od_default::node_id && bytes == default_bytes(def, node_, make_))
                saved_.erase(def.key());
            else
                saved_[def.key()] = bytes;
        }
        return 0;
    }
    // Restoring the defaults takes effect at the next reset.
    if (signature != load_signature)
        return sdo_abort::cannot_store;
    for (const od_def &def : joint_dictionary(make_))
        if (in_group(def.index, sub))
            saved_.erase(def.key());
    return 0;
}

// ---- NMT, SDO, LSS ---------------------------------------------------------------------

void canopen_node::reset_communication()
{
    nmt_ = nmt_state::pre_operational;
    guard_toggle_ = false;
    load_range(0x1000, 0x1FFF);
    next_heartbeat_us_ = clock::now_us() + param(0x1017) * 1000;
    for (watched_producer &w : watch_)
        w = watched_producer{};
    restart_pdos();
    sdo_.reset();
    pdo_length_error_ = false;
}

void canopen_node::reset_application()
{
    if (motor_.enabled())
        motor_.set_enabled(false);
    motor_.clear_fault();
    power_ = power_state::switch_on_disabled;
    slowing_down_ = false;
    recorder_ = recorder_run{};
    controlword_ = 0;
    fault_code_ = 0;
    mode_ = 0;
    setpoint_ack_ = false;
    has_pending_setpoint_ = false;
    pending_setpoint_ = 0;
    ip_running_ = false;
    ip_target_ = 0;
    homing_ = homing_stage::idle;
    legs_.clear();
    motor_.clear_latch();
    motor_.end_ramp();
    load_range(0x2000, 0xFFFF);
    int64_t profile[3] = {};
    for (int i = 0; i < 3; ++i) {
        const od_def &def = *find_def(i == 0 ? 0x6081 : uint16_t(0x6082 + i), 0, nullptr, make_);
        const auto saved = saved_.find(def.key());
        profile[i] = number_of(saved != saved_.end() ? saved->second : default_bytes(def, node_, make_), def.type);
    }
    motor_.set_profile(profile[0], profile[1], profile[2]);
    motor_.set_speed_limit(param(0x607F));
    limit_active_ = false;
    following_since_us_ = -1;
}

void canopen_node::boot(std::vector<vci::can_message> &out)
{
    if (!configured())
        return;  // without node-ID the joint waits for LSS
    vci::can_message boot;
    boot.id = error_control_base + static_cast<uint32_t>(node_);
    boot.len = 1;
    boot.data[0] = 0x00;
    out.push_back(boot);
}

void canopen_node::power_on(std::vector<vci::can_message> &out)
{
    lss_.power_on();
    node_ = lss_.pending_node();
    silent_until_us_ = 0;
    pending_emcy_.clear();
    error_history_.clear();
    reset_application();
    reset_communication();
    boot(out);
}

void canopen_node::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    const int64_t now = clock::now_us();
    if (now < silent_until_us_)
        return;
    sync_with_motor();
    // A producer's time may have run out before the waker looked.
    if (configured())
        watch_producers(now, out);
    std::vector<vci::can_message> replies;
    const uint32_t n = static_cast<uint32_t>(node_);

    if (frame.id == lss_master_id) {
        handle_lss(frame, replies);
    } else if (frame.id == nmt_id) {
        if (!frame.remote)
            handle_nmt(frame, replies);
    } else if (!configured()) {
        return;
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
    } else if (is_heartbeat_of_other(frame)) {
        consume_heartbeat(frame);
    } else if (nmt_ != nmt_state::stopped) {
        if (frame.remote) {
            handle_tpdo_request(frame, replies);
        } else if (frame.id == sdo_request_base + n) {
            handle_sdo(frame, replies);
        } else if (frame.id == (static_cast<uint32_t>(param(0x1005)) & 0x7FF)) {
            handle_sync(replies);
        } else {
            for (int p = 0; p < 4; ++p)
                if (pdo_valid(uint16_t(0x1400 + p)) && frame.id == (cob_id(uint16_t(0x1400 + p)) & 0x7FF))
                    handle_rpdo(p, frame);
        }
    }
    // Whatever the frame changed goes out on the TPDOs that send on change.
    serve_tpdos(now, replies);

    // Emergencies first: their identifiers win arbitration over every answer of this node.
    flush_emcy(out);
    out.insert(out.end(), replies.begin(), replies.end());
}

void canopen_node::tick(int64_t now_us, std::vector<vci::can_message> &out)
{
    if (!configured() || now_us < silent_until_us_)
        return;
    sync_with_motor();
    watch_producers(now_us, out);
    flush_emcy(out);
    heartbeat(now_us, out);
    serve_tpdos(now_us, out);
}

void canopen_node::heartbeat(int64_t now_us, std::vector<vci::can_message> &out)
{
    const int64_t period_us = param(0x1017) * 1000;
    if (period_us == 0 || now_us < next_heartbeat_us_)
        return;
    // On the period's grid; one heartbeat however long the bus was not looked at.
    next_heartbeat_us_ += period_us;
    if (next_heartbeat_us_ <= now_us)
        next_heartbeat_us_ = now_us + period_us;
    vci::can_message beat;
    beat.id = error_control_base + static_cast<uint32_t>(node_);
    beat.len = 1;
    beat.data[0] = static_cast<uint8_t>(nmt_);
    out.push_back(beat);
}

int64_t canopen_node::next_due_us(int64_t now_us) const
{
    constexpr int64_t never = std::numeric_limits<int64_t>::max();
    if (!configured())
        return never;
    if (now_us < silent_until_us_)
        return silent_until_us_;
    int64_t due = std::min(param(0x1017) != 0 ? next_heartbeat_us_ : never, next_watch_due_us());
    // A homing run goes from edge to edge by itself, and a blocked joint's following error grows
    // by itself: looked at every millisecond.
    if (homing_busy() || (motor_.blocked() && motor_.moving()) || following_since_us_ >= 0)
        due = std::min(due, now_us + 1000);
    if (nmt_ != nmt_state::operational)
        return due;
    for (int p = 0; p < 4; ++p) {
        const uint16_t comm = uint16_t(0x1800 + p);
        if (!pdo_valid(comm) || param(comm, 2) < 254)
            continue;
        const tpdo_runtime &t = tpdo_[p];
        // Nothing goes out before the inhibit time since the last transmission has passed.
        const int64_t ready = t.sent ? t.last_us + param(comm, 3) * 100 : now_us;
        if (param(comm, 5) > 0)
            due = std::min(due, t.sent ? std::max(t.event_due_us, ready) : now_us);
        if (param(comm, 2) != 255)
            continue;  // type 254 sends by its timer alone
        const vci::can_message payload = tpdo_payload(p);
        if (tpdo_changed(p, payload))
            due = std::min(due, std::max(ready, now_us));
        // A joint in motion changes its values by itself: looked at every millisecond.
        if (motor_.moving())
            due = std::min(due, now_us + 1000);
    }
    return std::max(due, now_us);
}

int64_t canopen_node::timer_tpdo_due_us() const
{
    int64_t due = std::numeric_limits<int64_t>::max();
    if (!configured() || nmt_ != nmt_state::operational)
        return due;
    for (int p = 0; p < 4; ++p) {
        const uint16_t comm = uint16_t(0x1800 + p);
        // Not before the inhibit time since the last transmission has passed.
        if (pdo_valid(comm) && param(comm, 2) >= 254 && param(comm, 5) > 0 && tpdo_[p].sent)
            due = std::min(due, std::max(tpdo_[p].event_due_us, tpdo_[p].last_us + param(comm, 3) * 100));
    }
    return due;
}

void canopen_node::handle_nmt(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    if (frame.len < 2)
        return;
    const uint8_t command = frame.data[0];
    const uint8_t target = frame.data[1];
    if (target != 0 && (!configured() || target != static_cast<uint8_t>(node_)))
        return;
    if (!configured() && command != 0x81 && command != 0x82)
        return;
    switch (command) {
    case 0x01:
        nmt_ = nmt_state::operational;
        restart_pdos();
        break;
    case 0x02:
        nmt_ = nmt_state::stopped;
        break;
    case 0x80:
        nmt_ = nmt_state::pre_operational;
        break;
    case 0x81:
    case 0x82:
        // The node-ID that LSS configured takes effect now.
        node_ = lss_.pending_node();
        lss_.set_active_node(static_cast<uint8_t>(node_));
        if (command == 0x81) {
            pending_emcy_.clear();
            reset_application();
        }
        reset_communication();
        boot(out);
        break;
    default:
        break;
    }
}

void canopen_node::handle_sdo(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    // SDO frames always carry 8 bytes; anything shorter is not an SDO request.
    if (frame.len != 8)
        return;
    std::vector<sdo_server::frame> replies;
    sdo_.handle(frame.data, replies);
    for (const sdo_server::frame &data : replies) {
        vci::can_message reply;
        reply.id = sdo_response_base + static_cast<uint32_t>(node_);
        reply.len = 8;
        std::copy(data.begin(), data.end(), reply.data);
        out.push_back(reply);
    }
    // A program started or reset: the answer goes out, then the joint boots as after a reset.
    if (boot_pending_) {
        boot_pending_ = false;
        pending_emcy_.clear();
        reset_application();
        reset_communication();
        boot(out);
    }
}

void canopen_node::handle_lss(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    switch (lss_.handle(frame, out)) {
    case lss_slave::effect::back_to_waiting:
        // A joint without node-ID that was given one boots with it now.
        if (!configured() && lss_.pending_node() != unconfigured_node) {
            node_ = lss_.pending_node();
            lss_.set_active_node(static_cast<uint8_t>(node_));
            reset_communication();
            boot(out);
        }
        return;
    case lss_slave::effect::bit_timing:
        silent_until_us_ = clock::now_us() + int64_t(lss_.switch_delay_ms()) * 2000;
        return;
    default:
        return;
    }
}

// ---- CiA 402 ---------------------------------------------------------------------------

void canopen_node::sync_with_motor()
{
    if (has_pending_setpoint_ && power_ == power_state::operation_enabled && !motor_.moving()) {
        has_pending_setpoint_ = false;
        motor_.move_to(pending_setpoint_);
    }
    serve_homing();
    settle_ramps();
    watch_following_error();
    if (motor_.error_code() != 0 && !in_fault()) {
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
    case power_state::fault_reaction_active: sw = 0x001F; break;
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
            reached = motor_.speed() == (halted() ? 0 : target_velocity());
            bit12 = motor_.speed() == 0;
            break;
        case mode_homing:
            switch (homing_) {
            case homing_stage::searching:
            case homing_stage::returning: reached = false; break;
            case homing_stage::attained: bit12 = true; break;
            case homing_stage::error: sw |= sw_homing_error; break;
            default: break;
            }
            break;
        case 7:
            bit12 = ip_running_;
            break;
        case 8:
        case 9:
        case 10:
            bit12 = true;  // following the command value
            reached = mode_ == 9 ? motor_.speed() == target_velocity() : (mode_ == 10 || !motor_.moving());
            break;
        default:
            break;
        }
    }
    if (reached)
        sw |= 0x0400;
    if (bit12)
        sw |= 0x1000;
    if (enabled && (mode_ == 1 || mode_ == 8) && following_error_now())
        sw |= 0x2000;  // following error
    if (enabled && limit_active_)
        sw |= 0x0800;  // internal limit active: a target was cut at the software limit
    return sw;
}

int64_t canopen_node::within_limits(int64_t target)
{
    const int64_t limited = std::max(param(0x607D, 1), std::min(param(0x607D, 2), target));
    limit_active_ = limited != target;
    return limited;
}

bool canopen_node::following_error_now() const
{
    const int64_t window = param(0x6065);
    const int64_t error = int64_t(motor_.position_demand()) - motor_.position();
    return window != 0xFFFFFFFFLL && (error > window || -error > window);
}

void canopen_node::watch_following_error()
{
    const bool position_mode = mode_ == 1 || mode_ == mode_homing || mode_ == 7 || mode_ == 8;
    if (power_ != power_state::operation_enabled || !position_mode || !following_error_now()) {
        following_since_us_ = -1;
        return;
    }
    const int64_t now = clock::now_us();
    if (following_since_us_ < 0)
        following_since_us_ = now;
    if (now - following_since_us_ >= param(0x6066) * 1000) {
        following_since_us_ = -1;
        raise_fault(error_following);
    }
}

void canopen_node::quick_stop()
{
    const int64_t option = param(0x605A);
    if (option == qs_disable) {
        enter(power_state::switch_on_disabled);
        return;
    }
    enter(power_state::quick_stop_active);
    if (option == qs_quick_ramp || option == qs_quick_ramp_stay)
        motor_.use_ramp(motor_.profile_speed(), param(0x6085));
    motor_.halt();
    settle_ramps();
}

void canopen_node::slow_down_to(power_state next)
{
    motor_.halt();
    slowing_down_ = true;
    slow_down_to_ = next;
    settle_ramps();
}

void canopen_node::settle_ramps()
{
    if (motor_.moving())
        return;
    if (slowing_down_) {
        slowing_down_ = false;
        if (power_ == power_state::operation_enabled)
            enter(slow_down_to_);
    }
    if (power_ == power_state::quick_stop_active) {
        const int64_t option = param(0x605A);
        if (option == qs_slow_down || option == qs_quick_ramp)
            enter(power_state::switch_on_disabled);
    } else if (power_ == power_state::fault_reaction_active) {
        power_ = power_state::fault;
        motor_.set_enabled(false);
        motor_.end_ramp();
    }
}

void canopen_node::enter(power_state next)
{
    if (power_ == power_state::quick_stop_active && next != power_state::quick_stop_active)
        motor_.end_ramp();
    const bool was_on = power_ == power_state::operation_enabled || power_ == power_state::quick_stop_active;
    const bool is_on = next == power_state::operation_enabled || next == power_state::quick_stop_active;
    power_ = next;
    if (homing_busy() && next != power_state::operation_enabled)
        end_homing(homing_stage::interrupted);
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

void canopen_node::change_mode(int8_t m)
{
    if (m == mode_)
        return;
    mode_ = m;
    // Whatever the old mode was doing ends; the new one starts from rest.
    if (homing_busy())
        end_homing(homing_stage::interrupted);
    motor_.end_ramp();
    has_pending_setpoint_ = false;
    setpoint_ack_ = false;
    ip_running_ = false;
    if (power_ == power_state::operation_enabled) {
        motor_.halt();
        apply_continuous_targets();
    }
}

void canopen_node::apply_controlword(uint16_t cw)
{
    const uint16_t old = controlword_;
    controlword_ = cw;
    const bool rising = (cw & 0x80) && !(old & 0x80);

    if (power_ == power_state::fault_reaction_active)
        return;  // nothing but the reaction until it is done
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
    slowing_down_ = false;  // a new command replaces a slow-down under way

    if (!enable_voltage) {
        if (s != ps::switch_on_disabled)
            enter(ps::switch_on_disabled);
    } else if (!quick_stop_off) {
        if (s == ps::ready_to_switch_on || s == ps::switched_on)
            enter(ps::switch_on_disabled);
        else if (s == ps::operation_enabled)
            quick_stop();
    } else if (!switch_on) {
        if (s == ps::operation_enabled && param(0x605B) == option_slow_down)
            slow_down_to(ps::ready_to_switch_on);
        else if (s == ps::switch_on_disabled || s == ps::switched_on || s == ps::operation_enabled)
            enter(ps::ready_to_switch_on);
    } else if (!enable_operation) {
        if (s == ps::operation_enabled && param(0x605C) == option_slow_down)
            slow_down_to(ps::switched_on);
        else if (s == ps::ready_to_switch_on || s == ps::operation_enabled)
            enter(ps::switched_on);
    } else {
        if (s == ps::ready_to_switch_on || s == ps::switched_on || s == ps::quick_stop_active)
            enter(ps::operation_enabled);
    }

    if (power_ != ps::operation_enabled)
        return;
    const bool halt_now = cw & 0x100;
    const bool halt_before = old & 0x100;
    if (halt_now && !halt_before) {
        motor_.halt();
        if (homing_busy())
            end_homing(homing_stage::interrupted);
    }
    else if (!halt_now && halt_before && (mode_ == 3 || mode_ == 4))
        apply_continuous_targets();

    if (mode_ == mode_homing) {
        // Bit 4 rising starts homing, falling interrupts it; a halt keeps it from starting.
        const bool start = (cw & 0x10) && !(old & 0x10);
        if (start && !halt_now)
            start_homing();
        else if (!(cw & 0x10) && (old & 0x10) && homing_busy())
            end_homing(homing_stage::interrupted);
    }

    if (mode_ == 1) {
        const bool new_setpoint = (cw & 0x10) && !(old & 0x10);
        if (!(cw & 0x10))
            setpoint_ack_ = false;
        if (new_setpoint && !halt_now) {
            int64_t target = target_position();
            if (cw & 0x40) {
                const bool moving = motor_.current_mode() == motor_model::mode::position;
                target += moving ? motor_.target_position() : motor_.position();
            }
            setpoint_ack_ = true;
            // Without "change set immediately" a running move finishes first.
            target = within_limits(target);
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
    return static_cast<int32_t>(static_cast<int64_t>(permille) * param(0x6075) / 1000);
}

int16_t canopen_node::permille_of_rated(int32_t current_ma) const
{
    const int64_t p = static_cast<int64_t>(current_ma) * 1000 / std::max<int64_t>(1, param(0x6075));
    return static_cast<int16_t>(std::max<int64_t>(-32768, std::min<int64_t>(32767, p)));
}

void canopen_node::apply_continuous_targets()
{
    if (power_ != power_state::operation_enabled)
        return;
    if (mode_ == 3)
        motor_.run_at(halted() ? 0 : target_velocity());
    else if (mode_ == 4)
        motor_.apply_torque(halted() ? 0 : current_ma_from_permille(target_torque()), param(0x6080));
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
        const int32_t target = static_cast<int32_t>(
            within_limits(static_cast<int32_t>(uint32_t(param(0x60C1, 2)) << 16 | uint32_t(param(0x60C1, 1)))));
        if (!ip_running_ || target != ip_target_)
            motor_.move_to(target);
        ip_running_ = true;
        ip_target_ = target;
        return;
    }
    case 8: {
        const int64_t target = within_limits(target_position());
        const int64_t step = target - motor_.position();
        const int64_t window = param(0x6065);
        if (window != 0xFFFFFFFFLL && (step > window || -step > window)) {
            raise_fault(error_following);
            return;
        }
        motor_.follow(target);
        return;
    }
    case 9:
        motor_.run_at(halted() ? 0 : target_velocity());
        return;
    case 10:
        motor_.apply_torque(halted() ? 0 : current_ma_from_permille(target_torque()), param(0x6080));
        return;
    default:
        return;
    }
}

void canopen_node::raise_fault(uint16_t code)
{
    fault_code_ = code;
    const bool was_on = power_ == power_state::operation_enabled || power_ == power_state::quick_stop_active;
    const int64_t reaction = param(0x605E);
    slowing_down_ = false;
    motor_.end_ramp();
    if (was_on && motor_.enabled() && (reaction == option_slow_down || reaction == option_quick_ramp)) {
        // Down a ramp with the power stage on, then off: "fault reaction active" meanwhile.
        power_ = power_state::fault_reaction_active;
        if (reaction == option_quick_ramp)
            motor_.use_ramp(motor_.profile_speed(), param(0x6085));
        motor_.halt();
    } else {
        power_ = power_state::fault;
        if (was_on || motor_.enabled())
            motor_.set_enabled(false);
    }
    has_pending_setpoint_ = false;
    ip_running_ = false;
    setpoint_ack_ = false;
    if (homing_busy())
        end_homing(homing_stage::error);
    queue_emcy(code);
}

void canopen_node::inject_fault(uint16_t code)
{
    if (code == 0)
        return;
    raise_fault(code);
}

void canopen_node::flush_emcy(std::vector<vci::can_message> &out)
{
    if (nmt_ != nmt_state::stopped && configured())
        out.insert(out.end(), pending_emcy_.begin(), pending_emcy_.end());
    pending_emcy_.clear();
}

void canopen_node::queue_emcy(uint16_t code)
{
    vci::can_message m;
    m.id = emcy_base + static_cast<uint32_t>(node_);
    m.len = 8;
    put_le(code, m.data, 2);
    // The error that sends it stands by now, so 0x1001 read next says the same.
    m.data[2] = error_register_now();
    pending_emcy_.push_back(m);
    if (code != 0) {
        error_history_.insert(error_history_.begin(), code);
        if (error_history_.size() > history_entries)
            error_history_.pop_back();
    }
}

}  // namespace sim
