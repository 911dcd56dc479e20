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

void joint::advance(int64_t now_us)
{
    // The recorder samples on the joint's own cycle: the motor is brought to each cycle in turn.
    if (canopen_) {
        for (int64_t due = canopen_->recorder_due_us(now_us); due <= now_us; due = canopen_->recorder_due_us(now_us)) {
            motor_.advance(due);
            canopen_->record_cycle(due);
        }
    }
    motor_.advance(now_us);
}

void joint::catch_up(int64_t now_us, std::vector<vci::can_message> &out)
{
    if (!canopen_)
        return;
    // A look later than this (a paused process) loses the periods before it rather than send
    // them in one long burst.
    constexpr int64_t window_us = 50000;
    for (int i = 0; i < 200; ++i) {
        const int64_t due = canopen_->timer_tpdo_due_us();
        if (due >= now_us || due < now_us - window_us)
            return;
        advance(due);
        canopen_->tick(due, out);
        if (canopen_->timer_tpdo_due_us() == due)
            return;  // nothing went: the look at now decides
    }
}

void joint::power_on(std::vector<vci::can_message> &out)
{
    advance(clock::now_us());
    if (canopen_)
        canopen_->power_on(out);
    follow_node();
}

void joint::handle(const vci::can_message &frame, std::vector<vci::can_message> &out)
{
    catch_up(clock::now_us(), out);
    advance(clock::now_us());
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
    catch_up(now_us, out);
    advance(now_us);
    canopen_->tick(now_us, out);
}

int64_t joint::next_due_us(int64_t now_us) const
{
    return canopen_ ? canopen_->next_due_us(now_us) : std::numeric_limits<int64_t>::max();
}

}  // namespace sim
