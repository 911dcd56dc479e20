#include "can/vci/trace.h"

#include "base/text_safety.h"

#include <chrono>

namespace vci {
namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr uint32_t error_flag = 0x20000000u;

qint64 wall_clock_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

QString format_candump_line(qint64 usecs_since_epoch, const QString &iface, const can_message &msg,
                            const line_marks &marks)
{
    char frame[12 + 2 * 64 + 8];
    int pos = 0;
    // Standard identifiers print with three digits; extended identifiers and error frames with
    // eight (even when small), so that they read back as what they were.
    uint32_t id = msg.id & 0x1FFFFFFFu;
    const bool long_id = marks.error || msg.extended || id > 0x7FF;
    if (marks.error)
        id |= error_flag;
    for (int shift = long_id ? 28 : 8; shift >= 0; shift -= 4)
        frame[pos++] = hex_digits[(id >> shift) & 0xF];
    frame[pos++] = '#';
    const int max_len = msg.fd && !marks.error ? 64 : 8;
    const int len = msg.len > max_len ? max_len : msg.len;
    const bool raw_dlc = !msg.fd && len == 8 && marks.raw_dlc > 8 && marks.raw_dlc <= 15;
    if (msg.remote && !msg.fd && !marks.error) {
        frame[pos++] = 'R';
        if (len > 0)
            frame[pos++] = hex_digits[len];
    } else {
        if (msg.fd && !marks.error) {
            frame[pos++] = '#';
            frame[pos++] = hex_digits[marks.fd_flags & 0xF];
        }
        for (int i = 0; i < len; ++i) {
            frame[pos++] = hex_digits[msg.data[i] >> 4];
            frame[pos++] = hex_digits[msg.data[i] & 0xF];
        }
    }
    if (raw_dlc) {
        frame[pos++] = '_';
        frame[pos++] = hex_digits[marks.raw_dlc];
    }
    if (marks.dir != direction::unmarked) {
        frame[pos++] = ' ';
        frame[pos++] = marks.dir == direction::transmitted ? 'T' : 'R';
    }
    const qint64 secs = usecs_since_epoch / 1000000;
    const qint64 usecs = usecs_since_epoch % 1000000;
    return QStringLiteral("(%1.%2) %3 %4")
        .arg(secs)
        .arg(usecs, 6, 10, QLatin1Char('0'))
        .arg(text_safety::word(iface), QString::fromLatin1(frame, pos));
}

trace_writer::~trace_writer() { close(); }

bool trace_writer::open(const QString &path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    holding_ = false;
    held_.clear();
    if (path.isEmpty())
        return true;
    file_ = std::fopen(path.toLocal8Bit().constData(), "a");
    return file_ != nullptr;
}

void trace_writer::close() { open(QString()); }

void trace_writer::put(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void trace_writer::write(const QString &iface, const can_message &msg, const line_marks &marks)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_)
        return;
    const QByteArray line = format_candump_line(wall_clock_us(), iface, msg, marks).toLatin1();
    if (holding_)
        held_ += line + '\n';
    else
        put(line);
}

void trace_writer::begin_transmit(const QString &iface, const can_message &msg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_)
        return;
    line_marks marks;
    marks.dir = direction::transmitted;
    outgoing_ = format_candump_line(wall_clock_us(), iface, msg, marks).toLatin1();
    holding_ = true;
}

void trace_writer::end_transmit(bool sent)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_ || !holding_)
        return;
    holding_ = false;
    if (sent)
        put(outgoing_);
    if (!held_.isEmpty()) {
        held_.chop(1);
        put(held_);
        held_.clear();
    }
}

}  // namespace vci
