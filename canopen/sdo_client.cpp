#include "canopen/sdo_client.h"

#include "base/checksums.h"

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

// Block transfers: the client's block download is the server's block upload answer class, and
// the other way round.
constexpr uint8_t block_down = 0xC0;
constexpr uint8_t block_up = 0xA0;
constexpr uint8_t block_crc_bit = 0x04;
constexpr uint8_t block_size_bit = 0x02;
constexpr uint8_t block_last_segment = 0x80;
constexpr uint8_t block_start = 0x03;    // client, upload: send the first block
constexpr uint8_t block_confirm = 0x02;  // either: the block's segments in order
constexpr uint8_t block_end = 0x01;
// Blocks in a row that move nothing before the transfer gives up: a lost segment costs one.
constexpr int idle_block_limit = 3;

uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

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

sdo_transfer sdo_transfer::block_upload(uint16_t index, uint8_t subindex, int block_size)
{
    sdo_transfer t(phase::block_upload_initiate, index, subindex);
    t.block_size_ = std::max(1, std::min(block_size, sdo_max_block));
    t.request_ = addressed(block_up | block_crc_bit, index, subindex);
    t.request_.data[4] = static_cast<uint8_t>(t.block_size_);
    t.request_.data[5] = sdo_protocol_switch;
    return t;
}

sdo_transfer sdo_transfer::block_download(uint16_t index, uint8_t subindex, const QByteArray &data)
{
    // Nothing to put in a block: the ordinary download carries an empty object.
    if (data.isEmpty())
        return download(index, subindex, data);
    sdo_transfer t(phase::block_download_initiate, index, subindex);
    t.data_ = data;
    t.size_ = static_cast<uint32_t>(data.size());
    t.size_known_ = true;
    t.request_ = addressed(block_down | block_crc_bit | block_size_bit, index, subindex);
    put_le32(t.size_, t.request_.data + 4);
    return t;
}

sdo_transfer sdo_transfer::large_download(uint16_t index, uint8_t subindex, const QByteArray &data)
{
    return data.size() > sdo_block_threshold ? block_download(index, subindex, data) : download(index, subindex, data);
}

bool sdo_transfer::block() const
{
    switch (phase_) {
    case phase::block_upload_initiate:
    case phase::block_upload_blocks:
    case phase::block_download_initiate:
    case phase::block_download_blocks:
    case phase::block_download_end: return true;
    default: return false;
    }
}

reply_verdict sdo_transfer::judge(const uint8_t *answer, int len) const
{
    if (block())
        return judge_block(answer, len);
    return sdo_answer_verdict(request_.data[0], index_, sub_, answer, len);
}

reply_verdict sdo_transfer::judge_block(const uint8_t *answer, int len) const
{
    reply_verdict v;
    if (!answer || len < 4)
        return v;
    sdo_frame f;
    std::copy(answer, answer + std::min(len, 8), f.data);
    const uint8_t command = f.data[0];
    const sdo_frame object = addressed(0, index_, sub_);
    const bool names_object = std::equal(f.data + 1, f.data + 4, object.data + 1);
    bool answers = false;
    switch (phase_) {
    case phase::block_upload_initiate:
        // The server may answer a small object the ordinary way (the protocol switch).
        answers = names_object && ((command & 0xE1) == block_down || (command & sdo_command_mask) == sdo_upload_initiate);
        break;
    case phase::block_upload_blocks:
        // Segments carry no object; offer() tells them apart while a block comes in.
        answers = awaiting_end_ ? (command & 0xE3) == (block_down | block_end) : !sdo_is_abort(f);
        break;
    case phase::block_download_initiate: answers = names_object && (command & 0xE3) == block_up; break;
    case phase::block_download_blocks: answers = (command & 0xE3) == (block_up | block_confirm); break;
    case phase::block_download_end: answers = (command & 0xE3) == (block_up | block_end); break;
    default: break;
    }
    if (sdo_is_abort(f)) {
        if (names_object) {
            v.kind = reply_kind::refusal;
            v.code = sdo_abort_code(f);
        }
        return v;
    }
    if (answers)
        v.kind = reply_kind::reply;
    return v;
}

bool sdo_transfer::offer(const sdo_frame &frame)
{
    if (phase_ != phase::block_upload_blocks || awaiting_end_ || done_)
        return accepts(frame);
    if (block_gathered_)
        return false;
    const uint8_t command = frame.data[0];
    if (sdo_is_abort(frame) && judge_block(frame.data, 8).kind == reply_kind::refusal) {
        block_gathered_ = true;
        return true;
    }
    const int sequence = command & 0x7F;
    const bool last = command & block_last_segment;
    if (sequence == 0 || sequence > block_size_) {
        bad_sequence_ = true;
        block_gathered_ = true;
        return true;
    }
    // Only segments in order count; after a gap the rest of the block is sent again.
    if (sequence == next_sequence_) {
        block_data_.append(reinterpret_cast<const char *>(frame.data + 1), 7);
        ++next_sequence_;
        last_in_block_ = last;
    }
    if (last || sequence == block_size_) {
        block_gathered_ = true;
        return true;
    }
    return false;
}

int sdo_transfer::bytes_done() const
{
    switch (phase_) {
    case phase::upload_initiate:
    case phase::upload_segments:
    case phase::block_upload_initiate:
    case phase::block_upload_blocks: return std::min(static_cast<int>(data_.size()), bytes_total());
    default: return offset_;
    }
}

void sdo_transfer::take(const sdo_frame &answer)
{
    if (done_)
        return;
    if (phase_ == phase::block_upload_blocks && !awaiting_end_)
        return take_upload_block(answer);
    if (sdo_is_abort(answer)) {
        if (falls_back(answer))
            return;
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
    case phase::block_upload_initiate: take_block_upload_initiate(answer); break;
    case phase::block_upload_blocks: take_upload_end(answer); break;
    case phase::block_download_initiate: take_block_download_initiate(answer); break;
    case phase::block_download_blocks: take_download_block(answer); break;
    case phase::block_download_end:
        if ((answer.data[0] & 0xE3) != (block_up | block_end))
            return fail(abort_code::unknown_command);
        succeed();
        break;
    }
}

bool sdo_transfer::falls_back(const sdo_frame &abort)
{
    if (sdo_abort_code(abort) != abort_code::unknown_command)
        return false;
    if (phase_ == phase::block_upload_initiate) {
        phase_ = phase::upload_initiate;
        request_ = sdo_upload_request(index_, sub_);
        return true;
    }
    if (phase_ == phase::block_download_initiate) {
        *this = download(index_, sub_, data_);
        return true;
    }
    return false;
}

void sdo_transfer::take_block_upload_initiate(const sdo_frame &answer)
{
    const uint8_t command = answer.data[0];
    if ((command & sdo_command_mask) == sdo_upload_initiate) {
        // Switched: an ordinary upload from here on.
        phase_ = phase::upload_initiate;
        return take_upload_initiate(answer);
    }
    if ((command & 0xE1) != block_down)
        return fail(abort_code::unknown_command);
    crc_ = command & block_crc_bit;
    size_known_ = command & block_size_bit;
    size_ = size_known_ ? le32(answer.data + 4) : sdo_max_block_upload;
    if (size_ > sdo_max_block_upload)
        return fail(abort_code::out_of_memory);
    phase_ = phase::block_upload_blocks;
    request_ = sdo_frame();
    request_.data[0] = block_up | block_start;
}

void sdo_transfer::take_upload_block(const sdo_frame &answer)
{
    if (bad_sequence_)
        return fail(abort_code::invalid_sequence);
    if (sdo_is_abort(answer)) {
        done_ = true;
        outcome_.abort = sdo_abort_code(answer);
        outcome_.server_aborted = true;
        return;
    }
    const int confirmed = next_sequence_ - 1;
    data_.append(block_data_);
    // The last segment may carry up to 6 bytes that are not the object's.
    if (data_.size() > static_cast<int>(size_) + 6)
        return fail(abort_code::length_too_high);
    idle_blocks_ = confirmed == 0 ? idle_blocks_ + 1 : 0;
    if (idle_blocks_ > idle_block_limit)
        return fail(abort_code::invalid_sequence);
    awaiting_end_ = last_in_block_;
    request_ = sdo_frame();
    request_.data[0] = block_up | block_confirm;
    request_.data[1] = static_cast<uint8_t>(confirmed);
    request_.data[2] = static_cast<uint8_t>(block_size_);
    next_sequence_ = 1;
    block_gathered_ = false;
    last_in_block_ = false;
    block_data_.clear();
}

void sdo_transfer::take_upload_end(const sdo_frame &answer)
{
    const uint8_t command = answer.data[0];
    if ((command & 0xE3) != (block_down | block_end))
        return fail(abort_code::unknown_command);
    const int unused = (command >> 2) & 0x07;
    if (unused > data_.size())
        return fail(abort_code::length_too_low);
    data_.chop(unused);
    if (size_known_ && data_.size() != static_cast<int>(size_))
        return fail(data_.size() > static_cast<int>(size_) ? abort_code::length_too_high : abort_code::length_too_low);
    if (crc_ && checksums::crc16_ccitt(data_.constData(), static_cast<size_t>(data_.size())) != le16(answer.data + 1))
        return fail(abort_code::crc_error);
    succeed();
    owes_trailer_ = true;
    trailer_ = sdo_frame();
    trailer_.data[0] = block_up | block_end;
}

void sdo_transfer::take_block_download_initiate(const sdo_frame &answer)
{
    if ((answer.data[0] & 0xE3) != block_up)
        return fail(abort_code::unknown_command);
    crc_ = answer.data[0] & block_crc_bit;
    const int size = answer.data[4];
    if (size < 1 || size > sdo_max_block)
        return fail(abort_code::invalid_block_size);
    block_size_ = size;
    offset_ = 0;
    next_download_block();
}

void sdo_transfer::next_download_block()
{
    phase_ = phase::block_download_blocks;
    preamble_.clear();
    int at = offset_;
    for (int sequence = 1; sequence <= block_size_; ++sequence) {
        const int count = std::min(7, static_cast<int>(data_.size()) - at);
        const bool last = at + count >= data_.size();
        sdo_frame f;
        f.data[0] = static_cast<uint8_t>(sequence | (last ? block_last_segment : 0));
        std::copy(data_.constData() + at, data_.constData() + at + count, f.data + 1);
        at += count;
        block_segments_ = sequence;
        if (last || sequence == block_size_) {
            request_ = f;
            return;
        }
        preamble_.push_back(f);
    }
}

void sdo_transfer::take_download_block(const sdo_frame &answer)
{
    if ((answer.data[0] & 0xE3) != (block_up | block_confirm))
        return fail(abort_code::unknown_command);
    const int confirmed = answer.data[1];
    const int next_size = answer.data[2];
    if (confirmed > block_segments_)
        return fail(abort_code::invalid_sequence);
    if (next_size < 1 || next_size > sdo_max_block)
        return fail(abort_code::invalid_block_size);
    offset_ = std::min(static_cast<int>(data_.size()), offset_ + 7 * confirmed);
    idle_blocks_ = confirmed == 0 ? idle_blocks_ + 1 : 0;
    if (idle_blocks_ > idle_block_limit)
        return fail(abort_code::invalid_sequence);
    block_size_ = next_size;
    if (offset_ < data_.size())
        return next_download_block();
    preamble_.clear();
    phase_ = phase::block_download_end;
    const int rest = static_cast<int>(data_.size()) % 7;
    const int unused = rest == 0 ? 0 : 7 - rest;
    request_ = sdo_frame();
    request_.data[0] = static_cast<uint8_t>(block_down | unused << 2 | block_end);
    const uint16_t crc = crc_ ? checksums::crc16_ccitt(data_.constData(), static_cast<size_t>(data_.size())) : 0;
    request_.data[1] = static_cast<uint8_t>(crc);
    request_.data[2] = static_cast<uint8_t>(crc >> 8);
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
    preamble_.clear();
}

void sdo_transfer::succeed()
{
    done_ = true;
    outcome_.ok = true;
    preamble_.clear();
    switch (phase_) {
    case phase::upload_initiate:
    case phase::upload_segments:
    case phase::block_upload_initiate:
    case phase::block_upload_blocks: outcome_.data = data_; break;
    default: offset_ = static_cast<int>(data_.size()); break;
    }
}

// ---- a transfer over a waiting link ---------------------------------------------------------

void step_sdo(const sdo_link &link, sdo_transfer &transfer)
{
    if (transfer.done())
        return;
    if (link.send)
        for (const sdo_frame &segment : transfer.preamble())
            link.send(segment);
    sdo_frame answer;
    const auto is_reply = [&transfer](const sdo_frame &f) { return transfer.offer(f); };
    if (link.transact && link.transact(transfer.request(), is_reply, &answer))
        transfer.take(answer);
    else
        transfer.timed_out();
    if (transfer.done() && transfer.owes_abort() && link.send)
        link.send(transfer.abort_request());
    if (transfer.done() && transfer.owes_trailer() && link.send)
        link.send(transfer.trailer());
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

bool step_transfer(const sdo_link &link, std::optional<sdo_transfer> &transfer, const sdo_transfer &start,
                   sdo_outcome *outcome)
{
    if (!transfer)
        transfer = start;
    step_sdo(link, *transfer);
    if (!transfer->done())
        return false;
    *outcome = transfer->outcome();
    transfer.reset();
    return true;
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
