// candump logs from anywhere (a user's file, another tool's output): the reader stays within
// its bounds, every frame it accepts is a CAN frame that decodes and writes back to the same
// line content (raw length codes and CAN FD payloads included), and nothing crashes on the way.
#include "trace/candump.h"
#include "trace/frame_decoder.h"

#include <QBuffer>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    const trace::read_result result = trace::read_candump(in, trace::frame_log::min_cap);
    if (result.refused.size() > result.refused_lines || result.refused.size() > trace::max_listed_refusals)
        std::abort();
    const trace::frame_log &log = result.log;
    trace::decoder_context context;
    context.pdo_mappings[0x181] = {{0x6041, 0, 16}, {0x6064, 0, 32}, {0x1000, 0, 12}};
    trace::maker_request_tracker tracker;
    // Mappings and modes learnt from the log itself decode the PDOs and statuswords after them.
    trace::pdo_mapping_tracker mappings;
    for (size_t i = 0; i < log.size(); ++i) {
        trace::trace_record r = log.at(i);
        const trace::frame_detail *detail = log.detail(i);
        if (r.len > (r.fd() ? 64 : 8) || (!r.error() && !r.extended() && r.id > 0x7FF) || r.id > 0x1FFFFFFF ||
            ((r.flags & trace::record_flag::detail) != 0) != (detail != nullptr))
            std::abort();
        tracker.observe(r);
        mappings.observe(r, context);
        (void)trace::describe(r, context);
        const int node = trace::node_of(r);
        if (node < 0 || node > 127)
            std::abort();
        trace::parsed_line back;
        if (!trace::parse_candump_line(trace::format_record(log, i), &back))
            std::abort();
        const trace::trace_record &b = back.record;
        const trace::frame_detail empty;
        const trace::frame_detail &d = detail ? *detail : empty;
        if (b.id != r.id || b.len != r.len || b.t_us != log.epoch_us + r.t_us || b.flags != r.flags ||
            std::memcmp(b.data, r.data, r.remote() ? 0 : 8) != 0 || back.iface != log.interface_of(i).toLatin1() ||
            (detail && (back.detail.code != d.code || std::memcmp(back.detail.tail, d.tail, sizeof d.tail) != 0)))
            std::abort();
    }
    return 0;
}
