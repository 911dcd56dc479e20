#pragma once
// CANopen (CiA 301/402) side of one simulated joint.
#include "can/vci/bus_backend.h"
#include "sim/motor_model.h"

#include <vector>

namespace sim {

class canopen_node {
public:
    canopen_node(int node, motor_model &motor);
    // Frames a powered-up node sends by itself (its boot-up message).
    void power_on(std::vector<vci::can_message> &out);
    // Handles any frame on the bus; returns answers in out.
    void handle(const vci::can_message &frame, std::vector<vci::can_message> &out);

private:
    int node_;
    motor_model &motor_;
};

}  // namespace sim
