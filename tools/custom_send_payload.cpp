#include "tools/custom_send_payload.h"

#include "base/hex.h"

#include <QStringList>

parsed_payload parse_payload_text(const QString &text)
{
    parsed_payload result;
    const int count = (text.isEmpty() ? 0 : 1) + text.count(QLatin1Char(' '));
    const QStringList pieces = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    for (const QString &piece : pieces) {
        if (piece.size() > 2) {
            result.status = payload_status::bad_piece;
            return result;
        }
    }
    if (count > int(result.bytes.size())) {
        result.status = payload_status::too_many;
        return result;
    }
    for (int j = 0; j < count; ++j) {
        QString piece = pieces.at(j);
        // A signed piece is a signed number: "-1" is FF, "+f" is 0F.
        const bool negative = piece.startsWith(QLatin1Char('-'));
        if (negative || piece.startsWith(QLatin1Char('+')))
            piece.remove(0, 1);
        int value = 0;
        for (QChar c : piece) {
            const int d = hex::digit_value(c);
            if (d < 0) {
                value = 0;  // the whole piece is not hex
                break;
            }
            value = value * 16 + d;
        }
        if (negative)
            value = -value;
        result.bytes[size_t(j)] = uint8_t(value);
    }
    result.count = count;
    return result;
}

identifier_status parse_identifier_text(const QString &text, uint32_t *id)
{
    *id = 0;
    uint64_t value = 0;
    if (!hex::parse(text, &value))
        return identifier_status::not_hex;
    if (value > 0x7FF)
        return identifier_status::too_large;
    *id = uint32_t(value);
    return identifier_status::ok;
}
