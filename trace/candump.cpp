#include "trace/candump.h"

#include "base/hex.h"
#include "can/vci/trace.h"

#include <QIODevice>

namespace trace {
namespace {

bool parse_hex(const char *p, int n, uint32_t *out)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const int d = hex::digit_value(p[i]);
        if (d < 0)
            return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    *out = v;
    return true;
}

// "(seconds.fraction)": seconds up to 12 digits, fraction 1..9 digits (kept to microseconds).
bool parse_time(const QByteArray &text, int64_t *t_us)
{
    if (text.size() < 4 || text.front() != '(' || text.back() != ')')
        return false;
    const int dot = text.indexOf('.');
    const int secs_len = dot - 1;
    const int frac_len = text.size() - 2 - dot;
    if (dot < 0 || secs_len < 1 || secs_len > 12 || frac_len < 1 || frac_len > 9)
        return false;
    int64_t secs = 0;
    for (int i = 1; i < dot; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        secs = secs * 10 + (text[i] - '0');
    }
    int64_t usecs = 0;
    for (int i = 0; i < 6; ++i) {
        const char c = i < frac_len ? text[dot + 1 + i] : '0';
        if (c < '0' || c > '9')
            return false;
        usecs = usecs * 10 + (c - '0');
    }
    for (int i = 6; i < frac_len; ++i)
        if (text[dot + 1 + i] < '0' || text[dot + 1 + i] > '9')
            return false;
    *t_us = secs * 1000000 + usecs;
    return true;
}

bool parse_frame(const QByteArray &text, trace_record *r)
{
    const int hash = text.indexOf('#');
    if (hash != 3 && hash != 8)
        return false;
    uint32_t id = 0;
    if (!parse_hex(text.constData(), hash, &id))
        return false;
    r->flags = 0;
    if (hash == 8) {
        if (id & error_flag) {
            r->flags |= record_flag::error;
            id &= 0x1FFFFFFFu;
        }
        else if (id > 0x1FFFFFFFu) {
            return false;
        }
        else {
            r->flags |= record_flag::extended;
        }
    }
    else if (id > 0x7FF) {
        return false;
    }
    r->id = id;
    const QByteArray payload = text.mid(hash + 1);
    if (payload.startsWith('R')) {
        // "R" or "R<len>" (newer can-utils give the requested length).
        if (payload.size() > 2 || (payload.size() == 2 && (payload[1] < '0' || payload[1] > '8')))
            return false;
        r->flags |= record_flag::remote;
        r->len = payload.size() == 2 ? static_cast<uint8_t>(payload[1] - '0') : 0;
        return true;
    }
    // Classic CAN only: a CAN FD frame ("##") or more than 8 bytes is not ours.
    if (payload.size() % 2 != 0 || payload.size() > 16)
        return false;
    r->len = static_cast<uint8_t>(payload.size() / 2);
    for (int i = 0; i < r->len; ++i) {
        uint32_t byte = 0;
        if (!parse_hex(payload.constData() + 2 * i, 2, &byte))
            return false;
        r->data[i] = static_cast<uint8_t>(byte);
    }
    return true;
}

}  // namespace

bool parse_candump_line(const QByteArray &line, trace_record *record)
{
    if (line.size() > max_line_bytes)
        return false;
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() != 3 && fields.size() != 4)
        return false;
    trace_record r;
    if (!parse_time(fields[0], &r.t_us) || fields[1].isEmpty() || !parse_frame(fields[2], &r))
        return false;
    if (fields.size() == 4) {
        if (fields[3] == "T")
            r.flags |= record_flag::transmitted;
        else if (fields[3] != "R")
            return false;
    }
    *record = r;
    return true;
}

read_result read_candump(QIODevice &in, size_t max_frames, const std::function<bool(qint64)> &progress)
{
    read_result result;
    qint64 read_bytes = 0;
    int64_t first = -1;
    char buffer[max_line_bytes + 2];
    while (!in.atEnd()) {
        const qint64 n = in.readLine(buffer, sizeof buffer);
        if (n <= 0)
            break;
        read_bytes += n;
        QByteArray line(buffer, static_cast<int>(n));
        if (!line.endsWith('\n') && !in.atEnd()) {
            // Longer than any candump line: skip the rest of it.
            while (!in.atEnd()) {
                const qint64 more = in.readLine(buffer, sizeof buffer);
                if (more <= 0)
                    break;
                read_bytes += more;
                if (buffer[more - 1] == '\n')
                    break;
            }
            ++result.skipped_lines;
            continue;
        }
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        trace_record r;
        if (!parse_candump_line(line, &r)) {
            ++result.skipped_lines;
            continue;
        }
        if (result.records.size() >= max_frames) {
            result.truncated = true;
            break;
        }
        if (first < 0)
            first = r.t_us;
        // A log is in time order; a line stamped earlier than the first keeps time 0.
        r.t_us = r.t_us >= first ? r.t_us - first : 0;
        result.records.push_back(r);
        if (progress && (result.records.size() & 0xFFFF) == 0 && !progress(read_bytes))
            break;
    }
    return result;
}

QByteArray format_record(const trace_record &r, int64_t epoch_us, const QString &iface)
{
    const int64_t t = epoch_us + r.t_us;
    vci::can_message m;
    m.id = r.id;
    m.len = r.len > 8 ? 8 : r.len;
    m.remote = r.remote();
    for (int i = 0; i < 8; ++i)
        m.data[i] = r.data[i];
    if (!r.error() && !r.extended())
        return vci::format_candump_line(t, iface, m).toLatin1();
    // Error frames carry the error flag, and extended frames keep all eight digits even when
    // the identifier is small, so that they read back as what they were.
    m.id = 0;
    QByteArray line = vci::format_candump_line(t, iface, m).toLatin1();
    const int hash = line.lastIndexOf('#');
    const uint32_t id = (r.id & 0x1FFFFFFFu) | (r.error() ? error_flag : 0);
    line.replace(hash - 3, 3, hex::digits(id, 8).toLatin1());
    return line;
}

bool write_candump(QIODevice &out, const std::vector<const trace_record *> &records, int64_t epoch_us,
                   const QString &iface, const std::function<bool(size_t)> &progress)
{
    QByteArray chunk;
    for (size_t i = 0; i < records.size(); ++i) {
        chunk += format_record(*records[i], epoch_us, iface);
        chunk += '\n';
        if (chunk.size() > 1 << 16 || i + 1 == records.size()) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
            if (progress && !progress(i + 1))
                return true;
        }
    }
    return true;
}

}  // namespace trace
