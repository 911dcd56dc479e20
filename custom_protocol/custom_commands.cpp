#include "custom_protocol/custom_commands.h"

#include "can/adapter.h"

#include <limits>

int32_t custom_value_from_text(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? static_cast<int32_t>(v) : 0;
}

int32_t custom_negate(int32_t v)
{
    if (v == std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::max();
    return -v;
}

int32_t custom_magnitude(int32_t v) { return v < 0 ? custom_negate(v) : v; }

namespace {
void put_register(uint16_t reg, custom_request &r)
{
    r.data[0] = static_cast<uint8_t>(reg >> 8);
    r.data[1] = static_cast<uint8_t>(reg & 0xFF);
}
}  // namespace

custom_request custom_read(uint16_t reg, const QString &description)
{
    custom_request r;
    put_register(reg, r);
    r.length = 2;
    r.description = description;
    r.log = 0;
    r.read = true;
    return r;
}

custom_request custom_write(uint16_t reg, int32_t value, const QString &description, int log)
{
    custom_request r;
    put_register(reg, r);
    put_be32(static_cast<uint32_t>(value), r.data);
    r.length = 6;
    r.description = description;
    r.log = log;
    return r;
}

custom_request custom_command(uint16_t reg, const QString &description, int log)
{
    custom_request r;
    put_register(reg, r);
    r.length = 2;
    r.description = description;
    r.log = log;
    return r;
}

custom_request read_actual_position(const QString &description)
{
    return custom_read(custom_register::actual_position, description);
}

custom_request read_actual_speed(const QString &description)
{
    custom_request r = custom_read(custom_register::actual_speed, description);
    // The drive expects the two trailing bytes 00 01 on this one read.
    r.data[2] = 0x00;
    r.data[3] = 0x01;
    r.length = 4;
    return r;
}

custom_request read_firmware_number()
{
    custom_request r = custom_read(custom_register::firmware_number);
    r.data[2] = 0x00;
    r.data[3] = 0x04;
    r.length = 4;
    return r;
}

custom_request save_parameters() { return custom_command(custom_register::save_parameters, QString(), 0); }

custom_request read_actual_current(const QString &description)
{
    return custom_read(custom_register::actual_current, description);
}

custom_request read_error_code(const QString &description) { return custom_read(custom_register::error_code, description); }
custom_request read_motion_state() { return custom_read(custom_register::motion_state); }
custom_request read_profile_speed() { return custom_read(custom_register::profile_speed); }
custom_request read_profile_acceleration() { return custom_read(custom_register::profile_acceleration); }
custom_request read_profile_deceleration() { return custom_read(custom_register::profile_deceleration); }

custom_request write_control_mode(int32_t mode)
{
    switch (mode) {
    case custom_control_mode::torque:
        return custom_write(custom_register::control_mode, mode, QStringLiteral("设置模式为力矩控制\nMoment control"), 1);
    case custom_control_mode::speed:
        return custom_write(custom_register::control_mode, mode, QStringLiteral("设置模式为速度控制\nSpeed control"), 1);
    default:
        return custom_write(custom_register::control_mode, mode, QString(), 0);
    }
}

custom_request write_start_motion(start_kind kind)
{
    switch (kind) {
    case start_kind::forward:
        return custom_command(custom_register::start_motion, QStringLiteral("开始正向运动\nForward"), 1);
    case start_kind::backwards:
        return custom_command(custom_register::start_motion, QStringLiteral("开始反向运动\nBackwards"), 1);
    case start_kind::motion:
        break;
    }
    return custom_command(custom_register::start_motion, QStringLiteral("开始运动\nMotion"), 1);
}

custom_request write_stop_motion() { return custom_command(custom_register::stop_motion, QStringLiteral("停止运动\nStop"), 1); }

custom_request write_target_position(const QString &typed)
{
    return custom_write(custom_register::target_position, custom_value_from_text(typed),
                        QStringLiteral("运动至") + typed + QStringLiteral("cnt\nMove to ") + typed + QStringLiteral("cnt"), 1);
}

custom_request write_relative_distance(const QString &typed, bool backwards)
{
    const int32_t v = custom_value_from_text(typed);
    const int32_t sent = backwards ? custom_negate(v) : v;
    const QString d = backwards ? QString::number(sent) : typed;
    return custom_write(custom_register::relative_distance, sent,
                        QStringLiteral("设置运动距离为") + d + QStringLiteral("cnt\nSet the distance to") + d +
                            QStringLiteral("cnt"),
                        1);
}

custom_request write_relative_distance_zero()
{
    return custom_write(custom_register::relative_distance, 0,
                        QStringLiteral("相对位置置0\nThe relative position is set to 0"), 1);
}

custom_request write_profile_acceleration(const QString &typed)
{
    return custom_write(custom_register::profile_acceleration, custom_value_from_text(typed),
                        QStringLiteral("设置加速度为") + typed + QStringLiteral("cnt/s²\nSet acceleration to ") + typed +
                            QStringLiteral("cnt/s²"),
                        1);
}

custom_request write_profile_deceleration(const QString &typed)
{
    return custom_write(custom_register::profile_deceleration, custom_value_from_text(typed),
                        QStringLiteral("设置减速度为") + typed + QStringLiteral("cnt/s²\nSet deceleration to ") + typed +
                            QStringLiteral("cnt/s²"),
                        1);
}

custom_request write_profile_speed(const QString &typed)
{
    return custom_write(custom_register::profile_speed, custom_value_from_text(typed),
                        QStringLiteral("设置速度为") + typed + QStringLiteral("cnt/s\nSet speed to ") + typed +
                            QStringLiteral("cnt/s"),
                        1);
}

custom_request write_continuous_speed(const QString &typed, bool backwards, int32_t *sent)
{
    const int32_t magnitude = custom_magnitude(custom_value_from_text(typed));
    const int32_t v = backwards ? -magnitude : magnitude;
    if (sent)
        *sent = v;
    return custom_write(custom_register::profile_speed, v, QStringLiteral("设置速度\nSet speed"), 1);
}

custom_request write_motion_mode(int32_t mode)
{
    switch (mode) {
    case custom_motion_mode::continuous:
        return custom_write(custom_register::motion_mode, mode, QStringLiteral("设置持续运动模式\nSet continuous motion mode"), 1);
    case custom_motion_mode::unidirectional:
        return custom_write(custom_register::motion_mode, mode, QStringLiteral("设置不带往返运动模式\nUnidirectional motion"), 1);
    case custom_motion_mode::repetitive:
        return custom_write(custom_register::motion_mode, mode, QStringLiteral("设置带往返运动模式\nRepetitive"), 1);
    default:
        return custom_write(custom_register::motion_mode, mode, QString(), 0);
    }
}

custom_request write_enable_state(bool enable)
{
    return enable ? custom_write(custom_register::enable_state, 1, QStringLiteral("使能\nEnable"), 1)
                  : custom_write(custom_register::enable_state, 0, QStringLiteral("失能\nDisable"), 1);
}

custom_request write_control_source()
{
    return custom_write(custom_register::control_source, 0, QStringLiteral("设置控制源为不使用\nSet the control source is not used"), 1);
}

custom_request write_analog_source()
{
    return custom_write(custom_register::analog_source, 0,
                        QStringLiteral("设置模拟量为内部使用\nSet the analog quantity for internal use"), 1);
}

custom_request write_target_current(const QString &typed)
{
    return custom_write(custom_register::analog_target, custom_value_from_text(typed),
                        QStringLiteral("设置目标电流为") + typed + QStringLiteral("mA\nSet target current to") + typed +
                            QStringLiteral("mA"),
                        1);
}

custom_request write_target_speed(const QString &typed)
{
    return custom_write(custom_register::analog_target, custom_value_from_text(typed),
                        QStringLiteral("设置目标速度为") + typed + QStringLiteral("cnt/s\nSet target speed to") + typed +
                            QStringLiteral("cnt/s"),
                        1);
}

custom_request write_analog_stop() { return custom_write(custom_register::analog_target, 0, QStringLiteral("停止\nStop"), 1); }

custom_request write_max_speed_limit(const QString &typed)
{
    return custom_write(custom_register::max_speed_limit, custom_value_from_text(typed),
                        QStringLiteral("设置最大速度限制为") + typed + QStringLiteral("cnt/s\nSet the maximum speed limit to") +
                            typed + QStringLiteral("cnt/s"),
                        1);
}
