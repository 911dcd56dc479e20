#include "base/hex.h"

#include <limits>

namespace hex {
namespace {

constexpr char upper_digits[] = "0123456789ABCDEF";

bool parse_digits(const QStringRef &text, uint64_t *value)
{
    if (text.isEmpty())
        return false;
    uint64_t v = 0;
    for (QChar c : text) {
        const int d = digit_value(c);
        if (d < 0)
            return false;
        v = v > (std::numeric_limits<uint64_t>::max() >> 4) ? std::numeric_limits<uint64_t>::max()
                                                              : v << 4 | static_cast<uint64_t>(d);
    }
    *value = v;
    return true;
}

}  // namespace

QString digits(uint64_t value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString prefixed(uint64_t value, int width) { return QStringLiteral("0x") + digits(value, width); }

QString suffixed(uint64_t value, int width) { return digits(value, width) + QLatin1Char('h'); }

QString lower_digits(int64_t value, int width)
{
    return QStringLiteral("%1").arg(static_cast<qlonglong>(value), width, 16, QLatin1Char('0'));
}

QString bytes(const uint8_t *data, int count)
{
    QString text;
    if (!data || count <= 0)
        return text;
    text.reserve(count * 3 - 1);
    for (int i = 0; i < count; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QLatin1Char(upper_digits[data[i] >> 4]);
        text += QLatin1Char(upper_digits[data[i] & 0xF]);
    }
    return text;
}

QString bytes(const QByteArray &data)
{
    return bytes(reinterpret_cast<const uint8_t *>(data.constData()), data.size());
}

int digit_value(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parse(const QString &text, uint64_t *value)
{
    QStringRef t = QStringRef(&text).trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    else if (t.endsWith(QLatin1Char('h'), Qt::CaseInsensitive))
        t.chop(1);
    return parse_digits(t, value);
}

bool parse_bytes(const QString &text, QByteArray *out)
{
    QByteArray result;
    int high = -1;
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        const int d = digit_value(c);
        if (d < 0)
            return false;
        if (high < 0) {
            high = d;
        } else {
            result.append(static_cast<char>(high << 4 | d));
            high = -1;
        }
    }
    if (high >= 0)
        return false;
    *out = result;
    return true;
}

}  // namespace hex
