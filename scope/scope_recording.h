#pragma once
// A recording: every sample kept, in fixed-size blocks so that growing never copies what is
// already there (an hour at 100 Hz is 360 000 records, about 11.5 MB), and the reduced point
// lists the chart draws (at most two points per channel and pixel column).
#include "scope/scope_sample.h"

#include <QPointF>
#include <QVector>
#include <array>
#include <memory>
#include <vector>

namespace scope {

class recording {
public:
    void clear();
    void append(const sample &s);

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const sample &at(size_t i) const { return (*blocks_[i / block_size])[i % block_size]; }

    // Seconds from the first sample.
    double time_s(size_t i) const { return (at(i).t_us - at(0).t_us) / 1e6; }
    double duration_s() const { return empty() ? 0.0 : time_s(size_ - 1); }
    // First sample at or after t (size() when none).
    size_t lower_bound(double t_s) const;
    // The sample closest in time to t; the recording must not be empty.
    size_t nearest(double t_s) const;

    // Channels that any sample carries.
    channel_mask channels() const { return channels_; }
    setpoint_unit unit() const { return unit_; }
    void set_unit(setpoint_unit u) { unit_ = u; }
    // Time of the trigger in seconds from the first sample; negative when not triggered.
    double trigger_s() const { return trigger_s_; }
    void set_trigger_s(double t) { trigger_s_ = t; }

    // The channel's points between t0 and t1 (one sample beyond each end, so lines reach the
    // edges), reduced to the first, minimum, maximum and last of each of `columns` slices when
    // there are more points than that: peaks stay visible at any zoom.
    QVector<QPointF> points(channel ch, double t0, double t1, int columns) const;
    // Smallest and largest value of the channel between t0 and t1; false when it has none.
    bool value_range(channel ch, double t0, double t1, double *lo, double *hi) const;

    // Bytes held by the records and their summaries, for the memory figures.
    size_t memory_bytes() const;

    static constexpr size_t block_size = 8192;
    // Samples per summary group: a reduction of a wide view walks groups, not samples.
    static constexpr size_t group_size = 64;

private:
    // First, last, smallest and largest sample of a channel in [a, b); b when it has none.
    struct slice_extremes {
        size_t first, last, lo, hi;
    };
    slice_extremes extremes(channel ch, size_t a, size_t b) const;

    // Per channel and group of group_size samples: extremes and where they are (offsets in the
    // group; none when no sample of the group carries the channel).
    struct group_summary {
        static constexpr uint8_t none = 0xFF;
        int32_t lo[channel_count];
        int32_t hi[channel_count];
        uint8_t lo_at[channel_count];
        uint8_t hi_at[channel_count];
        uint8_t first_at[channel_count];
        uint8_t last_at[channel_count];
    };
    void summarise(const sample &s);
    // Takes samples [a, b) into e; none is the index e uses for "nothing yet".
    void merge_samples(channel ch, size_t a, size_t b, size_t none, slice_extremes *e, int32_t *lo_v,
                       int32_t *hi_v) const;

    using block = std::array<sample, block_size>;
    std::vector<std::unique_ptr<block>> blocks_;
    std::vector<group_summary> groups_;
    size_t size_ = 0;
    channel_mask channels_ = 0;
    setpoint_unit unit_ = setpoint_unit::cnt;
    double trigger_s_ = -1.0;
};

}  // namespace scope
