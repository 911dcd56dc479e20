#pragma once
// The joint-level operations, once per protocol, free of widgets and of the script engine (test
// sequences drive joints with them): a joint of the maker's protocol and a CiA 402 joint over
// CANopen, both driven through a joint_bus (one transaction per call). CANopen motion uses SDO
// writes only, so no PDO has to be set up first. A failure throws joint_failure with a message naming the joint.
//
//   operation      maker's protocol                          CANopen (CiA 402, by SDO)
//   enable         enable_state 1, read back                  controlword along the state machine to
//                                                             "operation enabled" (fault reset first)
//   disable        enable_state 0                             controlword 0x06 (shutdown)
//   profile        profile speed, acceleration, deceleration  0x6081, 0x6083, 0x6084
//   moveTo/moveBy  position mode, single move, target or      profile position: 0x607A, new set-point
//                  distance, start; done when the motion      (change at once; bit 6 relative), done on
//                  state says stopped within the window       "target reached" after the acknowledge
//   velocity       continuous motion at the signed speed      profile velocity: 0x60FF, enable operation
//   stop           stop motion                                halt (bit 8); the joint stays enabled
//   emergency      stop motion, analog target 0               quick stop (controlword 0x02)
//   home           -                                          homing (mode 6): 0x6098, 0x6099, 0x609A,
//                                                             0x607C, start (bit 4 rising), done on
//                                                             "attained" and "target reached" once
//                                                             the start was seen under way
#include "motion/joint_bus.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <exception>

namespace motion {

class joint_failure : public std::exception {
public:
    explicit joint_failure(const QString &message) : message_(message), bytes_(message.toUtf8()) {}
    const QString &message() const { return message_; }
    const char *what() const noexcept override { return bytes_.constData(); }

private:
    QString message_;
    QByteArray bytes_;
};

enum class joint_protocol { canopen, custom };

// A joint is its node on its bus.
struct joint_key {
    joint_protocol protocol = joint_protocol::canopen;
    int node = 0;
    int bus = 0;
    bool operator==(const joint_key &o) const { return protocol == o.protocol && node == o.node && bus == o.bus; }
};

// "CANopen joint 2", "custom joint 3"; on a bus after the first "CANopen joint 2 on bus 1".
QString joint_name(const joint_key &key);

// A move that names no timeout gives up after this long.
constexpr int default_move_timeout_ms = 10000;
// Homing crosses the whole axis up to twice at the search speed: longer than a move.
constexpr int default_homing_timeout_ms = 60000;
// Between two looks at a moving joint.
constexpr int move_poll_ms = 5;

class joint {
public:
    joint(const joint_key &key, const joint_bus &bus) : key_(key), bus_(bus) {}
    virtual ~joint() = default;
    joint(const joint &) = delete;
    joint &operator=(const joint &) = delete;

    const joint_key &key() const { return key_; }

    virtual void enable() = 0;
    virtual void disable() = 0;
    virtual void profile(int32_t velocity, int32_t acceleration, int32_t deceleration) = 0;
    // Both return once the joint is at rest at the target; timeout_ms <= 0 means the default.
    virtual void move_to(int32_t position, int timeout_ms) = 0;
    virtual void move_by(int32_t delta, int timeout_ms) = 0;
    // Continuous motion at v cnt/s (signed); 0 stops.
    virtual void velocity(int32_t v) = 0;
    virtual void stop() = 0;
    virtual int32_t position() = 0;
    virtual int32_t speed() = 0;
    virtual int32_t current() = 0;  // mA
    virtual int32_t error() = 0;  // the drive's error code, 0 when none

    // A move that returns at once (a script's {wait: false}); wait_motion() or looks with
    // motion_done() then follow it, so that several joints move together.
    void start_move_to(int32_t position, int timeout_ms);
    void start_move_by(int32_t delta, int timeout_ms);
    // One look at the move started last: true once it ended or when none is under way; throws
    // as the blocking move does (drive error, left "operation enabled", time out).
    bool motion_done();
    // Waits for the move started last; timeout_ms > 0 gives up sooner than the move's own.
    void wait_motion(int timeout_ms);
    bool motion_pending() const { return motion_.active; }

protected:
    struct pending_motion {
        bool active = false;
        bool relative = false;
        bool acknowledged = false;  // CiA 402: the set-point was taken (bit 12 seen)
        // CiA 402 homing (mode 6), where bit 12 is "homing attained": acknowledged once a look
        // showed the new start under way (bit 12 clear), or at once where bit 12 was clear
        // before the start or the method homes on the spot.
        bool homing = false;
        int32_t target = 0;         // the maker's protocol: where the joint comes to rest
        int timeout_ms = 0;
        QElapsedTimer started;
        QString what;
    };
    // Sends what starts the move and fills motion_.
    virtual void begin_move(int32_t value, bool relative, int timeout_ms, const QString &what) = 0;
    // One look at motion_ while it is active: true once the joint is there.
    virtual bool look_at_motion() = 0;
    void run_motion();

    pending_motion motion_;

    [[noreturn]] void fail(const QString &what) const;
    int timeout_or_default(int timeout_ms) const { return timeout_ms > 0 ? timeout_ms : default_move_timeout_ms; }
    // Waits between polls; throws when the run was stopped meanwhile.
    void pause(int ms) const;

    joint_key key_;
    joint_bus bus_;
};

class custom_joint : public joint {
public:
    custom_joint(int node, const joint_bus &bus, int bus_index = 0) : joint({joint_protocol::custom, node, bus_index}, bus) {}

    void enable() override;
    void disable() override;
    void profile(int32_t velocity, int32_t acceleration, int32_t deceleration) override;
    void move_to(int32_t position, int timeout_ms) override;
    void move_by(int32_t delta, int timeout_ms) override;
    void velocity(int32_t v) override;
    void stop() override;
    int32_t position() override;
    int32_t speed() override;
    int32_t current() override;
    int32_t error() override;

    int32_t read_register(int32_t reg);
    void write_register(int32_t reg, int32_t value);

    // How far from the target a finished move may come to rest, cnt.
    static constexpr int32_t position_window = 10;

private:
    int32_t ask(const custom_request &request, const QString &what);
    void prepare_single_move();
    void begin_move(int32_t value, bool relative, int timeout_ms, const QString &what) override;
    bool look_at_motion() override;

    bool position_mode_ = false;
    int32_t motion_mode_ = -1;  // as last written; -1 unknown
    // Continuous motion writes the profile speed with its sign; a later move writes back the
    // profile's own speed.
    bool profile_speed_known_ = false;
    int32_t profile_speed_ = 0;
    bool profile_speed_overwritten_ = false;
};

// A value read from an object: a number, or a text (64-bit integers in decimal, strings,
// octet strings and domains as hex bytes).
struct object_value {
    bool is_text = false;
    double number = 0;
    QString text;
};

// What home() sets before it starts; a negative speed or acceleration (and no offset) leaves the
// drive's own value.
struct homing_options {
    int64_t switch_speed = -1;  // 0x6099:1
    int64_t zero_speed = -1;    // 0x6099:2
    int64_t acceleration = -1;  // 0x609A
    bool has_offset = false;
    int32_t offset = 0;         // 0x607C
    int timeout_ms = 0;         // <= 0: default_homing_timeout_ms
};

class canopen_joint : public joint {
public:
    canopen_joint(int node, const joint_bus &bus, int bus_index = 0)
        : joint({joint_protocol::canopen, node, bus_index}, bus)
    {
    }

    void enable() override;
    void disable() override;
    void profile(int32_t velocity, int32_t acceleration, int32_t deceleration) override;
    void move_to(int32_t position, int timeout_ms) override;
    void move_by(int32_t delta, int timeout_ms) override;
    void velocity(int32_t v) override;
    void stop() override;
    int32_t position() override;
    int32_t speed() override;
    int32_t current() override;
    int32_t error() override;
    // Homes with the method (CiA 402 mode 6); returns once homing is attained and the joint at
    // rest, throws on the drive's homing error or when time runs out (the joint is halted then).
    void home(int8_t method, const homing_options &options);
    // The homing alone, returning once it started (a script's {wait: false}); wait_motion() and
    // motion_done() follow it as they follow a move.
    void start_home(int8_t method, const homing_options &options);
    // The firmware update with the image at path (objects/firmware_job.h), run by the bus's
    // firmware(); throws with the step that failed (a refusal for another product among them)
    // and what the node was left with.
    objects::firmware_report update_firmware(const QString &path, bool force);

    // type as the object dictionary names it ("UNSIGNED32"); empty: the standard objects' type,
    // or for an object the program does not know an unsigned number of 1, 2 or 4 bytes (other
    // sizes as hex bytes).
    object_value read_object(uint16_t index, uint8_t sub, const QString &type);
    // value as text of the type (decimal, 0x-hex, a string, hex bytes), segmented when long.
    void write_object(uint16_t index, uint8_t sub, const QString &value, const QString &type);

private:
    // large: by block transfer (a DOMAIN), which falls back to segments where the joint has none.
    QByteArray upload(uint16_t index, uint8_t sub, bool large = false);
    void download(uint16_t index, uint8_t sub, const QByteArray &bytes);
    void download(uint16_t index, uint8_t sub, uint32_t value, int size);
    int64_t read_integer(uint16_t index, uint8_t sub, int size, bool is_signed);
    uint16_t statusword();
    void controlword(uint16_t cw);
    void use_mode(int8_t mode);
    void begin_move(int32_t value, bool relative, int timeout_ms, const QString &what) override;
    bool look_at_motion() override;
    bool look_at_homing();
    // Throws with the state (and the drive's error code) when the joint left "operation enabled".
    void require_enabled(uint16_t sw, const QString &what);

    bool mode_known_ = false;
    int8_t mode_ = 0;
    int32_t rated_current_ = 0;  // 0x6075, read once
};

// The protocol's stop for a joint that a stopped or failed script leaves behind: the maker's
// stop motion and a zero analog target (speed and torque control), CANopen quick stop. A joint
// that does not answer is not waited for twice. Confirmed when the drive answered the stop (the
// maker's reply to stop motion, the SDO write of the controlword confirmed); refusal: the
// drive's abort, when it refused.
struct stop_result {
    bool confirmed = false;
    QString refusal;
};
stop_result emergency_stop(const joint_key &key, const joint_bus &bus);

}  // namespace motion
