// EDS/DCF files come from vendors' sites, mail and USB sticks: whatever the bytes, the parser
// must not crash or run away, a refusal must name a line inside the file, and a document it
// accepts must survive being written as a DCF and read back.
#include "objects/eds.h"
#include "canopen/value_codec.h"

#include <QList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check_entry(const objects::od_entry &e)
{
    // What the window does with every accepted entry: resolve the node id, check the default
    // against type and limits, and show it.
    QString resolved;
    if (objects::resolve_node_id(e.default_value, 127, &resolved)) {
        const canopen::encoded v = canopen::encode_value(e.type, resolved, canopen::value_limits{e.low_limit, e.high_limit});
        if (v.ok != v.error.isEmpty())
            std::abort();
        if (v.ok)
            (void)canopen::format_value(e.type, v.bytes, true);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const objects::eds_result r = objects::parse_eds(input);
    if (!r.ok) {
        if (r.error.isEmpty() || r.error_line < 0 || r.error_line > input.count('\n') + 1 || !r.document.objects.empty())
            std::abort();
        return 0;
    }
    size_t entries = 0;
    for (const objects::od_object &o : r.document.objects)
        for (const objects::od_entry &e : o.entries) {
            check_entry(e);
            ++entries;
        }
    // The writer adds a little to names (compact sub-objects) and UTF-8 may grow a byte that
    // was not; the round trip is asked of files comfortably inside the parser's bounds.
    int longest = 0;
    for (const QByteArray &line : input.split('\n'))
        longest = std::max(longest, int(line.size()));
    if (longest > objects::eds_max_line / 4 || entries + r.document.objects.size() > size_t(objects::eds_max_sections / 2))
        return 0;
    const objects::eds_result back = objects::parse_eds(objects::write_dcf(r.document, 1, QStringLiteral("f.dcf")));
    if (!back.ok || back.document.objects.size() != r.document.objects.size())
        std::abort();
    size_t entries_back = 0;
    for (const objects::od_object &o : back.document.objects)
        entries_back += o.entries.size();
    if (entries_back != entries)
        std::abort();
    return 0;
}
