#include "sim/sim_joint.h"

#include "sim/sim_clock.h"

#include <limits>

namespace sim {

joint::joint(int node, uint32_t firmware) : joint(node, firmware, 0x00010000u + static_cast<uint32_t>(node)) {}

joint::joint(int node, uint32_t firmware, uint32_t serial, bool custom_protocol)
    : node_(node), firmware_(firmware), custom_protocol_(custom_protocol), custom_(node, firmware, motor_)
{
    if (firmware % 10 != 0)
        canopen_ = std::make_unique<canopen_node>(node, motor_, serial,
                                                  custom_protocol ? joint_make::velmora : joint_make::other);
}

void joint::follow_node()
{
    if (canopen_ && canopen_->node() != node_) {
        node_ = canopen_->node();
        custom_.set_node(node_);
    }
}

void joint::power_on(std::vector<vci::can_message> &out)
{
    motor_.advance(clock::now_us());
    if (canopen_)
        canopen_->power_on(out);
    follow_node();
}

void joint::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    motor_.advance(clock::now_us());
    if (custom_protocol_ && node_ >= 1 && node_ <= 127 && frame.id == custom_request_base + static_cast<uint32_t>(node_)) {
        custom_.handle(frame, out);
        return;
    }
    if (canopen_) {
        canopen_->handle(frame, out);
        follow_node();
    }
}

void joint::tick(int64_t now_us, std::vector<vci::can_message> &out)
{
    if (!canopen_)
        return;
    motor_.advance(now_us);
    canopen_->tick(now_us, out);
}

int64_t joint::next_due_us(int64_t now_us) const
{
    return canopen_ ? canopen_->next_due_us(now_us) : std::numeric_limits<int64_t>::max();
}

}  // namespace sim
