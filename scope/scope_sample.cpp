#include "scope/scope_sample.h"

#include "base/hex.h"
#include "canopen/cia402.h"
#include "canopen/data_types.h"
#include "objects/eds.h"

#include <QByteArray>
#include <cstring>
#include <vector>

namespace scope {

namespace {

uint16_t type_code(canopen::data_type t) { return static_cast<uint16_t>(t); }

// An ASCII piece of a column name: letters, digits and single underscores.
QString slug(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("‰"), QStringLiteral("per_mille"));
    t.replace(QStringLiteral("%"), QStringLiteral("percent"));
    t.replace(QStringLiteral("°"), QStringLiteral("deg"));
    t.replace(QStringLiteral("/"), QStringLiteral("_per_"));
    QString out;
    for (const QChar c : t) {
        const bool word = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                          || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (word)
            out += c;
        else if (!out.isEmpty() && !out.endsWith(QLatin1Char('_')))
            out += QLatin1Char('_');
    }
    while (out.endsWith(QLatin1Char('_')))
        out.chop(1);
    return out;
}

channel_def make(role kind, uint16_t index, canopen::data_type type, const char *key, const char *label, const char *unit)
{
    channel_def c;
    c.kind = kind;
    c.index = index;
    c.type = type_code(type);
    c.key = QString::fromLatin1(key);
    c.label = QString::fromUtf8(label);
    c.unit = QString::fromUtf8(unit);
    return c;
}

constexpr uint32_t sign32 = 0x80000000u;

}  // namespace

int channel_def::bits() const
{
    if (kind == role::setpoint)
        return 0;
    switch (static_cast<canopen::data_type>(type)) {
    case canopen::data_type::boolean:
    case canopen::data_type::integer8:
    case canopen::data_type::unsigned8: return 8;
    case canopen::data_type::integer16:
    case canopen::data_type::unsigned16: return 16;
    case canopen::data_type::integer32:
    case canopen::data_type::unsigned32:
    case canopen::data_type::real32: return 32;
    default: return 0;
    }
}

int32_t channel_def::key_of_raw(uint32_t raw) const
{
    switch (static_cast<canopen::data_type>(type)) {
    case canopen::data_type::integer8: return static_cast<int8_t>(raw);
    case canopen::data_type::integer16: return static_cast<int16_t>(raw);
    case canopen::data_type::boolean:
    case canopen::data_type::unsigned8: return static_cast<int32_t>(raw & 0xFF);
    case canopen::data_type::unsigned16: return static_cast<int32_t>(raw & 0xFFFF);
    case canopen::data_type::unsigned32: return static_cast<int32_t>(raw ^ sign32);
    case canopen::data_type::real32: {
        // Negative floats order backwards by their bits: flip them, then fold as unsigned.
        const uint32_t ordered = (raw & sign32) ? ~raw : (raw | sign32);
        return static_cast<int32_t>(ordered ^ sign32);
    }
    default: return static_cast<int32_t>(raw);
    }
}

double channel_def::value(int32_t key) const
{
    double v = key;
    if (kind == role::object && type == type_code(canopen::data_type::unsigned32)) {
        v = static_cast<uint32_t>(key) ^ sign32;
    } else if (kind == role::object && type == type_code(canopen::data_type::real32)) {
        const uint32_t ordered = static_cast<uint32_t>(key) ^ sign32;
        const uint32_t bits = (ordered & sign32) ? (ordered & ~sign32) : ~ordered;
        float f;
        std::memcpy(&f, &bits, sizeof f);
        v = f;
    }
    return v * scale;
}

QString channel_def::value_text(int32_t key) const
{
    const double v = value(key);
    const bool whole = scale == 1.0 && !(kind == role::object && type == type_code(canopen::data_type::real32));
    return whole ? QString::number(static_cast<qint64>(v)) : QString::number(v, 'g', 10);
}

QString channel_def::unit_text(setpoint_unit u) const
{
    if (kind != role::setpoint)
        return unit;
    switch (u) {
    case setpoint_unit::cnt: return QStringLiteral("cnt");
    case setpoint_unit::cnt_per_s: return QStringLiteral("cnt/s");
    case setpoint_unit::milliamps: return QStringLiteral("mA");
    case setpoint_unit::per_mille: return QStringLiteral("‰");
    }
    return QString();
}

QString channel_def::column_name(setpoint_unit u) const
{
    if (kind == role::state)
        return QStringLiteral("state_cia402");
    const QString unit_part = slug(unit_text(u));
    return unit_part.isEmpty() ? key : key + QLatin1Char('_') + unit_part;
}

channel_list default_channels()
{
    using canopen::data_type;
    namespace object = canopen::object;
    return {
        make(role::position, object::position_actual_value, data_type::integer32, "position", "位置/Position", "cnt"),
        make(role::velocity, object::velocity_actual_value, data_type::integer32, "velocity", "速度/Velocity", "cnt/s"),
        make(role::current, object::current_actual_value, data_type::integer16, "current", "电流/Current", "mA"),
        make(role::setpoint, 0, data_type::integer32, "setpoint", "设定值/Set-point", ""),
        make(role::state, object::statusword, data_type::unsigned16, "state", "状态/State", ""),
    };
}

QString object_address(uint16_t index, uint8_t sub)
{
    return hex::suffixed(index, 4) + QLatin1Char(':') + hex::digits(sub, 2);
}

channel_mask channels_of(const channel_list &channels, role kind)
{
    channel_mask m = 0;
    for (size_t ch = 0; ch < channels.size() && ch < max_channels; ++ch) {
        if (channels[ch].kind == kind)
            m = static_cast<channel_mask>(m | bit(static_cast<int>(ch)));
    }
    return m;
}

bool object_channel(const objects::od_entry &entry, channel_def *out)
{
    channel_def c;
    c.index = entry.index;
    c.sub = entry.sub;
    c.type = entry.type;
    if (!objects::access_readable(entry.access) || c.bits() == 0)
        return false;
    c.key = slug(entry.name).toLower();
    if (c.key.isEmpty())
        c.key = QStringLiteral("object_%1_%2").arg(hex::digits(entry.index, 4), hex::digits(entry.sub, 2));
    c.label = object_address(entry.index, entry.sub) + QLatin1Char(' ') + entry.name;
    *out = c;
    return true;
}

const char *state_name(int32_t number)
{
    // The control window's names of the states, once.
    static const std::vector<QByteArray> names = [] {
        std::vector<QByteArray> out;
        for (int i = 0; i < 8; ++i) {
            const auto state = static_cast<canopen::drive_state>(i);
            out.push_back(QByteArray(canopen::state_name_zh(state)) + '/' + canopen::state_name_en(state));
        }
        return out;
    }();
    return number >= 0 && number < 8 ? names[static_cast<size_t>(number)].constData() : "";
}

int32_t state_number(uint16_t sw)
{
    const canopen::drive_state state = canopen::state_of(sw);
    return state == canopen::drive_state::unknown ? -1 : static_cast<int32_t>(state);
}

}  // namespace scope
