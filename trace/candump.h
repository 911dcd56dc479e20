#pragma once
// Trace files in candump log format, the one can-utils, python-can and VELMORA_CAN_TRACE share:
//   (1733650000.123456) can0 601#4064600000000000     data frame, 11-bit identifier
//   (1733650000.123500) can0 12345678#DEAD            29-bit identifier (eight digits)
//   (1733650000.123600) can0 701#R                    remote frame
//   (1733650000.123700) can0 20000044#0004000000000000  error frame (error flag 0x20000000)
// A trailing " R" or " T" (newer candump -L) says received or transmitted. Reading is bounded
// and forgiving: a line that does not parse is counted and skipped, never trusted.
#include "trace/trace_record.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class QIODevice;

namespace trace {

// Lines longer than this are not candump lines (a CAN FD line is at most about 170 bytes).
constexpr int max_line_bytes = 256;
constexpr uint32_t error_flag = 0x20000000u;

// Parses one line (without its line end). t_us is the absolute time in microseconds.
bool parse_candump_line(const QByteArray &line, trace_record *record);

struct read_result {
    std::vector<trace_record> records;  // times relative to the first frame
    size_t skipped_lines = 0;
    bool truncated = false;  // stopped at max_frames
};

// Reads at most max_frames frames; progress (may be empty) gets the bytes read so far and
// returns false to stop.
read_result read_candump(QIODevice &in, size_t max_frames, const std::function<bool(qint64)> &progress = {});

// One line as the adapter's own trace writes it; epoch_us is added to the record's time.
QByteArray format_record(const trace_record &r, int64_t epoch_us, const QString &iface);

// Writes records (all of them, or those progress does not stop); false on a write error.
bool write_candump(QIODevice &out, const std::vector<const trace_record *> &records, int64_t epoch_us,
                   const QString &iface, const std::function<bool(size_t)> &progress = {});

}  // namespace trace
