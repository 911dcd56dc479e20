#include "scope/scope_recording.h"

#include <algorithm>
#include <limits>

namespace scope {

void recording::clear()
{
    blocks_.clear();
    groups_.clear();
    blocks_gone_ = groups_gone_ = 0;
    size_ = 0;
    dropped_ = 0;
    origin_us_ = 0;
    channels_ = 0;
    unit_ = setpoint_unit::cnt;
    trigger_s_ = -1.0;
}

void recording::reset(const channel_list &channels)
{
    clear();
    defs_.assign(channels.begin(), channels.begin() + std::min<size_t>(channels.size(), max_channels));
}

void recording::relabel(int ch, const channel_def &c)
{
    if (ch < 0 || ch >= width() || defs_[ch].kind != c.kind || defs_[ch].index != c.index || defs_[ch].sub != c.sub)
        return;
    defs_[ch].scale = c.scale;
    defs_[ch].unit = c.unit;
}

void recording::set_cap(size_t samples)
{
    cap_ = samples;
    while (cap_ > 0 && size_ > cap_)
        drop_oldest();
}

void recording::set_trigger_us(int64_t t_us) { trigger_s_ = (t_us - (empty() ? t_us : origin_us_)) / 1e6; }

sample recording::at(size_t i) const
{
    sample s;
    s.t_us = t_us(i);
    for (int ch = 0; ch < width(); ++ch) {
        if (has(i, ch))
            s.set(ch, key(i, ch));
    }
    return s;
}

int64_t recording::t_us(size_t i) const { return block_at(pos(i)).t_us[pos(i) % block_size]; }

bool recording::has(size_t i, int ch) const
{
    return (block_at(pos(i)).present[pos(i) % block_size] & bit(ch)) != 0;
}

int32_t recording::key(size_t i, int ch) const
{
    return block_at(pos(i)).values[(pos(i) % block_size) * defs_.size() + static_cast<size_t>(ch)];
}

void recording::append(const sample &s)
{
    if (cap_ > 0 && size_ >= cap_)
        drop_oldest();
    const size_t p = pos(size_);
    if (p % block_size == 0)
        blocks_.push_back(std::make_unique<block>(width()));
    block &b = *blocks_.back();
    const size_t at = p % block_size;
    b.t_us[at] = s.t_us;
    const channel_mask present = static_cast<channel_mask>(s.present & ((1u << width()) - 1));
    b.present[at] = present;
    std::copy(s.value, s.value + width(), b.values.begin() + static_cast<std::ptrdiff_t>(at * defs_.size()));
    if (size_ == 0 && dropped_ == 0)
        origin_us_ = s.t_us;
    summarise(s, p);
    ++size_;
    channels_ = static_cast<channel_mask>(channels_ | present);
}

void recording::drop_oldest()
{
    ++dropped_;
    --size_;
    while (!blocks_.empty() && (blocks_gone_ + 1) * block_size <= dropped_) {
        blocks_.pop_front();
        ++blocks_gone_;
    }
    while (!groups_.empty() && (groups_gone_ + 1) * group_size <= dropped_) {
        groups_.pop_front();
        ++groups_gone_;
    }
}

size_t recording::lower_bound(double t_s) const
{
    const int64_t t = origin_us_ + static_cast<int64_t>(t_s * 1e6);
    size_t lo = 0;
    size_t hi = size_;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (t_us(mid) < t)
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

// Takes one candidate (index, key) into running extremes; the first candidate starts them.
template <typename E>
void take(E *e, size_t none, size_t first, size_t last, size_t lo, int32_t lo_key, size_t hi, int32_t hi_key,
          int32_t *lo_v, int32_t *hi_v)
{
    if (e->first == none) {
        e->first = first;
        e->lo = lo;
        e->hi = hi;
        *lo_v = lo_key;
        *hi_v = hi_key;
    } else {
        if (lo_key < *lo_v) {
            e->lo = lo;
            *lo_v = lo_key;
        }
        if (hi_key > *hi_v) {
            e->hi = hi;
            *hi_v = hi_key;
        }
    }
    e->last = last;
}

}  // namespace

const recording::group_summary *recording::group_at(size_t p) const
{
    const size_t g = p / group_size;
    return g >= groups_gone_ && g - groups_gone_ < groups_.size() ? &groups_[g - groups_gone_] : nullptr;
}

void recording::summarise(const sample &s, size_t p)
{
    const uint8_t offset = static_cast<uint8_t>(p % group_size);
    if (offset == 0 || groups_.empty()) {
        group_summary g;
        std::fill(std::begin(g.first_at), std::end(g.first_at), group_summary::none);
        groups_.push_back(g);
    }
    group_summary &g = groups_.back();
    for (int ch = 0; ch < width(); ++ch) {
        if (!s.has(ch))
            continue;
        const int32_t v = s.value[ch];
        if (g.first_at[ch] == group_summary::none) {
            g.first_at[ch] = g.lo_at[ch] = g.hi_at[ch] = offset;
            g.lo[ch] = g.hi[ch] = v;
        } else if (v < g.lo[ch]) {
            g.lo[ch] = v;
            g.lo_at[ch] = offset;
        } else if (v > g.hi[ch]) {
            g.hi[ch] = v;
            g.hi_at[ch] = offset;
        }
        g.last_at[ch] = offset;
    }
}

void recording::merge_samples(int ch, size_t a, size_t b, size_t none, slice_extremes *e, int32_t *lo_v,
                              int32_t *hi_v) const
{
    for (size_t i = a; i < b; ++i) {
        if (has(i, ch)) {
            const int32_t k = key(i, ch);
            take(e, none, i, i, i, k, i, k, lo_v, hi_v);
        }
    }
}

recording::slice_extremes recording::extremes(int ch, size_t a, size_t b) const
{
    slice_extremes e{b, b, b, b};
    int32_t lo_v = 0, hi_v = 0;
    // Samples up to the first whole group, whole groups from their summaries, then the rest.
    const size_t to_boundary = (group_size - pos(a) % group_size) % group_size;
    const size_t head_end = std::min(b, a + to_boundary);
    merge_samples(ch, a, head_end, b, &e, &lo_v, &hi_v);
    size_t i = head_end;
    for (; i + group_size <= b; i += group_size) {
        const group_summary *g = group_at(pos(i));
        if (!g || g->first_at[ch] == group_summary::none)
            continue;
        take(&e, b, i + g->first_at[ch], i + g->last_at[ch], i + g->lo_at[ch], g->lo[ch], i + g->hi_at[ch], g->hi[ch],
             &lo_v, &hi_v);
    }
    merge_samples(ch, i, b, b, &e, &lo_v, &hi_v);
    return e;
}

QVector<QPointF> recording::points(int ch, double t0, double t1, int columns) const
{
    QVector<QPointF> out;
    if (empty() || columns < 1 || ch < 0 || ch >= width() || !(channels_ & bit(ch)))
        return out;
    const span s = covering(*this, t0, t1);
    const size_t n = s.last - s.first;
    if (n <= static_cast<size_t>(columns) * 4) {
        out.reserve(static_cast<int>(n));
        for (size_t i = s.first; i < s.last; ++i) {
            if (has(i, ch))
                out.append(QPointF(time_s(i), value(i, ch)));
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
                out.append(QPointF(time_s(i), value(i, ch)));
            previous = i;
        }
    }
    return out;
}

bool recording::value_range(int ch, double t0, double t1, double *lo, double *hi) const
{
    if (empty() || ch < 0 || ch >= width())
        return false;
    const span s = covering(*this, t0, t1);
    if (s.first >= s.last)
        return false;
    const slice_extremes e = extremes(ch, s.first, s.last);
    if (e.first == s.last)
        return false;
    // A negative scale turns the smallest key into the largest value.
    const double a = value(e.lo, ch);
    const double b = value(e.hi, ch);
    *lo = std::min(a, b);
    *hi = std::max(a, b);
    return true;
}

size_t recording::memory_bytes() const
{
    size_t bytes = groups_.size() * sizeof(group_summary);
    for (const auto &b : blocks_)
        bytes += sizeof(block) + b->values.capacity() * sizeof(int32_t);
    return bytes;
}

size_t recording::bytes_for(size_t n, int w)
{
    return n * (sizeof(int64_t) + sizeof(channel_mask) + sizeof(int32_t) * static_cast<size_t>(w))
           + n / group_size * sizeof(group_summary);
}

}  // namespace scope
