#include "trace/candump.h"

#include "base/hex.h"
#include "can/vci/trace.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>

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

// Hex byte pairs into the record's data and, past 8 bytes, the detail's tail.
bool parse_payload(const char *p, int chars, int max_bytes, trace_record *r, frame_detail *d)
{
    if (chars % 2 != 0 || chars / 2 > max_bytes)
        return false;
    r->len = static_cast<uint8_t>(chars / 2);
    for (int i = 0; i < r->len; ++i) {
        uint32_t byte = 0;
        if (!parse_hex(p + 2 * i, 2, &byte))
            return false;
        (i < 8 ? r->data[i] : d->tail[i - 8]) = static_cast<uint8_t>(byte);
    }
    return true;
}

// "_X" after an 8-byte classic frame: its raw length code 9..F.
bool parse_raw_dlc(const char *p, int chars, const trace_record &r, frame_detail *d)
{
    if (chars == 0)
        return true;
    const int code = chars == 2 && p[0] == '_' ? hex::digit_value(p[1]) : -1;
    if (r.len != 8 || code < 9)
        return false;
    d->code = static_cast<uint8_t>(code);
    return true;
}

bool parse_frame(const QByteArray &text, trace_record *r, frame_detail *d, line_fault *why)
{
    const int hash = text.indexOf('#');
    uint32_t id = 0;
    *why = line_fault::identifier;
    if ((hash != 3 && hash != 8) || !parse_hex(text.constData(), hash, &id))
        return false;
    r->flags = 0;
    if (hash == 8) {
        if (id & error_flag)
            r->flags |= record_flag::error;
        else if (id > 0x1FFFFFFFu)
            return false;
        else
            r->flags |= record_flag::extended;
        id &= 0x1FFFFFFFu;
    } else if (id > 0x7FF) {
        return false;
    }
    r->id = id;
    const char *p = text.constData() + hash + 1;
    int rest = text.size() - hash - 1;
    *why = line_fault::data;
    if (rest > 0 && p[0] == '#') {
        // CAN FD: a flags digit, then up to 64 bytes.
        const int flags = rest > 1 ? hex::digit_value(p[1]) : -1;
        if (flags < 0 || r->error() || !parse_payload(p + 2, rest - 2, 64, r, d))
            return false;
        r->flags |= record_flag::fd;
        d->code = static_cast<uint8_t>(flags);
        if (r->len > 8 || flags != 0)
            r->flags |= record_flag::detail;
        return true;
    }
    const int suffix = rest >= 2 && p[rest - 2] == '_' ? 2 : 0;
    if (rest > 0 && (p[0] == 'R' || p[0] == 'r')) {
        // "R", or "R<len>" (the requested length), with a raw length code after "R8".
        r->flags |= record_flag::remote;
        const int digits = rest - 1 - suffix;
        *why = line_fault::length;
        if (r->error() || digits > 1 || (digits == 1 && (p[1] < '0' || p[1] > '8')))
            return false;
        r->len = static_cast<uint8_t>(digits == 1 ? p[1] - '0' : 0);
    } else {
        if (!parse_payload(p, rest - suffix, 8, r, d))
            return false;
    }
    *why = line_fault::length;
    if (!parse_raw_dlc(p + rest - suffix, suffix, *r, d))
        return false;
    if (suffix)
        r->flags |= record_flag::detail;
    return true;
}

QList<QByteArray> fields_of(const QByteArray &line)
{
    QList<QByteArray> fields;
    int i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const int start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields << line.mid(start, i - start);
    }
    return fields;
}

}  // namespace

bool parse_candump_line(const QByteArray &line, parsed_line *out, line_fault *why)
{
    line_fault fault = line_fault::too_long;
    if (!why)
        why = &fault;
    *why = line_fault::too_long;
    if (line.size() > max_line_bytes)
        return false;
    const QList<QByteArray> fields = fields_of(line);
    *why = line_fault::fields;
    if (fields.size() != 3 && fields.size() != 4)
        return false;
    parsed_line p;
    *why = line_fault::time;
    if (!parse_time(fields[0], &p.record.t_us))
        return false;
    if (!parse_frame(fields[2], &p.record, &p.detail, why))
        return false;
    // An interface is a name of printable ASCII, as the kernel's are and as a trace writes it
    // back: control characters and bytes beyond ASCII make no line.
    *why = line_fault::fields;
    for (const char c : fields[1])
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    if (fields.size() == 4) {
        *why = line_fault::direction;
        const QByteArray &dir = fields[3];
        if (dir == "T" || dir == "t")
            p.record.flags |= record_flag::transmitted;
        else if (dir != "R" && dir != "r")
            return false;
    }
    p.iface = fields[1];
    *out = p;
    return true;
}

read_result read_candump(QIODevice &in, size_t cap, const std::function<bool(qint64)> &progress)
{
    read_result result;
    result.log = frame_log(cap);
    qint64 read_bytes = 0;
    size_t line_number = 0;
    bool have_epoch = false;
    QByteArray last_iface;
    uint16_t iface = 0;
    const auto refuse = [&](line_fault why) {
        if (result.refused.size() < max_listed_refusals)
            result.refused.push_back({line_number, why});
        ++result.refused_lines;
    };
    char buffer[max_line_bytes + 2];
    while (!in.atEnd()) {
        const qint64 n = in.readLine(buffer, sizeof buffer);
        if (n <= 0)
            break;
        read_bytes += n;
        ++line_number;
        QByteArray line = QByteArray::fromRawData(buffer, static_cast<int>(n));
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
            refuse(line_fault::too_long);
            continue;
        }
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        parsed_line p;
        line_fault why = line_fault::fields;
        if (!parse_candump_line(line, &p, &why)) {
            refuse(why);
            continue;
        }
        if (!have_epoch) {
            result.log.epoch_us = p.record.t_us;
            have_epoch = true;
        }
        if (p.iface != last_iface) {
            last_iface = p.iface;
            iface = result.log.intern(QString::fromLatin1(p.iface));
        }
        p.record.t_us -= result.log.epoch_us;
        result.log.push(p.record, &p.detail, iface);
        if (progress && (line_number & 0xFFFF) == 0 && !progress(read_bytes)) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

QByteArray format_record(const trace_record &r, const frame_detail *detail, int64_t epoch_us, const QString &iface)
{
    vci::can_message m;
    m.id = r.id;
    m.extended = r.extended();
    m.remote = r.remote();
    m.fd = r.fd();
    m.len = r.len;
    std::memcpy(m.data, r.data, 8);
    if (detail && r.fd() && r.len > 8)
        std::memcpy(m.data + 8, detail->tail, std::min<size_t>(r.len - 8u, sizeof detail->tail));
    vci::line_marks marks;
    marks.dir = r.transmitted() ? vci::direction::transmitted : vci::direction::received;
    marks.error = r.error();
    if (detail)
        (r.fd() ? marks.fd_flags : marks.raw_dlc) = detail->code;
    return vci::format_candump_line(epoch_us + r.t_us, iface, m, marks).toLatin1();
}

QByteArray format_record(const frame_log &log, size_t i)
{
    return format_record(log.at(i), log.detail(i), log.epoch_us, log.interface_of(i));
}

bool write_candump(QIODevice &out, const frame_log &log, const std::vector<uint32_t> &rows,
                   const std::function<bool(size_t)> &progress)
{
    QByteArray chunk;
    for (size_t i = 0; i < rows.size(); ++i) {
        chunk += format_record(log, rows[i]);
        chunk += '\n';
        if (chunk.size() > 1 << 16 || i + 1 == rows.size()) {
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
