// Trace lines for any frame the adapter may hand over (identifiers beyond 11 bits, lengths
// beyond 8, remote frames with data): always exactly one well-formed candump line.
#include "can/vci/trace.h"

#include <QRegularExpression>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8 + 4 + 2 + 8)
        return 0;
    uint64_t t = 0;
    std::memcpy(&t, data, 8);
    vci::can_message m;
    std::memcpy(&m.id, data + 8, 4);
    m.len = data[12];
    m.remote = (data[13] & 1) != 0;
    std::memcpy(m.data, data + 14, 8);
    // The writer stamps lines from the system clock, which does not run before 1970.
    const qint64 usecs = qint64(t & 0x3FFFFFFFFFFFFFFFull);
    static const QString ifaces[] = {QStringLiteral("can0"), QStringLiteral("sim0"), QStringLiteral("slcan0")};
    const QString &iface = ifaces[data[13] >> 1 & 1 ? (data[13] >> 2) % 3 : 0];

    const QString line = vci::format_candump_line(usecs, iface, m);
    static const QRegularExpression well_formed(QStringLiteral(
        "^\\(\\d+\\.\\d{6}\\) [a-z0-9]+ ([0-9A-F]{3}|[0-9A-F]{8})#(R|([0-9A-F]{2}){0,8})$"));
    if (!well_formed.match(line).hasMatch())
        std::abort();
    const int hex_id = line.indexOf(QLatin1Char('#')) - line.lastIndexOf(QLatin1Char(' ')) - 1;
    const uint32_t id = m.id & 0x1FFFFFFFu;
    if (hex_id != (id > 0x7FF ? 8 : 3))
        std::abort();
    const int payload = line.size() - line.indexOf(QLatin1Char('#')) - 1;
    if (!m.remote && payload != 2 * (m.len > 8 ? 8 : m.len))
        std::abort();
    return 0;
}
