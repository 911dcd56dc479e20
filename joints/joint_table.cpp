#include "joints/joint_table.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "canopen/canopen_frames.h"
#include "canopen/cia402.h"
#include "canopen/joint_guard.h"
#include "canopen/nmt_state.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/sdo_client.h"
#include "custom_protocol/custom_exchange.h"
#include "custom_protocol/guardian_link.h"
#include "base/joint_names.h"
#include "node/node_state.h"
#include "objects/node_discovery.h"

#include <QSettings>
#include <algorithm>

namespace joints {

namespace {

// A heartbeat older than this no longer lists a node (a slow bench's heartbeats still do).
constexpr int64_t heard_within_us = 10 * 1000 * 1000;
// Nodes a heartbeat may come from.
constexpr int last_canopen_node = 127;
constexpr uint32_t emcy_base = 0x080;
// Window for the answers of one Stop all batch: a drive answers an SDO in well under a
// millisecond; a missing answer should not keep the window waiting longer than this.
constexpr int stop_window_ms = 100;

canopen::sdo_link link_for(const joint_address &a)
{
    const exchange_bus *ops = ops_for_bus(a.bus);
    return canopen::exchange_sdo_link(ops ? *ops : adapter_bus_ops(), a.node, canopen::sdo_timeout_ms, monitor_sink());
}

QByteArray little_endian(uint32_t value, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>(value >> (8 * i));
    return b;
}

uint32_t from_little_endian(const QByteArray &b)
{
    uint32_t v = 0;
    for (int i = 0; i < b.size() && i < 4; ++i)
        v |= uint32_t(uint8_t(b[i])) << (8 * i);
    return v;
}

}  // namespace

QString saved_name(const joint_address &address) { return joint_names::saved_joint_name(address.bus, address.node); }

void save_name(const joint_address &address, const QString &name)
{
    joint_names::save_joint_name(address.bus, address.node, name);
}

int joint_table::find(const joint_address &address) const
{
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].address == address)
            return static_cast<int>(i);
    return -1;
}

int joint_table::add(const joint_address &address, joint_protocol protocol)
{
    const int found = find(address);
    if (found >= 0) {
        // A node that answers both protocols is driven as the CANopen joint it also is.
        if (protocol == joint_protocol::canopen && rows_[found].protocol == joint_protocol::custom && !rows_[found].enabled)
            rows_[found].protocol = joint_protocol::canopen;
        return found;
    }
    joint_state j;
    j.address = address;
    j.protocol = protocol;
    j.name = saved_name(address);
    if (j.name.isEmpty())
        j.name = QStringLiteral("J%1").arg(address.node);
    rows_.push_back(j);
    return static_cast<int>(rows_.size()) - 1;
}

void joint_table::rename(int row, const QString &name)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    rows_[row].name = name;
    save_name(rows_[row].address, name);
}

bool joint_table::take_heard()
{
    const size_t before = rows_.size();
    const int64_t now = bus_clock_us();
    for (int bus = 0; bus < bus_count(); ++bus) {
        for (int node = 1; node <= last_canopen_node; ++node) {
            const heard_frame hb = last_heard(bus, canopen::error_control_base + static_cast<uint32_t>(node));
            if (hb.t_us >= 0 && hb.len >= 1 && now - hb.t_us <= heard_within_us)
                add({bus, node}, joint_protocol::canopen);
        }
    }
    // A discovery of the object dictionary, made before this window was opened too.
    for (const objects::discovered &d : objects::discovered_nodes())
        if (d.bus < bus_count())
            add({d.bus, d.node}, joint_protocol::canopen);
    // The node window's scan finds the joints of the maker's protocol (bus 0).
    for (int i = 0; i < found_node_count && i < max_found_nodes; ++i)
        if (found_nodes[i] > 0)
            add({0, found_nodes[i]}, joint_protocol::custom);
    for (joint_state &j : rows_) {
        if (j.protocol != joint_protocol::canopen)
            continue;
        const heard_frame hb = last_heard(j.address.bus, canopen::error_control_base + static_cast<uint32_t>(j.address.node));
        if (hb.t_us >= 0 && hb.len >= 1) {
            j.heartbeat_us = hb.t_us;
            j.nmt = hb.data[0] & 0x7F;
            // A drive that booted since its TPDOs were read may have others now.
            if (j.nmt == canopen::nmt_boot_up && j.pdos_read && hb.t_us > j.pdos_read_us) {
                j.tpdos.clear();
                j.pdos_read = false;
                j.pdo_number = 0;
                j.pdo_phase = 0;
            }
        }
        const heard_frame emcy = last_heard(j.address.bus, emcy_base + static_cast<uint32_t>(j.address.node));
        if (emcy.t_us >= 0 && emcy.len >= 2) {
            j.emcy_us = emcy.t_us;
            j.emcy_code = static_cast<uint16_t>(emcy.data[0] | emcy.data[1] << 8);
        }
    }
    return rows_.size() != before;
}

bool joint_table::custom_ask(const joint_address &a, const custom_request &request, int32_t *value) const
{
    const exchange_bus *ops = ops_for_bus(a.bus);
    if (!ops)
        return false;
    const uint32_t request_id = custom_id::request_base + static_cast<uint32_t>(a.node);
    exchange_request frame(request_id, request.data, request.length, custom_reply_window_ms);
    frame.wait = wait_policy::until_reply;
    const bool unknown = custom_learned_reply_id(request_id, a.bus) == 0;
    const exchange_outcome out =
        custom_transaction(*ops, frame, request.read ? custom_reply_shape::value : custom_reply_shape::value_or_ack,
                           exchange_hooks(), unknown ? custom_other_traffic(a.bus) : std::vector<uint32_t>());
    if (!out.answered)
        return false;
    if (unknown)
        custom_learn_reply_id(request_id, out.reply.id, a.bus);
    *value = custom_reply_value(out.reply.data, static_cast<uint8_t>(bus_frame_bytes(out.reply)));
    return true;
}

bool joint_table::read_u(const joint_address &a, uint16_t index, uint8_t sub, uint32_t *value) const
{
    if (!ops_for_bus(a.bus))
        return false;
    const canopen::sdo_outcome out = canopen::read_object(link_for(a), index, sub);
    if (!out.ok)
        return false;
    *value = from_little_endian(out.data);
    return true;
}

bool joint_table::write_u(const joint_address &a, uint16_t index, uint8_t sub, uint32_t value, int size, QString *why) const
{
    if (!ops_for_bus(a.bus)) {
        if (why)
            *why = QStringLiteral("no bus %1").arg(a.bus);
        return false;
    }
    const canopen::sdo_outcome out = canopen::write_object(link_for(a), index, sub, little_endian(value, size));
    if (!out.ok && why)
        *why = out.server_aborted ? canopen::abort_text(out.abort) : QStringLiteral("no answer");
    return out.ok;
}

namespace {

// A TPDO's value counts as the drive's present one this long; older ones are polled.
constexpr int64_t pdo_fresh_us = 100 * 1000;

bool fresh(int64_t t_us) { return t_us >= 0 && bus_clock_us() - t_us <= pdo_fresh_us; }

// Whether the poll's look `item` of a CiA 402 joint (see poll_next) is what TPDOs brought lately.
bool pdo_fresh(const joint_state &j, int item)
{
    switch (item) {
    case 0:
    case 2:
    case 4:
    case 6: return fresh(j.pdo_statusword_us);
    case 1: return fresh(j.pdo_position_us);
    case 3: return fresh(j.pdo_velocity_us);
    case 5: return fresh(j.pdo_mode_us) && fresh(j.pdo_effort_us);
    default: return fresh(j.pdo_error_us);
    }
}

}  // namespace

void take_pdos(joint_state &j)
{
    for (joint_state::tpdo &p : j.tpdos) {
        const heard_frame f = last_heard(j.address.bus, p.cob_id);
        if (f.t_us < 0 || f.t_us <= p.taken_us)
            continue;
        p.taken_us = f.t_us;
        uint32_t raw = 0;
        int bits = 0;
        auto mapped = [&](uint16_t index) { return canopen::pdo_mapped_value(p.map, f.data, f.len, index, 0, &raw, &bits); };
        if (mapped(canopen::object::statusword) && bits == 16) {
            j.statusword = static_cast<uint16_t>(raw);
            j.statusword_known = true;
            j.pdo_statusword_us = f.t_us;
        }
        if (mapped(canopen::object::position_actual_value) && bits == 32) {
            j.position = static_cast<int32_t>(raw);
            j.values_known = true;
            j.pdo_position_us = f.t_us;
        }
        if (mapped(canopen::object::velocity_actual_value) && bits == 32) {
            j.velocity = static_cast<int32_t>(raw);
            j.pdo_velocity_us = f.t_us;
        }
        if (mapped(canopen::object::torque_actual_value) && bits == 16) {
            j.effort = static_cast<int16_t>(raw);
            j.pdo_effort_us = f.t_us;
        }
        if (mapped(canopen::object::modes_of_operation_display) && bits == 8) {
            j.mode = static_cast<int8_t>(raw);
            j.mode_known = true;
            j.pdo_mode_us = f.t_us;
        }
        if (mapped(canopen::object::error_code) && bits == 16) {
            j.error_code = static_cast<uint16_t>(raw);
            j.error_known = true;
            j.pdo_error_us = f.t_us;
        }
    }
}

void joint_table::read_pdo_parameters(joint_state &j) const
{
    constexpr int tpdo_count = 4;
    constexpr uint32_t cob_not_valid = 0x80000000u;
    constexpr uint32_t cob_extended = 0x20000000u;
    constexpr int most_entries = 64;
    auto next = [&j] {
        ++j.pdo_number;
        j.pdo_phase = 0;
        j.pdo_reading = joint_state::tpdo();
        if (j.pdo_number >= tpdo_count) {
            j.pdos_read = true;
            j.pdos_read_us = bus_clock_us();
        }
    };
    const auto comm = static_cast<uint16_t>(canopen::object::tpdo1_communication + j.pdo_number);
    const auto map = static_cast<uint16_t>(canopen::object::tpdo1_mapping + j.pdo_number);
    uint32_t v = 0;
    switch (j.pdo_phase) {
    case 0:
        // A PDO that is not valid, or on an extended identifier, brings nothing the window takes.
        if (!read_u(j.address, comm, canopen::pdo_cob_id, &v) || (v & (cob_not_valid | cob_extended))) {
            next();
            return;
        }
        j.pdo_reading.cob_id = v & 0x7FF;
        j.pdo_phase = 1;
        return;
    case 1:
        if (!read_u(j.address, map, 0, &v) || v == 0 || v > most_entries) {
            next();
            return;
        }
        j.pdo_count = static_cast<int>(v);
        j.pdo_phase = 2;
        return;
    default:
        if (!read_u(j.address, map, static_cast<uint8_t>(j.pdo_reading.map.size() + 1), &v)) {
            next();
            return;
        }
        j.pdo_reading.map.push_back(v);
        if (static_cast<int>(j.pdo_reading.map.size()) >= j.pdo_count) {
            j.tpdos.push_back(j.pdo_reading);
            next();
        }
        return;
    }
}

void joint_table::read_homing_method(joint_state &j) const
{
    constexpr uint16_t supported_homing_methods = 0x60E3;
    if (j.methods_count < 0) {
        uint32_t v = 0;
        // A drive without the object leaves the standard list to choose from.
        if (!read_u(j.address, supported_homing_methods, 0, &v) || v > 254) {
            j.methods_read = true;
            return;
        }
        j.methods_count = static_cast<int>(v);
        j.methods_read = v == 0;
        return;
    }
    const int sub = static_cast<int>(j.homing_methods.size()) + 1;
    const canopen::sdo_outcome out = canopen::read_object(link_for(j.address), supported_homing_methods, static_cast<uint8_t>(sub));
    if (!out.ok || out.data.isEmpty() || out.data.size() > 2) {
        j.homing_methods.clear();
        j.methods_read = true;
        return;
    }
    // INTEGER8 in older drives, INTEGER16 in newer ones: signed by the size given.
    const uint32_t raw = from_little_endian(out.data);
    j.homing_methods.push_back(out.data.size() == 1 ? static_cast<int8_t>(raw) : static_cast<int16_t>(raw));
    j.methods_read = static_cast<int>(j.homing_methods.size()) >= j.methods_count;
}

bool joint_table::poll_next()
{
    if (rows_.empty())
        return false;
    if (poll_row_ >= rows_.size())
        poll_row_ = 0;
    joint_state &j = rows_[poll_row_];
    // A job's segmented transfer to this drive would end at an SDO of ours: its bus waits.
    if (job_busy(j.address.bus)) {
        poll_row_ = (poll_row_ + 1) % rows_.size();
        return false;
    }
    uint32_t v = 0;
    int32_t c = 0;
    // The statusword every other look, so that the state is never older than half a round.
    constexpr int canopen_items = 8;
    constexpr int custom_items = 4;
    const int items = j.protocol == joint_protocol::canopen ? canopen_items : custom_items;
    const int item = j.next_look % items;
    if (j.protocol == joint_protocol::canopen) {
        // Once a round, until they are known, one read of the TPDOs' parameters or of the
        // supported homing methods.
        if ((!j.pdos_read || !j.methods_read) && item == 0 && !j.extra_turn) {
            j.extra_turn = true;
            if (!j.pdos_read)
                read_pdo_parameters(j);
            else
                read_homing_method(j);
            poll_row_ = (poll_row_ + 1) % rows_.size();
            return true;
        }
        j.extra_turn = false;
        take_pdos(j);
    }
    // What a TPDO brought lately is not asked again.
    int looked = item;
    for (int k = 0; k < items && j.protocol == joint_protocol::canopen && pdo_fresh(j, looked); ++k)
        looked = (looked + 1) % items;
    if (j.protocol == joint_protocol::canopen && pdo_fresh(j, looked)) {
        poll_row_ = (poll_row_ + 1) % rows_.size();
        return true;
    }
    if (j.protocol == joint_protocol::canopen) {
        switch (looked) {
        case 0:
        case 2:
        case 4:
        case 6:
            j.statusword_known = read_u(j.address, canopen::object::statusword, 0, &v);
            j.statusword = static_cast<uint16_t>(v);
            break;
        case 1:
            if (read_u(j.address, canopen::object::position_actual_value, 0, &v)) {
                j.position = static_cast<int32_t>(v);
                j.values_known = true;
            }
            break;
        case 3:
            if (read_u(j.address, canopen::object::velocity_actual_value, 0, &v))
                j.velocity = static_cast<int32_t>(v);
            break;
        case 5:
            j.mode_known = read_u(j.address, canopen::object::modes_of_operation_display, 0, &v);
            j.mode = static_cast<int8_t>(v);
            if (read_u(j.address, canopen::object::torque_actual_value, 0, &v))
                j.effort = static_cast<int16_t>(v);
            break;
        default:
            j.error_known = read_u(j.address, canopen::object::error_code, 0, &v);
            j.error_code = static_cast<uint16_t>(v);
            break;
        }
    } else {
        switch (item) {
        case 0:
            if (custom_ask(j.address, read_actual_position(), &c)) {
                j.position = c;
                j.values_known = true;
            }
            break;
        case 1:
            if (custom_ask(j.address, read_actual_speed(), &c))
                j.velocity = c;
            break;
        case 2:
            if (custom_ask(j.address, read_actual_current(), &c))
                j.effort = c;
            break;
        default:
            j.error_known = custom_ask(j.address, read_error_code(), &c);
            j.error_code = static_cast<uint16_t>(c);
            break;
        }
    }
    // Each joint in turn gets one look, so that a row's state is at most one round old.
    j.next_look = (looked + 1) % items;
    ++poll_row_;
    if (poll_row_ >= rows_.size())
        poll_row_ = 0;
    return true;
}

namespace {

// The phases of a CiA 402 walk; the maker's enable is its write and its read-back.
enum walk_phase { walk_guard, walk_look, walk_command, walk_custom_read };

}  // namespace

bool joint_table::enable_canopen_step(joint_state &j, enable_walk &w)
{
    // Between states the drive gets a few milliseconds before the next look.
    constexpr int64_t settle_look_us = 10 * 1000;
    switch (w.phase) {
    case walk_guard: {
        // The drive watches Velmora's heartbeat before it is enabled, so that a program that
        // dies from here on leaves it stopped.
        const canopen::guard_result guard = canopen::engage_guard(link_for(j.address), j.address.bus, j.address.node);
        j.guarded = canopen::guarded(j.address.bus, j.address.node);
        j.outcome_detail = guard.text;
        w.phase = walk_look;
        return true;
    }
    case walk_look: {
        const int64_t now = bus_clock_us();
        if (w.settle_since_us >= 0 && now < w.next_look_us)
            return true;
        if (w.looks >= canopen::enable_looks) {
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = canopen::enable_failed_text(true, j.statusword);
            return false;
        }
        uint32_t v = 0;
        if (!read_u(j.address, canopen::object::statusword, 0, &v)) {
            j.statusword_known = false;
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = QStringLiteral("no answer");
            return false;
        }
        j.statusword_known = true;
        j.statusword = static_cast<uint16_t>(v);
        const canopen::enable_command c = canopen::next_enable_command(j.statusword, w.looks);
        switch (c.what) {
        case canopen::enable_command::action::done:
            j.enabled = true;
            j.outcome = action_outcome::enabled;
            return false;
        case canopen::enable_command::action::settle:
            // Such a look counts as none, within a bound of its own.
            if (w.settle_since_us < 0)
                w.settle_since_us = now;
            if (now - w.settle_since_us > int64_t(canopen::enable_settle_ms) * 1000) {
                j.outcome = action_outcome::enable_failed;
                j.outcome_detail = canopen::enable_failed_text(true, j.statusword);
                return false;
            }
            w.next_look_us = now + settle_look_us;
            return true;
        case canopen::enable_command::action::send:
            ++w.looks;
            w.command = c;
            w.sent = 0;
            w.phase = walk_command;
            return true;
        }
        return true;
    }
    default: {
        QString why;
        const uint16_t cw = w.command.controlwords[w.sent];
        if (!write_u(j.address, canopen::object::controlword, 0, cw, 2, &why)) {
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = why;
            return false;
        }
        if (++w.sent >= w.command.count)
            w.phase = walk_look;
        return true;
    }
    }
}

bool joint_table::enable_step(enable_walk &w)
{
    if (w.row < 0 || w.row >= static_cast<int>(rows_.size()))
        return false;
    joint_state &j = rows_[w.row];
    if (j.protocol == joint_protocol::canopen) {
        if (w.phase == walk_guard)
            j.outcome_detail.clear();
        return enable_canopen_step(j, w);
    }
    int32_t v = 0;
    if (w.phase != walk_custom_read) {
        j.outcome_detail.clear();
        w.phase = walk_custom_read;
        if (custom_ask(j.address, write_enable_state(true), &v))
            return true;
    } else if (custom_ask(j.address, custom_read(custom_register::enable_state), &v) && v == 1) {
        j.enabled = true;
        j.outcome = action_outcome::enabled;
        return false;
    }
    j.enabled = false;
    j.outcome = action_outcome::enable_failed;
    return false;
}

void joint_table::enable(int row)
{
    enable_walk w;
    w.row = row;
    while (enable_step(w)) {
    }
}

void joint_table::disable(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    j.outcome_detail.clear();
    bool confirmed = false;
    if (j.protocol == joint_protocol::canopen) {
        uint32_t v = 0;
        if (write_u(j.address, canopen::object::controlword, 0, canopen::cw_shutdown, 2, &j.outcome_detail)
            && read_u(j.address, canopen::object::statusword, 0, &v)) {
            j.statusword_known = true;
            j.statusword = static_cast<uint16_t>(v);
            confirmed = canopen::state_of(j.statusword) != canopen::drive_state::operation_enabled;
        }
        // The guard is put back only once the drive no longer drives the joint.
        if (confirmed) {
            const canopen::guard_result g = canopen::release_guard(link_for(j.address), j.address.bus, j.address.node);
            if (!g.text.isEmpty())
                j.outcome_detail = g.text;
            j.guarded = canopen::guarded(j.address.bus, j.address.node);
        }
    } else {
        int32_t v = 0;
        confirmed = custom_ask(j.address, write_enable_state(false), &v)
                    && custom_ask(j.address, custom_read(custom_register::enable_state), &v) && v == 0;
        if (confirmed)
            guardian_link::at_rest(j.address.node, guardian_link::motion::all, j.address.bus);
    }
    if (confirmed)
        j.enabled = false;
    j.outcome = confirmed ? action_outcome::disabled : action_outcome::disable_failed;
}

void joint_table::halt(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    j.outcome_detail.clear();
    bool confirmed = false;
    if (j.protocol == joint_protocol::canopen) {
        confirmed = write_u(j.address, canopen::object::controlword, 0,
                            canopen::cw_enable_operation | canopen::cw_halt_bit, 2, &j.outcome_detail);
    } else {
        int32_t v = 0;
        confirmed = custom_ask(j.address, write_stop_motion(), &v);
        if (confirmed)
            guardian_link::at_rest(j.address.node, guardian_link::motion::profile, j.address.bus);
    }
    j.outcome = confirmed ? action_outcome::halted : action_outcome::halt_unconfirmed;
}

void joint_table::fault_reset(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    j.outcome_detail.clear();
    if (j.protocol != joint_protocol::canopen) {
        j.outcome = action_outcome::fault_remains;
        j.outcome_detail = QStringLiteral("仅CANopen关节/CANopen joints only");
        return;
    }
    uint32_t v = 0;
    // The reset acts on the rising edge of bit 7: from a controlword without it.
    const bool written =
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_disable_voltage, 2, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_fault_reset, 2, &j.outcome_detail) &&
        read_u(j.address, canopen::object::statusword, 0, &v);
    if (written) {
        j.statusword_known = true;
        j.statusword = static_cast<uint16_t>(v);
    }
    j.outcome = written && !(j.statusword & canopen::sw_bit::fault) ? action_outcome::fault_reset
                                                                   : action_outcome::fault_remains;
    if (j.outcome == action_outcome::fault_reset)
        j.enabled = false;  // the reset leaves it in switch on disabled
}

namespace {

// A CiA 402 row, or why the action is refused (in j's outcome).
bool ready_to_move(joint_state &j, action_outcome refused)
{
    j.outcome_detail.clear();
    j.outcome = refused;
    if (j.protocol != joint_protocol::canopen) {
        j.outcome_detail = QStringLiteral("仅CANopen关节/CANopen joints only");
        return false;
    }
    return true;
}

QString custom_no_answer(const custom_request &request)
{
    return QStringLiteral("无应答/no answer to %1").arg(hex::bytes(request.data, request.length));
}

}  // namespace

bool joint_table::enabled_now(joint_state &j) const
{
    uint32_t sw = 0;
    if (!read_u(j.address, canopen::object::statusword, 0, &sw))
        return false;
    j.statusword_known = true;
    j.statusword = static_cast<uint16_t>(sw);
    if (canopen::state_of(j.statusword) == canopen::drive_state::operation_enabled)
        return true;
    j.outcome_detail = QStringLiteral("未使能/not enabled");
    return false;
}

bool joint_table::custom_enabled_now(joint_state &j) const
{
    int32_t v = 0;
    if (!custom_ask(j.address, custom_read(custom_register::enable_state), &v)) {
        j.outcome_detail = QStringLiteral("无应答/no answer");
        return false;
    }
    if (v == 1)
        return true;
    j.outcome_detail = QStringLiteral("未使能/not enabled");
    return false;
}

bool joint_table::custom_write_ok(const joint_address &a, const custom_request &request, QString *why) const
{
    int32_t ignored = 0;
    if (custom_ask(a, request, &ignored))
        return true;
    *why = custom_no_answer(request);
    return false;
}

bool joint_table::start_custom_motion(joint_state &j) const
{
    // Told before the start goes out: a program that dies from here on leaves the guardian to
    // stop the joint (the maker's protocol has no heartbeat of ours to watch).
    guardian_link::moving(j.address.node, guardian_link::motion::profile, j.address.bus);
    return custom_write_ok(j.address, write_start_motion(start_kind::motion), &j.outcome_detail);
}

void joint_table::custom_move_to(joint_state &j, int32_t target)
{
    j.outcome_detail.clear();
    j.outcome = action_outcome::move_refused;
    if (!custom_enabled_now(j))
        return;
    const joint_address &a = j.address;
    const bool started = custom_write_ok(a, write_control_mode(custom_control_mode::position), &j.outcome_detail) &&
                         custom_write_ok(a, write_motion_mode(custom_motion_mode::unidirectional), &j.outcome_detail) &&
                         custom_write_ok(a, write_relative_distance_zero(), &j.outcome_detail) &&
                         custom_write_ok(a, custom_write(custom_register::target_position, target, QString(), 0), &j.outcome_detail) &&
                         start_custom_motion(j);
    if (started) {
        j.outcome = action_outcome::move_started;
        j.outcome_detail = QString::number(target);
    }
}

void joint_table::custom_jog(joint_state &j, int32_t speed)
{
    j.outcome_detail.clear();
    j.outcome = action_outcome::move_refused;
    if (!custom_enabled_now(j))
        return;
    const joint_address &a = j.address;
    // What the jog changes is read first, so that its end leaves the drive as it was.
    if (!j.jog_saved) {
        if (!custom_ask(a, custom_read(custom_register::control_mode), &j.saved_control_mode) ||
            !custom_ask(a, custom_read(custom_register::motion_mode), &j.saved_motion_mode) ||
            !custom_ask(a, read_profile_speed(), &j.saved_profile_speed)) {
            j.outcome_detail = QStringLiteral("无应答/no answer");
            return;
        }
        j.jog_saved = true;
    }
    // The sign of the profile speed is the direction of continuous motion.
    const bool started = custom_write_ok(a, write_control_mode(custom_control_mode::position), &j.outcome_detail) &&
                         custom_write_ok(a, write_motion_mode(custom_motion_mode::continuous), &j.outcome_detail) &&
                         custom_write_ok(a, custom_write(custom_register::profile_speed, speed, QString(), 0), &j.outcome_detail) &&
                         start_custom_motion(j);
    if (started) {
        j.outcome = action_outcome::jogging;
        j.outcome_detail = QString::number(speed);
    }
}

void joint_table::custom_jog_end(joint_state &j)
{
    j.outcome_detail.clear();
    const joint_address &a = j.address;
    const bool stopped = custom_write_ok(a, write_stop_motion(), &j.outcome_detail);
    if (stopped)
        guardian_link::at_rest(a.node, guardian_link::motion::profile, a.bus);
    bool restored = true;
    if (j.jog_saved) {
        QString why;
        restored = custom_write_ok(a, custom_write(custom_register::profile_speed, j.saved_profile_speed, QString(), 0), &why) &&
                   custom_write_ok(a, write_motion_mode(j.saved_motion_mode), &why) &&
                   custom_write_ok(a, write_control_mode(j.saved_control_mode), &why);
        if (restored)
            j.jog_saved = false;
        else if (stopped)
            j.outcome_detail = QStringLiteral("设置未恢复/settings not put back: %1").arg(why);
    }
    j.outcome = stopped ? action_outcome::halted : action_outcome::halt_unconfirmed;
}

void joint_table::move_to(int row, int32_t target)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    if (j.protocol == joint_protocol::custom) {
        custom_move_to(j, target);
        return;
    }
    if (!ready_to_move(j, action_outcome::move_refused) || !enabled_now(j))
        return;
    const bool started =
        write_u(j.address, canopen::object::modes_of_operation, 0, static_cast<uint8_t>(canopen::mode_profile_position), 1,
                &j.outcome_detail) &&
        write_u(j.address, canopen::object::target_position, 0, static_cast<uint32_t>(target), 4, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_enable_immediate, 2, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_enable_immediate | canopen::cw_new_setpoint, 2,
                &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_enable_immediate, 2, &j.outcome_detail);
    if (started) {
        j.outcome = action_outcome::move_started;
        j.outcome_detail = QString::number(target);
    }
}

void joint_table::jog(int row, int32_t speed)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    if (j.protocol == joint_protocol::custom) {
        custom_jog(j, speed);
        return;
    }
    if (!ready_to_move(j, action_outcome::move_refused) || !enabled_now(j))
        return;
    const bool started =
        write_u(j.address, canopen::object::modes_of_operation, 0, static_cast<uint8_t>(canopen::mode_profile_velocity), 1,
                &j.outcome_detail) &&
        write_u(j.address, canopen::object::target_velocity, 0, static_cast<uint32_t>(speed), 4, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_enable_operation, 2, &j.outcome_detail);
    if (started) {
        j.outcome = action_outcome::jogging;
        j.outcome_detail = QString::number(speed);
    }
}

void joint_table::jog_end(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    if (j.protocol == joint_protocol::custom) {
        custom_jog_end(j);
        return;
    }
    j.outcome_detail.clear();
    // Both, so that a lost first write still leaves the second to stop it.
    const bool zero = write_u(j.address, canopen::object::target_velocity, 0, 0, 4, &j.outcome_detail);
    const bool halted = write_u(j.address, canopen::object::controlword, 0,
                                canopen::cw_enable_operation | canopen::cw_halt_bit, 2, &j.outcome_detail);
    j.outcome = zero && halted ? action_outcome::halted : action_outcome::halt_unconfirmed;
}

void joint_table::home(int row, int8_t method)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    if (!ready_to_move(j, action_outcome::move_refused) || !enabled_now(j))
        return;
    const bool started =
        write_u(j.address, canopen::object::modes_of_operation, 0, static_cast<uint8_t>(canopen::mode_homing), 1,
                &j.outcome_detail) &&
        write_u(j.address, canopen::object::homing_method, 0, static_cast<uint8_t>(method), 1, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_enable_operation, 2, &j.outcome_detail) &&
        write_u(j.address, canopen::object::controlword, 0, canopen::cw_homing_start, 2, &j.outcome_detail);
    if (started) {
        j.outcome = action_outcome::homing_started;
        j.outcome_detail = QString::number(method);
    }
}

bool joint_table::read_history(int row, std::vector<uint32_t> *codes, QString *why) const
{
    codes->clear();
    if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row].protocol != joint_protocol::canopen) {
        *why = QStringLiteral("仅CANopen关节/CANopen joints only");
        return false;
    }
    const joint_address &a = rows_[row].address;
    uint32_t count = 0;
    if (!read_u(a, 0x1003, 0, &count)) {
        *why = QStringLiteral("0x1003读取失败/0x1003 could not be read");
        return false;
    }
    // The count is the drive's to say; a history longer than the standard's 254 entries is not one.
    for (uint32_t sub = 1; sub <= count && sub <= 254; ++sub) {
        uint32_t code = 0;
        if (!read_u(a, 0x1003, static_cast<uint8_t>(sub), &code)) {
            *why = QStringLiteral("0x1003:%1读取失败/0x1003:%1 could not be read").arg(sub);
            return false;
        }
        codes->push_back(code);
    }
    return true;
}

bool joint_table::clear_history(int row, QString *why) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row].protocol != joint_protocol::canopen) {
        *why = QStringLiteral("仅CANopen关节/CANopen joints only");
        return false;
    }
    const joint_address &a = rows_[row].address;
    uint32_t count = 1;
    if (!write_u(a, 0x1003, 0, 0, 1, why))
        return false;
    if (!read_u(a, 0x1003, 0, &count) || count != 0) {
        *why = QStringLiteral("回读未确认/not confirmed by the read-back");
        return false;
    }
    return true;
}

stop_report joint_table::stop(const std::vector<int> &which)
{
    stop_report report;
    report.pressed_us = bus_clock_us();
    for (int bus = 0; bus < bus_count(); ++bus) {
        const exchange_bus *ops = ops_for_bus(bus);
        if (!ops)
            continue;
        std::vector<exchange_request> requests;
        std::vector<int> rows;
        for (int r : which) {
            if (r < 0 || r >= static_cast<int>(rows_.size()) || rows_[r].address.bus != bus)
                continue;
            const joint_state &j = rows_[r];
            const auto node = static_cast<uint32_t>(j.address.node);
            exchange_request q;
            q.wait = wait_policy::until_reply;
            if (j.protocol == joint_protocol::canopen) {
                const canopen::sdo_frame f =
                    canopen::sdo_download_request(canopen::object::controlword, 0, little_endian(canopen::cw_quick_stop, 2));
                q.id = canopen::sdo_request_base + node;
                std::copy(f.data, f.data + 8, q.data);
                q.length = 8;
                const uint8_t command = f.data[0];
                q.decoder = [node, command](const bus_frame &reply) {
                    if (reply.id != canopen::sdo_response_base + node)
                        return reply_verdict();
                    return canopen::sdo_answer_verdict(command, canopen::object::controlword, 0, reply.data, bus_frame_bytes(reply));
                };
            } else {
                const custom_request stop = write_stop_motion();
                q.id = custom_id::request_base + node;
                std::copy(stop.data, stop.data + 8, q.data);
                q.length = stop.length;
                // Only a node whose reply identifier the scan learned can be told apart in a
                // batch; another one's stop goes out all the same and stays unconfirmed.
                const uint32_t reply_id = custom_learned_reply_id(q.id, bus);
                q.decoder = [reply_id](const bus_frame &reply) {
                    reply_verdict v;
                    if (reply_id != 0 && reply.id == reply_id)
                        v.kind = reply_kind::reply;
                    return v;
                };
            }
            requests.push_back(q);
            rows.push_back(r);
        }
        if (requests.empty())
            continue;
        exchange_hooks hooks;
        hooks.sent = [&report](const bus_frame &) {
            report.last_sent_us = bus_clock_us();
            ++report.sent;
        };
        const std::vector<exchange_outcome> outs = run_exchange_batch(*ops, requests, stop_window_ms, hooks);
        for (size_t i = 0; i < outs.size() && i < rows.size(); ++i) {
            joint_state &j = rows_[rows[i]];
            const bool ok = outs[i].succeeded();
            j.outcome = ok ? action_outcome::stopped : action_outcome::stop_unconfirmed;
            j.outcome_detail.clear();
            if (outs[i].refused)
                j.outcome_detail = canopen::abort_text(outs[i].abort_code);
            else if (!outs[i].sent)
                j.outcome_detail = QStringLiteral("not sent");
            if (ok)
                ++report.confirmed;
        }
        // Speed and torque control of the maker's protocol also keep a zero analog target, as
        // the control window's stop does.
        for (size_t i = 0; i < outs.size() && i < rows.size(); ++i) {
            const joint_state &j = rows_[rows[i]];
            int32_t ignored = 0;
            if (j.protocol == joint_protocol::custom && outs[i].succeeded()) {
                guardian_link::at_rest(j.address.node, guardian_link::motion::profile, j.address.bus);
                if (custom_ask(j.address, custom_write(custom_register::analog_target, 0, QString(), 0), &ignored))
                    guardian_link::at_rest(j.address.node, guardian_link::motion::analog, j.address.bus);
            }
        }
    }
    return report;
}

stop_report joint_table::stop_all()
{
    std::vector<int> which;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (to_stop(rows_[i]))
            which.push_back(static_cast<int>(i));
    return stop(which);
}

bool joint_table::to_stop(const joint_state &j)
{
    // A joint another window or a script enabled is stopped too, once the poll saw it enabled.
    const bool seen_enabled = j.protocol == joint_protocol::canopen && j.statusword_known &&
                              canopen::state_of(j.statusword) == canopen::drive_state::operation_enabled;
    return j.enabled || seen_enabled;
}

enable_job::enable_job(joint_table &table, std::vector<int> rows, end_hook end)
    : table_(table), rows_(std::move(rows)), end_(std::move(end))
{
    if (!rows_.empty())
        walk_.row = rows_.front();
}

bool enable_job::step()
{
    if (next_ >= rows_.size())
        return false;
    if (table_.enable_step(walk_))
        return true;
    const int row = rows_[next_];
    if (row >= 0 && row < static_cast<int>(table_.rows().size()) && table_.rows()[row].outcome == action_outcome::enabled)
        ++enabled_;
    ++next_;
    walk_ = enable_walk();
    if (next_ >= rows_.size())
        return false;
    walk_.row = rows_[next_];
    return true;
}

void enable_job::cancel()
{
    // Nothing is owed to the drive (each write was one expedited transfer); the row under way
    // says it was not enabled.
    if (next_ < rows_.size()) {
        const int row = rows_[next_];
        if (row >= 0 && row < static_cast<int>(table_.rows().size())) {
            joint_state &j = table_.rows()[row];
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = QStringLiteral("已取消/cancelled");
        }
    }
    next_ = rows_.size();
}

void enable_job::ended(bool cancelled)
{
    if (end_)
        end_(enabled_, static_cast<int>(rows_.size()), cancelled);
}

QString state_text(const joint_state &j)
{
    if (j.protocol == joint_protocol::custom)
        return j.enabled ? QStringLiteral("使能/Enabled") : QStringLiteral("-");
    if (!j.statusword_known)
        return QStringLiteral("-");
    return canopen::state_text(canopen::state_of(j.statusword)).replace(QLatin1Char('\n'), QLatin1Char('/'));
}

QString outcome_text(const joint_state &j)
{
    QString text;
    switch (j.outcome) {
    case action_outcome::none: return QString();
    case action_outcome::enabled: text = QStringLiteral("已使能/enabled"); break;
    case action_outcome::enable_failed: text = QStringLiteral("使能失败/enable failed"); break;
    case action_outcome::disabled: text = QStringLiteral("已禁用/disabled"); break;
    case action_outcome::disable_failed: text = QStringLiteral("禁用未确认/disable not confirmed"); break;
    case action_outcome::stopped: text = QStringLiteral("已停止/stopped"); break;
    case action_outcome::stop_unconfirmed: text = QStringLiteral("停止未确认/stop not confirmed"); break;
    case action_outcome::halted: text = QStringLiteral("已暂停/halted"); break;
    case action_outcome::halt_unconfirmed: text = QStringLiteral("暂停未确认/halt not confirmed"); break;
    case action_outcome::fault_reset: text = QStringLiteral("故障已复位/fault reset"); break;
    case action_outcome::fault_remains: text = QStringLiteral("故障未复位/fault not reset"); break;
    case action_outcome::move_started: text = QStringLiteral("运动已开始/move started"); break;
    case action_outcome::move_refused: text = QStringLiteral("运动被拒绝/move refused"); break;
    case action_outcome::jogging: text = QStringLiteral("点动中/jogging"); break;
    case action_outcome::homing_started: text = QStringLiteral("回零已开始/homing started"); break;
    }
    return j.outcome_detail.isEmpty() ? text : text + QStringLiteral(": ") + j.outcome_detail;
}

}  // namespace joints
