#include "sim/sdo_server.h"

#include "base/checksums.h"

#include <algorithm>

namespace sim {
namespace {

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void put_le(uint32_t v, uint8_t *p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void answer(uint8_t reply[8], uint8_t command, uint16_t index, uint8_t sub)
{
    std::fill(reply, reply + 8, 0);
    reply[0] = command;
    reply[1] = static_cast<uint8_t>(index);
    reply[2] = static_cast<uint8_t>(index >> 8);
    reply[3] = sub;
}

}  // namespace

void sdo_server::abort(uint16_t index, uint8_t sub, uint32_t code, uint8_t reply[8])
{
    answer(reply, 0x80, index, sub);
    put_le(code, reply + 4);
    session_ = session{};
}

void sdo_server::begin(bool upload, uint16_t index, uint8_t sub)
{
    session_ = session{};
    session_.active = true;
    session_.upload = upload;
    session_.index = index;
    session_.sub = sub;
}

void sdo_server::initiate_upload(uint16_t index, uint8_t sub, uint8_t reply[8])
{
    std::string bytes;
    const uint32_t code = dictionary_.read(index, sub, bytes);
    if (code != 0) {
        abort(index, sub, code, reply);
        return;
    }
    if (!bytes.empty() && bytes.size() <= 4) {
        answer(reply, static_cast<uint8_t>(0x43 | (4 - bytes.size()) << 2), index, sub);
        std::copy(bytes.begin(), bytes.end(), reply + 4);
        return;
    }
    answer(reply, 0x41, index, sub);
    put_le(static_cast<uint32_t>(bytes.size()), reply + 4);
    begin(true, index, sub);
    session_.data = bytes;
}

void sdo_server::initiate_download(const uint8_t request[8], uint8_t reply[8])
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    const bool expedited = command & 0x02;
    const bool size_indicated = command & 0x01;
    if (expedited) {
        const size_t count = size_indicated ? 4 - ((command >> 2) & 0x03) : 4;
        uint32_t code = dictionary_.can_write(index, sub, count, size_indicated);
        if (code == 0)
            code = dictionary_.write(index, sub, std::string(reinterpret_cast<const char *>(request + 4), count),
                                     size_indicated);
        if (code != 0)
            abort(index, sub, code, reply);
        else
            answer(reply, 0x60, index, sub);
        return;
    }
    const size_t size = le32(request + 4);
    uint32_t code = dictionary_.can_write(index, sub, size, size_indicated);
    if (code == 0 && size_indicated && size > max_bytes)
        code = sdo_abort::too_long;
    if (code != 0) {
        abort(index, sub, code, reply);
        return;
    }
    begin(false, index, sub);
    session_.size_known = size_indicated;
    session_.size = size;
    answer(reply, 0x60, index, sub);
}

void sdo_server::upload_segment(uint8_t command, uint8_t reply[8])
{
    if (!session_.active || !session_.upload) {
        abort(session_.index, session_.sub, sdo_abort::unknown_command, reply);
        return;
    }
    if ((command & 0x10) != session_.toggle) {
        abort(session_.index, session_.sub, sdo_abort::toggle, reply);
        return;
    }
    const size_t count = std::min<size_t>(7, session_.data.size() - session_.offset);
    const bool last = session_.offset + count >= session_.data.size();
    std::fill(reply, reply + 8, 0);
    reply[0] = static_cast<uint8_t>(session_.toggle | (7 - count) << 1 | (last ? 1 : 0));
    std::copy_n(session_.data.begin() + static_cast<long>(session_.offset), count, reply + 1);
    session_.offset += count;
    session_.toggle ^= 0x10;
    if (last)
        session_ = session{};
}

void sdo_server::download_segment(const uint8_t request[8], uint8_t reply[8])
{
    if (!session_.active || session_.upload) {
        abort(session_.index, session_.sub, sdo_abort::unknown_command, reply);
        return;
    }
    const uint8_t command = request[0];
    if ((command & 0x10) != session_.toggle) {
        abort(session_.index, session_.sub, sdo_abort::toggle, reply);
        return;
    }
    session_.data.append(reinterpret_cast<const char *>(request + 1), 7 - ((command >> 1) & 0x07));
    if (session_.data.size() > max_bytes || (session_.size_known && session_.data.size() > session_.size)) {
        abort(session_.index, session_.sub, sdo_abort::too_long, reply);
        return;
    }
    const uint8_t toggle = session_.toggle;
    session_.toggle ^= 0x10;
    if (command & 0x01) {
        if (session_.size_known && session_.data.size() < session_.size) {
            abort(session_.index, session_.sub, sdo_abort::too_short, reply);
            return;
        }
        const uint32_t code = dictionary_.write(session_.index, session_.sub, session_.data, true);
        if (code != 0) {
            abort(session_.index, session_.sub, code, reply);
            return;
        }
        session_ = session{};
    }
    std::fill(reply, reply + 8, 0);
    reply[0] = static_cast<uint8_t>(0x20 | toggle);
}

void sdo_server::handle(const uint8_t request[8], std::vector<frame> &replies)
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    // Inside a block every frame is a segment, whatever its first byte looks like.
    if (session_.block == block_state::receiving && command != 0x80)
        return block_segment(request, replies);
    frame reply{};
    switch (command >> 5) {
    case 0: download_segment(request, reply.data()); break;
    case 1:
        session_ = session{};
        initiate_download(request, reply.data());
        break;
    case 2:
        session_ = session{};
        initiate_upload(index, sub, reply.data());
        break;
    case 3: upload_segment(command, reply.data()); break;
    case 4:  // the client aborted: the transfer ends without an answer
        session_ = session{};
        return;
    case 5: return block_upload(request, replies);
    case 6: return block_download(request, replies);
    default: abort(index, sub, sdo_abort::unknown_command, reply.data()); break;
    }
    replies.push_back(reply);
}

void sdo_server::block_download(const uint8_t request[8], std::vector<frame> &replies)
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    frame reply{};
    if ((command & 0x01) == 0) {  // initiate
        session_ = session{};
        const bool size_indicated = command & 0x02;
        const size_t size = le32(request + 4);
        uint32_t code = block_size_ == 0 ? sdo_abort::unknown_command : 0;
        if (code == 0)
            code = dictionary_.can_write(index, sub, size, size_indicated);
        if (code == 0 && size_indicated && size > max_bytes)
            code = sdo_abort::too_long;
        if (code != 0) {
            abort(index, sub, code, reply.data());
        } else {
            begin(false, index, sub);
            session_.size_known = size_indicated;
            session_.size = size;
            session_.block = block_state::receiving;
            session_.crc = command & 0x04;
            session_.block_size = block_size_;
            session_.expected = 1;
            answer(reply.data(), 0xA4, index, sub);  // this server checks the CRC
            reply[4] = static_cast<uint8_t>(block_size_);
        }
        replies.push_back(reply);
        return;
    }
    // The end: the last segment's unused bytes and the CRC.
    if (session_.block != block_state::awaiting_end) {
        abort(session_.index, session_.sub, sdo_abort::unknown_command, reply.data());
        replies.push_back(reply);
        return;
    }
    const size_t unused = (command >> 2) & 0x07;
    std::string &data = session_.data;
    uint32_t code = unused > data.size() ? sdo_abort::too_short : 0;
    if (code == 0)
        data.resize(data.size() - unused);
    if (code == 0 && session_.size_known && data.size() != session_.size)
        code = data.size() > session_.size ? sdo_abort::too_long : sdo_abort::too_short;
    if (code == 0 && session_.crc &&
        checksums::crc16_ccitt(data.data(), data.size()) != static_cast<uint16_t>(request[1] | request[2] << 8))
        code = sdo_abort::crc_error;
    if (code == 0)
        code = dictionary_.write(session_.index, session_.sub, data, true);
    if (code != 0) {
        abort(session_.index, session_.sub, code, reply.data());
    } else {
        answer(reply.data(), 0xA1, 0, 0);
        session_ = session{};
    }
    replies.push_back(reply);
}

void sdo_server::block_segment(const uint8_t request[8], std::vector<frame> &replies)
{
    const int sequence = request[0] & 0x7F;
    const bool last = request[0] & 0x80;
    frame reply{};
    if (sequence == 0 || sequence > session_.block_size) {
        abort(session_.index, session_.sub, sdo_abort::invalid_sequence, reply.data());
        replies.push_back(reply);
        return;
    }
    bool last_in_order = false;
    // A segment after a gap is dropped: the block is confirmed up to the gap and sent again.
    if (sequence == session_.expected) {
        session_.data.append(reinterpret_cast<const char *>(request + 1), 7);
        ++session_.expected;
        last_in_order = last;
        if (session_.data.size() > max_bytes + 7 ||
            (session_.size_known && session_.data.size() > session_.size + 7)) {
            abort(session_.index, session_.sub, sdo_abort::too_long, reply.data());
            replies.push_back(reply);
            return;
        }
    }
    if (!last && sequence != session_.block_size)
        return;
    reply[0] = 0xA2;
    reply[1] = static_cast<uint8_t>(session_.expected - 1);
    reply[2] = static_cast<uint8_t>(block_size_);
    session_.block_size = block_size_;
    session_.expected = 1;
    if (last_in_order)
        session_.block = block_state::awaiting_end;
    replies.push_back(reply);
}

void sdo_server::block_upload(const uint8_t request[8], std::vector<frame> &replies)
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    frame reply{};
    switch (command & 0x03) {
    case 0: {  // initiate
        session_ = session{};
        const int size = request[4];
        const size_t threshold = request[5];
        if (block_size_ == 0) {
            abort(index, sub, sdo_abort::unknown_command, reply.data());
            break;
        }
        if (size < 1 || size > 127) {
            abort(index, sub, sdo_abort::invalid_block_size, reply.data());
            break;
        }
        std::string bytes;
        const uint32_t code = dictionary_.read(index, sub, bytes);
        if (code != 0) {
            abort(index, sub, code, reply.data());
            break;
        }
        if (threshold != 0 && bytes.size() <= threshold) {
            // The protocol switch: the ordinary answer, and segments if it needs them.
            initiate_upload(index, sub, reply.data());
            break;
        }
        begin(true, index, sub);
        session_.data = bytes;
        session_.size = bytes.size();
        session_.block = block_state::upload_ready;
        session_.crc = command & 0x04;
        session_.block_size = size;
        answer(reply.data(), 0xC6, index, sub);
        put_le(static_cast<uint32_t>(bytes.size()), reply.data() + 4);
        break;
    }
    case 3:  // start
        if (session_.block != block_state::upload_ready) {
            abort(session_.index, session_.sub, sdo_abort::unknown_command, reply.data());
            break;
        }
        return send_block(replies);
    case 2: {  // a block confirmed
        const int confirmed = request[1];
        const int size = request[2];
        if (session_.block != block_state::upload_sent) {
            abort(session_.index, session_.sub, sdo_abort::unknown_command, reply.data());
            break;
        }
        if (confirmed > session_.sent) {
            abort(session_.index, session_.sub, sdo_abort::invalid_sequence, reply.data());
            break;
        }
        if (size < 1 || size > 127) {
            abort(session_.index, session_.sub, sdo_abort::invalid_block_size, reply.data());
            break;
        }
        const bool all_taken = session_.sent_last && confirmed == session_.sent;
        session_.offset = std::min(session_.data.size(), session_.offset + 7 * static_cast<size_t>(confirmed));
        session_.block_size = size;
        if (!all_taken)
            return send_block(replies);
        const size_t rest = session_.data.size() % 7;
        const size_t unused = session_.data.empty() ? 7 : rest == 0 ? 0 : 7 - rest;
        const uint16_t crc = session_.crc ? checksums::crc16_ccitt(session_.data.data(), session_.data.size()) : 0;
        reply[0] = static_cast<uint8_t>(0xC1 | unused << 2);
        reply[1] = static_cast<uint8_t>(crc);
        reply[2] = static_cast<uint8_t>(crc >> 8);
        session_.block = block_state::upload_end_sent;
        break;
    }
    default:  // the end confirmed: nothing more to say
        if (session_.block != block_state::upload_end_sent) {
            abort(session_.index, session_.sub, sdo_abort::unknown_command, reply.data());
            break;
        }
        session_ = session{};
        return;
    }
    replies.push_back(reply);
}

void sdo_server::send_block(std::vector<frame> &replies)
{
    size_t at = session_.offset;
    session_.sent = 0;
    session_.sent_last = false;
    for (int sequence = 1; sequence <= session_.block_size; ++sequence) {
        const size_t count = std::min<size_t>(7, session_.data.size() - at);
        const bool last = at + count >= session_.data.size();
        frame f{};
        f[0] = static_cast<uint8_t>(sequence | (last ? 0x80 : 0));
        std::copy_n(session_.data.begin() + static_cast<long>(at), count, f.begin() + 1);
        replies.push_back(f);
        at += count;
        session_.sent = sequence;
        if (last) {
            session_.sent_last = true;
            break;
        }
    }
    session_.block = block_state::upload_sent;
}

}  // namespace sim
