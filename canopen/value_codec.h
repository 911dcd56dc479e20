#pragma once
// The conversion between a value of a CANopen basic type, typed or stored as text, and the
// little-endian bytes an SDO transfer carries. Widget-free; the object dictionary (window, EDS
// and DCF layers) and the scripts share it.
//
// Text forms accepted for numbers: decimal ("-12"), hexadecimal ("0x1F", "-0x10"), and for
// BOOLEAN also "true"/"false". REAL32/64 take a decimal fraction ("1.5", "-2e3").
// VISIBLE_STRING is the text itself (Latin-1 / UTF-8 bytes as typed); OCTET_STRING and DOMAIN
// are hex bytes, separators optional ("01 02 AB", "0102ab").
#include "canopen/data_types.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace canopen {

// Bounds from an object's LowLimit/HighLimit, as text; empty means no bound of its own.
struct value_limits {
    QString low;
    QString high;
};

struct encoded {
    bool ok = false;
    QByteArray bytes;
    QString error;  // bilingual, for the user; empty when ok
};

// The bytes of a typed value, refused (with the reason) when the text is no value of the type,
// does not fit it, or lies outside the limits.
encoded encode_value(uint16_t type, const QString &text, const value_limits &limits = {});

// Bytes as text of the type: integers decimal (hex = true: unsigned as 0x.. with the type's
// width), reals decimal, strings as text, octets as spaced hex. Bytes whose count does not fit
// a fixed-size type come out as spaced hex.
QString format_value(uint16_t type, const QByteArray &bytes, bool hex = false);

// A whole number: decimal or 0x-hexadecimal, with an optional leading '-'; EDS files may also
// write octal with a leading 0 ("017"), which only octal = true accepts (a user's "010" is ten).
// False on anything else, including magnitudes beyond 64 bits.
struct number {
    bool negative = false;
    uint64_t magnitude = 0;
};
bool parse_number(const QString &text, number *out, bool octal = false);

// A 32-bit register value of the drive's own protocol: signed decimal ("-0x10" too), or
// 0x-hexadecimal taken as the bit pattern ("0xFFFFFFFF" is -1). False beyond 32 bits.
bool parse_register_value(const QString &text, int32_t *value);
// Signed decimal, or "0x" with eight upper-case digits.
QString register_value_text(int32_t value, bool hex);

}  // namespace canopen
