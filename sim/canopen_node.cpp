#include "sim/canopen_node.h"

namespace sim {

canopen_node::canopen_node(int node, motor_model &motor) : node_(node), motor_(motor) {}

void canopen_node::power_on(std::vector<vci::can_message> &out)
{
    vci::can_message boot;
    boot.id = 0x700 + static_cast<uint32_t>(node_);
    boot.len = 1;
    out.push_back(boot);
}

void canopen_node::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    (void)frame;
    (void)out;
    (void)motor_;
}

}  // namespace sim
