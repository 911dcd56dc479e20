#pragma once
// CANopen basic data types: their codes (as written in object dictionaries and EDS files),
// sizes, and the conversion between a value typed or stored as text and the little-endian
// bytes an SDO transfer carries. Widget-free; the window and the EDS layer both use it.
//
// Text forms accepted for numbers: decimal ("-12"), hexadecimal ("0x1F", "-0x10"), and for
// BOOLEAN also "true"/"false". REAL32/64 take a decimal fraction ("1.5", "-2e3").
// VISIBLE_STRING is the text itself (Latin-1 / UTF-8 bytes as typed); OCTET_STRING and DOMAIN
// are hex bytes, separators optional ("01 02 AB", "0102ab").
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace objects {

enum class data_type : uint16_t {
    boolean = 0x0001,
    integer8 = 0x0002,
    integer16 = 0x0003,
    integer32 = 0x0004,
    unsigned8 = 0x0005,
    unsigned16 = 0x0006,
    unsigned32 = 0x0007,
    real32 = 0x0008,
    visible_string = 0x0009,
    octet_string = 0x000A,
    domain = 0x000F,
    real64 = 0x0011,
    integer64 = 0x0015,
    unsigned64 = 0x001B,
};

// The types the program reads and writes, in the order of the window's type selector.
constexpr data_type known_types[] = {
    data_type::boolean,    data_type::integer8,    data_type::integer16,  data_type::integer32,
    data_type::integer64,  data_type::unsigned8,   data_type::unsigned16, data_type::unsigned32,
    data_type::unsigned64, data_type::real32,      data_type::real64,     data_type::visible_string,
    data_type::octet_string, data_type::domain,
};

// False for a code outside known_types (the value then travels as raw bytes).
bool is_known_type(uint16_t code);
// "UNSIGNED16"; for an unknown code "0x0010".
QString type_name(uint16_t code);
bool type_from_name(const QString &name, data_type *type);
// Bytes of a fixed-size type; 0 for strings and domains.
int type_size(uint16_t code);
bool is_signed_integer(uint16_t code);
bool is_unsigned_integer(uint16_t code);
bool is_real(uint16_t code);

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

}  // namespace objects
