#include "canopen/canopen_replies.h"

#include "base/document_lookup.h"
#include "base/hex.h"

#include "canopen/canopen_frames.h"
#include "canopen/canopen_xml.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_client.h"

namespace canopen {
namespace {

constexpr uint32_t tpdo1_base = 0x180;
constexpr uint32_t error_control_base = 0x700;

bool is_node(uint32_t id, uint32_t base) { return id > base && id <= base + 0x7F; }

// Only the initiate requests name their object; the control window sends no other.
reply_decoder sdo_decoder(uint32_t request_id, const uint8_t *data)
{
    const uint8_t command = data[0] & sdo_command_mask;
    if (command != sdo_upload_initiate && command != sdo_download_initiate)
        return reply_decoder();
    const uint32_t answer_id = request_id - sdo_request_base + sdo_response_base;
    const uint8_t request = data[0];
    const uint16_t index = static_cast<uint16_t>(data[1] | data[2] << 8);
    const uint8_t sub = data[3];
    return [=](const bus_frame &f) {
        if (f.id != answer_id)
            return reply_verdict();
        return sdo_answer_verdict(request, index, sub, f.data, bus_frame_bytes(f));
    };
}

reply_decoder frame_from(uint32_t answer_id, bool any_node, int min_len, int first_byte)
{
    return [=](const bus_frame &f) {
        reply_verdict v;
        const bool id_ok = any_node ? is_node(f.id, answer_id & ~0x7Fu) : f.id == answer_id;
        if (id_ok && bus_frame_bytes(f) >= min_len && (first_byte < 0 || f.data[0] == first_byte))
            v.kind = reply_kind::reply;
        return v;
    };
}

}  // namespace

reply_decoder reply_decoder_for(int32_t node, uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote)
{
    if (is_node(id, sdo_request_base) && len >= 4 && data)
        return sdo_decoder(id, data);
    if (id == nmt_id && len >= 2 && data && (data[0] == nmt_reset_communication || data[0] == nmt_reset_node))
        return boot_up_decoder(data[1]);
    if (id == sync_id && node > 0 && node <= 0x7F)
        return frame_from(tpdo1_base + static_cast<uint32_t>(node), false, 0, -1);
    if (remote && is_node(id, error_control_base))
        return frame_from(id, false, 1, -1);
    return reply_decoder();
}

reply_decoder boot_up_decoder(int32_t node)
{
    return frame_from(error_control_base + static_cast<uint32_t>(node), node == 0, 1, 0x00);
}

QString control_abort_text(uint32_t code)
{
    const QString known = lookup_xml_text(document_lookup::locate(QStringLiteral("Document/CANopen_Error.xml")),
                                          static_cast<int32_t>(code));
    if (!known.isEmpty())
        return known;
    const QString number = hex::prefixed(code, 8);
    if (const abort_entry *e = find_abort(code))
        return QStringLiteral("SDO中止：%1(%2)\nSDO abort: %3")
            .arg(QString::fromUtf8(e->zh), number, QString::fromLatin1(e->en));
    return QStringLiteral("SDO中止(%1)\nSDO abort (%1)").arg(number);
}

}  // namespace canopen
