#pragma once
// One simulated servo joint: a motor model served by the custom protocol and, unless its
// firmware is the EtherCAT build (firmware number ending in 0), by CANopen.
#include "sim/canopen_node.h"
#include "sim/custom_drive.h"
#include "sim/motor_model.h"

#include <memory>
#include <vector>

namespace sim {

class joint {
public:
    joint(int node, uint32_t firmware);
    joint(const joint &) = delete;
    joint &operator=(const joint &) = delete;

    int node() const { return node_; }
    uint32_t firmware() const { return firmware_; }
    bool speaks_canopen() const { return canopen_ != nullptr; }

    motor_model &motor() { return motor_; }
    custom_drive &custom() { return custom_; }
    canopen_node *canopen() { return canopen_.get(); }

    void power_on(std::vector<vci::can_message> &out);
    void handle(const vci::can_message &frame, std::vector<vci::can_message> &out);

private:
    int node_;
    uint32_t firmware_;
    motor_model motor_;
    custom_drive custom_;
    std::unique_ptr<canopen_node> canopen_;
};

}  // namespace sim
