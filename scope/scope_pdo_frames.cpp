#include "scope/scope_pdo_frames.h"

#include <algorithm>
#include <cmath>

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

void gap_marker::pass(const sample &s, std::vector<sample> &out)
{
    if (any_ && period_us_ > 0 && s.t_us > last_us_) {
        const int64_t periods = std::llround(double(s.t_us - last_us_) / double(period_us_));
        for (int64_t k = 1; k < periods; ++k) {
            sample gap;
            gap.t_us = last_us_ + k * period_us_;
            out.push_back(gap);
            ++gaps_;
        }
    }
    any_ = true;
    last_us_ = s.t_us;
    out.push_back(s);
}

}  // namespace scope
