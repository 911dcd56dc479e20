#include "scope/scope_pdo_frames.h"

#include <algorithm>
#include <cstddef>

namespace scope {
namespace {

uint32_t map_entry(const channel_def &c)
{
    return static_cast<uint32_t>(c.index) << 16 | static_cast<uint32_t>(c.sub) << 8 | static_cast<uint32_t>(c.bits());
}

}  // namespace

pdo_packing pack_channels(const channel_list &channels, channel_mask wanted)
{
    std::vector<int> order;
    for (size_t ch = 0; ch < channels.size() && ch < max_channels; ++ch) {
        if ((wanted & bit(static_cast<int>(ch))) && channels[ch].is_object() && channels[ch].bits() > 0)
            order.push_back(static_cast<int>(ch));
    }
    std::stable_sort(order.begin(), order.end(),
                     [&channels](int a, int b) { return channels[a].bits() > channels[b].bits(); });
    pdo_packing p;
    std::vector<int> used;  // bits per PDO
    for (int ch : order) {
        const int bits = channels[ch].bits();
        size_t k = 0;
        while (k < used.size() && used[k] + bits > pdo_bits)
            ++k;
        if (k == used.size()) {
            used.push_back(0);
            p.entries.emplace_back();
        }
        p.fields.push_back({ch, static_cast<int>(k), used[k] / 8, bits});
        p.entries[k].push_back(map_entry(channels[ch]));
        used[k] += bits;
    }
    return p;
}

pdo_decoder::pdo_decoder(std::vector<uint32_t> cob_ids, std::vector<pdo_field> fields, key_function keys)
    : cob_ids_(std::move(cob_ids)), fields_(std::move(fields)), keys_(std::move(keys))
{
}

void pdo_decoder::flush(std::vector<sample> &out)
{
    if (seen_ != 0 && pending_.present != 0)
        out.push_back(pending_);
    seen_ = 0;
    pending_ = sample();
}

void pdo_decoder::feed(uint32_t id, const uint8_t *data, int len, int64_t t_us, std::vector<sample> &out)
{
    const auto at = std::find(cob_ids_.begin(), cob_ids_.end(), id);
    if (at == cob_ids_.end())
        return;
    const int k = static_cast<int>(at - cob_ids_.begin());
    if (seen_ & (1u << k))
        flush(out);  // the next period began before the others of this one came
    if (seen_ == 0)
        pending_.t_us = t_us;
    len = std::min(len, 8);
    for (const pdo_field &f : fields_) {
        if (f.pdo != k || f.byte * 8 + f.bits > len * 8)
            continue;
        uint32_t raw = 0;
        for (int b = 0; b < f.bits / 8; ++b)
            raw |= static_cast<uint32_t>(data[f.byte + b]) << (8 * b);
        int32_t key = 0;
        if (keys_(f.channel, raw, &key))
            pending_.set(f.channel, key);
        if (f.channel == statusword_channel_)
            pending_.statusword = static_cast<int32_t>(raw & 0xFFFF);
    }
    seen_ |= 1u << k;
    if (seen_ == (1u << cob_ids_.size()) - 1)
        flush(out);
}

void period_timer::release(int64_t now_us, std::vector<sample> &out)
{
    size_t due = 0;
    while (due < pending_.size() && pending_[due].t_us < now_us - hold_us_)
        ++due;
    hand_out(due, out);
}

void period_timer::hand_out(size_t count, std::vector<sample> &out)
{
    if (count == 0)
        return;
    const size_t n = pending_.size();
    // suffix_[k]: the least of (arrival - i periods) over the pending samples i >= k, so that
    // "every sample from k on is late by at least m" reads suffix_[k] + k periods - slot >= m.
    suffix_.assign(n, 0);
    for (size_t i = n; i-- > 0;) {
        const int64_t u = pending_[i].t_us - static_cast<int64_t>(i) * period_us_;
        suffix_[i] = i + 1 < n ? std::min(u, suffix_[i + 1]) : u;
    }
    for (size_t k = 0; k < count; ++k) {
        sample s = pending_[k];
        // The earliest this sample can have been sent, given when it and those after it came: a
        // first sample that came late in a burst is put where the ones after it say.
        const int64_t earliest = suffix_[k] + static_cast<int64_t>(k) * period_us_;
        if (!any_)
            s.t_us = std::min(s.t_us, earliest);
        if (any_ && period_us_ > 0) {
            int64_t slot = last_us_ + period_us_;
            const int64_t late = suffix_[k] + static_cast<int64_t>(k) * period_us_ - slot;
            if (4 * late >= 3 * period_us_) {
                const int64_t lost = (4 * late + period_us_) / (4 * period_us_);
                for (int64_t g = 0; g < lost; ++g) {
                    sample gap;
                    gap.t_us = slot;
                    out.push_back(gap);
                    slot += period_us_;
                    ++gaps_;
                }
            }
            // Never before the one handed out already, whatever a later burst suggests.
            s.t_us = std::max(std::min(slot, earliest), last_us_);
        }
        any_ = true;
        last_us_ = s.t_us;
        out.push_back(s);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace scope
