// The frame sender's two text fields, typed by a person but pasted from anywhere: whatever the
// text, a payload the parser accepts fits one frame and an accepted identifier fits 11 bits.
#include "tools/custom_send_payload.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check_payload(const QString &text)
{
    const parsed_payload p = parse_payload_text(text);
    if (p.status != payload_status::ok)
        return;
    if (p.count < 0 || p.count > int(p.bytes.size()))
        std::abort();
    for (size_t i = size_t(p.count); i < p.bytes.size(); ++i)
        if (p.bytes[i] != 0)
            std::abort();
    // An accepted text has one piece per byte, none longer than two characters.
    if (p.count != (text.isEmpty() ? 0 : text.count(QLatin1Char(' ')) + 1))
        std::abort();
}

void check_identifier(const QString &text)
{
    uint32_t id = 0xFFFFFFFFu;
    const identifier_status s = parse_identifier_text(text, &id);
    if (s == identifier_status::ok ? id > 0x7FF : id != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    // The first byte picks how the rest is read: as UTF-8 (typed or pasted text) or as raw
    // UTF-16 code units (lone surrogates and all).
    if (size == 0)
        return 0;
    const bool utf16 = (data[0] & 1) != 0;
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const int len = int(size - 1);
    QString text;
    if (utf16) {
        std::vector<char16_t> units(size_t(len / 2));
        if (!units.empty())
            std::memcpy(units.data(), rest, units.size() * sizeof(char16_t));
        text = QString::fromUtf16(units.data(), int(units.size()));
    } else {
        text = QString::fromUtf8(rest, len);
    }
    check_payload(text);
    check_identifier(text);
    return 0;
}
