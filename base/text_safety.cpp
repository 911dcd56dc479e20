#include "base/text_safety.h"

namespace text_safety {
namespace {

constexpr ushort replacement = 0xFFFD;

bool xml_forbidden(ushort c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF;
}

bool line_break(ushort c) { return c == '\r' || c == '\n' || c == 0x0085 || c == 0x2028 || c == 0x2029; }

}  // namespace

QString safe_text(const QString &text)
{
    QString out = text;
    const int n = out.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate()) {
            ++i;  // a pair stands for one character beyond the first plane
            continue;
        }
        if (c.isSurrogate() || xml_forbidden(c.unicode()))
            out[i] = QChar(replacement);
    }
    return out;
}

QString csv_field(const QString &text)
{
    QString field = safe_text(text);
    const bool quote = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"'))
                       || field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n'));
    if (!quote)
        return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString ini_value(const QString &text)
{
    QString value = safe_text(text);
    for (QChar &c : value)
        if (line_break(c.unicode()))
            c = QLatin1Char(' ');
    return value;
}

QString word(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            c = QLatin1Char('_');
    return out;
}

}  // namespace text_safety
