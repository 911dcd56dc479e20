#include "trace/trace_log.h"

#include <QFile>

namespace trace {

log_file open_log(const QString &path, size_t cap, const std::function<bool(int)> &progress)
{
    log_file result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = log_error::cannot_open;
        return result;
    }
    const qint64 size = qMax<qint64>(1, file.size());
    result.read = read_candump(file, cap, [&](qint64 bytes) {
        return !progress || progress(static_cast<int>(bytes * 1000 / size));
    });
    if (result.read.stopped)
        result.error = log_error::cancelled;
    else if (result.read.log.empty())
        result.error = log_error::no_frames;
    return result;
}

bool save_log(const QString &path, const frame_log &log, const std::vector<uint32_t> &rows,
              const std::function<bool(size_t)> &progress)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return write_candump(file, log, rows, progress) && file.flush();
}

}  // namespace trace
