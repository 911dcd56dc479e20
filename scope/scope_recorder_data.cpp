// The drive recorder's plan and data, free of any bus (fuzz/fuzz_pdo_frames.cpp feeds the data).
#include "scope/scope_recorder.h"

#include "canopen/sdo_client.h"

#include <algorithm>
#include <cmath>

namespace scope {

int recorder_plan::sample_bytes() const
{
    int n = 0;
    for (uint32_t e : entries)
        n += static_cast<int>((e & 0xFF) / 8);
    return n;
}

bool plan_recording(const channel_list &channels, const level_trigger &level, double pretrigger_s, double length_s,
                    int cycle_us, int32_t rated_ma, recorder_plan *plan, QString *why)
{
    recorder_plan p;
    for (size_t ch = 0; ch < channels.size() && p.channels.size() < size_t(recorder_channel_count); ++ch) {
        const channel_def &c = channels[ch];
        if (!c.is_object() || c.bits() == 0)
            continue;
        p.channels.push_back(static_cast<int>(ch));
        p.entries.push_back(uint32_t(c.index) << 16 | uint32_t(c.sub) << 8 | uint32_t(c.bits()));
        if (level.channel == static_cast<int>(ch)) {
            p.trigger_channel = static_cast<int>(p.channels.size());
            double raw = c.scale != 0.0 ? level.level / c.scale : level.level;
            if (c.kind == role::current)
                raw = rated_ma > 0 ? raw * 1000.0 / rated_ma : raw;
            p.level_raw = static_cast<int32_t>(std::lround(std::clamp(raw, -2147483648.0, 2147483647.0)));
            p.rising = level.rising;
        }
    }
    if (p.channels.empty() || cycle_us <= 0) {
        *why = QStringLiteral("没有可记录的通道/No channel the recorder can take");
        return false;
    }
    if (level.channel >= 0 && p.trigger_channel == 0) {
        *why = QStringLiteral("触发通道不能由记录器采样/The recorder cannot take the trigger channel");
        return false;
    }
    p.divider = 1;
    p.sample_us = cycle_us;
    // At most what the drive keeps and one upload carries.
    const long most = std::min<long>(recorder_max_length, canopen::sdo_max_block_upload / std::max(1, p.sample_bytes()));
    p.length = static_cast<int>(std::clamp<long>(std::lround(length_s * 1e6 / p.sample_us), 2, most));
    p.pretrigger = p.trigger_channel == 0
                       ? 0
                       : static_cast<int>(std::clamp<long>(std::lround(pretrigger_s * 1e6 / p.sample_us), 0, p.length - 1));
    *plan = p;
    return true;
}

bool decode_recording(const QByteArray &data, const recorder_plan &plan, const channel_list &channels,
                      int trigger_sample, const pdo_decoder::key_function &keys, recording *out, QString *why)
{
    const int bytes = plan.sample_bytes();
    if (bytes <= 0 || data.size() % bytes != 0 || data.size() / bytes > recorder_max_length) {
        *why = QStringLiteral("记录数据长度不符/The recording's length does not fit its channels: %1 bytes").arg(data.size());
        return false;
    }
    const int n = data.size() / bytes;
    if (trigger_sample < 0 || (n > 0 && trigger_sample >= n)) {
        *why = QStringLiteral("触发位置无效/The trigger lies outside the recording: %1").arg(trigger_sample);
        return false;
    }
    out->reset(channels);
    const uint8_t *d = reinterpret_cast<const uint8_t *>(data.constData());
    for (int k = 0; k < n; ++k) {
        sample s;
        s.t_us = int64_t(k) * plan.sample_us;
        int offset = k * bytes;
        for (size_t c = 0; c < plan.entries.size(); ++c) {
            const int size = static_cast<int>((plan.entries[c] & 0xFF) / 8);
            uint32_t raw = 0;
            for (int b = 0; b < size; ++b)
                raw |= uint32_t(d[offset + b]) << (8 * b);
            offset += size;
            const int ch = plan.channels[c];
            int32_t key = 0;
            if (keys(ch, raw, &key))
                s.set(ch, key);
        }
        out->append(s);
    }
    if (n > 0 && plan.trigger_channel != 0)
        out->set_trigger_us(int64_t(trigger_sample) * plan.sample_us);
    return true;
}

}  // namespace scope
