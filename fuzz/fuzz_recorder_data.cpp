// The drive recorder's data as a drive uploads it: any channels (objects of any type), any
// trigger sample, any bytes. Data that fits the channels makes one sample per sample time with
// the trigger inside; anything else is refused, never read past.
#include "fuzz/frame_reader.h"
#include "canopen/data_types.h"
#include "canopen/sdo_client.h"
#include "scope/scope_recorder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const canopen::data_type types[] = {
        canopen::data_type::boolean,  canopen::data_type::integer8,   canopen::data_type::integer16,
        canopen::data_type::integer32, canopen::data_type::unsigned8, canopen::data_type::unsigned16,
        canopen::data_type::unsigned32, canopen::data_type::real32,   canopen::data_type::visible_string};
    fuzz::frame_reader in(data, size);
    scope::channel_list channels = scope::default_channels();
    const int extra = in.byte() % 4;
    for (int i = 0; i < extra; ++i) {
        scope::channel_def c;
        c.index = static_cast<uint16_t>(0x2000 + i);
        c.type = static_cast<uint16_t>(types[in.byte() % (sizeof types / sizeof types[0])]);
        c.scale = (in.byte() & 1) ? -0.25 : 1.0;
        channels.push_back(c);
    }
    scope::level_trigger level;
    if (in.byte() & 1) {
        level.channel = in.byte() % 10 - 1;
        level.level = static_cast<int8_t>(in.byte()) * 100.0;
        level.rising = in.byte() & 1;
    }
    scope::recorder_plan plan;
    QString why;
    const int cycle_us = in.byte() * 10;
    if (!scope::plan_recording(channels, level, in.byte() / 50.0, in.byte() / 20.0, cycle_us, in.byte() * 20, &plan, &why))
        return 0;
    if (plan.length < 2 || plan.pretrigger >= plan.length || plan.length * plan.sample_bytes() > canopen::sdo_max_block_upload
        || plan.entries.size() != plan.channels.size() || plan.entries.size() > 8)
        std::abort();
    const int trigger = static_cast<int>(in.byte()) - 8;
    QByteArray bytes;
    while (!in.done())
        bytes += static_cast<char>(in.byte());
    scope::recording r;
    const auto keys = [&channels](int ch, uint32_t raw, int32_t *key) {
        *key = channels[static_cast<size_t>(ch)].key_of_raw(raw);
        return true;
    };
    if (!scope::decode_recording(bytes, plan, channels, trigger, keys, &r, &why))
        return 0;
    if (r.size() * static_cast<size_t>(plan.sample_bytes()) != static_cast<size_t>(bytes.size()))
        std::abort();
    for (size_t i = 0; i < r.size(); ++i)
        if (r.t_us(i) != static_cast<int64_t>(i) * plan.sample_us)
            std::abort();
    if (!r.empty() && plan.trigger_channel != 0 && (r.trigger_s() < 0.0 || r.trigger_s() > r.end_s()))
        std::abort();
    return 0;
}
