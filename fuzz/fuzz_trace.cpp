// Trace lines for any frame the adapter may hand over (identifiers beyond 11 bits, lengths
// beyond 8 or 64, remote, FD and error frames, any direction): always exactly one well-formed
// candump line.
#include "can/vci/trace.h"

#include <QRegularExpression>
#include <algorithm>
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
    const uint8_t kind = data[13];
    m.remote = (kind & 1) != 0;
    m.fd = (kind & 0x80) != 0;
    std::memcpy(m.data, data + 14, std::min<size_t>(size - 14, sizeof m.data));
    vci::line_marks marks;
    marks.dir = static_cast<vci::direction>((kind >> 4) % 3);
    marks.error = (kind & 0x40) != 0;
    marks.fd_flags = data[14] & 0x0F;
    marks.raw_dlc = data[15] & 0x0F;
    // The writer stamps lines from the system clock, which does not run before 1970.
    const qint64 usecs = qint64(t & 0x3FFFFFFFFFFFFFFFull);
    static const QString ifaces[] = {QStringLiteral("can0"), QStringLiteral("sim0"), QStringLiteral("slcan0")};
    const QString &iface = ifaces[kind >> 1 & 1 ? (kind >> 2) % 3 : 0];

    const QString line = vci::format_candump_line(usecs, iface, m, marks);
    static const QRegularExpression well_formed(
        QStringLiteral("^\\(\\d+\\.\\d{6}\\) [a-z0-9]+ ([0-9A-F]{3}|[0-9A-F]{8})#"
                       "(R[1-8]?(_[9A-F])?|#[0-9A-F]([0-9A-F]{2}){0,64}|([0-9A-F]{2}){0,8}(_[9A-F])?)( [TR])?$"));
    if (!well_formed.match(line).hasMatch())
        std::abort();
    const int hash = line.indexOf(QLatin1Char('#'));
    const int hex_id = hash - line.lastIndexOf(QLatin1Char(' '), hash) - 1;
    const uint32_t id = m.id & 0x1FFFFFFFu;
    if (hex_id != (id > 0x7FF || marks.error ? 8 : 3))
        std::abort();
    const bool fd = m.fd && !marks.error;
    if (!m.remote && !fd) {
        QString payload = line.mid(hash + 1).section(QLatin1Char(' '), 0, 0);
        payload = payload.section(QLatin1Char('_'), 0, 0);
        if (payload.size() != 2 * (m.len > 8 ? 8 : m.len))
            std::abort();
    }
    return 0;
}
