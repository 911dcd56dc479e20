// A node list as typed and a DCF from anywhere, turned into the writes of a download: whatever
// the bytes, no crash, a list only of nodes 1..127 each once, and a plan that writes only rows it
// was given, each row of a plain object once.
//
// Input: the node list on the first line, then the DCF text.
#include "objects/dcf_config.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

using namespace objects;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int line_end = input.indexOf('\n');
    if (line_end < 0)
        return 0;
    std::vector<int> nodes;
    QString error;
    if (parse_node_list(QString::fromUtf8(input.left(line_end)), &nodes, &error)) {
        std::set<int> seen(nodes.begin(), nodes.end());
        if (nodes.empty() || seen.size() != nodes.size() || *seen.begin() < 1 || *seen.rbegin() > 127)
            std::abort();
    } else if (error.isEmpty()) {
        std::abort();
    }

    const eds_result dcf = parse_eds(input.mid(line_end + 1));
    if (!dcf.ok)
        return 0;
    // The drive answers every object with the DCF's value shifted by one byte, or not at all.
    std::vector<dcf_row> rows;
    for (const dcf_value &v : dcf_values(dcf.document, nodes.empty() ? 1 : nodes.front())) {
        dcf_row r;
        r.value = v;
        canopen::sdo_outcome read;
        read.ok = (v.index & 1) == 0;
        read.data = v.bytes.bytes.mid(1) + QByteArray(1, '\x5A');
        r.read = read.ok;
        r.drive = read.data;
        r.state = compare(v, read);
        rows.push_back(r);
    }
    for (const dcf_group &g : plan_download(rows)) {
        for (const dcf_write &w : g.writes)
            if (w.row >= static_cast<int>(rows.size()) || (w.row >= 0 && !wants_write(rows[static_cast<size_t>(w.row)])))
                std::abort();
        for (const int r : g.rows)
            if (r < 0 || r >= static_cast<int>(rows.size()))
                std::abort();
    }
    return 0;
}
