#include "scope/scope_recording.h"

#include <algorithm>
#include <limits>

namespace scope {

void recording::clear()
{
    blocks_.clear();
    groups_.clear();
    size_ = 0;
    channels_ = 0;
    unit_ = setpoint_unit::cnt;
    trigger_s_ = -1.0;
}

void recording::append(const sample &s)
{
    if (size_ % block_size == 0)
        blocks_.push_back(std::make_unique<block>());
    (*blocks_.back())[size_ % block_size] = s;
    summarise(s);
    ++size_;
    channels_ = static_cast<channel_mask>(channels_ | s.present);
}

size_t recording::lower_bound(double t_s) const
{
    if (empty())
        return 0;
    const int64_t t_us = at(0).t_us + static_cast<int64_t>(t_s * 1e6);
    size_t lo = 0;
    size_t hi = size_;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (at(mid).t_us < t_us)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

size_t recording::nearest(double t_s) const
{
    const size_t i = lower_bound(t_s);
    if (i == 0)
        return 0;
    if (i >= size_)
        return size_ - 1;
    return (t_s - time_s(i - 1) <= time_s(i) - t_s) ? i - 1 : i;
}

namespace {

// Index range [first, last) covering t0..t1 with one extra sample on each side.
struct span {
    size_t first;
    size_t last;
};

span covering(const recording &r, double t0, double t1)
{
    size_t first = r.lower_bound(t0);
    if (first > 0)
        --first;
    size_t last = r.lower_bound(t1);
    if (last < r.size())
        ++last;
    return {first, last};
}

}  // namespace

void recording::summarise(const sample &s)
{
    const size_t offset = size_ % group_size;
    if (offset == 0) {
        group_summary g;
        std::fill(std::begin(g.first_at), std::end(g.first_at), group_summary::none);
        groups_.push_back(g);
    }
    group_summary &g = groups_.back();
    const uint8_t at_offset = static_cast<uint8_t>(offset);
    for (int ch = 0; ch < channel_count; ++ch) {
        if (!s.has(channel(ch)))
            continue;
        const int32_t v = s.value[ch];
        if (g.first_at[ch] == group_summary::none) {
            g.first_at[ch] = g.lo_at[ch] = g.hi_at[ch] = at_offset;
            g.lo[ch] = g.hi[ch] = v;
        } else if (v < g.lo[ch]) {
            g.lo[ch] = v;
            g.lo_at[ch] = at_offset;
        } else if (v > g.hi[ch]) {
            g.hi[ch] = v;
            g.hi_at[ch] = at_offset;
        }
        g.last_at[ch] = at_offset;
    }
}

namespace {

// Takes one candidate (index, value) into running extremes; the first candidate starts them.
template <typename E>
void take(E *e, size_t none, size_t first, size_t last, size_t lo, int32_t lo_value, size_t hi, int32_t hi_value,
          int32_t *lo_v, int32_t *hi_v)
{
    if (e->first == none) {
        e->first = first;
        e->lo = lo;
        e->hi = hi;
        *lo_v = lo_value;
        *hi_v = hi_value;
    } else {
        if (lo_value < *lo_v) {
            e->lo = lo;
            *lo_v = lo_value;
        }
        if (hi_value > *hi_v) {
            e->hi = hi;
            *hi_v = hi_value;
        }
    }
    e->last = last;
}

}  // namespace

void recording::merge_samples(channel ch, size_t a, size_t b, size_t none, slice_extremes *e, int32_t *lo_v,
                              int32_t *hi_v) const
{
    for (size_t i = a; i < b; ++i) {
        const sample &x = at(i);
        if (x.has(ch))
            take(e, none, i, i, i, x.value[ch], i, x.value[ch], lo_v, hi_v);
    }
}

recording::slice_extremes recording::extremes(channel ch, size_t a, size_t b) const
{
    slice_extremes e{b, b, b, b};
    int32_t lo_v = 0, hi_v = 0;
    // Samples up to the first whole group, whole groups from their summaries, then the rest.
    const size_t head_end = std::min(b, (a + group_size - 1) / group_size * group_size);
    merge_samples(ch, a, head_end, b, &e, &lo_v, &hi_v);
    size_t i = head_end;
    for (; i + group_size <= b; i += group_size) {
        const group_summary &g = groups_[i / group_size];
        if (g.first_at[ch] == group_summary::none)
            continue;
        take(&e, b, i + g.first_at[ch], i + g.last_at[ch], i + g.lo_at[ch], g.lo[ch], i + g.hi_at[ch], g.hi[ch],
             &lo_v, &hi_v);
    }
    merge_samples(ch, i, b, b, &e, &lo_v, &hi_v);
    return e;
}

QVector<QPointF> recording::points(channel ch, double t0, double t1, int columns) const
{
    QVector<QPointF> out;
    if (empty() || columns < 1 || !(channels_ & bit(ch)))
        return out;
    const span s = covering(*this, t0, t1);
    const size_t n = s.last - s.first;
    if (n <= static_cast<size_t>(columns) * 4) {
        out.reserve(static_cast<int>(n));
        for (size_t i = s.first; i < s.last; ++i) {
            if (at(i).has(ch))
                out.append(QPointF(time_s(i), at(i).value[ch]));
        }
        return out;
    }
    out.reserve(columns * 4);
    for (int c = 0; c < columns; ++c) {
        const size_t a = s.first + n * c / columns;
        const size_t b = s.first + n * (c + 1) / columns;
        const slice_extremes e = extremes(ch, a, b);
        if (e.first == b)
            continue;
        // In time order, so the line goes through the extremes the way the signal did.
        const size_t picks[4] = {e.first, std::min(e.lo, e.hi), std::max(e.lo, e.hi), e.last};
        size_t previous = b;
        for (size_t i : picks) {
            if (i != previous)
                out.append(QPointF(time_s(i), at(i).value[ch]));
            previous = i;
        }
    }
    return out;
}

bool recording::value_range(channel ch, double t0, double t1, double *lo, double *hi) const
{
    if (empty())
        return false;
    const span s = covering(*this, t0, t1);
    int32_t mn = std::numeric_limits<int32_t>::max();
    int32_t mx = std::numeric_limits<int32_t>::min();
    bool any = false;
    for (size_t i = s.first; i < s.last; ++i) {
        const sample &x = at(i);
        if (!x.has(ch))
            continue;
        any = true;
        mn = std::min(mn, x.value[ch]);
        mx = std::max(mx, x.value[ch]);
    }
    if (any) {
        *lo = mn;
        *hi = mx;
    }
    return any;
}

size_t recording::memory_bytes() const
{
    return blocks_.size() * sizeof(block) + groups_.capacity() * sizeof(group_summary);
}

}  // namespace scope
