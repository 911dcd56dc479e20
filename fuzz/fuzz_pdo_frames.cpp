// The scope's PDO frames from the bus: any channels packed into PDOs, then any frames on their
// identifiers and others, of any length. A sample carries only mapped channels, its time is
// that of a frame fed, and samples come in the order of their frames; timed on a period they
// keep their order and arrive no later than they did.
#include "fuzz/frame_reader.h"
#include "canopen/data_types.h"
#include "scope/scope_pdo_frames.h"

#include <algorithm>
#include <climits>
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
        c.index = 0x2000;
        c.type = static_cast<uint16_t>(types[in.byte() % (sizeof types / sizeof types[0])]);
        c.scale = (in.byte() & 1) ? -0.25 : 1.0;
        channels.push_back(c);
    }
    const scope::channel_mask wanted = in.byte();
    const scope::pdo_packing p = scope::pack_channels(channels, wanted);
    scope::channel_mask mapped = 0;
    for (const scope::pdo_field &f : p.fields) {
        if (f.byte * 8 + f.bits > scope::pdo_bits || !(wanted & scope::bit(f.channel)))
            std::abort();
        mapped = static_cast<scope::channel_mask>(mapped | scope::bit(f.channel));
    }
    std::vector<uint32_t> ids;
    for (size_t k = 0; k < p.entries.size(); ++k)
        ids.push_back(static_cast<uint32_t>(0x181 + 0x100 * k));
    scope::pdo_decoder decoder(ids, p.fields, [&channels](int ch, uint32_t raw, int32_t *key) {
        *key = channels[static_cast<size_t>(ch)].key_of_raw(raw);
        return true;
    });
    std::vector<scope::sample> out;
    int64_t t = 0;
    for (int n = 0; n < 256 && !in.done(); ++n) {
        const uint8_t id = in.byte();
        const int len = static_cast<int8_t>(in.byte());  // negative and beyond 8 too
        uint8_t bytes[8];
        for (uint8_t &b : bytes)
            b = in.byte();
        t += in.byte();
        decoder.feed(0x181 + 0x100 * (id % 4) + (id >> 7), bytes, len, t, out);
    }
    decoder.flush(out);
    // Timed on a period, released at arbitrary moments: every sample comes out once, in order,
    // never later than it arrived, with only empty gaps between.
    scope::period_timer timer(1 + in.byte() * 40, in.byte() * 100);
    std::vector<scope::sample> timed;
    size_t fed = 0;
    int64_t now = 0;
    while (fed < out.size()) {
        const size_t n = std::min<size_t>(out.size() - fed, 1 + in.byte() % 16);
        for (size_t k = 0; k < n; ++k)
            timer.take(out[fed + k]);
        fed += n;
        now = std::max(now, out[fed - 1].t_us) + in.byte() * 50;
        timer.release(now, timed);
    }
    timer.flush(timed);
    size_t valued = 0;
    int64_t before = INT64_MIN;
    for (const scope::sample &s : timed) {
        if (s.t_us < before)
            std::abort();
        before = s.t_us;
        if (s.present == 0)
            continue;
        if (valued >= out.size() || s.t_us > out[valued].t_us || s.present != out[valued].present)
            std::abort();
        ++valued;
    }
    if (valued != out.size())
        std::abort();
    int64_t last = -1;
    for (const scope::sample &s : out) {
        if ((s.present & ~mapped) != 0 || s.present == 0 || s.t_us < last || s.t_us > t)
            std::abort();
        last = s.t_us;
        for (int ch = 0; ch < scope::max_channels; ++ch) {
            if (s.has(ch) && ch < static_cast<int>(channels.size()))
                (void)channels[ch].value_text(s.value[ch]);
        }
    }
    return 0;
}
