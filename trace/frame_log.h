#pragma once
// The frames of one trace (the live capture or a log read from a file): compact records in
// chunks, so that growth never copies the whole trace, and beside them what a record cannot
// hold: the payload of a CAN FD frame beyond 8 bytes with its flags digit, a classic frame's raw
// length code, and the interface each frame was seen on (kept as runs: most traces name one).
// Bounded: at its cap the oldest chunk goes, and what went is counted with its time span.
#include "trace/trace_record.h"

#include <QString>
#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace trace {

struct frame_detail {
    uint8_t code = 0;       // FD: the line's flags digit; classic: the raw length code 9..15
    uint8_t tail[56] = {};  // FD payload bytes 9..64
};

class frame_log {
public:
    static constexpr size_t chunk_size = 1 << 16;
    static constexpr size_t default_cap = 2000000;  // about 50 MB of records
    static constexpr size_t min_cap = 2 * chunk_size;

    explicit frame_log(size_t cap = default_cap);
    frame_log(frame_log &&) = default;
    frame_log &operator=(frame_log &&) = default;

    // Keeps a frame (and its detail, when the record says it has one) seen on interface iface
    // (see intern); at the cap the oldest chunk goes first.
    void push(const trace_record &r, const frame_detail *detail = nullptr, uint16_t iface = 0);
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const trace_record &at(size_t i) const { return chunks_[i / chunk_size][i % chunk_size]; }
    trace_record &at(size_t i) { return chunks_[i / chunk_size][i % chunk_size]; }
    const frame_detail *detail(size_t i) const;
    const QString &interface_of(size_t i) const;
    // The number intern gave the interface of frame i, and the name behind such a number.
    uint16_t interface_index(size_t i) const;
    const QString &interface_name(uint16_t iface) const;
    uint16_t intern(const QString &iface);

    // Wall-clock microseconds since the Unix epoch of the records' time 0.
    int64_t epoch_us = 0;

    size_t cap() const { return cap_; }
    // Not below min_cap; a trace over the new cap lets its oldest frames go at once.
    void set_cap(size_t cap);
    // Frames let go at the cap since the last clear, and the times of the first and last of them.
    uint64_t dropped() const { return dropped_; }
    int64_t dropped_first_us() const { return dropped_first_us_; }
    int64_t dropped_last_us() const { return dropped_last_us_; }
    // Counts every frame let go since the log was made; it only grows.
    uint64_t base() const { return base_; }

    void clear();

private:
    void drop_oldest_chunk();

    size_t cap_;
    // A chunk grows by doubling up to chunk_size (a power of two): a short log stays small, and
    // a long one never copies more than the chunk being filled.
    std::vector<std::vector<trace_record>> chunks_;
    size_t size_ = 0;
    uint64_t base_ = 0;  // the running number of at(0)
    std::deque<std::pair<uint64_t, frame_detail>> details_;
    std::vector<QString> interfaces_;
    std::vector<std::pair<uint64_t, uint16_t>> runs_;  // from this running number on, this interface
    uint64_t dropped_ = 0;
    int64_t dropped_first_us_ = 0;
    int64_t dropped_last_us_ = 0;
};

}  // namespace trace
