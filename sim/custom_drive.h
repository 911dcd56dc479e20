#pragma once
// The drive maker's request/reply protocol of one simulated joint: requests on 0x640 + node,
// replies on custom_reply_base + node with the value in data bytes 0-3, big-endian.
#include "can/vci/bus_backend.h"
#include "sim/motor_model.h"

#include <vector>

namespace sim {

constexpr uint32_t custom_request_base = 0x640;
constexpr uint32_t custom_reply_base = 0x5C0;

class custom_drive {
public:
    custom_drive(int node, uint32_t firmware, motor_model &motor);
    // Answers one request addressed to this joint.
    void handle(const vci::can_message &request, std::vector<vci::can_message> &out);

private:
    vci::can_message reply_value(int32_t value) const;
    vci::can_message reply_ack() const;

    int node_;
    uint32_t firmware_;
    motor_model &motor_;
};

}  // namespace sim
