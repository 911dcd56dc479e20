#include "joints/joint_table.h"

#include "base/desktop_seams.h"
#include "canopen/canopen_frames.h"
#include "canopen/cia402.h"
#include "canopen/joint_guard.h"
#include "canopen/nmt_state.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/sdo_client.h"
#include "custom_protocol/custom_exchange.h"
#include "motion/joint_names.h"
#include "node/node_state.h"

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
// The walk takes four steps from "fault"; a drive between states gets a few looks more.
constexpr int enable_steps = 8;

QString name_key(const joint_address &a) { return motion::joint_name_key(a.bus, a.node); }

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

QString saved_name(const joint_address &address)
{
    const QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    return s.value(name_key(address)).toString();
}

void save_name(const joint_address &address, const QString &name)
{
    QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    if (name.isEmpty())
        s.remove(name_key(address));
    else
        s.setValue(name_key(address), name);
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

bool joint_table::poll_next()
{
    if (rows_.empty())
        return false;
    if (poll_row_ >= rows_.size())
        poll_row_ = 0;
    joint_state &j = rows_[poll_row_];
    uint32_t v = 0;
    int32_t c = 0;
    // The statusword every other look, so that the state is never older than half a round.
    constexpr int canopen_items = 8;
    constexpr int custom_items = 4;
    const int items = j.protocol == joint_protocol::canopen ? canopen_items : custom_items;
    const int item = j.next_look % items;
    if (j.protocol == joint_protocol::canopen) {
        switch (item) {
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
    j.next_look = (item + 1) % items;
    ++poll_row_;
    if (poll_row_ >= rows_.size())
        poll_row_ = 0;
    return true;
}

void joint_table::enable_canopen(joint_state &j)
{
    // The drive watches Velmora's heartbeat before it is enabled, so that a program that dies
    // from here on leaves it stopped.
    const canopen::guard_result guard = canopen::engage_guard(link_for(j.address), j.address.bus, j.address.node);
    j.guarded = canopen::guarded(j.address.bus, j.address.node);
    j.outcome_detail = guard.text;
    uint32_t v = 0;
    for (int step = 0; step < enable_steps; ++step) {
        if (!read_u(j.address, canopen::object::statusword, 0, &v)) {
            j.statusword_known = false;
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = QStringLiteral("no answer");
            return;
        }
        j.statusword_known = true;
        j.statusword = static_cast<uint16_t>(v);
        uint16_t cw = 0;
        switch (canopen::state_of(j.statusword)) {
        case canopen::drive_state::operation_enabled:
            j.enabled = true;
            j.outcome = action_outcome::enabled;
            return;
        case canopen::drive_state::fault:
            // The reset acts on the rising edge of bit 7.
            write_u(j.address, canopen::object::controlword, 0, canopen::cw_disable_voltage, 2);
            cw = canopen::cw_fault_reset;
            break;
        case canopen::drive_state::switch_on_disabled: cw = canopen::cw_shutdown; break;
        case canopen::drive_state::ready_to_switch_on: cw = canopen::cw_switch_on; break;
        case canopen::drive_state::switched_on: cw = canopen::cw_enable_operation; break;
        case canopen::drive_state::quick_stop_active: cw = canopen::cw_disable_voltage; break;
        default: continue;
        }
        QString why;
        if (!write_u(j.address, canopen::object::controlword, 0, cw, 2, &why)) {
            j.outcome = action_outcome::enable_failed;
            j.outcome_detail = why;
            return;
        }
    }
    j.outcome = action_outcome::enable_failed;
    j.outcome_detail = canopen::enable_failed_text(true, j.statusword);
}

void joint_table::enable(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
    j.outcome_detail.clear();
    if (j.protocol == joint_protocol::canopen) {
        enable_canopen(j);
        return;
    }
    int32_t v = 0;
    const bool confirmed = custom_ask(j.address, write_enable_state(true), &v)
                           && custom_ask(j.address, custom_read(custom_register::enable_state), &v) && v == 1;
    j.enabled = confirmed;
    j.outcome = confirmed ? action_outcome::enabled : action_outcome::enable_failed;
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

// An enabled CiA 402 row, or why the action is refused (in j's outcome).
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

void joint_table::move_to(int row, int32_t target)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    joint_state &j = rows_[row];
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
    if (j.protocol != joint_protocol::canopen)
        return;
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
            if (j.protocol == joint_protocol::custom && outs[i].succeeded())
                custom_ask(j.address, custom_write(custom_register::analog_target, 0, QString(), 0), &ignored);
        }
    }
    return report;
}

stop_report joint_table::stop_all()
{
    std::vector<int> which;
    // A joint another window or a script enabled is stopped too, once the poll saw it enabled.
    for (size_t i = 0; i < rows_.size(); ++i) {
        const joint_state &j = rows_[i];
        const bool seen_enabled = j.protocol == joint_protocol::canopen && j.statusword_known
                                  && canopen::state_of(j.statusword) == canopen::drive_state::operation_enabled;
        if (j.enabled || seen_enabled)
            which.push_back(static_cast<int>(i));
    }
    return stop(which);
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
