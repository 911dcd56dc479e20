#include "sim/custom_drive.h"

namespace sim {

custom_drive::custom_drive(int node, uint32_t firmware, motor_model &motor)
    : node_(node), firmware_(firmware), motor_(motor)
{
}

vci::can_message custom_drive::reply_value(int32_t value) const
{
    vci::can_message m;
    m.id = custom_reply_base + static_cast<uint32_t>(node_);
    m.len = 4;
    const uint32_t v = static_cast<uint32_t>(value);
    m.data[0] = static_cast<uint8_t>(v >> 24);
    m.data[1] = static_cast<uint8_t>(v >> 16);
    m.data[2] = static_cast<uint8_t>(v >> 8);
    m.data[3] = static_cast<uint8_t>(v);
    return m;
}

vci::can_message custom_drive::reply_ack() const
{
    vci::can_message m;
    m.id = custom_reply_base + static_cast<uint32_t>(node_);
    m.len = 1;
    m.data[0] = 1;
    return m;
}

void custom_drive::handle(const vci::can_message &request, std::vector<vci::can_message> &out)
{
    if (request.remote || request.len < 2)
        return;
    const uint16_t reg = static_cast<uint16_t>(request.data[0] << 8 | request.data[1]);
    switch (reg) {
    case 0x0001:  // firmware number
        out.push_back(reply_value(static_cast<int32_t>(firmware_)));
        break;
    case 0x0002:  // actual position
        out.push_back(reply_value(motor_.position()));
        break;
    case 0x00E8:  // save parameters
        out.push_back(reply_ack());
        break;
    default:
        break;
    }
}

}  // namespace sim
