#include "motion/joints.h"

#include "base/hex.h"
#include "canopen/cia402.h"
#include "canopen/cia_objects.h"
#include "canopen/joint_guard.h"
#include "canopen/sdo_client.h"
#include "canopen/value_codec.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <cstring>

namespace motion {

namespace {

using canopen::cw_disable_voltage;
using canopen::cw_quick_stop;
using canopen::mode_profile_position;
using canopen::mode_profile_velocity;
using canopen::sw_setpoint_acknowledge;
using canopen::sw_target_reached;
// Profile position: a new set-point replaces the running one; the target is a distance.
constexpr uint16_t cw_change_at_once = canopen::cw_bit::change_set_immediately;
constexpr uint16_t cw_relative = canopen::cw_bit::relative;


QString one_line(const QString &bilingual)
{
    return QString(bilingual).replace(QLatin1Char('\n'), QLatin1String(" / "));
}

// Methods 35 and 37 take the current position as home and move nowhere: the drive may have
// attained before the first look, so the start is never seen under way.
bool homes_on_the_spot(int8_t method) { return method == 35 || method == 37; }

QString object_name(uint16_t index, uint8_t sub)
{
    return hex::prefixed(index, 4) + QLatin1Char(':') + hex::digits(sub, 2);
}

}  // namespace

QString joint_name(const joint_key &key)
{
    const QString name = key.protocol == joint_protocol::canopen ? QStringLiteral("CANopen joint %1").arg(key.node)
                                                                 : QStringLiteral("custom joint %1").arg(key.node);
    return key.bus == 0 ? name : name + QStringLiteral(" on bus %1").arg(key.bus);
}

void joint::fail(const QString &what) const { throw joint_failure(joint_name(key_) + QStringLiteral(": ") + what); }

void joint::pause(int ms) const
{
    if (!bus_.pause(ms))
        throw joint_failure(QStringLiteral("stopped"));
}

// ---- the maker's protocol ------------------------------------------------------------------

int32_t custom_joint::ask(const custom_request &request, const QString &what)
{
    int32_t value = 0;
    if (!bus_.custom(key_.node, request, &value))
        fail(QStringLiteral("no answer to %1").arg(what));
    return value;
}

void joint::start_move_to(int32_t position, int timeout_ms)
{
    motion_ = pending_motion();
    const QString what = QStringLiteral("moveTo(%1)").arg(position);
    begin_move(position, false, timeout_or_default(timeout_ms), what);
    motion_.relative = false;
    motion_.active = true;
    motion_.started.start();
}

void joint::start_move_by(int32_t delta, int timeout_ms)
{
    motion_ = pending_motion();
    motion_.relative = true;
    begin_move(delta, true, timeout_or_default(timeout_ms), QStringLiteral("moveBy(%1)").arg(delta));
    motion_.relative = true;
    motion_.active = true;
    motion_.started.start();
}

bool joint::motion_done()
{
    if (!motion_.active)
        return true;
    bool done = false;
    try {
        done = look_at_motion();
    } catch (...) {
        // A failed move is over: a later wait does not report it twice.
        motion_.active = false;
        throw;
    }
    if (done)
        motion_.active = false;
    return done;
}

void joint::run_motion()
{
    while (!motion_done())
        pause(move_poll_ms);
}

void joint::wait_motion(int timeout_ms)
{
    if (timeout_ms > 0 && motion_.active && timeout_ms < motion_.timeout_ms - motion_.started.elapsed())
        motion_.timeout_ms = static_cast<int>(motion_.started.elapsed()) + timeout_ms;
    run_motion();
}

void custom_joint::enable()
{
    ask(write_enable_state(true), QStringLiteral("enable"));
    if (ask(custom_read(custom_register::enable_state), QStringLiteral("the power stage read")) != 1) {
        const int32_t code = ask(read_error_code(), QStringLiteral("the error code read"));
        fail(QStringLiteral("the power stage did not switch on (error code 0x%1)").arg(hex::lower_digits(code, 4)));
    }
}

void custom_joint::disable() { ask(write_enable_state(false), QStringLiteral("disable")); }

void custom_joint::profile(int32_t velocity, int32_t acceleration, int32_t deceleration)
{
    ask(custom_write(custom_register::profile_speed, velocity, QString(), 0), QStringLiteral("the profile speed"));
    ask(custom_write(custom_register::profile_acceleration, acceleration, QString(), 0),
        QStringLiteral("the acceleration"));
    ask(custom_write(custom_register::profile_deceleration, deceleration, QString(), 0),
        QStringLiteral("the deceleration"));
    profile_speed_known_ = true;
    profile_speed_ = velocity;
    profile_speed_overwritten_ = false;
}

void custom_joint::prepare_single_move()
{
    if (!position_mode_) {
        ask(write_control_mode(custom_control_mode::position), QStringLiteral("position mode"));
        position_mode_ = true;
    }
    if (profile_speed_overwritten_) {
        ask(custom_write(custom_register::profile_speed, profile_speed_, QString(), 0),
            QStringLiteral("the profile speed"));
        profile_speed_overwritten_ = false;
    }
    if (motion_mode_ != custom_motion_mode::unidirectional) {
        ask(write_motion_mode(custom_motion_mode::unidirectional), QStringLiteral("the single-move mode"));
        motion_mode_ = custom_motion_mode::unidirectional;
    }
}

void custom_joint::move_to(int32_t target, int timeout_ms)
{
    start_move_to(target, timeout_ms);
    run_motion();
}

void custom_joint::move_by(int32_t delta, int timeout_ms)
{
    start_move_by(delta, timeout_ms);
    run_motion();
}

void custom_joint::begin_move(int32_t value, bool relative, int timeout_ms, const QString &what)
{
    prepare_single_move();
    int64_t target = value;
    if (relative) {
        target = static_cast<int64_t>(position()) + value;
        ask(custom_write(custom_register::relative_distance, value, QString(), 0), QStringLiteral("the relative distance"));
    } else {
        ask(write_relative_distance_zero(), QStringLiteral("the relative distance"));
        ask(custom_write(custom_register::target_position, value, QString(), 0), QStringLiteral("the target position"));
    }
    ask(write_start_motion(start_kind::motion), QStringLiteral("start motion"));
    motion_.target = static_cast<int32_t>(target);
    motion_.timeout_ms = timeout_ms;
    motion_.what = what;
}

bool custom_joint::look_at_motion()
{
    const int32_t moving = ask(read_motion_state(), QStringLiteral("the motion state read"));
    const int32_t at = position();
    if (moving == 0 && qAbs(static_cast<int64_t>(at) - motion_.target) <= position_window)
        return true;
    const int32_t code = error();
    if (code != 0)
        fail(QStringLiteral("%1: drive error 0x%2 at position %3")
                 .arg(motion_.what)
                 .arg(hex::lower_digits(code, 4))
                 .arg(at));
    if (motion_.started.elapsed() >= motion_.timeout_ms)
        fail(QStringLiteral("%1 timed out after %2 ms at position %3 (%4)")
                 .arg(motion_.what)
                 .arg(motion_.timeout_ms)
                 .arg(at)
                 .arg(moving ? QStringLiteral("moving") : QStringLiteral("at rest")));
    return false;
}

void custom_joint::velocity(int32_t v)
{
    if (v == 0) {
        stop();
        return;
    }
    if (!position_mode_) {
        ask(write_control_mode(custom_control_mode::position), QStringLiteral("position mode"));
        position_mode_ = true;
    }
    if (!profile_speed_known_) {
        profile_speed_ = ask(read_profile_speed(), QStringLiteral("the profile speed read"));
        profile_speed_known_ = true;
    }
    if (motion_mode_ != custom_motion_mode::continuous) {
        ask(write_motion_mode(custom_motion_mode::continuous), QStringLiteral("the continuous mode"));
        motion_mode_ = custom_motion_mode::continuous;
    }
    // The sign of the profile speed is the direction of continuous motion.
    ask(custom_write(custom_register::profile_speed, v, QString(), 0), QStringLiteral("the speed"));
    profile_speed_overwritten_ = true;
    ask(write_start_motion(start_kind::motion), QStringLiteral("start motion"));
}

void custom_joint::stop() { ask(write_stop_motion(), QStringLiteral("stop motion")); }

int32_t custom_joint::position() { return ask(read_actual_position(), QStringLiteral("the position read")); }
int32_t custom_joint::speed() { return ask(read_actual_speed(), QStringLiteral("the speed read")); }
int32_t custom_joint::current() { return ask(read_actual_current(), QStringLiteral("the current read")); }
int32_t custom_joint::error() { return ask(read_error_code(), QStringLiteral("the error code read")); }

int32_t custom_joint::read_register(int32_t reg)
{
    if (reg < 0 || reg > 0xFFFF)
        fail(QStringLiteral("register %1 is outside 0..0xFFFF").arg(reg));
    return ask(custom_read(static_cast<uint16_t>(reg)),
               QStringLiteral("the read of register 0x%1").arg(hex::lower_digits(reg, 4)));
}

void custom_joint::write_register(int32_t reg, int32_t value)
{
    if (reg < 0 || reg > 0xFFFF)
        fail(QStringLiteral("register %1 is outside 0..0xFFFF").arg(reg));
    ask(custom_write(static_cast<uint16_t>(reg), value, QString(), 0),
        QStringLiteral("the write of register 0x%1").arg(hex::lower_digits(reg, 4)));
    // The cached modes describe the drive only as long as nobody else writes them.
    position_mode_ = false;
    motion_mode_ = -1;
    profile_speed_known_ = false;
    profile_speed_overwritten_ = false;
}

// ---- CANopen -------------------------------------------------------------------------------

QByteArray canopen_joint::upload(uint16_t index, uint8_t sub, bool large)
{
    const canopen::sdo_link link = bus_.sdo(key_.node);
    const canopen::sdo_outcome out = large && link.offers_every_frame
                                         ? canopen::run_sdo(link, canopen::sdo_transfer::block_upload(index, sub))
                                         : canopen::read_object(link, index, sub);
    if (!out.ok)
        fail(QStringLiteral("reading %1: %2").arg(object_name(index, sub), canopen::abort_text(out.abort)));
    return out.data;
}

void canopen_joint::download(uint16_t index, uint8_t sub, const QByteArray &bytes)
{
    const canopen::sdo_link link = bus_.sdo(key_.node);
    const canopen::sdo_outcome out =
        canopen::run_sdo(link, link.offers_every_frame ? canopen::sdo_transfer::large_download(index, sub, bytes)
                                                       : canopen::sdo_transfer::download(index, sub, bytes));
    if (!out.ok)
        fail(QStringLiteral("writing %1: %2").arg(object_name(index, sub), canopen::abort_text(out.abort)));
}

void canopen_joint::download(uint16_t index, uint8_t sub, uint32_t value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    download(index, sub, bytes);
}

int64_t canopen_joint::read_integer(uint16_t index, uint8_t sub, int size, bool is_signed)
{
    const QByteArray bytes = upload(index, sub);
    if (bytes.size() != size)
        fail(QStringLiteral("%1 answered %2 bytes, not %3").arg(object_name(index, sub)).arg(bytes.size()).arg(size));
    uint64_t raw = 0;
    for (int i = 0; i < size; ++i)
        raw |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    if (is_signed && size < 8 && (raw >> (8 * size - 1)) & 1)
        raw |= ~uint64_t(0) << (8 * size);
    return static_cast<int64_t>(raw);
}

uint16_t canopen_joint::statusword()
{
    return static_cast<uint16_t>(read_integer(canopen::object::statusword, 0, 2, false));
}

void canopen_joint::controlword(uint16_t cw) { download(canopen::object::controlword, 0, cw, 2); }

void canopen_joint::enable()
{
    // The drive watches Velmora's heartbeat before it is enabled, so that a run that dies from
    // here on leaves it stopped.
    const canopen::guard_result guard =
        bus_.guard ? bus_.guard(key_.node, true) : canopen::engage_guard(bus_.sdo(key_.node), key_.bus, key_.node);
    if (!guard.text.isEmpty() && bus_.note)
        bus_.note(joint_name(key_) + QStringLiteral(": ") + guard.text);
    QElapsedTimer settling;
    settling.start();
    uint16_t sw = 0;
    for (int look = 0; look < canopen::enable_looks; ++look) {
        sw = statusword();
        const canopen::enable_command next = canopen::next_enable_command(sw, look);
        if (next.what == canopen::enable_command::action::done)
            return;
        if (next.what == canopen::enable_command::action::settle) {
            // A look that sends nothing is no step, for a while.
            if (settling.elapsed() < canopen::enable_settle_ms) {
                pause(move_poll_ms);
                --look;
            }
            continue;
        }
        for (int i = 0; i < next.count; ++i)
            controlword(next.controlwords[i]);
    }
    fail(one_line(canopen::enable_failed_text(true, sw)));
}

void canopen_joint::disable()
{
    controlword(canopen::cw_shutdown);
    const canopen::guard_result guard =
        bus_.guard ? bus_.guard(key_.node, false) : canopen::release_guard(bus_.sdo(key_.node), key_.bus, key_.node);
    if (!guard.text.isEmpty() && bus_.note)
        bus_.note(joint_name(key_) + QStringLiteral(": ") + guard.text);
}

void canopen_joint::profile(int32_t velocity, int32_t acceleration, int32_t deceleration)
{
    if (velocity < 0 || acceleration <= 0 || deceleration <= 0)
        fail(QStringLiteral("profile(%1, %2, %3): the velocity must not be negative, the ramps must be positive")
                 .arg(velocity)
                 .arg(acceleration)
                 .arg(deceleration));
    download(canopen::object::profile_velocity, 0, static_cast<uint32_t>(velocity), 4);
    download(canopen::object::profile_acceleration, 0, static_cast<uint32_t>(acceleration), 4);
    download(canopen::object::profile_deceleration, 0, static_cast<uint32_t>(deceleration), 4);
}

void canopen_joint::use_mode(int8_t mode)
{
    if (mode_known_ && mode_ == mode)
        return;
    download(canopen::object::modes_of_operation, 0, static_cast<uint8_t>(mode), 1);
    mode_known_ = true;
    mode_ = mode;
}

void canopen_joint::require_enabled(uint16_t sw, const QString &what)
{
    const canopen::drive_state state = canopen::state_of(sw);
    if (state == canopen::drive_state::operation_enabled)
        return;
    QString text = QStringLiteral("%1: the joint is in \"%2\"").arg(what, one_line(canopen::state_text(state)));
    if (state == canopen::drive_state::fault || state == canopen::drive_state::fault_reaction_active)
        text += QStringLiteral(", error code 0x%1").arg(hex::lower_digits(error(), 4));
    fail(text);
}

void canopen_joint::begin_move(int32_t target, bool relative, int timeout_ms, const QString &what)
{
    use_mode(mode_profile_position);
    download(canopen::object::target_position, 0, static_cast<uint32_t>(target), 4);
    const uint16_t kind = relative ? cw_relative : 0;
    // Bit 4 clear first, so that the set-point below is a rising edge whatever was sent before.
    controlword(canopen::cw_enable_operation | kind);
    controlword(canopen::cw_new_setpoint | cw_change_at_once | kind);
    motion_.timeout_ms = timeout_ms;
    motion_.what = what;
}

bool canopen_joint::look_at_motion()
{
    if (motion_.homing)
        return look_at_homing();
    const uint16_t kind = motion_.relative ? cw_relative : 0;
    const uint16_t sw = statusword();
    require_enabled(sw, motion_.what);
    // Target reached counts only for the new set-point: until the drive acknowledged it, the bit
    // still tells of the move before.
    if (!motion_.acknowledged && (sw & sw_setpoint_acknowledge)) {
        motion_.acknowledged = true;
        controlword(canopen::cw_enable_operation | kind);
        return false;
    }
    if (motion_.acknowledged && (sw & sw_target_reached) && !(sw & sw_setpoint_acknowledge))
        return true;
    if (motion_.started.elapsed() >= motion_.timeout_ms)
        fail(QStringLiteral("%1 timed out after %2 ms at position %3 (%4)")
                 .arg(motion_.what)
                 .arg(motion_.timeout_ms)
                 .arg(position())
                 .arg(motion_.acknowledged ? QStringLiteral("target not reached")
                                           : QStringLiteral("set-point not acknowledged")));
    return false;
}

void canopen_joint::move_to(int32_t target, int timeout_ms)
{
    start_move_to(target, timeout_ms);
    run_motion();
}

void canopen_joint::move_by(int32_t delta, int timeout_ms)
{
    start_move_by(delta, timeout_ms);
    run_motion();
}

objects::firmware_report canopen_joint::update_firmware(const QString &path, bool force)
{
    const QString what = QStringLiteral("updateFirmware(%1)").arg(QFileInfo(path).fileName());
    if (!bus_.firmware)
        fail(what + QStringLiteral(": not available here"));
    const firmware_run run = bus_.firmware(key_.node, path, force);
    if (!run.ran)
        fail(QStringLiteral("%1: %2").arg(what, run.why));
    if (run.report.outcome != objects::firmware_report::result::updated) {
        QString why = objects::firmware_result_text(run.report.outcome);
        if (!run.report.note.isEmpty())
            why += QStringLiteral(": ") + run.report.note;
        fail(QStringLiteral("%1: %2").arg(what, why));
    }
    return run.report;
}

void canopen_joint::start_home(int8_t method, const homing_options &options)
{
    motion_ = pending_motion();
    const QString what = QStringLiteral("home(%1)").arg(method);
    use_mode(canopen::mode_homing);
    download(canopen::object::homing_method, 0, static_cast<uint8_t>(method), 1);
    if (options.switch_speed >= 0)
        download(canopen::object::homing_speeds, 1, static_cast<uint32_t>(options.switch_speed), 4);
    if (options.zero_speed >= 0)
        download(canopen::object::homing_speeds, 2, static_cast<uint32_t>(options.zero_speed), 4);
    if (options.acceleration >= 0)
        download(canopen::object::homing_acceleration, 0, static_cast<uint32_t>(options.acceleration), 4);
    if (options.has_offset)
        download(canopen::object::home_offset, 0, static_cast<uint32_t>(options.offset), 4);
    // Bit 4 clear first, so that the start below is a rising edge whatever was sent before.
    controlword(canopen::cw_enable_operation);
    // "Attained" left from an earlier homing must not end this one: it counts only once the
    // new start was seen under way, unless nothing of an earlier one was left to mistake.
    const bool stale = (statusword() & canopen::sw_homing_attained) != 0;
    controlword(canopen::cw_homing_start);
    motion_.homing = true;
    motion_.acknowledged = !stale || homes_on_the_spot(method);
    motion_.timeout_ms = options.timeout_ms > 0 ? options.timeout_ms : default_homing_timeout_ms;
    motion_.what = what;
    motion_.active = true;
    motion_.started.start();
}

void canopen_joint::home(int8_t method, const homing_options &options)
{
    start_home(method, options);
    run_motion();
}

bool canopen_joint::look_at_homing()
{
    const uint16_t sw = statusword();
    require_enabled(sw, motion_.what);
    if (sw & canopen::sw_homing_error) {
        controlword(canopen::cw_enable_operation);
        fail(QStringLiteral("%1: the drive reports a homing error (statusword 0x%2) at position %3")
                 .arg(motion_.what)
                 .arg(hex::lower_digits(sw, 4))
                 .arg(position()));
    }
    if (!(sw & canopen::sw_homing_attained))
        motion_.acknowledged = true;
    constexpr uint16_t attained = sw_target_reached | canopen::sw_homing_attained;
    if (motion_.acknowledged && (sw & attained) == attained) {
        controlword(canopen::cw_enable_operation);
        return true;
    }
    if (motion_.started.elapsed() >= motion_.timeout_ms) {
        // The search must not go on after the script has given up on it.
        controlword(canopen::cw_homing_start | canopen::cw_halt_bit);
        fail(QStringLiteral("%1 timed out after %2 ms at position %3 (statusword 0x%4%5); halted")
                 .arg(motion_.what)
                 .arg(motion_.timeout_ms)
                 .arg(position())
                 .arg(hex::lower_digits(sw, 4))
                 .arg(motion_.acknowledged ? QString() : QStringLiteral(", start not seen under way")));
    }
    return false;
}

void canopen_joint::velocity(int32_t v)
{
    if (v == 0 && !(mode_known_ && mode_ == mode_profile_velocity)) {
        stop();
        return;
    }
    use_mode(mode_profile_velocity);
    download(canopen::object::target_velocity, 0, static_cast<uint32_t>(v), 4);
    controlword(canopen::cw_enable_operation);
}

void canopen_joint::stop()
{
    // A velocity target is cleared first: lifting the halt later must not start the joint again.
    if (mode_known_ && mode_ == mode_profile_velocity)
        download(canopen::object::target_velocity, 0, 0, 4);
    controlword(canopen::cw_enable_operation | canopen::cw_halt_bit);
}

int32_t canopen_joint::position()
{
    return static_cast<int32_t>(read_integer(canopen::object::position_actual_value, 0, 4, true));
}
int32_t canopen_joint::speed()
{
    return static_cast<int32_t>(read_integer(canopen::object::velocity_actual_value, 0, 4, true));
}

int32_t canopen_joint::current()
{
    if (rated_current_ == 0)
        rated_current_ = static_cast<int32_t>(read_integer(canopen::object::motor_rated_current, 0, 4, false));
    const int64_t permille = read_integer(canopen::object::current_actual_value, 0, 2, true);
    // 0x6078 is in thousandths of the rated current (0x6075, mA), which may exceed 16 bits.
    return static_cast<int32_t>(permille * rated_current_ / 1000);
}

int32_t canopen_joint::error() { return static_cast<int32_t>(read_integer(canopen::object::error_code, 0, 2, false)); }

object_value canopen_joint::read_object(uint16_t index, uint8_t sub, const QString &type)
{
    uint16_t code = 0;
    if (!type.isEmpty()) {
        canopen::data_type t;
        if (!canopen::type_from_name(type, &t))
            fail(QStringLiteral("unknown type \"%1\"").arg(type));
        code = static_cast<uint16_t>(t);
    } else if (const canopen::cia_entry *entry = canopen::find_cia_entry(index, sub)) {
        code = static_cast<uint16_t>(entry->type);
    }
    const QByteArray bytes = upload(index, sub, code == static_cast<uint16_t>(canopen::data_type::domain));
    if (code == 0) {
        switch (bytes.size()) {
        case 1: code = static_cast<uint16_t>(canopen::data_type::unsigned8); break;
        case 2: code = static_cast<uint16_t>(canopen::data_type::unsigned16); break;
        case 4: code = static_cast<uint16_t>(canopen::data_type::unsigned32); break;
        default: code = static_cast<uint16_t>(canopen::data_type::octet_string); break;
        }
    }
    object_value v;
    const int size = canopen::type_size(code);
    if (size > 0 && bytes.size() != size)
        fail(QStringLiteral("%1 answered %2 bytes, not a %3")
                 .arg(object_name(index, sub))
                 .arg(bytes.size())
                 .arg(canopen::type_name(code)));
    if (canopen::is_real(code)) {
        if (size == 4) {
            float f;
            std::memcpy(&f, bytes.constData(), 4);
            v.number = f;
        } else {
            std::memcpy(&v.number, bytes.constData(), 8);
        }
    } else if (size > 0 && size <= 4) {
        uint64_t raw = 0;
        for (int i = 0; i < size; ++i)
            raw |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
        if (canopen::is_signed_integer(code) && (raw >> (8 * size - 1)) & 1)
            raw |= ~uint64_t(0) << (8 * size);
        v.number = canopen::is_signed_integer(code) ? static_cast<double>(static_cast<int64_t>(raw))
                                                    : static_cast<double>(raw);
    } else if (code == static_cast<uint16_t>(canopen::data_type::octet_string) ||
               code == static_cast<uint16_t>(canopen::data_type::domain)) {
        v.is_text = true;
        v.text = hex::bytes(bytes);
    } else {
        v.is_text = true;
        v.text = canopen::format_value(code, bytes);
    }
    return v;
}

void canopen_joint::write_object(uint16_t index, uint8_t sub, const QString &value, const QString &type)
{
    canopen::data_type t;
    if (!canopen::type_from_name(type, &t))
        fail(QStringLiteral("unknown type \"%1\"").arg(type));
    const canopen::encoded e = canopen::encode_value(static_cast<uint16_t>(t), value);
    if (!e.ok)
        fail(QStringLiteral("%1 = %2: %3").arg(object_name(index, sub), value, one_line(e.error)));
    download(index, sub, e.bytes);
    // The mode as last written describes the drive only as long as nobody else writes it.
    if (index == canopen::object::modes_of_operation)
        mode_known_ = false;
}

// ---- stopping what a script left moving ----------------------------------------------------

stop_result emergency_stop(const joint_key &key, const joint_bus &bus)
{
    stop_result r;
    if (key.protocol == joint_protocol::custom) {
        int32_t ignored = 0;
        r.confirmed = bus.custom(key.node, write_stop_motion(), &ignored);
        if (r.confirmed)
            bus.custom(key.node, custom_write(custom_register::analog_target, 0, QString(), 0), &ignored);
        return r;
    }
    QByteArray quick_stop(2, '\0');
    quick_stop[0] = static_cast<char>(cw_quick_stop);
    const canopen::sdo_outcome out = canopen::write_object(bus.sdo(key.node), canopen::object::controlword, 0, quick_stop);
    r.confirmed = out.ok;
    if (!out.ok && out.server_aborted)
        r.refusal = canopen::abort_text(out.abort);
    return r;
}

}  // namespace motion
