#pragma once
// Trace files in candump log format, the one can-utils, python-can and VELMORA_CAN_TRACE share
// (see can/vci/trace.h for the lines we write). Reading also takes what other writers put:
//   701#R  701#r  701#R1               remote frames, with or without the requested length
//   123#1122334455667788_9  701#R8_9   a classic 8-byte frame's raw length code (9..F)
//   123##1<up to 64 bytes>             CAN FD with its flags digit
//   no trailing T/R                    received
// Reading is bounded and forgiving: a line that does not parse is skipped, counted, and its
// number and reason kept, never trusted.
#include "trace/frame_log.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class QIODevice;

namespace trace {

// Lines longer than this are not candump lines (a CAN FD line is at most about 200 bytes).
constexpr int max_line_bytes = 256;
constexpr uint32_t error_flag = 0x20000000u;

enum class line_fault { too_long, fields, time, identifier, data, length, direction };

// One parsed line: t_us is the absolute time in microseconds since the Unix epoch.
struct parsed_line {
    trace_record record;
    frame_detail detail;
    QByteArray iface;
};

// Parses one line (without its line end); false with the reason when it is not a frame.
bool parse_candump_line(const QByteArray &line, parsed_line *out, line_fault *why = nullptr);

struct refused_line {
    size_t line;  // counted from 1
    line_fault why;
};

struct read_result {
    frame_log log;  // times relative to the first frame, which gives the log's epoch
    size_t refused_lines = 0;
    std::vector<refused_line> refused;  // the first max_listed_refusals of them
    bool stopped = false;               // progress said stop
};
constexpr size_t max_listed_refusals = 100;

// Reads a whole log, keeping the newest cap frames (the log counts what it let go); progress
// (may be empty) gets the bytes read so far and returns false to stop.
read_result read_candump(QIODevice &in, size_t cap, const std::function<bool(qint64)> &progress = {});

// One line of a frame of a log, as the adapter's own trace writes it.
QByteArray format_record(const trace_record &r, const frame_detail *detail, int64_t epoch_us, const QString &iface);
QByteArray format_record(const frame_log &log, size_t i);

// Writes the frames at these positions of the log (all of them, or until progress says stop);
// false on a write error.
bool write_candump(QIODevice &out, const frame_log &log, const std::vector<uint32_t> &rows,
                   const std::function<bool(size_t)> &progress = {});

}  // namespace trace
