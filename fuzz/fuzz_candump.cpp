// candump logs from anywhere (a user's file, another tool's output): the reader stays within
// its bounds, every frame it accepts is a classic CAN frame that decodes and writes back to the
// same line content, and nothing crashes on the way.
#include "trace/candump.h"
#include "trace/frame_decoder.h"

#include <QBuffer>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    constexpr size_t max_frames = 200;
    const trace::read_result result = trace::read_candump(in, max_frames);
    if (result.records.size() > max_frames)
        std::abort();
    trace::decoder_context context;
    context.pdo_mappings[0x181] = {{0x6041, 0, 16}, {0x6064, 0, 32}, {0x1000, 0, 12}};
    trace::maker_request_tracker tracker;
    for (trace::trace_record r : result.records) {
        if (r.len > 8 || r.t_us < 0 || (!r.error() && !r.extended() && r.id > 0x7FF) || r.id > 0x1FFFFFFF)
            std::abort();
        tracker.observe(r);
        (void)trace::describe(r, context);
        const int node = trace::node_of(r);
        if (node < 0 || node > 127)
            std::abort();
        trace::trace_record back;
        if (!trace::parse_candump_line(trace::format_record(r, 0, QStringLiteral("can0")), &back))
            std::abort();
        // A remote frame is written as "ID#R", without the requested length.
        if (back.id != r.id || (!r.remote() && back.len != r.len) || back.t_us != r.t_us ||
            (back.flags & ~trace::record_flag::transmitted) != (r.flags & ~trace::record_flag::transmitted))
            std::abort();
    }
    return 0;
}
