#include "canopen/value_codec.h"

#include "base/hex.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace canopen {
namespace {

// Longest value the window hands to one transfer; far beyond any parameter, and it keeps a
// pasted file from becoming one SDO download.
constexpr int max_value_bytes = 65536;

QString refusal(const QString &zh, const QString &en) { return zh + QStringLiteral("/") + en; }

uint64_t le_bytes(const QByteArray &bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes.size() && i < 8; ++i)
        v |= uint64_t(uint8_t(bytes[i])) << (8 * i);
    return v;
}

QByteArray to_le(uint64_t v, int size)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>(v >> (8 * i));
    return out;
}

int64_t sign_extend(uint64_t v, int size)
{
    if (size >= 8)
        return static_cast<int64_t>(v);
    const int shift = 64 - 8 * size;
    return static_cast<int64_t>(v << shift) >> shift;
}

// A typed integer as a 64-bit two's-complement pattern; hexadecimal text of a signed type is
// the bit pattern ("0xFF" in INTEGER8 is -1), as EDS files write limits such as 0x80000000.
bool integer_value(uint16_t type, const QString &text, bool octal, int64_t *value)
{
    number n;
    if (!parse_number(text, &n, octal))
        return false;
    const int size = type_size(type);
    const int bits = 8 * size;
    const bool hex = text.trimmed().remove(QLatin1Char('-')).startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    if (is_unsigned_integer(type) || (hex && !n.negative)) {
        if (n.negative && n.magnitude != 0)
            return false;
        if (bits < 64 && n.magnitude >> bits)
            return false;
        *value = is_signed_integer(type) ? sign_extend(n.magnitude, size) : static_cast<int64_t>(n.magnitude);
        return true;
    }
    const uint64_t max_positive = (uint64_t(1) << (bits - 1)) - 1;
    if (n.magnitude > max_positive + (n.negative ? 1 : 0))
        return false;
    *value = n.negative ? static_cast<int64_t>(0 - n.magnitude) : static_cast<int64_t>(n.magnitude);
    return true;
}

// -1, 0, 1 as a compares to b in the type's own order.
int compare_integers(uint16_t type, int64_t a, int64_t b)
{
    if (is_unsigned_integer(type)) {
        const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
        return ua < ub ? -1 : (ua > ub ? 1 : 0);
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

QString check_integer_limits(uint16_t type, int64_t v, const value_limits &limits)
{
    int64_t bound = 0;
    if (!limits.low.isEmpty() && integer_value(type, limits.low, true, &bound) && compare_integers(type, v, bound) < 0)
        return refusal(QStringLiteral("低于下限 %1").arg(limits.low), QStringLiteral("below the low limit %1").arg(limits.low));
    if (!limits.high.isEmpty() && integer_value(type, limits.high, true, &bound) && compare_integers(type, v, bound) > 0)
        return refusal(QStringLiteral("高于上限 %1").arg(limits.high), QStringLiteral("above the high limit %1").arg(limits.high));
    return QString();
}

bool real_value(uint16_t type, const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    if (type == static_cast<uint16_t>(data_type::real32) && std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    *value = v;
    return true;
}

QString check_real_limits(uint16_t type, double v, const value_limits &limits)
{
    double bound = 0;
    if (!limits.low.isEmpty() && real_value(type, limits.low, &bound) && v < bound)
        return refusal(QStringLiteral("低于下限 %1").arg(limits.low), QStringLiteral("below the low limit %1").arg(limits.low));
    if (!limits.high.isEmpty() && real_value(type, limits.high, &bound) && v > bound)
        return refusal(QStringLiteral("高于上限 %1").arg(limits.high), QStringLiteral("above the high limit %1").arg(limits.high));
    return QString();
}

encoded fail(const QString &why)
{
    encoded e;
    e.error = why;
    return e;
}

encoded success(const QByteArray &bytes)
{
    encoded e;
    e.ok = true;
    e.bytes = bytes;
    return e;
}

encoded encode_number(uint16_t type, const QString &text, const value_limits &limits)
{
    const QString out_of_range =
        refusal(QStringLiteral("不是%1的有效值").arg(type_name(type)), QStringLiteral("not a valid %1").arg(type_name(type)));
    if (is_real(type)) {
        double v = 0;
        if (!real_value(type, text, &v))
            return fail(out_of_range);
        const QString why = check_real_limits(type, v, limits);
        if (!why.isEmpty())
            return fail(why);
        if (type == static_cast<uint16_t>(data_type::real32)) {
            const float f = static_cast<float>(v);
            return success(QByteArray(reinterpret_cast<const char *>(&f), 4));
        }
        return success(QByteArray(reinterpret_cast<const char *>(&v), 8));
    }
    int64_t v = 0;
    const QString t = text.trimmed();
    if (type == static_cast<uint16_t>(data_type::boolean)) {
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            v = 1;
        else if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0 && (!integer_value(type, t, false, &v) || v > 1))
            return fail(out_of_range);
        return success(to_le(static_cast<uint64_t>(v), 1));
    }
    if (!integer_value(type, t, false, &v))
        return fail(out_of_range);
    const QString why = check_integer_limits(type, v, limits);
    if (!why.isEmpty())
        return fail(why);
    return success(to_le(static_cast<uint64_t>(v), type_size(type)));
}

}  // namespace

bool parse_number(const QString &text, number *out, bool octal)
{
    QString t = text.trimmed();
    number n;
    if (t.startsWith(QLatin1Char('-'))) {
        n.negative = true;
        t = t.mid(1);
    }
    int base = 10;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t = t.mid(2);
    } else if (octal && t.size() > 1 && t.startsWith(QLatin1Char('0'))) {
        base = 8;
        t = t.mid(1);
    }
    // toULongLong would accept its own prefixes, signs and spaces; only plain digits count.
    if (t.isEmpty() || t.size() > 64)
        return false;
    for (QChar c : t) {
        const int d = hex::digit_value(c);
        if (d < 0 || d >= base)
            return false;
    }
    bool ok = false;
    n.magnitude = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    *out = n;
    return true;
}

encoded encode_value(uint16_t type, const QString &text, const value_limits &limits)
{
    if (type == static_cast<uint16_t>(data_type::visible_string)) {
        const QByteArray bytes = text.toUtf8();
        if (bytes.size() > max_value_bytes)
            return fail(refusal(QStringLiteral("字符串过长"), QStringLiteral("string too long")));
        return success(bytes);
    }
    if (type_size(type) == 0) {
        QByteArray bytes;
        if (!hex::parse_bytes(text, &bytes))
            return fail(refusal(QStringLiteral("应为十六进制字节"), QStringLiteral("expected hex bytes such as 01 AB")));
        if (bytes.size() > max_value_bytes)
            return fail(refusal(QStringLiteral("数据过长"), QStringLiteral("data too long")));
        return success(bytes);
    }
    if (text.trimmed().isEmpty())
        return fail(refusal(QStringLiteral("请输入数值"), QStringLiteral("no value given")));
    return encode_number(type, text, limits);
}

QString format_value(uint16_t type, const QByteArray &bytes, bool hex)
{
    if (type == static_cast<uint16_t>(data_type::visible_string)) {
        QByteArray text = bytes;
        while (text.endsWith('\0'))
            text.chop(1);
        return QString::fromUtf8(text);
    }
    const int size = type_size(type);
    if (size == 0 || bytes.size() != size)
        return hex::bytes(bytes);
    const uint64_t raw = le_bytes(bytes);
    if (type == static_cast<uint16_t>(data_type::real32)) {
        float f = 0;
        memcpy(&f, bytes.constData(), 4);
        return QString::number(static_cast<double>(f), 'g', 9);
    }
    if (type == static_cast<uint16_t>(data_type::real64)) {
        double d = 0;
        memcpy(&d, bytes.constData(), 8);
        return QString::number(d, 'g', 17);
    }
    if (is_signed_integer(type) && !hex)
        return QString::number(sign_extend(raw, size));
    if (hex)
        return hex::prefixed(raw, 2 * size);
    return QString::number(raw);
}

bool parse_register_value(const QString &text, int32_t *value)
{
    number n;
    if (!parse_number(text, &n))
        return false;
    const bool hex = text.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const bool fits = hex ? n.magnitude <= 0xFFFFFFFFu : n.magnitude <= (n.negative ? 0x80000000u : 0x7FFFFFFFu);
    if (!fits)
        return false;
    const uint32_t pattern = static_cast<uint32_t>(n.magnitude);
    *value = static_cast<int32_t>(n.negative ? 0u - pattern : pattern);
    return true;
}

QString register_value_text(int32_t value, bool hex)
{
    if (!hex)
        return QString::number(value);
    return hex::prefixed(static_cast<uint32_t>(value), 8);
}

}  // namespace canopen
