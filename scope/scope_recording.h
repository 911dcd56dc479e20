#pragma once
// A recording: the channels it was made with and its samples, kept in fixed-size blocks of
// columns (time, which channels each sample has, one value column per channel) so that growing
// never copies what is already there and a sample of four channels costs about 26 bytes; the
// reduced point lists the chart draws (at most four points per channel and pixel column).
//
// A recording may be capped: beyond cap() samples the oldest go, a block at a time once whole,
// and dropped() counts them. Times stay measured from the first sample ever recorded, so what
// remains keeps its place on the time axis.
#include "scope/scope_sample.h"

#include <QPointF>
#include <QVector>
#include <deque>
#include <memory>
#include <vector>

namespace scope {

class recording {
public:
    // Empties the recording; its channels stay.
    void clear();
    // Empties it for these channels (at most max_channels).
    void reset(const channel_list &channels);
    void append(const sample &s);

    const channel_list &channel_defs() const { return defs_; }
    // The scale and unit of channel ch become c's, when ch is the same object.
    void relabel(int ch, const channel_def &c);
    int width() const { return static_cast<int>(defs_.size()); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    sample at(size_t i) const;
    int64_t t_us(size_t i) const;
    bool has(size_t i, int ch) const;
    int32_t key(size_t i, int ch) const;
    double value(size_t i, int ch) const { return defs_[ch].value(key(i, ch)); }

    // Seconds from the first sample ever recorded.
    double time_s(size_t i) const { return (t_us(i) - origin_us_) / 1e6; }
    double start_s() const { return empty() ? 0.0 : time_s(0); }
    double end_s() const { return empty() ? 0.0 : time_s(size_ - 1); }
    // First sample at or after t (size() when none).
    size_t lower_bound(double t_s) const;
    // The sample closest in time to t; the recording must not be empty.
    size_t nearest(double t_s) const;

    // Channels that any sample carries.
    channel_mask channels() const { return channels_; }
    setpoint_unit unit() const { return unit_; }
    void set_unit(setpoint_unit u) { unit_ = u; }
    // Time of the trigger in seconds on the recording's time axis; negative when not triggered.
    double trigger_s() const { return trigger_s_; }
    void set_trigger_us(int64_t t_us);

    // Largest number of samples kept (0: no cap), and how many went to keep to it.
    void set_cap(size_t samples);
    size_t cap() const { return cap_; }
    size_t dropped() const { return dropped_; }

    // The channel's points (time, scaled value) between t0 and t1 (one sample beyond each end,
    // so lines reach the edges), reduced to the first, minimum, maximum and last of each of
    // `columns` slices when there are more points than that: peaks stay visible at any zoom.
    QVector<QPointF> points(int ch, double t0, double t1, int columns) const;
    // Smallest and largest scaled value of the channel between t0 and t1; false when it has none.
    bool value_range(int ch, double t0, double t1, double *lo, double *hi) const;

    // Bytes held by the samples and their summaries, for the memory figures.
    size_t memory_bytes() const;
    // What n samples of w channels take, for telling the user what a cap costs.
    static size_t bytes_for(size_t n, int w);

    static constexpr size_t block_size = 8192;
    // Samples per summary group: a reduction of a wide view walks groups, not samples.
    static constexpr size_t group_size = 64;

private:
    struct block {
        explicit block(int width) : values(block_size * static_cast<size_t>(width)) {}
        int64_t t_us[block_size];
        channel_mask present[block_size];
        std::vector<int32_t> values;  // sample-major: width values per sample
    };
    // Per channel and group of group_size samples: extremes and where they are (offsets in the
    // group; none when no sample of the group carries the channel).
    struct group_summary {
        static constexpr uint8_t none = 0xFF;
        int32_t lo[max_channels];
        int32_t hi[max_channels];
        uint8_t lo_at[max_channels];
        uint8_t hi_at[max_channels];
        uint8_t first_at[max_channels];
        uint8_t last_at[max_channels];
    };
    // First, last, smallest and largest sample of a channel in [a, b); b when it has none.
    struct slice_extremes {
        size_t first, last, lo, hi;
    };

    // Positions count from the first sample ever appended; index i of the API is dropped_ + i.
    size_t pos(size_t i) const { return dropped_ + i; }
    const block &block_at(size_t p) const { return *blocks_[p / block_size - blocks_gone_]; }
    const group_summary *group_at(size_t p) const;
    void summarise(const sample &s, size_t p);
    void drop_oldest();
    slice_extremes extremes(int ch, size_t a, size_t b) const;
    void merge_samples(int ch, size_t a, size_t b, size_t none, slice_extremes *e, int32_t *lo_v, int32_t *hi_v) const;

    channel_list defs_ = default_channels();
    std::deque<std::unique_ptr<block>> blocks_;
    std::deque<group_summary> groups_;
    size_t blocks_gone_ = 0;  // whole blocks released from the front
    size_t groups_gone_ = 0;
    size_t size_ = 0;
    size_t dropped_ = 0;
    size_t cap_ = 0;
    int64_t origin_us_ = 0;
    channel_mask channels_ = 0;
    setpoint_unit unit_ = setpoint_unit::cnt;
    double trigger_s_ = -1.0;
};

}  // namespace scope
