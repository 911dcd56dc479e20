#pragma once
// What a script sees, on the engine's thread: the functions canopen(node), custom(node),
// wait(ms), check(name, actual, expected[, tolerance]) and log(text), and the joint objects
// they hand out (a small prelude gives them their JavaScript shape). Joint operations run the
// protocol's joint (motion/joints.h) over the run's bus; a failure becomes a script error
// naming the joint. What the host needs of the run (its bus and bookkeeping) is script_services:
// in the engine process, a proxy to the program over the pipe (sequences/engine_child.h).
#include "sequences/check_book.h"
#include "sequences/engine_wire.h"
#include "sequences/joint_bus.h"

#include <QJSValue>
#include <QObject>
#include <map>
#include <tuple>
#include <memory>

class QJSEngine;

namespace sequences {

// The run as the script's host reaches it.
class script_services {
public:
    virtual ~script_services() = default;
    virtual const joint_bus &bus() const = 0;
    // The joints of bus (0 .. vci::max_buses - 1; bus() is bus 0's); null for a bus not open.
    virtual const joint_bus *bus_of(int bus) const { return bus == 0 ? &this->bus() : nullptr; }
    // The script moves the joint: a stop or an error must stop it.
    virtual void mark_moved(const joint_key &key) = 0;
    // What the script does now, for the progress line.
    virtual void set_action(const QString &action) = 0;
    virtual double elapsed_s() const = 0;
    virtual bool record_check(const check_result &result) = 0;
    virtual bool write_log(const QString &text) = 0;
    // The joints known: in a window run the Joints window's list, else the joints a discovery
    // finds on every open bus.
    // false with why when they could not be found.
    virtual bool known_joints(std::vector<known_joint> *known, QString *why)
    {
        Q_UNUSED(why);
        known->clear();
        return true;
    }
    // The joint the Joints window names so (its list, else the names it keeps in the settings).
    virtual bool find_named(const QString &name, joint_key *key)
    {
        Q_UNUSED(name);
        Q_UNUSED(key);
        return false;
    }
    // In a window run, the stop of every enabled joint the Joints window lists but those the
    // script stopped itself (done): a line per joint stopped, "stopped" only where the drive
    // confirmed it; false when one did not.
    virtual bool stop_listed(const std::vector<known_joint> &done, QStringList *lines)
    {
        Q_UNUSED(done);
        Q_UNUSED(lines);
        return true;
    }
};

class script_host : public QObject {
    Q_OBJECT

public:
    script_host(script_services &runner, QJSEngine &engine);
    ~script_host() override;

    // Puts canopen, custom, wait, check and log into the engine's global object.
    void install();
    // Where the engine places the prelude's frames in an error's stack.
    static QString prelude_url();

    // bus: undefined for bus 0.
    Q_INVOKABLE QJSValue canopenJoint(const QJSValue &node, const QJSValue &bus);
    Q_INVOKABLE QJSValue customJoint(const QJSValue &node, const QJSValue &bus);
    Q_INVOKABLE void wait(const QJSValue &ms);
    Q_INVOKABLE bool check(const QJSValue &name, const QJSValue &actual, const QJSValue &expected,
                           const QJSValue &tolerance);
    Q_INVOKABLE void log(const QJSValue &text);
    // Boots a bench (a node list, objects/bench.h) and learns its joints' names.
    Q_INVOKABLE QJSValue bootBench(const QJSValue &path);
    // The joint named so ("J3"): by the booted bench's node list, else by the Joints window's
    // names; what joint(name) makes a joint object of ({node, bus, custom, name}).
    Q_INVOKABLE QJSValue namedJoint(const QJSValue &name);
    // The joints known (script_services::known_joints), each as namedJoint describes it.
    Q_INVOKABLE QJSValue knownJoints();
    // Waits until every joint given has ended the move it started (target reached), looking at
    // each in turn so that they move together; the first failure ends the wait with its error.
    Q_INVOKABLE void waitAll(const QJSValue &joints, const QJSValue &timeout_ms);
    // The stop of every joint the script moved and, in a window run, of every enabled joint the
    // Joints window lists; false when one did not confirm it.
    Q_INVOKABLE bool stopAll();
    // The script moves the joint (script_joint::act).
    void moved(const joint_key &key);

    // For the joint objects.
    script_services &runner() { return runner_; }
    QJSEngine &engine() { return engine_; }
    // A number the script passed where a whole 32-bit value belongs; throws a RangeError
    // into the script (and returns false) otherwise.
    bool whole(const QJSValue &v, const char *what, int64_t low, int64_t high, int64_t *out);

private:
    QJSValue joint_object(joint_protocol protocol, const QJSValue &node, const QJSValue &bus);

    script_services &runner_;
    QJSEngine &engine_;
    std::map<std::tuple<int, int, int>, std::unique_ptr<joint>> joints_;  // protocol, bus, node
    std::map<QString, int> bench_names_;  // lower case, from the last bootBench
    std::vector<joint_key> moved_;  // in the order the script first moved them
};

// A joint as the script holds it; the prelude's wrapper gives the methods
// their script names (register is a reserved word of C++).
class script_joint : public QObject {
    Q_OBJECT

public:
    script_joint(script_host &host, joint &j) : host_(host), joint_(j) {}

    Q_INVOKABLE void enable();
    Q_INVOKABLE void disable();
    Q_INVOKABLE void profile(const QJSValue &velocity, const QJSValue &acceleration, const QJSValue &deceleration);
    Q_INVOKABLE void moveTo(const QJSValue &position, const QJSValue &timeout_ms);
    Q_INVOKABLE void moveBy(const QJSValue &delta, const QJSValue &timeout_ms);
    // The move alone, returning at once; waitMotion or the host's waitAll follow it.
    Q_INVOKABLE void startMove(const QJSValue &value, bool relative, const QJSValue &timeout_ms);
    Q_INVOKABLE void waitMotion(const QJSValue &timeout_ms);
    joint &target() { return joint_; }
    Q_INVOKABLE void velocity(const QJSValue &v);
    Q_INVOKABLE void stop();
    Q_INVOKABLE QJSValue position();
    Q_INVOKABLE QJSValue speed();
    Q_INVOKABLE QJSValue current();
    Q_INVOKABLE QJSValue error();
    Q_INVOKABLE QJSValue read(const QJSValue &index, const QJSValue &sub, const QJSValue &type);
    Q_INVOKABLE void write(const QJSValue &index, const QJSValue &sub, const QJSValue &value, const QJSValue &type);
    // {wait: false} starts the homing and returns; waitMotion or waitAll follow it.
    Q_INVOKABLE void home(const QJSValue &method, const QJSValue &options);
    Q_INVOKABLE QJSValue updateFirmware(const QJSValue &path, const QJSValue &options);
    Q_INVOKABLE QJSValue readRegister(const QJSValue &reg);
    Q_INVOKABLE void writeRegister(const QJSValue &reg, const QJSValue &value);

private:
    // Runs one joint operation; a failure becomes a script error. moves: the script moves the
    // joint with it, so a stop or a later error must stop it.
    template <typename F> QJSValue act(const QString &action, bool moves, F &&operation);

    script_host &host_;
    joint &joint_;
};

}  // namespace sequences
