#pragma once
// Trace logs as files: opening and saving a candump log by path, with a progress callback and
// the reasons a file could not be used. No widgets: the window shows the progress and applies
// what comes back.
#include "trace/candump.h"

#include <QString>
#include <functional>
#include <vector>

namespace trace {

enum class log_error { none, cannot_open, no_frames, cancelled };

struct log_file {
    read_result read;
    log_error error = log_error::none;
};

// Keeps the newest cap frames of the file. progress gets the share read so far in thousandths
// and returns false to stop (the log is then not used).
log_file open_log(const QString &path, size_t cap, const std::function<bool(int)> &progress = {});

// Writes the frames at these positions of the log; progress gets the rows written so far and
// returns false to stop; false on any failure.
bool save_log(const QString &path, const frame_log &log, const std::vector<uint32_t> &rows,
              const std::function<bool(size_t)> &progress = {});

}  // namespace trace
