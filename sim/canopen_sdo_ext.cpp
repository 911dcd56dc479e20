#include "sim/canopen_sdo_ext.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint32_t abort_toggle = 0x05030000;
constexpr uint32_t abort_unknown_command = 0x05040001;
constexpr uint32_t abort_read_only = 0x06010002;
constexpr uint32_t abort_length_mismatch = 0x06070010;
constexpr uint32_t abort_too_long = 0x06070012;
constexpr uint32_t abort_too_short = 0x06070013;
constexpr uint32_t abort_no_subindex = 0x06090011;
constexpr uint32_t abort_too_high = 0x06090031;
constexpr uint32_t abort_too_low = 0x06090032;
constexpr uint32_t abort_max_below_min = 0x06090036;
constexpr uint32_t abort_cannot_store = 0x08000020;

constexpr uint16_t device_name = 0x1008;
constexpr uint16_t hardware_version = 0x1009;
constexpr uint16_t software_version = 0x100A;
constexpr uint16_t store_parameters = 0x1010;
constexpr uint16_t restore_defaults = 0x1011;
constexpr uint16_t position_limits = 0x2103;
constexpr uint16_t joint_label = 0x2110;

// Reading sub 1 of 0x1010/0x1011 tells the master that the device saves on command only.
constexpr uint32_t saves_on_command = 0x00000001;

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void put_le(uint64_t v, uint8_t *p, int count)
{
    for (int i = 0; i < count; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string le_bytes(uint64_t v, int count)
{
    std::string s(static_cast<size_t>(count), '\0');
    for (int i = 0; i < count; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}

int64_t value_of(const std::string &bytes, bool is_signed)
{
    uint64_t v = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        v |= uint64_t(uint8_t(bytes[i])) << (8 * i);
    if (is_signed && bytes.size() < 8) {
        const int shift = 64 - 8 * static_cast<int>(bytes.size());
        return static_cast<int64_t>(v << shift) >> shift;
    }
    return static_cast<int64_t>(v);
}

void address(uint8_t reply[8], uint16_t index, uint8_t sub)
{
    reply[1] = static_cast<uint8_t>(index);
    reply[2] = static_cast<uint8_t>(index >> 8);
    reply[3] = sub;
}

}  // namespace

canopen_sdo_ext::canopen_sdo_ext() : current_(defaults()), stored_(defaults()) {}

const std::vector<canopen_sdo_ext::parameter> &canopen_sdo_ext::parameters()
{
    static const std::vector<parameter> table = {
        {0x2100, 0, 2, false, 1, 10000, 100},                // position loop gain
        {0x2101, 0, 2, false, 1, 10000, 200},                // velocity loop gain
        {0x2102, 0, 2, false, 1, 2000, 100},                 // velocity integral time, 0.1 ms
        {0x2103, 1, 4, true, INT32_MIN, INT32_MAX, -1000000}, // lower position limit, inc
        {0x2103, 2, 4, true, INT32_MIN, INT32_MAX, 1000000},  // upper position limit, inc
        {0x2104, 0, 2, true, -500, 500, 0},                   // current offset, mA
    };
    return table;
}

canopen_sdo_ext::values canopen_sdo_ext::defaults()
{
    values v;
    for (const parameter &p : parameters())
        v.numbers.push_back(p.initial);
    v.label = "joint";
    return v;
}

bool canopen_sdo_ext::owns(uint16_t index) const
{
    if (index == device_name || index == hardware_version || index == software_version || index == store_parameters
        || index == restore_defaults || index == joint_label || index == position_limits)
        return true;
    return std::any_of(parameters().begin(), parameters().end(), [index](const parameter &p) { return p.index == index; });
}

void canopen_sdo_ext::reset_application()
{
    current_ = stored_;
    session_ = session{};
}

void canopen_sdo_ext::reset_communication() { session_ = session{}; }

uint32_t canopen_sdo_ext::read(uint16_t index, uint8_t sub, std::string *bytes) const
{
    const bool string_object = index == device_name || index == hardware_version || index == software_version || index == joint_label;
    if (string_object && sub != 0)
        return abort_no_subindex;
    switch (index) {
    case device_name: *bytes = "Velmora simulated joint"; return 0;
    case hardware_version: *bytes = "SIM-HW 1.0"; return 0;
    case software_version: *bytes = "SIM-FW 1.0.2"; return 0;
    case joint_label: *bytes = current_.label; return 0;
    case store_parameters:
    case restore_defaults:
        if (sub > 1)
            return abort_no_subindex;
        *bytes = sub == 0 ? le_bytes(1, 1) : le_bytes(saves_on_command, 4);
        return 0;
    case position_limits:
        if (sub == 0) {
            *bytes = le_bytes(2, 1);
            return 0;
        }
        break;
    default: break;
    }
    const auto &table = parameters();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].index == index && table[i].sub == sub) {
            *bytes = le_bytes(static_cast<uint64_t>(current_.numbers[i]), table[i].size);
            return 0;
        }
    return abort_no_subindex;
}

uint32_t canopen_sdo_ext::write_parameter(const parameter &p, size_t slot, const std::string &bytes)
{
    if (bytes.size() != p.size)
        return abort_length_mismatch;
    const int64_t v = value_of(bytes, p.is_signed);
    if (v > p.high)
        return abort_too_high;
    if (v < p.low)
        return abort_too_low;
    // The lower position limit may not pass the upper one.
    if (p.index == position_limits) {
        const int64_t lower = p.sub == 1 ? v : current_.numbers[slot - 1];
        const int64_t upper = p.sub == 2 ? v : current_.numbers[slot + 1];
        if (upper < lower)
            return abort_max_below_min;
    }
    current_.numbers[slot] = v;
    return 0;
}

uint32_t canopen_sdo_ext::write_command(uint16_t index, uint8_t sub, const std::string &bytes)
{
    if (sub == 0)
        return abort_read_only;
    if (sub > 1)
        return abort_no_subindex;
    if (bytes.size() != 4)
        return abort_length_mismatch;
    const uint32_t signature = le32(reinterpret_cast<const uint8_t *>(bytes.data()));
    if (index == store_parameters && signature == save_signature) {
        stored_ = current_;
        return 0;
    }
    // Restoring the defaults takes effect at the next reset, as CiA 301 describes.
    if (index == restore_defaults && signature == load_signature) {
        stored_ = defaults();
        return 0;
    }
    return abort_cannot_store;
}

uint32_t canopen_sdo_ext::write(uint16_t index, uint8_t sub, const std::string &bytes)
{
    switch (index) {
    case device_name:
    case hardware_version:
    case software_version: return sub == 0 ? abort_read_only : abort_no_subindex;
    case joint_label:
        if (sub != 0)
            return abort_no_subindex;
        if (bytes.size() > label_max)
            return abort_too_long;
        current_.label = bytes;
        return 0;
    case store_parameters:
    case restore_defaults: return write_command(index, sub, bytes);
    case position_limits:
        if (sub == 0)
            return abort_read_only;
        break;
    default: break;
    }
    const auto &table = parameters();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].index == index && table[i].sub == sub)
            return write_parameter(table[i], i, bytes);
    return abort_no_subindex;
}

void canopen_sdo_ext::abort(uint16_t index, uint8_t sub, uint32_t code, uint8_t reply[8])
{
    std::fill(reply, reply + 8, 0);
    reply[0] = 0x80;
    address(reply, index, sub);
    put_le(code, reply + 4, 4);
    session_ = session{};
}

bool canopen_sdo_ext::initiate_upload(uint16_t index, uint8_t sub, uint8_t reply[8])
{
    std::string bytes;
    const uint32_t code = read(index, sub, &bytes);
    if (code != 0) {
        abort(index, sub, code, reply);
        return true;
    }
    std::fill(reply, reply + 8, 0);
    address(reply, index, sub);
    if (!bytes.empty() && bytes.size() <= 4) {
        reply[0] = static_cast<uint8_t>(0x43 | (4 - bytes.size()) << 2);
        std::copy(bytes.begin(), bytes.end(), reply + 4);
        return true;
    }
    reply[0] = 0x41;
    put_le(bytes.size(), reply + 4, 4);
    session_ = session{};
    session_.active = true;
    session_.upload = true;
    session_.index = index;
    session_.sub = sub;
    session_.data = bytes;
    return true;
}

bool canopen_sdo_ext::initiate_download(const uint8_t request[8], uint8_t reply[8])
{
    const uint8_t command = request[0];
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    const bool expedited = command & 0x02;
    const bool size_indicated = command & 0x01;
    if (expedited) {
        const int count = size_indicated ? 4 - ((command >> 2) & 0x03) : 4;
        const uint32_t code = write(index, sub, std::string(reinterpret_cast<const char *>(request + 4), static_cast<size_t>(count)));
        if (code != 0) {
            abort(index, sub, code, reply);
            return true;
        }
        std::fill(reply, reply + 8, 0);
        reply[0] = 0x60;
        address(reply, index, sub);
        return true;
    }
    const uint32_t size = le32(request + 4);
    // Only strings take more than four bytes; anything longer than its object is refused now
    // rather than after the segments.
    if (index != joint_label || sub != 0) {
        std::string current;
        uint32_t code = read(index, sub, &current);
        if (code == 0)
            code = index == device_name || index == hardware_version || index == software_version ? abort_read_only
                                                                                                 : abort_length_mismatch;
        abort(index, sub, code, reply);
        return true;
    }
    if (size_indicated && size > label_max) {
        abort(index, sub, abort_too_long, reply);
        return true;
    }
    session_ = session{};
    session_.active = true;
    session_.index = index;
    session_.sub = sub;
    session_.size_known = size_indicated;
    session_.size = size;
    std::fill(reply, reply + 8, 0);
    reply[0] = 0x60;
    address(reply, index, sub);
    return true;
}

void canopen_sdo_ext::upload_segment(uint8_t command, uint8_t reply[8])
{
    if (!session_.active || !session_.upload) {
        abort(0, 0, abort_unknown_command, reply);
        return;
    }
    if ((command & 0x10) != session_.toggle) {
        abort(session_.index, session_.sub, abort_toggle, reply);
        return;
    }
    const size_t count = std::min<size_t>(7, session_.data.size() - session_.offset);
    const bool last = session_.offset + count >= session_.data.size();
    std::fill(reply, reply + 8, 0);
    reply[0] = static_cast<uint8_t>(session_.toggle | (7 - count) << 1 | (last ? 1 : 0));
    std::copy(session_.data.begin() + static_cast<long>(session_.offset), session_.data.begin() + static_cast<long>(session_.offset + count), reply + 1);
    session_.offset += count;
    session_.toggle ^= 0x10;
    if (last)
        session_ = session{};
}

void canopen_sdo_ext::download_segment(const uint8_t request[8], uint8_t reply[8])
{
    if (!session_.active || session_.upload) {
        abort(0, 0, abort_unknown_command, reply);
        return;
    }
    const uint8_t command = request[0];
    if ((command & 0x10) != session_.toggle) {
        abort(session_.index, session_.sub, abort_toggle, reply);
        return;
    }
    const size_t count = 7 - ((command >> 1) & 0x07);
    session_.data.append(reinterpret_cast<const char *>(request + 1), count);
    if (session_.data.size() > label_max || (session_.size_known && session_.data.size() > session_.size)) {
        abort(session_.index, session_.sub, abort_too_long, reply);
        return;
    }
    const uint8_t toggle = session_.toggle;
    session_.toggle ^= 0x10;
    if (command & 0x01) {
        if (session_.size_known && session_.data.size() < session_.size) {
            abort(session_.index, session_.sub, abort_too_short, reply);
            return;
        }
        const uint32_t code = write(session_.index, session_.sub, session_.data);
        if (code != 0) {
            abort(session_.index, session_.sub, code, reply);
            return;
        }
        session_ = session{};
    }
    std::fill(reply, reply + 8, 0);
    reply[0] = static_cast<uint8_t>(0x20 | toggle);
}

bool canopen_sdo_ext::handle(const uint8_t request[8], uint8_t reply[8])
{
    const uint8_t command = request[0];
    const uint8_t specifier = command >> 5;
    const uint16_t index = static_cast<uint16_t>(request[1] | request[2] << 8);
    const uint8_t sub = request[3];
    switch (specifier) {
    case 0:  // download segment
        download_segment(request, reply);
        return true;
    case 3:  // upload segment
        upload_segment(command, reply);
        return true;
    case 4:  // the client aborted
        if (session_.active && index == session_.index && sub == session_.sub)
            session_ = session{};
        return false;  // the drive's server ignores it too
    case 1:
        if (!owns(index))
            return false;
        session_ = session{};
        return initiate_download(request, reply);
    case 2:
        if (!owns(index))
            return false;
        session_ = session{};
        return initiate_upload(index, sub, reply);
    default:
        return false;
    }
}

}  // namespace sim
