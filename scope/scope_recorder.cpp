#include "scope/scope_recorder.h"

#include "base/hex.h"
#include "canopen/sdo_abort.h"
#include "scope/scope_source.h"

#include <algorithm>
#include <cmath>

namespace scope {
namespace {

namespace obj = recorder_object;

const QString journal_kind = QStringLiteral("recorder");

uint32_t little_endian(const QByteArray &bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes.size() && i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    return v;
}

QByteArray little_endian(uint32_t v, int size)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b += static_cast<char>(v >> (8 * i));
    return b;
}

// The configuration's objects with their sizes, in the order they go back.
struct config_object {
    uint16_t index;
    uint8_t sub;
    int size;
};
std::vector<config_object> config_objects()
{
    std::vector<config_object> c = {{obj::channels, 0, 1}};
    for (uint8_t k = 1; k <= recorder_channel_count; ++k)
        c.push_back({obj::channels, k, 4});
    c.push_back({obj::trigger, 1, 1});
    c.push_back({obj::trigger, 2, 4});
    c.push_back({obj::trigger, 3, 1});
    c.push_back({obj::trigger, 4, 2});
    c.push_back({obj::length, 0, 2});
    c.push_back({obj::divider, 0, 2});
    return c;
}

}  // namespace

int recorder_plan::sample_bytes() const
{
    int n = 0;
    for (uint32_t e : entries)
        n += static_cast<int>((e & 0xFF) / 8);
    return n;
}

int recorder_cycle_us(const canopen::sdo_link &link)
{
    const canopen::sdo_outcome o = canopen::read_object(link, obj::cycle, 0);
    return o.ok && o.data.size() == 4 ? static_cast<int>(little_endian(o.data)) : 0;
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
    const long most = std::min<long>(recorder_max_length, canopen::sdo_max_upload / std::max(1, p.sample_bytes()));
    p.length = static_cast<int>(std::clamp<long>(std::lround(length_s * 1e6 / p.sample_us), 2, most));
    p.pretrigger = p.trigger_channel == 0
                       ? 0
                       : static_cast<int>(std::clamp<long>(std::lround(pretrigger_s * 1e6 / p.sample_us), 0, p.length - 1));
    *plan = p;
    return true;
}

bool decode_recording(const QByteArray &data, const recorder_plan &plan, const channel_list &channels,
                      int trigger_sample, bool rated_known, int32_t rated_ma, recording *out, QString *why)
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
            if (stored_key(channels[static_cast<size_t>(ch)], raw, rated_known, rated_ma, &key))
                s.set(ch, key);
        }
        out->append(s);
    }
    if (n > 0 && plan.trigger_channel != 0)
        out->set_trigger_us(int64_t(trigger_sample) * plan.sample_us);
    return true;
}

recorder_setup::recorder_setup(const canopen::sdo_link &link, int node, recorder_plan plan)
    : link_(link), node_(node), plan_(std::move(plan))
{
}

bool recorder_setup::read_u32(uint16_t index, uint8_t sub, uint32_t *value)
{
    const canopen::sdo_outcome o = canopen::read_object(link_, index, sub);
    if (o.ok)
        *value = little_endian(o.data);
    return o.ok;
}

bool recorder_setup::write(uint16_t index, uint8_t sub, uint32_t value, int size, uint32_t *abort)
{
    const canopen::sdo_outcome o = canopen::write_object(link_, index, sub, little_endian(value, size));
    *abort = o.abort;
    return o.ok;
}

bool recorder_setup::arm(QString *why)
{
    // Stopped first: the configuration is refused while the recorder runs.
    found_ = {{obj::control, 0, 0, 1, false}};
    for (const config_object &c : config_objects()) {
        uint32_t v = 0;
        if (!read_u32(c.index, c.sub, &v)) {
            *why = QStringLiteral("驱动器无记录器/The drive has no recorder: %1").arg(object_address(c.index, c.sub));
            return false;
        }
        found_.push_back({c.index, c.sub, v, c.size, false});
    }
    drive_journal::put({0, node_, journal_kind, QStringLiteral("记录器/Recorder (0x2130-0x2134)"), found_});
    active_ = true;
    struct w {
        uint16_t index;
        uint8_t sub;
        uint32_t value;
        int size;
    };
    std::vector<w> writes = {{obj::control, 0, 0, 1}, {obj::channels, 0, 0, 1}};
    for (size_t k = 0; k < plan_.entries.size(); ++k)
        writes.push_back({obj::channels, static_cast<uint8_t>(k + 1), plan_.entries[k], 4});
    writes.push_back({obj::channels, 0, static_cast<uint32_t>(plan_.entries.size()), 1});
    writes.push_back({obj::trigger, 1, static_cast<uint32_t>(plan_.trigger_channel), 1});
    writes.push_back({obj::trigger, 2, static_cast<uint32_t>(plan_.level_raw), 4});
    writes.push_back({obj::trigger, 3, plan_.rising ? 0u : 1u, 1});
    // The length before the pre-trigger, which must stay below it.
    writes.push_back({obj::length, 0, static_cast<uint32_t>(plan_.length), 2});
    writes.push_back({obj::trigger, 4, static_cast<uint32_t>(plan_.pretrigger), 2});
    writes.push_back({obj::divider, 0, static_cast<uint32_t>(plan_.divider), 2});
    writes.push_back({obj::control, 0, 1, 1});
    for (const w &x : writes) {
        uint32_t abort = 0;
        if (!write(x.index, x.sub, x.value, x.size, &abort)) {
            *why = QStringLiteral("%1 = %2: %3").arg(object_address(x.index, x.sub), hex::prefixed(x.value),
                                                      canopen::abort_text(abort));
            QString ignored;
            restore(&ignored);
            return false;
        }
    }
    return true;
}

bool recorder_setup::state(recorder_state *out)
{
    uint32_t v = 0;
    if (!read_u32(obj::control, 0, &v) || v > 3)
        return false;
    *out = static_cast<recorder_state>(v);
    return true;
}

int recorder_setup::trigger_sample()
{
    uint32_t v = 0;
    return read_u32(obj::trigger_sample, 0, &v) ? static_cast<int>(v) : -1;
}

bool recorder_setup::restore(QString *why)
{
    if (!active_)
        return true;
    active_ = false;
    QStringList failures;
    for (const drive_journal::write &w : found_) {
        uint32_t abort = 0;
        if (!write(w.index, w.sub, w.value, w.size, &abort))
            failures << QStringLiteral("%1: %2").arg(object_address(w.index, w.sub), canopen::abort_text(abort));
    }
    // Refused writes stay journalled, to be offered again at the next connect.
    if (failures.isEmpty())
        drive_journal::remove(0, node_, journal_kind);
    *why = failures.join(QLatin1Char('\n'));
    return failures.isEmpty();
}

}  // namespace scope
