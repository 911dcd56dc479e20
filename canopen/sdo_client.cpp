#include "canopen/sdo_client.h"

#include <algorithm>

namespace canopen {
namespace {

constexpr uint8_t expedited_bit = 0x02;
constexpr uint8_t size_indicated_bit = 0x01;
constexpr uint8_t last_segment_bit = 0x01;
// The answer class of each request class; none for the abort and the block transfers.
constexpr int no_answer = -1;

int answer_class(uint8_t request)
{
    switch (request & sdo_command_mask) {
    case sdo_upload_initiate: return sdo_upload_initiate;
    case sdo_download_initiate: return 0x60;
    case sdo_upload_segment: return 0x00;
    case sdo_download_segment: return 0x20;
    default: return no_answer;
    }
}

bool is_segment_request(uint8_t request)
{
    const uint8_t c = request & sdo_command_mask;
    return c == sdo_upload_segment || c == sdo_download_segment;
}

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

}  // namespace

sdo_frame sdo_upload_request(uint16_t index, uint8_t subindex) { return addressed(sdo_upload_initiate, index, subindex); }

sdo_frame sdo_download_request(uint16_t index, uint8_t subindex, const QByteArray &data)
{
    const int size = static_cast<int>(data.size());
    if (size < 1 || size > 4) {
        sdo_frame f = addressed(sdo_download_initiate | size_indicated_bit, index, subindex);
        put_le32(static_cast<uint32_t>(size), f.data + 4);
        return f;
    }
    sdo_frame f = addressed(static_cast<uint8_t>(sdo_download_initiate | (4 - size) << 2 | expedited_bit | size_indicated_bit),
                            index, subindex);
    std::copy(data.constData(), data.constData() + size, f.data + 4);
    return f;
}

sdo_frame sdo_abort_frame(uint16_t index, uint8_t subindex, uint32_t code)
{
    sdo_frame f = addressed(sdo_abort, index, subindex);
    put_le32(code, f.data + 4);
    return f;
}

bool sdo_is_abort(const sdo_frame &f) { return f.data[0] == sdo_abort; }

uint32_t sdo_abort_code(const sdo_frame &f) { return le32(f.data + 4); }

int sdo_expedited_size(uint8_t command) { return (command & size_indicated_bit) ? 4 - ((command >> 2) & 3) : 4; }

reply_verdict sdo_answer_verdict(uint8_t request, uint16_t index, uint8_t subindex, const uint8_t *answer, int len)
{
    reply_verdict v;
    const int expected = answer_class(request);
    if (!answer || len < 4 || expected == no_answer)
        return v;
    sdo_frame f;  // bytes beyond len stay 0
    std::copy(answer, answer + std::min(len, 8), f.data);
    const sdo_frame object = addressed(0, index, subindex);
    const bool names_object = std::equal(f.data + 1, f.data + 4, object.data + 1);
    if (sdo_is_abort(f)) {
        if (names_object) {
            v.kind = reply_kind::refusal;
            v.code = sdo_abort_code(f);
        }
        return v;
    }
    if ((f.data[0] & sdo_command_mask) == expected && (names_object || is_segment_request(request)))
        v.kind = reply_kind::reply;
    return v;
}

// ---- the transfer ---------------------------------------------------------------------------

sdo_transfer sdo_transfer::upload(uint16_t index, uint8_t subindex)
{
    sdo_transfer t(phase::upload_initiate, index, subindex);
    t.request_ = sdo_upload_request(index, subindex);
    return t;
}

sdo_transfer sdo_transfer::download(uint16_t index, uint8_t subindex, const QByteArray &data)
{
    sdo_transfer t(phase::download_initiate, index, subindex);
    t.data_ = data;
    t.size_ = static_cast<uint32_t>(data.size());
    t.size_known_ = true;
    t.request_ = sdo_download_request(index, subindex, data);
    return t;
}

reply_verdict sdo_transfer::judge(const uint8_t *answer, int len) const
{
    return sdo_answer_verdict(request_.data[0], index_, sub_, answer, len);
}

int sdo_transfer::bytes_done() const
{
    return phase_ == phase::upload_initiate || phase_ == phase::upload_segments ? static_cast<int>(data_.size()) : offset_;
}

void sdo_transfer::take(const sdo_frame &answer)
{
    if (done_)
        return;
    if (sdo_is_abort(answer)) {
        done_ = true;
        outcome_.abort = sdo_abort_code(answer);
        outcome_.server_aborted = true;
        return;
    }
    switch (phase_) {
    case phase::upload_initiate: take_upload_initiate(answer); break;
    case phase::upload_segments: take_upload_segment(answer); break;
    case phase::download_initiate:
        if (answer.data[0] != 0x60)
            fail(abort_code::unknown_command);
        else if (size_ >= 1 && size_ <= 4)
            succeed();
        else
            next_download_segment();
        break;
    case phase::download_segments: take_download_segment(answer); break;
    }
}

void sdo_transfer::take_upload_initiate(const sdo_frame &answer)
{
    if ((answer.data[0] & sdo_command_mask) != sdo_upload_initiate)
        return fail(abort_code::unknown_command);
    if (answer.data[0] & expedited_bit) {
        data_ = QByteArray(reinterpret_cast<const char *>(answer.data + 4), sdo_expedited_size(answer.data[0]));
        return succeed();
    }
    // A segmented upload without a size is legal; it is bounded by the same limit.
    size_known_ = answer.data[0] & size_indicated_bit;
    size_ = size_known_ ? le32(answer.data + 4) : sdo_max_upload;
    if (size_ > sdo_max_upload)
        return fail(abort_code::out_of_memory);
    phase_ = phase::upload_segments;
    request_ = sdo_frame();
    request_.data[0] = sdo_upload_segment;
}

void sdo_transfer::take_upload_segment(const sdo_frame &answer)
{
    if ((answer.data[0] & sdo_command_mask) != 0x00)
        return fail(abort_code::unknown_command);
    if ((answer.data[0] & sdo_toggle_bit) != toggle_)
        return fail(abort_code::toggle_bit);
    const int count = 7 - ((answer.data[0] >> 1) & 0x07);
    const bool last = answer.data[0] & last_segment_bit;
    // Every segment but the last brings at least one byte, so size + 1 segments carry any
    // object; a server that sends more, or sends nothing and goes on, is not heard out.
    if (++segments_ > static_cast<int>(size_) + 1 || (count == 0 && !last))
        return fail(abort_code::unknown_command);
    if (data_.size() + count > static_cast<int>(size_))
        return fail(abort_code::length_too_high);
    data_.append(reinterpret_cast<const char *>(answer.data + 1), count);
    if (!last) {
        toggle_ ^= sdo_toggle_bit;
        request_.data[0] = static_cast<uint8_t>(sdo_upload_segment | toggle_);
        return;
    }
    if (size_known_ && data_.size() != static_cast<int>(size_))
        return fail(abort_code::length_too_low);
    succeed();
}

void sdo_transfer::take_download_segment(const sdo_frame &answer)
{
    if ((answer.data[0] & sdo_command_mask) != 0x20)
        return fail(abort_code::unknown_command);
    if ((answer.data[0] & sdo_toggle_bit) != toggle_)
        return fail(abort_code::toggle_bit);
    toggle_ ^= sdo_toggle_bit;
    offset_ += std::min(7, static_cast<int>(data_.size()) - offset_);
    if (offset_ >= data_.size())
        return succeed();
    next_download_segment();
}

// An empty object still takes one (empty, last) segment.
void sdo_transfer::next_download_segment()
{
    phase_ = phase::download_segments;
    const int count = std::min(7, static_cast<int>(data_.size()) - offset_);
    const bool last = offset_ + count >= data_.size();
    request_ = sdo_frame();
    request_.data[0] = static_cast<uint8_t>(sdo_download_segment | toggle_ | (7 - count) << 1 | (last ? last_segment_bit : 0));
    std::copy(data_.constData() + offset_, data_.constData() + offset_ + count, request_.data + 1);
}

void sdo_transfer::fail(uint32_t code)
{
    if (done_)
        return;
    done_ = true;
    owes_abort_ = true;
    outcome_.abort = code;
}

void sdo_transfer::succeed()
{
    done_ = true;
    outcome_.ok = true;
    if (phase_ == phase::upload_initiate || phase_ == phase::upload_segments)
        outcome_.data = data_;
    else
        offset_ = static_cast<int>(data_.size());
}

// ---- a transfer over a waiting link ---------------------------------------------------------

void step_sdo(const sdo_link &link, sdo_transfer &transfer)
{
    if (transfer.done())
        return;
    sdo_frame answer;
    const auto is_reply = [&transfer](const sdo_frame &f) { return transfer.accepts(f); };
    if (link.transact && link.transact(transfer.request(), is_reply, &answer))
        transfer.take(answer);
    else
        transfer.timed_out();
    if (transfer.done() && transfer.owes_abort() && link.send)
        link.send(transfer.abort_request());
}

void cancel_sdo(const sdo_link &link, sdo_transfer &transfer)
{
    if (transfer.done())
        return;
    transfer.cancel();
    if (link.send)
        link.send(transfer.abort_request());
}

sdo_outcome run_sdo(const sdo_link &link, sdo_transfer transfer)
{
    while (!transfer.done())
        step_sdo(link, transfer);
    return transfer.outcome();
}

sdo_outcome read_object(const sdo_link &link, uint16_t index, uint8_t subindex)
{
    return run_sdo(link, sdo_transfer::upload(index, subindex));
}

sdo_outcome write_object(const sdo_link &link, uint16_t index, uint8_t subindex, const QByteArray &data)
{
    return run_sdo(link, sdo_transfer::download(index, subindex, data));
}

}  // namespace canopen
