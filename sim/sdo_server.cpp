#include "sim/sdo_server.h"

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

bool sdo_server::handle(const uint8_t request[8], uint8_t reply[8])
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    switch (command >> 5) {
    case 0:
        download_segment(request, reply);
        return true;
    case 1:
        session_ = session{};
        initiate_download(request, reply);
        return true;
    case 2:
        session_ = session{};
        initiate_upload(index, sub, reply);
        return true;
    case 3:
        upload_segment(command, reply);
        return true;
    case 4:  // the client aborted: the transfer ends without an answer
        session_ = session{};
        return false;
    default:  // block transfers and anything else
        abort(index, sub, sdo_abort::unknown_command, reply);
        return true;
    }
}

}  // namespace sim
