#pragma once
// Trace logs as files: opening and saving a candump log by path, with a progress callback and
// the reasons a file could not be used. No widgets: the window shows the progress and applies
// what comes back.
#include "trace/candump.h"

#include <QString>
#include <functional>
#include <vector>

namespace trace {

// A loaded log larger than this is cut (and the user told): 4 million frames is about 100 MB.
constexpr size_t max_loaded_frames = 4000000;

enum class log_error { none, cannot_open, no_frames };

struct log_file {
    read_result read;
    log_error error = log_error::none;
};

// progress gets the share read so far in thousandths and returns false to stop.
log_file open_log(const QString &path, const std::function<bool(int)> &progress = {});

// progress gets the rows written so far and returns false to stop; false on any failure.
bool save_log(const QString &path, const std::vector<const trace_record *> &rows, int64_t epoch_us,
              const QString &iface, const std::function<bool(size_t)> &progress = {});

}  // namespace trace
