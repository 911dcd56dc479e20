#pragma once
// A recording as comma-separated text: a header row ("time_s,position_cnt,..."), then one row
// per sample, time in seconds from the first sample recorded with microsecond digits, each
// channel's value scaled (a whole number while unscaled); a channel the sample lacks leaves its
// cell empty. Written in slices so that a long recording can be written
// from the GUI thread with a progress dialog between slices.
#include "scope/scope_recording.h"

#include <QByteArray>

class QIODevice;

namespace scope {

class csv_writer {
public:
    // Channels as columns, in channel order; those the recording never carried are left out.
    // A column name that repeats gets "_2", "_3", ... appended.
    csv_writer(const recording &r, channel_mask wanted, QIODevice *out);

    // Writes the header (first call) and up to max_rows rows. False when the device refused
    // a write; done() tells when every row is out.
    bool write_some(size_t max_rows);
    bool done() const { return next_ == data_.size() && header_written_; }
    size_t rows_written() const { return next_; }

private:
    QByteArray header() const;
    QByteArray row(size_t i) const;
    bool column(int ch) const { return (columns_ & bit(ch)) != 0; }

    const recording &data_;
    channel_mask columns_;
    QIODevice *out_;
    size_t next_ = 0;
    bool header_written_ = false;
};

// The whole recording at once (tests, small recordings).
bool write_csv(const recording &r, channel_mask wanted, QIODevice *out);

}  // namespace scope
