#pragma once
// Mechanics and power stage of one simulated joint, shared by both protocols of the joint.
// Motion follows trapezoidal profiles in time; time comes from the simulator clock through
// advance(), so a manual clock makes every trajectory deterministic.
#include <cstdint>

namespace sim {

class motor_model {
public:
    enum class mode { idle, position, velocity, torque };

    // Brings the state up to now_us (the simulator clock). Every query below reflects the
    // state at the last advance().
    void advance(int64_t now_us);

    int32_t position() const;
    int32_t speed() const;          // cnt/s, signed; 0 while blocked
    int32_t current_ma() const;     // signed, follows the acceleration and the load
    int32_t error_code() const { return error_code_; }
    bool enabled() const { return enabled_; }
    bool moving() const;            // a profile is running or the joint is not at rest
    mode current_mode() const { return mode_; }
    int32_t target_position() const { return static_cast<int32_t>(target_); }

    // Power stage. Disabling stops the joint at once (it coasts to rest immediately here).
    void set_enabled(bool on);

    // Profile for position moves and velocity ramps; zero or negative values are taken as 1
    // (a speed of 0 is kept as set, and a move at it creeps at 1 cnt/s).
    void set_profile(int64_t speed, int64_t acceleration, int64_t deceleration);
    int64_t profile_speed() const { return profile_speed_; }
    int64_t profile_acceleration() const { return accel_; }
    int64_t profile_deceleration() const { return decel_; }

    // Start a trapezoidal move to an absolute target. Refused (returns false, sets a fault)
    // while the power stage is disabled.
    bool move_to(int64_t target);
    // Back and forth between the present position and target until halt(), another move, a
    // disable or a fault ends it. Refused like move_to. A target equal to the present position
    // is a single (empty) move, since there is nothing to go back and forth over.
    bool move_back_and_forth(int64_t target);
    // Ramp to a signed velocity and keep it (continuous motion, speed control).
    bool run_at(int64_t velocity);
    // Torque control: a target current in mA; the joint accelerates in the sign of the
    // current until max_speed (cnt/s, magnitude) is reached.
    bool apply_torque(int32_t current_ma, int64_t max_speed);
    // Set-point following for the cyclic synchronous modes: go to target within one step.
    bool follow(int64_t target);
    // Ramp down to rest with the deceleration; keeps the power stage as it is.
    void halt();

    // Faults: a non-zero code stops the motion and disables the power stage until cleared.
    void inject_fault(int32_t code);
    void clear_fault();

    // Puts the joint at counted position p (power-on state, tests).
    void set_position(int64_t p);

    // The axis the joint drives, fixed to the machine: its places are mechanical positions,
    // the position at power-on being 0 (a homing moves the counted position, not the machine).
    //   negative limit switch  active below -50,000
    //   positive limit switch  active above +50,000
    //   home switch            a cam, active from -500 to +500
    //   index pulse            once per revolution of 4,096 cnt, where the mechanical position
    //                          is a multiple of 4,096
    static constexpr int32_t negative_limit_at = -50000;
    static constexpr int32_t positive_limit_at = 50000;
    static constexpr int32_t home_cam_low = -500;
    static constexpr int32_t home_cam_high = 500;
    static constexpr int32_t counts_per_revolution = 4096;
    // The switches as bits (0 negative limit, 1 positive limit, 2 home switch).
    static constexpr uint32_t input_negative_limit = 0x1;
    static constexpr uint32_t input_positive_limit = 0x2;
    static constexpr uint32_t input_home_switch = 0x4;
    uint32_t inputs() const;
    double mechanical_position() const { return actual() - origin_; }
    double counted(double mechanical) const { return mechanical + origin_; }
    // The counted position moves by delta (homing); the joint stays where it is.
    void shift_frame(int64_t delta);

    // Speed and acceleration for every ramp (deceleration too) instead of the profile's, until
    // end_ramp(): what homing runs with, leaving the profile objects as they are.
    void use_ramp(int64_t speed, int64_t acceleration);
    void end_ramp() { ramp_override_ = false; }

    // Watches for the joint passing the mechanical position at in the direction dir (+1 or -1);
    // when it does, the joint ramps down to rest by itself, as a drive stops on a captured edge.
    void latch_at(double at, int dir);
    void clear_latch() { latch_armed_ = false; latch_hit_ = false; }
    bool latched() const { return latch_hit_; }

    // A blocked load: the shaft stands still while the profile goes on, so the demanded
    // position (position_demand()) runs away from the actual one.
    void set_blocked(bool blocked);
    bool blocked() const { return blocked_; }
    int32_t position_demand() const;
    int32_t speed_demand() const;  // what the profile asks for now, blocked or not

    // No motion faster than this (cnt/s), whatever the profile or the target velocity says.
    void set_speed_limit(int64_t limit) { speed_limit_ = limit > 0 ? limit : 1; }

    // Fault codes the model raises by itself.
    static constexpr int32_t fault_motion_while_disabled = 0x0010;
    static constexpr int32_t rated_current_ma = 3000;

private:
    void step(double dt);
    void step_motion(double dt);
    void start_velocity_ramp(double velocity);
    // A position move has reached target_: rest there, or turn round when going back and forth.
    void arrived();
    // The shaft's position: the demand unless blocked.
    double actual() const { return blocked_ ? blocked_at_ : position_; }
    double ramp_speed() const;
    double ramp_accel() const;
    double ramp_decel() const;
    void check_latch(double before);

    double position_ = 0;
    double velocity_ = 0;
    double target_ = 0;
    double target_velocity_ = 0;
    double accel_now_ = 0;
    int32_t torque_current_ = 0;
    int64_t profile_speed_ = 1000;
    int64_t accel_ = 10000;
    int64_t decel_ = 10000;
    int64_t max_speed_ = 0;
    mode mode_ = mode::idle;
    bool enabled_ = false;
    int32_t error_code_ = 0;
    int64_t last_us_ = -1;
    bool shuttle_ = false;
    double shuttle_from_ = 0;
    double shuttle_to_ = 0;
    double origin_ = 0;  // the counted position of mechanical 0
    bool ramp_override_ = false;
    int64_t ramp_speed_ = 0;
    int64_t ramp_accel_ = 0;
    bool latch_armed_ = false;
    bool latch_hit_ = false;
    double latch_at_ = 0;
    int latch_dir_ = 0;
    bool blocked_ = false;
    double blocked_at_ = 0;
    int64_t speed_limit_ = INT32_MAX;
};

}  // namespace sim
