#include "objects/sdo_client.h"

#include "canopen/sdo_abort.h"

#include <algorithm>

namespace objects {
namespace {

constexpr uint8_t ccs_upload_init = 0x40;
constexpr uint8_t ccs_upload_segment = 0x60;
constexpr uint8_t ccs_download_init = 0x20;
constexpr uint8_t ccs_download_segment = 0x00;
constexpr uint8_t cs_abort = 0x80;
constexpr uint8_t toggle_bit = 0x10;

uint8_t specifier(const sdo_frame &f) { return f.data[0] & 0xE0; }

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void put_le32(uint32_t v, uint8_t *p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

sdo_frame addressed(uint8_t command, uint16_t index, uint8_t subindex)
{
    sdo_frame f;
    f.data[0] = command;
    f.data[1] = static_cast<uint8_t>(index);
    f.data[2] = static_cast<uint8_t>(index >> 8);
    f.data[3] = subindex;
    return f;
}

bool same_object(const sdo_frame &f, uint16_t index, uint8_t subindex)
{
    return f.data[1] == static_cast<uint8_t>(index) && f.data[2] == static_cast<uint8_t>(index >> 8) && f.data[3] == subindex;
}

// One transfer in progress: the object it addresses and how it ended.
class transfer {
public:
    transfer(const sdo_link &link, uint16_t index, uint8_t subindex) : link_(link), index_(index), sub_(subindex) {}

    // The initiate step: only a frame about this object is its answer.
    bool initiate(const sdo_frame &request, sdo_frame *reply)
    {
        return step(request, [this](const sdo_frame &f) { return same_object(f, index_, sub_); }, reply);
    }
    // A segment step: segment answers carry no index, so any frame of the server is taken and
    // checked afterwards; an abort must still name this object.
    bool segment(const sdo_frame &request, sdo_frame *reply)
    {
        return step(request, [this](const sdo_frame &f) { return !sdo_is_abort(f) || same_object(f, index_, sub_); }, reply);
    }
    // This client gives up: the server is told, so that it does not wait for the next segment.
    sdo_outcome fail(uint32_t code)
    {
        if (link_.send)
            link_.send(sdo_abort_frame(index_, sub_, code));
        sdo_outcome o;
        o.abort = code;
        return o;
    }
    static sdo_outcome refused(const sdo_frame &reply)
    {
        sdo_outcome o;
        o.abort = sdo_abort_code(reply);
        o.server_aborted = true;
        return o;
    }
    uint16_t index() const { return index_; }
    uint8_t sub() const { return sub_; }
    bool timed_out() const { return timed_out_; }

private:
    bool step(const sdo_frame &request, const std::function<bool(const sdo_frame &)> &accept, sdo_frame *reply)
    {
        if (link_.transact && link_.transact(request, accept, reply))
            return true;
        timed_out_ = true;
        return false;
    }

    const sdo_link &link_;
    uint16_t index_;
    uint8_t sub_;
    bool timed_out_ = false;
};

sdo_outcome success(const QByteArray &data = QByteArray())
{
    sdo_outcome o;
    o.ok = true;
    o.data = data;
    return o;
}

// size: the announced size, or the limit when the server announced none (size_known false).
sdo_outcome upload_segments(transfer &t, uint32_t size, bool size_known)
{
    QByteArray data;
    uint8_t toggle = 0;
    for (;;) {
        sdo_frame reply;
        sdo_frame request;
        request.data[0] = static_cast<uint8_t>(ccs_upload_segment | toggle);
        if (!t.segment(request, &reply))
            return t.fail(canopen::abort_code::timeout);
        if (sdo_is_abort(reply))
            return transfer::refused(reply);
        if (specifier(reply) != 0x00)
            return t.fail(canopen::abort_code::unknown_command);
        if ((reply.data[0] & toggle_bit) != toggle)
            return t.fail(canopen::abort_code::toggle_bit);
        const int count = 7 - ((reply.data[0] >> 1) & 0x07);
        if (data.size() + count > static_cast<int>(size))
            return t.fail(canopen::abort_code::length_too_high);
        data.append(reinterpret_cast<const char *>(reply.data + 1), count);
        if (reply.data[0] & 0x01)
            break;
        toggle ^= toggle_bit;
    }
    if (size_known && data.size() != static_cast<int>(size))
        return t.fail(canopen::abort_code::length_too_low);
    return success(data);
}

sdo_outcome download_segments(transfer &t, const QByteArray &data)
{
    uint8_t toggle = 0;
    // An empty object still takes one (empty, last) segment.
    int offset = 0;
    do {
        const int count = std::min(7, static_cast<int>(data.size()) - offset);
        const bool last = offset + count >= data.size();
        sdo_frame request;
        request.data[0] = static_cast<uint8_t>(ccs_download_segment | toggle | (7 - count) << 1 | (last ? 1 : 0));
        std::copy(data.constData() + offset, data.constData() + offset + count, request.data + 1);
        sdo_frame reply;
        if (!t.segment(request, &reply))
            return t.fail(canopen::abort_code::timeout);
        if (sdo_is_abort(reply))
            return transfer::refused(reply);
        if (specifier(reply) != 0x20)
            return t.fail(canopen::abort_code::unknown_command);
        if ((reply.data[0] & toggle_bit) != toggle)
            return t.fail(canopen::abort_code::toggle_bit);
        toggle ^= toggle_bit;
        offset += count;
    } while (offset < data.size());
    return success();
}

}  // namespace

sdo_frame sdo_abort_frame(uint16_t index, uint8_t subindex, uint32_t code)
{
    sdo_frame f = addressed(cs_abort, index, subindex);
    put_le32(code, f.data + 4);
    return f;
}

bool sdo_is_abort(const sdo_frame &f) { return f.data[0] == cs_abort; }

uint32_t sdo_abort_code(const sdo_frame &f) { return le32(f.data + 4); }

sdo_outcome sdo_upload(const sdo_link &link, uint16_t index, uint8_t subindex)
{
    transfer t(link, index, subindex);
    sdo_frame reply;
    if (!t.initiate(addressed(ccs_upload_init, index, subindex), &reply))
        return t.fail(canopen::abort_code::timeout);
    if (sdo_is_abort(reply))
        return transfer::refused(reply);
    if (specifier(reply) != 0x40)
        return t.fail(canopen::abort_code::unknown_command);
    const bool expedited = reply.data[0] & 0x02;
    const bool size_indicated = reply.data[0] & 0x01;
    if (expedited) {
        const int count = size_indicated ? 4 - ((reply.data[0] >> 2) & 0x03) : 4;
        return success(QByteArray(reinterpret_cast<const char *>(reply.data + 4), count));
    }
    // A segmented upload without a size is legal; it is bounded by the same limit.
    const uint32_t size = size_indicated ? le32(reply.data + 4) : sdo_max_upload;
    if (size > sdo_max_upload)
        return t.fail(canopen::abort_code::out_of_memory);
    return upload_segments(t, size, size_indicated);
}

sdo_outcome sdo_download(const sdo_link &link, uint16_t index, uint8_t subindex, const QByteArray &data)
{
    transfer t(link, index, subindex);
    sdo_frame request;
    const bool expedited = data.size() >= 1 && data.size() <= 4;
    if (expedited) {
        request = addressed(static_cast<uint8_t>(ccs_download_init | (4 - data.size()) << 2 | 0x03), index, subindex);
        std::copy(data.constData(), data.constData() + data.size(), request.data + 4);
    } else {
        request = addressed(ccs_download_init | 0x01, index, subindex);
        put_le32(static_cast<uint32_t>(data.size()), request.data + 4);
    }
    sdo_frame reply;
    if (!t.initiate(request, &reply))
        return t.fail(canopen::abort_code::timeout);
    if (sdo_is_abort(reply))
        return transfer::refused(reply);
    if (reply.data[0] != 0x60)
        return t.fail(canopen::abort_code::unknown_command);
    if (expedited)
        return success();
    return download_segments(t, data);
}

}  // namespace objects
