#pragma once
// What the frame sender makes of its two text fields, kept apart from the window so that the
// rules can be exercised (and fuzzed) as plain data.
#include <QString>
#include <array>
#include <cstdint>

enum class payload_status {
    ok,
    bad_piece,  // a space-separated piece longer than two characters
    too_many,   // more bytes than one CAN frame carries
};

struct parsed_payload {
    payload_status status = payload_status::ok;
    std::array<uint8_t, 8> bytes{};  // zero beyond count
    int count = 0;                   // meaningful only when status is ok
};

// The payload is hex byte pieces separated by single spaces. Every space starts a new byte, so a
// trailing space or two spaces in a row yield 00 bytes; a piece that is empty or not hex is 00.
// A piece may carry a sign and keeps the low 8 bits of its value: "-1" is FF, "+f" is 0F.
parsed_payload parse_payload_text(const QString &text);

enum class identifier_status {
    ok,
    too_large,  // does not fit the 11 bits of a standard identifier
    not_hex,    // empty, or not a hex number
};

// Hex text (with or without a 0x prefix or an h suffix) up to 0x7FF. Anything else is refused: read as 0 it
// would go out as an NMT command to every node while the table showed the text as typed, and
// above 0x7FF the bus would cut it down to 11 bits.
identifier_status parse_identifier_text(const QString &text, uint32_t *id);
