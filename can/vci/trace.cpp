#include "can/vci/trace.h"

#include <chrono>

namespace vci {

QString format_candump_line(qint64 usecs_since_epoch, const QString &iface, const can_message &msg)
{
    static const char hex[] = "0123456789ABCDEF";
    char frame[40];
    int pos = 0;
    // Standard identifiers print with three digits, extended ones with eight (even when small).
    const uint32_t id = msg.id & 0x1FFFFFFFu;
    const int id_digits = msg.extended || id > 0x7FF ? 8 : 3;
    for (int shift = (id_digits - 1) * 4; shift >= 0; shift -= 4)
        frame[pos++] = hex[(id >> shift) & 0xF];
    frame[pos++] = '#';
    if (msg.remote) {
        frame[pos++] = 'R';
    } else {
        const int len = msg.len > 8 ? 8 : msg.len;
        for (int i = 0; i < len; ++i) {
            frame[pos++] = hex[msg.data[i] >> 4];
            frame[pos++] = hex[msg.data[i] & 0xF];
        }
    }
    frame[pos] = '\0';
    const qint64 secs = usecs_since_epoch / 1000000;
    const qint64 usecs = usecs_since_epoch % 1000000;
    return QStringLiteral("(%1.%2) %3 %4")
        .arg(secs)
        .arg(usecs, 6, 10, QLatin1Char('0'))
        .arg(iface, QString::fromLatin1(frame));
}

trace_writer::~trace_writer() { close(); }

bool trace_writer::open(const QString &path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (path.isEmpty())
        return true;
    file_ = std::fopen(path.toLocal8Bit().constData(), "a");
    return file_ != nullptr;
}

void trace_writer::close() { open(QString()); }

void trace_writer::write(const QString &iface, const can_message &msg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_)
        return;
    const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const QByteArray line = format_candump_line(now, iface, msg).toLatin1();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

}  // namespace vci
