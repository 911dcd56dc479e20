#pragma once
// CANopen side of one simulated joint: an NMT slave with node guarding and heartbeat, an SDO
// server over the object table of joint_objects.h, four RPDOs and four TPDOs (synchronous,
// on change, by event timer, on request), storing and restoring parameters, LSS, and a
// CiA 402 servo drive on top of the joint's motor model; it watches other nodes' heartbeats
// (0x1016) and reacts to a lost one as 0x6007 and 0x1029:1 say. Frames come in through handle();
// what falls due with time (heartbeats, TPDOs by event timer or by a change of a moving joint)
// goes out through tick(), which the bus calls at next_due_us().
#include "can/vci/bus_backend.h"
#include "sim/joint_objects.h"
#include "sim/lss_slave.h"
#include "sim/motor_model.h"
#include "sim/program_store.h"
#include "sim/sdo_server.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class canopen_node : private sdo_server::dictionary {
public:
    // The values are the state byte of a node-guarding answer.
    enum class nmt_state : uint8_t { stopped = 0x04, operational = 0x05, pre_operational = 0x7F };
    enum class power_state {
        switch_on_disabled,
        ready_to_switch_on,
        switched_on,
        operation_enabled,
        quick_stop_active,
        fault_reaction_active,
        fault,
    };

    // Starts pre-operational with the default objects, as after its power-on boot-up. The
    // serial number (0x1018 sub 4) is 0x00010000 + node unless given; node 255 is a joint
    // without node-ID, which waits for LSS.
    canopen_node(int node, motor_model &motor);
    canopen_node(int node, motor_model &motor, uint32_t serial, joint_make make = joint_make::velmora);

    // Power-on: the stored node-ID and parameters come back, then the boot-up message.
    void power_on(std::vector<vci::can_message> &out);
    // Handles any frame on the bus; returns answers in out.
    void handle(const vci::can_message &frame, std::vector<vci::can_message> &out);
    // Sends what is due at now_us: the heartbeat, TPDOs whose event timer ran out, and TPDOs
    // whose mapped values changed.
    void tick(int64_t now_us, std::vector<vci::can_message> &out);
    // When tick() next has something to do; INT64_MAX for never (until the next frame).
    int64_t next_due_us(int64_t now_us) const;
    // The earliest deadline of a TPDO's event timer (INT64_MAX for none), so that the joint can
    // send what fell due since it last looked, each at its own deadline.
    int64_t timer_tpdo_due_us() const;

    // The recorder (0x2130-0x2137): when its next cycle falls due (INT64_MAX while it does not
    // run; a recorder armed for long, behind by more than it can keep, skips whole cycles), and
    // the sample of that cycle, taken with the motor brought to t_us. The joint calls both before
    // it handles a frame or a tick, so the recording holds every cycle up to then.
    int64_t recorder_due_us(int64_t now_us);
    void record_cycle(int64_t t_us);
    // Recorder states, as 0x2130 reads them.
    enum class recorder_state : uint8_t { idle = 0, armed = 1, triggered = 2, done = 3 };
    recorder_state recorder() const { return recorder_.state; }

    // Puts the drive into fault with a CiA 301/402 error code (0x603F), as a real fault would;
    // an emergency message goes out with the next answers. Code 0 is ignored.
    void inject_fault(uint16_t code);
    // Sends the emergencies waiting for the node's next answer now (none while stopped), as a
    // drive does by itself when a fault strikes.
    void flush_emcy(std::vector<vci::can_message> &out);

    // The node-ID in use; 255 while the joint has none.
    int node() const { return node_; }
    bool configured() const { return node_ != unconfigured_node; }
    uint32_t serial() const { return serial_; }
    joint_make make() const { return make_; }
    const lss_slave &lss() const { return lss_; }
    // Its SDO server, for the block size it offers.
    sdo_server &sdo() { return sdo_; }
    nmt_state state() const { return nmt_; }
    power_state power() const { return power_; }
    uint16_t statusword() const;
    uint16_t error_code() const { return fault_code_; }
    int8_t mode() const { return mode_; }

    // Error codes the drive raises by itself.
    static constexpr uint16_t error_following = 0x8611;    // CSP set-point beyond 0x6065
    static constexpr uint16_t error_device = 0xFF00;       // a motor fault raised outside CANopen
    // An RPDO shorter than its mapping; stands (0x1001 bit 4) until an RPDO of the right length.
    static constexpr uint16_t error_pdo_length = 0x8210;
    // Entries of the error history (0x1003 sub 1..8, newest first).
    static constexpr size_t history_entries = 8;
    static constexpr uint16_t error_heartbeat = 0x8130;    // a watched producer fell silent
    // Homing modes (0x6060 = 6) and its statusword bits.
    static constexpr int8_t mode_homing = 6;
    static constexpr uint16_t sw_homing_attained = 0x1000;
    static constexpr uint16_t sw_homing_error = 0x2000;
    // Entries of the heartbeat consumer (0x1016 sub 1..4).
    static constexpr int consumer_entries = 4;

    // Signatures of 0x1010 ("save") and 0x1011 ("load").
    static constexpr uint32_t save_signature = 0x65766173;
    static constexpr uint32_t load_signature = 0x64616F6C;

private:
    struct tpdo_runtime {
        bool sent = false;  // since the PDO became valid or the node operational
        uint8_t last[8] = {};
        uint8_t last_len = 0;
        int64_t last_us = 0;
        int64_t event_due_us = 0;
        unsigned sync_count = 0;
        vci::can_message sampled;  // type 252: taken at the SYNC, sent on request
    };
    // A producer watched by an entry of 0x1016: when its time runs out (0 while not watched:
    // until its first heartbeat since the entry was set, and after it was lost) and whether it
    // was lost and has not been heard since.
    struct watched_producer {
        int64_t due_us = 0;
        bool lost = false;
    };
    struct rpdo_runtime {
        uint8_t data[8] = {};
        bool buffered = false;  // a synchronous RPDO waiting for the next SYNC
    };

    // sdo_server::dictionary
    uint32_t read(uint16_t index, uint8_t sub, std::string &bytes) override;
    uint32_t can_write(uint16_t index, uint8_t sub, size_t size, bool size_known) override;
    uint32_t write(uint16_t index, uint8_t sub, const std::string &bytes, bool exact) override;

    // Object values
    std::string value_bytes(const od_def &def) const;
    bool live_value(const od_def &def, int64_t &value) const;
    int64_t param(uint16_t index, uint8_t sub = 0) const;
    uint32_t assign(const od_def &def, const std::string &bytes);
    uint32_t check_value(const od_def &def, int64_t value) const;
    void applied(const od_def &def, int64_t value);
    uint32_t store_command(uint16_t index, uint8_t sub, uint32_t signature);
    void load_range(uint16_t first, uint16_t last);

    // PDOs
    static bool is_pdo_comm(uint16_t index) { return (index >= 0x1400 && index <= 0x1403) || (index >= 0x1800 && index <= 0x1803); }
    static bool is_pdo_map(uint16_t index) { return (index >= 0x1600 && index <= 0x1603) || (index >= 0x1A00 && index <= 0x1A03); }
    static bool transmit_pdo(uint16_t index) { return index >= 0x1800; }
    uint32_t cob_id(uint16_t comm_index) const { return static_cast<uint32_t>(param(comm_index, 1)); }
    bool pdo_valid(uint16_t comm_index) const { return (cob_id(comm_index) & 0x80000000u) == 0; }
    uint32_t check_pdo_comm(const od_def &def, uint32_t value) const;
    uint32_t check_pdo_map(const od_def &def, uint32_t value) const;
    uint32_t check_map_entry(uint32_t entry, bool transmit) const;
    vci::can_message tpdo_payload(int n) const;
    bool tpdo_changed(int n, const vci::can_message &payload) const;
    bool tpdo_wants(int n, const vci::can_message &payload, int64_t now_us) const;
    void send_tpdo(int n, const vci::can_message &payload, int64_t now_us, std::vector<vci::can_message> &out);
    void serve_tpdos(int64_t now_us, std::vector<vci::can_message> &out);
    void handle_sync(std::vector<vci::can_message> &out);
    void handle_rpdo(int n, const vci::can_message &frame);
    void apply_rpdo(int n, const uint8_t *data);
    bool handle_tpdo_request(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void restart_pdos();

    // The recorder (canopen_recorder.cpp).
    struct recorder_run {
        recorder_state state = recorder_state::idle;
        std::vector<const od_def *> channels;
        size_t sample_bytes = 0;
        size_t length = 0;     // samples
        size_t pretrigger = 0;  // samples kept before the trigger
        int trigger_channel = 0;  // 1-based, 0: at once
        int64_t level = 0;
        bool rising = true;
        int64_t period_us = recorder_cycle_us;
        int64_t due_us = 0;
        std::string ring;       // the last pretrigger samples while armed, from ring_head
        size_t ring_count = 0;
        size_t ring_head = 0;
        bool have_previous = false;
        int64_t previous = 0;
        std::string data;       // the recording, oldest sample first
        size_t trigger_at = 0;  // the trigger's sample in data
    };
    uint32_t check_recorder(const od_def &def, int64_t value) const;
    void arm_recorder(bool arm);
    std::string recorder_sample() const;
    bool recorder_busy() const { return recorder_.state == recorder_state::armed || recorder_.state == recorder_state::triggered; }

    // NMT and LSS
    void reset_communication();
    void reset_application();
    void boot(std::vector<vci::can_message> &out);
    void handle_nmt(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void handle_sdo(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void handle_lss(const vci::can_message &frame, std::vector<vci::can_message> &out);
    void heartbeat(int64_t now_us, std::vector<vci::can_message> &out);

    // Heartbeat consumer and the reactions to a lost producer (canopen_watch.cpp)
    uint32_t consumer_entry(int n) const;
    uint32_t check_consumer_entry(uint8_t sub, uint32_t value) const;
    bool producer_lost() const;
    uint8_t error_register_now() const;
    void restart_watch(int n);
    void comm_error_gone(bool was_lost);
    bool is_heartbeat_of_other(const vci::can_message &frame) const;
    void consume_heartbeat(const vci::can_message &frame);
    void watch_producers(int64_t now_us, std::vector<vci::can_message> &out);
    void abort_connection();
    int64_t next_watch_due_us() const;

    // Homing, mode 6 (canopen_homing.cpp). A run is a list of legs, each a search in one
    // direction for a change of one input; the last leg's edge is the home position.
    enum class homing_stage { idle, searching, returning, attained, interrupted, error };
    struct homing_leg {
        int dir;            // +1 positive, -1 negative
        bool zero_speed;    // 0x6099:2 (searching for zero), else 0x6099:1 (for the switch)
        uint32_t input;     // motor_model::input_* bit, or 0 for the index pulse
        bool becomes;       // the input's state the search ends on
    };
    void start_homing();
    void end_homing(homing_stage why);
    void plan_homing(bool home_switch_active);
    void begin_leg(double from);
    void serve_homing();
    void finish_homing(double home);
    bool homing_busy() const { return homing_ == homing_stage::searching || homing_ == homing_stage::returning; }

    // CiA 402
    void sync_with_motor();
    void apply_controlword(uint16_t cw);
    void enter(power_state next);
    // The quick stop as 0x605A says; a shutdown or disable operation down the slow-down ramp
    // first when 0x605B/0x605C say so.
    void quick_stop();
    void slow_down_to(power_state next);
    void settle_ramps();
    bool in_fault() const { return power_ == power_state::fault || power_ == power_state::fault_reaction_active; }
    void change_mode(int8_t m);
    void apply_continuous_targets();
    void apply_cyclic_targets();
    void raise_fault(uint16_t code);
    void queue_emcy(uint16_t code);
    int32_t current_ma_from_permille(int32_t permille) const;
    int16_t permille_of_rated(int32_t current_ma) const;
    bool halted() const { return (controlword_ & 0x0100) != 0; }
    int32_t target_position() const { return static_cast<int32_t>(param(0x607A)); }
    // A position target within the software position limits (0x607D); notes whether it was cut.
    int64_t within_limits(int64_t target);
    // Following error monitoring of the position modes (0x6065, 0x6066).
    void watch_following_error();
    bool following_error_now() const;
    int32_t target_velocity() const { return static_cast<int32_t>(param(0x60FF)); }
    int16_t target_torque() const { return static_cast<int16_t>(param(0x6071)); }

    int node_;
    joint_make make_;
    motor_model &motor_;
    uint32_t serial_;
    sdo_server sdo_;
    lss_slave lss_;
    // Outlives resets and power cycles, as flash does.
    program_store program_{default_text(0x100A, make_)};
    bool boot_pending_ = false;  // a program start or reset boots once its answer is out

    // The values of every entry the node does not compute, and the ones "save" kept: the
    // non-volatile memory, which resets and power-on load from (an absent key: the default).
    std::map<uint32_t, std::string> values_;
    std::map<uint32_t, std::string> saved_;

    nmt_state nmt_ = nmt_state::pre_operational;
    bool guard_toggle_ = false;
    int64_t next_heartbeat_us_ = 0;
    int64_t silent_until_us_ = 0;  // switching bit timing: neither hears nor speaks
    tpdo_runtime tpdo_[4];
    rpdo_runtime rpdo_[4];
    watched_producer watch_[consumer_entries];
    std::vector<vci::can_message> pending_emcy_;
    std::vector<uint32_t> error_history_;  // 0x1003, newest first
    bool pdo_length_error_ = false;

    power_state power_ = power_state::switch_on_disabled;
    bool slowing_down_ = false;  // operation enabled until at rest, then slow_down_to_
    power_state slow_down_to_ = power_state::switch_on_disabled;
    uint16_t controlword_ = 0;
    uint16_t fault_code_ = 0;
    int8_t mode_ = 0;
    bool setpoint_ack_ = false;
    bool has_pending_setpoint_ = false;
    int64_t pending_setpoint_ = 0;
    bool ip_running_ = false;
    int32_t ip_target_ = 0;
    bool limit_active_ = false;        // the last position target was cut at 0x607D
    int64_t following_since_us_ = -1;  // the following error beyond the window since then

    recorder_run recorder_;

    homing_stage homing_ = homing_stage::idle;
    std::vector<homing_leg> legs_;
    size_t leg_ = 0;
    bool leg_to_limit_ = false;   // no edge that way: the search runs to the limit switch
    bool turned_ = false;         // a home switch search already turned round at a limit
    bool turning_ = false;        // on the way back from that limit, looking for the cam
    double leg_edge_ = 0;         // mechanical position the leg ends at
};

}  // namespace sim
