#include "canopen/lss_master.h"

#include "canopen/canopen_frames.h"
#include "canopen/nmt_state.h"

namespace canopen {
namespace {

constexpr uint8_t fast_scan_reset = 0x80;

lss_frame command(uint8_t cs, uint32_t value = 0)
{
    lss_frame f;
    f.data[0] = cs;
    for (int i = 0; i < 4; ++i)
        f.data[1 + i] = static_cast<uint8_t>(value >> (8 * i));
    return f;
}

}  // namespace

const std::array<uint8_t, 8> lss_bit_rate_indices = {0, 1, 2, 3, 4, 6, 7, 8};

lss_frame lss_switch_global(lss_mode mode) { return command(lss_cs::switch_global, static_cast<uint8_t>(mode)); }

std::array<lss_frame, 4> lss_switch_selective(const lss_identity &id)
{
    std::array<lss_frame, 4> frames;
    for (int i = 0; i < 4; ++i)
        frames[i] = command(static_cast<uint8_t>(lss_cs::select_vendor + i), id.part[i]);
    return frames;
}

lss_frame lss_configure_node(uint8_t node) { return command(lss_cs::configure_node, node); }

lss_frame lss_configure_bit_timing(uint8_t table_index)
{
    // Byte 1 selects the standard table; byte 2 is the index in it.
    return command(lss_cs::configure_bit_timing, uint32_t(table_index) << 8);
}

lss_frame lss_activate_bit_timing(uint16_t switch_delay_ms) { return command(lss_cs::activate_bit_timing, switch_delay_ms); }

lss_frame lss_store_configuration() { return command(lss_cs::store); }

lss_frame lss_inquire(int part) { return command(static_cast<uint8_t>(lss_cs::inquire_vendor + (part < 0 || part > 4 ? 4 : part))); }

uint8_t lss_answer_to(uint8_t request_cs)
{
    switch (request_cs) {
    case lss_cs::configure_node:
    case lss_cs::configure_bit_timing:
    case lss_cs::store:
        return request_cs;
    case lss_cs::select_vendor + 3:
        return lss_cs::selected;
    case lss_cs::fast_scan:
        return lss_cs::identified;
    default:
        return request_cs >= lss_cs::inquire_vendor && request_cs <= lss_cs::inquire_node ? request_cs : 0;
    }
}

reply_decoder lss_answer_decoder(uint8_t answer_cs)
{
    return [answer_cs](const bus_frame &f) {
        reply_verdict v;
        if (f.id == lss_answer_id && f.len == 8 && f.data[0] == answer_cs)
            v.kind = reply_kind::reply;
        return v;
    };
}

uint32_t lss_answer_value(const bus_frame &answer)
{
    return uint32_t(answer.data[1]) | uint32_t(answer.data[2]) << 8 | uint32_t(answer.data[3]) << 16
           | uint32_t(answer.data[4]) << 24;
}

int lss_bit_rate_kbps(int table_index)
{
    static const int kbps[] = {1000, 800, 500, 250, 125, 0, 50, 20, 10};
    return table_index >= 0 && table_index <= 8 ? kbps[table_index] : 0;
}

QString lss_error_text(uint8_t request_cs, uint8_t code, uint8_t specific)
{
    if (code == 0)
        return QStringLiteral("完成/done");
    if (code == 0xFF)
        return QStringLiteral("厂商错误 %1/maker's error %1").arg(specific);
    if (request_cs == lss_cs::configure_node && code == 1)
        return QStringLiteral("节点号超出范围/node-ID out of range");
    if (request_cs == lss_cs::configure_bit_timing && code == 1)
        return QStringLiteral("不支持此波特率/bit rate not supported");
    if (request_cs == lss_cs::store && code == 1)
        return QStringLiteral("不支持保存/storing not supported");
    if (request_cs == lss_cs::store && code == 2)
        return QStringLiteral("存储器访问错误/storage access error");
    return QStringLiteral("错误 %1/error %1").arg(code);
}

// ---- fast scan ----------------------------------------------------------------------------

lss_frame lss_fast_scan::request() const
{
    lss_frame f = command(lss_cs::fast_scan, part_ < 0 ? 0 : id_.part[part_]);
    if (part_ < 0) {
        f.data[5] = fast_scan_reset;
        return f;
    }
    // Bits below the one under test are not known yet; the slaves ignore them. The bit under
    // test is 0 in the request: an answer says some slave has a 0 there.
    f.data[5] = static_cast<uint8_t>(bit_ < 0 ? 0 : bit_);
    f.data[6] = static_cast<uint8_t>(part_);
    // Only the confirmation moves the slaves on to the next part; after the serial number's the
    // one slave left goes to configuration.
    f.data[7] = static_cast<uint8_t>(bit_ < 0 ? (part_ + 1) % 4 : part_);
    return f;
}

void lss_fast_scan::take(bool answered)
{
    if (state_ != result::running)
        return;
    ++step_;
    if (part_ < 0) {
        if (answered)
            part_ = 0;
        else
            state_ = result::none;
        return;
    }
    if (bit_ >= 0) {
        if (!answered)
            id_.part[part_] |= 1u << bit_;  // nobody left has a 0 there
        --bit_;
        return;
    }
    if (!answered)
        state_ = result::lost;
    else if (part_ == 3)
        state_ = result::found;
    else {
        ++part_;
        bit_ = 31;
    }
}

std::set<int> node_ids_heard(const std::vector<uint32_t> &ids)
{
    std::set<int> used;
    for (const uint32_t id : ids) {
        for (const uint32_t base : {sdo_response_base, error_control_base}) {
            if (id > base && id <= base + 127)
                used.insert(static_cast<int>(id - base));
        }
    }
    return used;
}

int next_free_node_id(int after, const std::set<int> &used)
{
    for (int i = 1; i <= 127; ++i) {
        const int n = (after + i - 1) % 127 + 1;
        if (!used.count(n))
            return n;
    }
    return 0;
}

}  // namespace canopen
