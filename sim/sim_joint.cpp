#include "sim/sim_joint.h"

#include "sim/sim_clock.h"

namespace sim {

joint::joint(int node, uint32_t firmware)
    : node_(node), firmware_(firmware), custom_(node, firmware, motor_)
{
    if (firmware % 10 != 0)
        canopen_ = std::make_unique<canopen_node>(node, motor_);
}

void joint::power_on(std::vector<vci::can_message> &out)
{
    motor_.advance(clock::now_us());
    if (canopen_)
        canopen_->power_on(out);
}

void joint::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    motor_.advance(clock::now_us());
    if (frame.id == custom_request_base + static_cast<uint32_t>(node_)) {
        custom_.handle(frame, out);
        return;
    }
    if (canopen_)
        canopen_->handle(frame, out);
}

}  // namespace sim
