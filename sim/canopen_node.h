#pragma once
// CANopen side of one simulated joint: an NMT slave with node guarding, an expedited SDO
// server, TPDO 1 / RPDO 1 and a CiA 402 servo drive on top of the joint's motor model.
// Everything happens in answer to a frame: there are no timers, so SYNC drives the PDOs and
// the cyclic modes, and event-driven PDO types are accepted but never sent by themselves. The
// one exception is the heartbeat (0x1017), which the bus asks for with the time of day.
#include "can/vci/bus_backend.h"
#include "sim/motor_model.h"

#include <cstdint>
#include <vector>

namespace sim {

class canopen_node {
public:
    // The values are the state byte of a node-guarding answer.
    enum class nmt_state : uint8_t { stopped = 0x04, operational = 0x05, pre_operational = 0x7F };
    enum class power_state {
        switch_on_disabled,
        ready_to_switch_on,
        switched_on,
        operation_enabled,
        quick_stop_active,
        fault,
    };

    // Starts pre-operational with the default objects, as after its power-on boot-up.
    canopen_node(int node, motor_model &motor);

    // Power-on: full reset and the boot-up message.
    void power_on(std::vector<vci::can_message> &out);
    // Handles any frame on the bus; returns answers in out.
    void handle(const vci::can_message &frame, std::vector<vci::can_message> &out);

    // The heartbeat due at now_us (0x700+node, the NMT state), if 0x1017 asks for one.
    void heartbeat(int64_t now_us, std::vector<vci::can_message> &out);

    // Puts the drive into fault with a CiA 301/402 error code (0x603F), as a real fault would;
    // an emergency message goes out with the next answers. Code 0 is ignored.
    void inject_fault(uint16_t code);

    int node() const { return node_; }
    nmt_state state() const { return nmt_; }
    power_state power() const { return power_; }
    uint16_t statusword() const;
    uint16_t error_code() const { return fault_code_; }
    int8_t mode() const { return mode_; }

    // SDO abort codes the server answers with.
    static constexpr uint32_t abort_unknown_command = 0x05040001;
    static constexpr uint32_t abort_unsupported_access = 0x06010000;
    static constexpr uint32_t abort_read_only = 0x06010002;
    static constexpr uint32_t abort_no_object = 0x06020000;
    static constexpr uint32_t abort_not_mappable = 0x06040041;
    static constexpr uint32_t abort_mapping_too_long = 0x06040042;
    static constexpr uint32_t abort_length_mismatch = 0x06070010;
    static constexpr uint32_t abort_no_subindex = 0x06090011;
    static constexpr uint32_t abort_invalid_value = 0x06090030;
    static constexpr uint32_t abort_value_too_high = 0x06090031;
    static constexpr uint32_t abort_value_too_low = 0x06090032;

    // Error codes the drive raises by itself.
    static constexpr uint16_t error_following = 0x8611;    // CSP set-point beyond 0x6065
    static constexpr uint16_t error_device = 0xFF00;       // a motor fault raised outside CANopen
    static constexpr uint16_t error_pdo_length = 0x8210;   // RPDO shorter than its mapping (EMCY only)

private:
    struct pdo_comm {
        uint32_t cob_id = 0;
        uint8_t type = 255;
        uint16_t inhibit = 0;
        uint16_t event_timer = 0;
    };
    struct pdo_map {
        uint8_t count = 0;
        uint32_t entries[8] = {};
    };
    struct received_pdo {
        uint8_t data[8] = {};
        uint8_t len = 0;
    };

    // Resets
    void reset_communication();
    void reset_application();
    vci::can_message boot_up() const;

    // Services
    void handle_nmt(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void handle_sdo(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void handle_sync(std::vector<vci::can_message> &out);
    void handle_rpdo(const vci::can_message &frame);
    void apply_rpdo(const uint8_t *data);
    bool tpdo_payload(vci::can_message &msg);

    // Object dictionary: 0 or an abort code.
    uint32_t read_object(uint16_t index, uint8_t sub, uint32_t &value, int &size) const;
    uint32_t write_object(uint16_t index, uint8_t sub, uint32_t value, int given_size);
    uint32_t get(uint16_t index, uint8_t sub) const;
    uint32_t set(uint16_t index, uint8_t sub, uint32_t value);
    uint32_t write_pdo_comm(pdo_comm &comm, bool transmit, uint8_t sub, uint32_t value);
    uint32_t write_pdo_map(pdo_map &map, const pdo_comm &comm, bool transmit, uint8_t sub, uint32_t value);
    uint32_t check_map_entry(uint32_t entry, bool transmit) const;

    // CiA 402
    void sync_with_motor();
    void apply_controlword(uint16_t cw);
    void enter(power_state next);
    void apply_continuous_targets();
    void apply_cyclic_targets();
    void raise_fault(uint16_t code);
    void queue_emcy(uint16_t code);
    int32_t current_ma_from_permille(int32_t permille) const;
    int16_t permille_of_rated(int32_t current_ma) const;
    bool halted() const { return (controlword_ & 0x0100) != 0; }

    int node_;
    motor_model &motor_;

    // Communication objects, restored by reset communication.
    nmt_state nmt_ = nmt_state::pre_operational;
    bool guard_toggle_ = false;
    uint32_t sync_cob_ = 0x80;
    uint32_t cycle_us_ = 0;
    uint16_t guard_time_ms_ = 0;
    uint8_t life_time_factor_ = 0;
    uint16_t heartbeat_ms_ = 0;
    int64_t next_heartbeat_us_ = 0;
    pdo_comm rpdo_comm_;
    pdo_comm tpdo_comm_;
    pdo_map rpdo_map_;
    pdo_map tpdo_map_;
    unsigned sync_count_ = 0;
    bool tpdo_sent_once_ = false;
    uint8_t last_tpdo_[8] = {};
    received_pdo rpdo_buffer_;  // the latest synchronous RPDO, applied at the next SYNC
    bool rpdo_buffered_ = false;
    std::vector<vci::can_message> pending_emcy_;

    // Drive objects, restored by reset node.
    power_state power_ = power_state::switch_on_disabled;
    uint16_t controlword_ = 0;
    uint16_t fault_code_ = 0;
    int8_t mode_ = 0;
    int32_t target_position_ = 0;
    int32_t target_velocity_ = 0;
    int16_t target_torque_ = 0;
    uint16_t ip_low_ = 0;
    uint16_t ip_high_ = 0;
    uint32_t following_window_ = 20000;
    uint32_t rated_current_ma_ = motor_model::rated_current_ma;
    uint32_t max_speed_ = 5000;
    bool setpoint_ack_ = false;
    bool has_pending_setpoint_ = false;
    int64_t pending_setpoint_ = 0;
    bool ip_running_ = false;
    int32_t ip_target_ = 0;
};

}  // namespace sim
