#pragma once
// One simulated servo joint: a motor model served by the custom protocol and, unless its
// firmware is the EtherCAT build (firmware number ending in 0), by CANopen. A joint built
// without the custom protocol stands for a standard CANopen drive of another make. A joint started
// without node number (255) speaks nothing but LSS until it is given one; both protocols then
// use it.
#include "sim/canopen_node.h"
#include "sim/custom_drive.h"
#include "sim/motor_model.h"

#include <memory>
#include <vector>

namespace sim {

class joint {
public:
    // The CANopen serial number is 0x00010000 + node unless given.
    joint(int node, uint32_t firmware);
    joint(int node, uint32_t firmware, uint32_t serial, bool custom_protocol = true);
    joint(const joint &) = delete;
    joint &operator=(const joint &) = delete;

    // The node number in use (CANopen's node-ID); 255 while there is none.
    int node() const { return canopen_ ? canopen_->node() : node_; }
    uint32_t firmware() const { return firmware_; }
    bool speaks_canopen() const { return canopen_ != nullptr; }
    bool speaks_custom() const { return custom_protocol_; }

    motor_model &motor() { return motor_; }
    custom_drive &custom() { return custom_; }
    canopen_node *canopen() { return canopen_.get(); }

    void power_on(std::vector<vci::can_message> &out);
    void handle(const vci::can_message &frame, std::vector<vci::can_message> &out);
    // What falls due with time (see canopen_node::tick).
    void tick(int64_t now_us, std::vector<vci::can_message> &out);
    int64_t next_due_us(int64_t now_us) const;

private:
    // Brings the motor to now_us, through every recorder cycle on the way.
    void advance(int64_t now_us);
    // The TPDOs whose event timers fell due before now_us since the last look, each sent with
    // the values of its deadline, as a drive on its own clock sent them.
    void catch_up(int64_t now_us, std::vector<vci::can_message> &out);
    void follow_node();

    int node_;
    uint32_t firmware_;
    bool custom_protocol_;
    motor_model motor_;
    custom_drive custom_;
    std::unique_ptr<canopen_node> canopen_;
};

}  // namespace sim
