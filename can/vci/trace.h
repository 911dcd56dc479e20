#pragma once
// Bus trace in candump log format: "(1733650000.123456) can0 601#4064600000000000",
// remote frames as "ID#R". Lines are appended and flushed one by one so that a crash loses
// nothing already traced.
#include "can/vci/bus_backend.h"

#include <QString>
#include <cstdio>
#include <mutex>

namespace vci {

QString format_candump_line(qint64 usecs_since_epoch, const QString &iface, const can_message &msg);

class trace_writer {
public:
    ~trace_writer();
    // Opens path for appending; an empty path closes the trace.
    bool open(const QString &path);
    void close();
    void write(const QString &iface, const can_message &msg);

private:
    std::mutex mutex_;
    std::FILE *file_ = nullptr;
};

}  // namespace vci
