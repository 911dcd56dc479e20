// Node lists and the DCFs beside them come with a bench from anywhere: whatever the bytes, the
// readers must not crash or run away, a refusal must name a line inside its file, a list they
// accept must read back the same once written, and a bench they accept must hold only nodes a
// boot can work with. Before a line ";DCF" the input is the node list, after it the DCF every
// node names (without that line both are the whole input).
#include "objects/bench.h"

#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int cut = input.indexOf("\n;DCF\n");
    const QByteArray cpj = cut < 0 ? input : input.left(cut + 1);
    const QByteArray dcf = cut < 0 ? input : input.mid(cut + 6);

    const objects::cpj_result list = objects::parse_cpj(cpj);
    if (!list.ok) {
        if (list.error.isEmpty() || list.error_line < 0 || list.error_line > cpj.count('\n') + 1 || !list.network.nodes.empty())
            std::abort();
    } else {
        const objects::cpj_result back = objects::parse_cpj(objects::write_cpj(list.network));
        if (!back.ok || back.network.nodes.size() != list.network.nodes.size())
            std::abort();
        for (size_t i = 0; i < list.network.nodes.size(); ++i) {
            const objects::cpj_node &a = list.network.nodes[i];
            const objects::cpj_node &b = back.network.nodes[i];
            if (a.node != b.node || a.present != b.present || a.dcf_name != b.dcf_name || a.node < 1 || a.node > 127)
                std::abort();
        }
    }

    const objects::bench_result bench = objects::read_bench_texts(cpj, QStringLiteral("f.cpj"), [&dcf](const QString &, QByteArray *text) {
        *text = dcf;
        return true;
    });
    if (bench.ok != list.ok && bench.ok)
        std::abort();
    if (!bench.ok) {
        if (bench.error.isEmpty() || !bench.bench.nodes.empty())
            std::abort();
        return 0;
    }
    QSet<QString> names;
    int last = 0;
    for (const objects::bench_node &n : bench.bench.nodes) {
        if (n.node <= last || n.node > 127 || n.name.isEmpty() || n.name.size() > objects::node_name_max
            || n.heartbeat_ms < 0 || n.heartbeat_ms > 0xFFFF || names.contains(n.name.toLower()))
            std::abort();
        names.insert(n.name.toLower());
        last = n.node;
        (void)objects::dcf_file_name(n.name, n.node);
    }
    return 0;
}
