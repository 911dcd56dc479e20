#pragma once
// Layer setting services (CiA 305) of a simulated joint: requests from the master on 0x7E5,
// answers on 0x7E4. The slave is in the waiting or the configuration state; in configuration it
// takes a pending node-ID and bit timing, stores them and reports its identity. A slave without
// a node-ID (255) takes part in the fast scan, which finds one such slave at a time by its
// identity and leaves it in configuration.
#include "can/vci/bus_backend.h"

#include <cstdint>
#include <vector>

namespace sim {

constexpr uint32_t lss_master_id = 0x7E5;
constexpr uint32_t lss_slave_id = 0x7E4;
constexpr uint8_t unconfigured_node = 0xFF;

class lss_slave {
public:
    // Vendor-ID, product code, revision number and serial number (0x1018 subs 1-4).
    struct identity {
        uint32_t part[4];
    };
    // What a request asks of the node beyond the answer.
    enum class effect {
        none,
        back_to_waiting,  // configuration ended: a node without node-ID may now boot
        bit_timing,       // activate bit timing: silent for switch_delay_ms() twice
    };

    lss_slave(const identity &id, uint8_t node_id);

    // Power-on: the stored node-ID and bit timing come back (the configured ones when none
    // was stored), in the waiting state.
    void power_on();
    effect handle(const vci::can_message &frame, std::vector<vci::can_message> &out);

    bool configuring() const { return configuring_; }
    uint8_t pending_node() const { return pending_node_; }
    // The node-ID the node runs with; the node adopts the pending one at its resets.
    void set_active_node(uint8_t node) { active_node_ = node; }
    uint8_t bit_timing() const { return active_timing_; }
    uint16_t switch_delay_ms() const { return switch_delay_ms_; }

    // Index in CiA 305's bit timing table (0 = 1000 kbit/s ... 8 = 10 kbit/s; 5 is not offered).
    static bool timing_supported(uint8_t index) { return index <= 8 && index != 5; }

private:
    void reply(std::vector<vci::can_message> &out, uint8_t command, uint32_t value = 0) const;
    effect fast_scan(const uint8_t *d, std::vector<vci::can_message> &out);

    identity id_;
    uint8_t stored_node_;
    uint8_t pending_node_;
    uint8_t active_node_;
    uint8_t stored_timing_ = 0;
    uint8_t pending_timing_ = 0;
    uint8_t active_timing_ = 0;
    uint16_t switch_delay_ms_ = 0;
    bool configuring_ = false;
    // Switch state selective and identify remote slave collect their fields one frame at a time.
    uint32_t selected_[3] = {};
    uint32_t range_[6] = {};
    int fast_scan_part_ = 0;
};

}  // namespace sim
