// What decides whether a bus frame is an answer: the CANopen reply decoders for any request and
// any received frame, the LSS answers driving a fast scan, and the joint lists of
// VELMORA_SIM_NODES / velmora-sim --nodes.
#include "canopen/canopen_replies.h"
#include "canopen/lss_master.h"
#include "fuzz/frame_reader.h"
#include "sim/simulator.h"

#include <QString>

namespace {

bus_frame read_frame(fuzz::frame_reader &in, uint32_t *remote)
{
    bus_frame f;
    const uint8_t id_byte = in.byte();
    // High nibble: function code 0x000..0x780; low nibble: the node.
    f.id = uint32_t(id_byte >> 4) * 0x80u + (id_byte & 0x0F);
    const uint8_t flags = in.byte();
    f.len = flags & 0x0F;  // up to 15: a record may claim more than 8 bytes
    *remote = flags >> 7;
    for (uint8_t &b : f.data)
        b = in.byte();
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::frame_reader in(data, size);
    const int32_t node = in.byte() & 0x7F;
    uint32_t remote = 0;
    const bus_frame request = read_frame(in, &remote);
    const reply_decoder decoder = canopen::reply_decoder_for(node, request.id, request.data, request.len > 8 ? 8 : request.len,
                                                             static_cast<uint8_t>(remote));
    for (int n = 0; n < 64 && !in.done() && decoder; ++n) {
        uint32_t ignored = 0;
        const reply_verdict v = decoder(read_frame(in, &ignored));
        if (v.kind != reply_kind::refusal && v.code != 0)
            std::abort();  // only a refusal carries a code
    }

    // The same bytes as the answers a fast scan hears: whatever they are, it ends within its
    // steps, and it asks only for what the fast scan can ask.
    fuzz::frame_reader lss_in(data, size);
    canopen::lss_fast_scan scan;
    const reply_decoder identified = canopen::lss_answer_decoder(canopen::lss_cs::identified);
    while (scan.state() == canopen::lss_fast_scan::result::running && !lss_in.done()) {
        const canopen::lss_frame ask = scan.request();
        if (ask.data[0] != canopen::lss_cs::fast_scan || (ask.data[5] > 31 && ask.data[5] != 0x80) || ask.data[6] > 3
            || ask.data[7] > 3)
            std::abort();
        uint32_t ignored = 0;
        bus_frame answer = read_frame(lss_in, &ignored);
        if (lss_in.byte() & 1)
            answer.id = canopen::lss_answer_id;
        scan.take(identified(answer).kind == reply_kind::reply);
        canopen::lss_error_text(answer.data[0], answer.data[1], answer.data[2]);
    }
    if (scan.step() > canopen::lss_fast_scan::step_count)
        std::abort();

    // The same bytes as a joint list.
    std::vector<sim::joint_config> joints;
    QString error;
    sim::parse_nodes(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)), &joints, &error);
    for (const sim::joint_config &c : joints) {
        if ((c.node < 1 || c.node > 127) && c.node != sim::unconfigured_node)
            std::abort();
    }
    return 0;
}
