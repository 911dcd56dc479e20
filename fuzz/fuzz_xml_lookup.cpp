// Both text lookups on documents nobody checked: the files sit beside the program and anyone
// may edit or replace them, and the poll reads one every second. Whatever the bytes: no crash,
// no runaway memory or stack, and an answer only from a document the lookup accepted.
//
// Input: the id in decimal on the first line, then the document (so the seeds stay text).
#include "canopen/canopen_xml.h"
#include "custom_protocol/xml_lookup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int line_end = input.indexOf('\n');
    if (line_end < 0)
        return 0;
    const int32_t id = input.left(line_end).toInt();
    const QByteArray document = input.mid(line_end + 1);

    bool parsed = true;
    const QString custom = custom_xml::lookup_xml_text_in(document, id, &parsed);
    if (!parsed && !custom.isEmpty())
        std::abort();
    // The same document read for the other codes of a poll cycle must not change the verdict.
    bool parsed_again = !parsed;
    custom_xml::lookup_xml_text_in(document, id ^ 1, &parsed_again);
    if (parsed_again != parsed)
        std::abort();

    // The CANopen lookup refuses DTDs, so its text is never longer than the document itself.
    const QString canopen_text = canopen::xml_text_in(document, id);
    if (canopen_text.size() > document.size())
        std::abort();
    return 0;
}
