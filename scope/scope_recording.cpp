#include "scope/scope_recording.h"

#include <algorithm>
#include <limits>

namespace scope {

void recording::clear()
{
    blocks_.clear();
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
        size_t first = b, last = b, lo = b, hi = b;
        for (size_t i = a; i < b; ++i) {
            if (!at(i).has(ch))
                continue;
            if (first == b)
                first = lo = hi = i;
            last = i;
            if (at(i).value[ch] < at(lo).value[ch])
                lo = i;
            if (at(i).value[ch] > at(hi).value[ch])
                hi = i;
        }
        if (first == b)
            continue;
        // In time order, so the line goes through the extremes the way the signal did.
        size_t picks[4] = {first, std::min(lo, hi), std::max(lo, hi), last};
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

size_t recording::memory_bytes() const { return blocks_.size() * sizeof(block); }

}  // namespace scope
