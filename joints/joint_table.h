#pragma once
// The joints of every open bus as the Joints window lists them, free of widgets: which joints
// there are (heard heartbeats, discoveries, the node scan, listed by hand), what each one last told (heartbeat,
// EMCY, polled statusword and values) and the actions on them. Every bus is reached through
// joint_bus_seam.h. Each call is at most a few transactions, run on the GUI thread.
//
// Stop all sends every stop of a bus back to back in one batch transaction (can/exchange.h),
// so that no stop waits for the answer of another, and then says "stopped" only for the joints
// whose drive acknowledged it: CiA 402 joints by the SDO write of the controlword (quick stop;
// an RPDO would act only at the next SYNC), joints of the maker's protocol by their stop motion
// reply.
#include "can/step_job.h"
#include "canopen/cia402.h"
#include "custom_protocol/custom_commands.h"
#include "joints/joint_bus_seam.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace joints {

enum class joint_protocol { canopen, custom };

// What the last action on a joint came to, as far as the drive confirmed it.
enum class action_outcome {
    none,
    enabled,
    enable_failed,
    disabled,
    disable_failed,
    stopped,
    stop_unconfirmed,
    halted,
    halt_unconfirmed,
    fault_reset,
    fault_remains,
    move_started,
    move_refused,
    jogging,
    homing_started
};

// Where one row's enable stands: it goes a transaction at a time (enable_step), so that an
// enable of many joints never holds the GUI thread for a whole walk.
struct enable_walk {
    int row = -1;
    int phase = 0;
    int looks = 0;                      // as canopen::next_enable_command counts them
    canopen::enable_command command;    // the controlwords being sent
    int sent = 0;
    int64_t settle_since_us = -1;       // the drive was first seen between states
    int64_t next_look_us = 0;
};

struct joint_state {
    joint_address address;
    joint_protocol protocol = joint_protocol::canopen;
    QString name;
    int nmt = -1;              // canopen::nmt_unknown until a heartbeat was heard
    int64_t heartbeat_us = -1;
    bool statusword_known = false;
    uint16_t statusword = 0;
    bool mode_known = false;
    int8_t mode = 0;
    bool values_known = false;
    int32_t position = 0;
    int32_t velocity = 0;
    int32_t effort = 0;         // CiA 402: torque in per mille of rated; maker's protocol: mA
    bool error_known = false;
    uint16_t error_code = 0;
    uint16_t emcy_code = 0;
    int64_t emcy_us = -1;       // -1: no EMCY heard
    // Enabled from this window (and so a joint Stop all and Disable all care for).
    bool enabled = false;
    bool guarded = false;
    action_outcome outcome = action_outcome::none;
    QString outcome_detail;     // the refusal or the guard's line
    // A jog of the maker's protocol runs continuous motion at the profile speed: what the three
    // registers it changes held before, put back when it ends.
    bool jog_saved = false;
    int32_t saved_control_mode = 0;
    int32_t saved_motion_mode = 0;
    int32_t saved_profile_speed = 0;
    int next_look = 0;          // which value the poll reads next
    // The homing methods the drive says it supports (0x60E3), read by the poll a sub a round;
    // empty once read means the drive does not say (no 0x60E3).
    bool methods_read = false;
    int methods_count = -1;
    std::vector<int> homing_methods;
    // The drive's valid transmit PDOs (their parameters read by the poll, a transaction a
    // round): a value one of them brought within the last 100 ms is not polled.
    struct tpdo {
        uint32_t cob_id = 0;
        std::vector<uint32_t> map;
        int64_t taken_us = -1;  // the last frame taken
    };
    std::vector<tpdo> tpdos;
    bool pdos_read = false;
    int64_t pdos_read_us = -1;
    int pdo_number = 0;   // which TPDO (0-3) is being read
    int pdo_phase = 0;    // its COB-ID, its entry count, its entries
    int pdo_count = 0;
    tpdo pdo_reading;
    // When a TPDO last brought each value; -1: never.
    int64_t pdo_statusword_us = -1;
    int64_t pdo_position_us = -1;
    int64_t pdo_velocity_us = -1;
    int64_t pdo_effort_us = -1;
    int64_t pdo_mode_us = -1;
    int64_t pdo_error_us = -1;
    bool extra_turn = false;    // the round's one read of the parameters above just happened
};

// When and how Stop all went: times on the tap's clock.
struct stop_report {
    int sent = 0;
    int confirmed = 0;
    int64_t pressed_us = 0;
    int64_t last_sent_us = 0;  // the last stop frame on the bus
};

class joint_table {
public:
    std::vector<joint_state> &rows() { return rows_; }
    const std::vector<joint_state> &rows() const { return rows_; }

    // Adds a joint unless it is listed; a joint listed for the maker's protocol becomes the
    // CANopen row when it answers both. Returns its row. The name is the one kept in the
    // settings, else "J<node>".
    int add(const joint_address &address, joint_protocol protocol);
    int find(const joint_address &address) const;
    // Lists every node whose heartbeat a bus heard lately or a discovery found (CANopen) and the nodes the node
    // window's last scan found (the maker's protocol); takes what heartbeats and EMCYs said.
    // True when a row was added.
    bool take_heard();
    void rename(int row, const QString &name);

    // One poll transaction for the next joint in turn; false when there is nothing to poll.
    bool poll_next();

    // The CiA 402 walk to "operation enabled" with the heartbeat guard engaged first, or the
    // maker's enable; the outcome says what the drive confirmed.
    void enable(int row);
    // One transaction (the guard's engagement: its few) of w's walk; false once the walk is
    // over, its outcome in the row.
    bool enable_step(enable_walk &w);
    void disable(int row);
    // The stop for each row listed.
    stop_report stop(const std::vector<int> &rows);
    // Halt (controlword bit 8) on a CiA 402 joint, which stays enabled; the maker's stop motion.
    // "halted" once the drive acknowledged the write.
    void halt(int row);
    // Fault reset (a rising edge of controlword bit 7); "fault reset" only when the statusword
    // read afterwards shows no fault. CiA 402 joints.
    void fault_reset(int row);
    // An absolute profile-position move of an enabled CiA 402 joint: mode 1, the target, then a
    // new set-point taken at once; on a joint of the maker's protocol, position control in single
    // moves to the target. "move started" once the drive acknowledged every write; the state
    // column tells when it reached the target.
    void move_to(int row, int32_t target);
    // Profile velocity at speed (signed) on an enabled CiA 402 joint while a jog button is held;
    // jog_end sets the velocity 0 and halts ("halted" once acknowledged). A joint of the maker's
    // protocol runs continuous motion at speed, and jog_end stops it and puts back the control
    // mode, motion mode and profile speed it had.
    void jog(int row, int32_t speed);
    void jog_end(int row);
    // Homing (mode 6) with method on an enabled CiA 402 joint: "homing started" once the drive
    // acknowledged the start; the state column tells when it attained.
    void home(int row, int8_t method);
    // The drive's error history 0x1003 (newest first), CiA 402 joints; false with why when it
    // could not be read.
    bool read_history(int row, std::vector<uint32_t> *codes, QString *why) const;
    // Empties 0x1003; true only when the read-back count is 0.
    bool clear_history(int row, QString *why) const;
    // The stop for every joint this table enabled or whose polled statusword says "operation
    // enabled" (to_stop).
    stop_report stop_all();
    static bool to_stop(const joint_state &j);

private:
    bool custom_ask(const joint_address &a, const custom_request &request, int32_t *value) const;
    bool read_u(const joint_address &a, uint16_t index, uint8_t sub, uint32_t *value) const;
    bool write_u(const joint_address &a, uint16_t index, uint8_t sub, uint32_t value, int size, QString *why = nullptr) const;
    bool enable_canopen_step(joint_state &j, enable_walk &w);
    // Reads the statusword: true when j is in operation enabled, else says so in j.
    bool enabled_now(joint_state &j) const;
    // The same for a joint of the maker's protocol (its enable register).
    bool custom_enabled_now(joint_state &j) const;
    bool custom_write_ok(const joint_address &a, const custom_request &request, QString *why) const;
    bool start_custom_motion(joint_state &j) const;
    void custom_move_to(joint_state &j, int32_t target);
    void custom_jog(joint_state &j, int32_t speed);
    void custom_jog_end(joint_state &j);
    // One transaction of reading 0x60E3 into j.
    void read_homing_method(joint_state &j) const;
    // One transaction of reading the TPDOs' parameters into j.
    void read_pdo_parameters(joint_state &j) const;

    std::vector<joint_state> rows_;
    size_t poll_row_ = 0;
};

// Enable of rows, one after the other, as a job of steps of one transaction each (the guard's
// engagement, a few), so that enabling twelve joints never holds the GUI thread. The table must
// outlive the job. A cancel leaves the row under way saying so; rows not reached keep what they
// had.
class enable_job : public step_job {
public:
    using end_hook = std::function<void(int enabled, int asked, bool cancelled)>;
    enable_job(joint_table &table, std::vector<int> rows, end_hook end);
    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return static_cast<int>(next_); }
    int total() const override { return static_cast<int>(rows_.size()); }

private:
    joint_table &table_;
    std::vector<int> rows_;
    end_hook end_;
    size_t next_ = 0;
    enable_walk walk_;
    int enabled_ = 0;
};

// Takes the values the joint's TPDOs brought since the last look (no transaction).
void take_pdos(joint_state &j);

// The name kept in the settings for a joint; empty when none.
QString saved_name(const joint_address &address);
void save_name(const joint_address &address, const QString &name);

// The CiA 402 state as the window shows it, or the maker's protocol's enable state.
QString state_text(const joint_state &j);
QString outcome_text(const joint_state &j);

}  // namespace joints
