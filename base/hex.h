#pragma once
// Hexadecimal numbers and bytes as every part of the program writes and reads them. Digits
// are upper-case; a width pads with zeros and never cuts a longer number.
//
//   hex::digits(0x6041)        "6041"          hex::digits(0x80, 4)    "0080"
//   hex::prefixed(0x6041, 8)   "0x00006041"    the C and CiA form
//   hex::suffixed(0x1A00, 4)   "1A00h"         the form of drive data sheets
//   hex::bytes({01 0A FF})     "01 0A FF"
//   hex::parse("0x1A") == hex::parse("1Ah") == hex::parse(" 1a ") == 26
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace hex {

QString digits(uint64_t value, int width = 0);
QString prefixed(uint64_t value, int width = 0);
QString suffixed(uint64_t value, int width = 0);
// Lower-case digits, the form the scripts' messages and logs have always printed ("0x%1" with
// "1a2b"); a negative number keeps its sign, as QString::arg writes it.
QString lower_digits(int64_t value, int width = 0);
// Two digits a byte, one space between bytes; "" for none.
QString bytes(const uint8_t *data, int count);
QString bytes(const QByteArray &data);

// 0-15 for a hex digit, -1 for anything else (non-ASCII included).
int digit_value(ushort c);
inline int digit_value(QChar c) { return digit_value(c.unicode()); }
inline int digit_value(char c) { return digit_value(static_cast<ushort>(static_cast<unsigned char>(c))); }

// Whitespace around, then hex digits with at most one of a "0x"/"0X" prefix or an "h"/"H"
// suffix; nothing else. A number beyond 64 bits saturates at UINT64_MAX, so that a long
// number is never taken for a small one.
bool parse(const QString &text, uint64_t *value);
// Hex bytes with any whitespace between them or none ("01 0A ff", "010aff"); false on any
// other character or an odd number of digits.
bool parse_bytes(const QString &text, QByteArray *out);

}  // namespace hex
