#include "sequences/script_host.h"

#include "base/hex.h"
#include "can/vci/bus_backend.h"
#include "canopen/cia402.h"

#include <QElapsedTimer>
#include <QJSEngine>
#include <QJSValueIterator>
#include <QQmlEngine>
#include <algorithm>
#include <cmath>
#include <type_traits>
#include <limits>

namespace sequences {

namespace {

// The script's functions and joint objects. Optional arguments get their defaults here, and a
// joint has read/write (CANopen) or register/setRegister (maker's protocol), not both.
const char prelude[] = R"JS(
(function (host) {
    'use strict';
    // The script objects' hosts, for waitAll.
    var hosts = new WeakMap();
    // d: what joints() and joint(name) know of it ({node, bus, custom, name}).
    function joint(q, custom, d) {
        // moveTo(target, ms) waits; moveTo(target, {wait: false, timeout: ms}) returns at once.
        function move(value, relative, options) {
            if (options !== null && typeof options === 'object') {
                q.startMove(value, relative, options.timeout === undefined ? 0 : options.timeout);
                if (options.wait === false)
                    return;
                q.waitMotion(0);
            } else if (relative) {
                q.moveBy(value, options === undefined ? 0 : options);
            } else {
                q.moveTo(value, options === undefined ? 0 : options);
            }
        }
        var j = {
            enable: function () { q.enable(); },
            disable: function () { q.disable(); },
            profile: function (velocity, acceleration, deceleration) { q.profile(velocity, acceleration, deceleration); },
            moveTo: function (position, timeout) { move(position, false, timeout); },
            moveBy: function (delta, timeout) { move(delta, true, timeout); },
            wait: function (timeout) { q.waitMotion(timeout === undefined ? 0 : timeout); },
            velocity: function (v) { q.velocity(v); },
            stop: function () { q.stop(); },
            position: function () { return q.position(); },
            speed: function () { return q.speed(); },
            current: function () { return q.current(); },
            error: function () { return q.error(); }
        };
        if (custom) {
            j.register = function (n) { return q.readRegister(n); };
            j.setRegister = function (n, value) { q.writeRegister(n, value); };
        } else {
            j.read = function (index, sub, type) { return q.read(index, sub, type === undefined ? '' : type); };
            j.write = function (index, sub, value, type) { q.write(index, sub, value, type); };
            j.home = function (method, options) { q.home(method, options === undefined ? {} : options); };
            j.updateFirmware = function (path, options) {
                return q.updateFirmware(path, options === undefined ? {} : options);
            };
        }
        j.protocol = custom ? 'custom' : 'canopen';
        if (d !== undefined) {
            j.name = d.name;
            j.node = d.node;
            j.bus = d.bus;
        }
        hosts.set(j, q);
        return Object.freeze(j);
    }
    function described(d) {
        return joint(d.custom ? host.customJoint(d.node, d.bus) : host.canopenJoint(d.node, d.bus), d.custom, d);
    }
    return {
        canopen: function (node, bus) { return joint(host.canopenJoint(node, bus), false); },
        custom: function (node, bus) { return joint(host.customJoint(node, bus), true); },
        wait: function (ms) { host.wait(ms); },
        check: function (name, actual, expected, tolerance) {
            return host.check(name, actual, expected, tolerance === undefined ? 0 : tolerance);
        },
        log: function (text) { host.log(text); },
        bootBench: function (path) { return host.bootBench(path); },
        joint: function (name) { return described(host.namedJoint(name)); },
        joints: function () { return host.knownJoints().map(described); },
        waitAll: function () {
            var qs = [];
            var timeout = 0;
            for (var i = 0; i < arguments.length; ++i) {
                if (typeof arguments[i] === 'number')
                    timeout = arguments[i];
                else if (hosts.has(arguments[i]))
                    qs.push(hosts.get(arguments[i]));
                else
                    throw new TypeError('waitAll takes joints (and a timeout in ms last)');
            }
            host.waitAll(qs, timeout);
        },
        stopAll: function () { return host.stopAll(); }
    };
})
)JS";

constexpr int first_node = 1;
constexpr int last_node = 127;

}  // namespace

script_host::script_host(script_services &runner, QJSEngine &engine) : runner_(runner), engine_(engine)
{
    QQmlEngine::setObjectOwnership(this, QQmlEngine::CppOwnership);
}

script_host::~script_host() = default;

QString script_host::prelude_url() { return QStringLiteral("file:velmora-prelude"); }

void script_host::install()
{
    const QJSValue api = engine_.evaluate(QString::fromUtf8(prelude), QStringLiteral("velmora-prelude"))
                             .call({engine_.newQObject(this)});
    QJSValue global = engine_.globalObject();
    for (const char *name : {"canopen", "custom", "wait", "check", "log", "bootBench", "joint", "joints", "waitAll",
                             "stopAll"})
        global.setProperty(QLatin1String(name), api.property(QLatin1String(name)));
}

bool script_host::whole(const QJSValue &v, const char *what, int64_t low, int64_t high, int64_t *out)
{
    const double d = v.isNumber() ? v.toNumber() : std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(d) || d != std::floor(d) || d < static_cast<double>(low) || d > static_cast<double>(high)) {
        engine_.throwError(QJSValue::RangeError,
                           QStringLiteral("%1 must be a whole number from %2 to %3, not %4")
                               .arg(QLatin1String(what))
                               .arg(low)
                               .arg(high)
                               .arg(v.toString()));
        return false;
    }
    *out = static_cast<int64_t>(d);
    return true;
}

QJSValue script_host::joint_object(joint_protocol protocol, const QJSValue &node, const QJSValue &bus)
{
    int64_t n = 0;
    if (!whole(node, "the node", first_node, last_node, &n))
        return QJSValue();
    int64_t b = 0;
    if (!bus.isUndefined() && !whole(bus, "the bus", 0, vci::max_buses - 1, &b))
        return QJSValue();
    const joint_bus *on = runner_.bus_of(static_cast<int>(b));
    if (!on) {
        engine_.throwError(QJSValue::RangeError,
                           QStringLiteral("bus %1 is not open (VELMORA_CAN or --bus lists the buses, comma-separated)")
                               .arg(b));
        return QJSValue();
    }
    std::unique_ptr<joint> &j = joints_[{static_cast<int>(protocol), static_cast<int>(b), static_cast<int>(n)}];
    if (!j) {
        if (protocol == joint_protocol::canopen)
            j = std::make_unique<canopen_joint>(static_cast<int>(n), *on, static_cast<int>(b));
        else
            j = std::make_unique<custom_joint>(static_cast<int>(n), *on, static_cast<int>(b));
    }
    // Owned by the script: the collector deletes it; the joint itself lives as long as the run.
    return engine_.newQObject(new script_joint(*this, *j));
}

QJSValue script_host::canopenJoint(const QJSValue &node, const QJSValue &bus)
{
    return joint_object(joint_protocol::canopen, node, bus);
}

QJSValue script_host::bootBench(const QJSValue &path)
{
    if (!path.isString()) {
        engine_.throwError(QJSValue::TypeError, QStringLiteral("bootBench takes the path of a node list (.cpj)"));
        return QJSValue();
    }
    runner_.set_action(QStringLiteral("bootBench(%1)").arg(path.toString()));
    const bench_run r = runner_.bus().boot ? runner_.bus().boot(path.toString())
                                           : bench_run{false, QStringLiteral("no bench boot here"), 0, 0, {}, {}};
    for (const QString &line : r.summary)
        runner_.write_log(line);
    if (!r.ran) {
        engine_.throwError(QStringLiteral("bootBench(%1): %2").arg(path.toString(), r.error));
        return QJSValue();
    }
    bench_names_.clear();
    for (const QString &pair : r.names) {
        const int eq = pair.lastIndexOf(QLatin1Char('='));
        bench_names_[pair.left(eq).toLower()] = pair.mid(eq + 1).toInt();
    }
    QJSValue result = engine_.newObject();
    result.setProperty(QStringLiteral("nodes"), r.nodes);
    result.setProperty(QStringLiteral("done"), r.done);
    result.setProperty(QStringLiteral("passed"), r.done == r.nodes);
    return result;
}

namespace {

QJSValue description(QJSEngine &engine, const joint_key &key, const QString &name)
{
    QJSValue d = engine.newObject();
    d.setProperty(QStringLiteral("node"), key.node);
    d.setProperty(QStringLiteral("bus"), key.bus);
    d.setProperty(QStringLiteral("custom"), key.protocol == joint_protocol::custom);
    d.setProperty(QStringLiteral("name"), name);
    return d;
}

}  // namespace

QJSValue script_host::namedJoint(const QJSValue &name)
{
    const QString wanted = name.toString();
    if (!name.isString() || wanted.trimmed().isEmpty()) {
        engine_.throwError(QJSValue::TypeError, QStringLiteral("joint() takes a joint's name (\"J3\")"));
        return QJSValue();
    }
    const auto it = bench_names_.find(wanted.toLower());
    if (it != bench_names_.end())
        return description(engine_, {joint_protocol::canopen, it->second, 0}, wanted);
    runner_.set_action(QStringLiteral("joint(%1)").arg(wanted));
    joint_key key;
    if (!runner_.find_named(wanted, &key)) {
        engine_.throwError(QJSValue::ReferenceError,
                           QStringLiteral("no joint named %1 (names come from the Joints window or bootBench)").arg(wanted));
        return QJSValue();
    }
    return description(engine_, key, wanted);
}

QJSValue script_host::knownJoints()
{
    runner_.set_action(QStringLiteral("joints()"));
    std::vector<known_joint> known;
    QString why;
    if (!runner_.known_joints(&known, &why)) {
        engine_.throwError(QStringLiteral("joints(): ") + why);
        return QJSValue();
    }
    QJSValue list = engine_.newArray(static_cast<uint>(known.size()));
    for (size_t i = 0; i < known.size(); ++i)
        list.setProperty(static_cast<quint32>(i), description(engine_, known[i].key, known[i].name));
    return list;
}

QJSValue script_host::customJoint(const QJSValue &node, const QJSValue &bus)
{
    return joint_object(joint_protocol::custom, node, bus);
}

void script_host::wait(const QJSValue &ms)
{
    int64_t n = 0;
    if (!whole(ms, "wait's time", 0, std::numeric_limits<int32_t>::max(), &n))
        return;
    runner_.set_action(QStringLiteral("wait(%1)").arg(n));
    runner_.bus().pause(static_cast<int>(n));
}

namespace {

check_value value_of(const QJSValue &v)
{
    if (v.isNumber() || v.isBool())
        return check_value::of(v.toNumber());
    return check_value::of(v.toString());
}

}  // namespace

bool script_host::check(const QJSValue &name, const QJSValue &actual, const QJSValue &expected,
                        const QJSValue &tolerance)
{
    const double t = tolerance.toNumber();
    if (!tolerance.isNumber() || !(t >= 0)) {
        engine_.throwError(
            QJSValue::RangeError,
            QStringLiteral("check(\"%1\"): the tolerance must be a number of 0 or more").arg(name.toString()));
        return false;
    }
    const check_result r =
        evaluate_check(runner_.elapsed_s(), name.toString(), value_of(actual), value_of(expected), t);
    runner_.record_check(r);
    return r.passed;
}

void script_host::log(const QJSValue &text) { runner_.write_log(text.toString()); }

void script_host::waitAll(const QJSValue &joints, const QJSValue &timeout_ms)
{
    int64_t t = 0;
    if (!whole(timeout_ms, "the timeout", 0, std::numeric_limits<int32_t>::max(), &t))
        return;
    std::vector<joint *> waiting;
    const int n = joints.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i)
        if (auto *s = qobject_cast<script_joint *>(joints.property(static_cast<quint32>(i)).toQObject()))
            waiting.push_back(&s->target());
    runner_.set_action(QStringLiteral("waitAll(%1 joints)").arg(waiting.size()));
    QElapsedTimer waited;
    waited.start();
    try {
        for (;;) {
            bool all = true;
            for (joint *j : waiting)
                all = j->motion_done() && all;
            if (all)
                return;
            if (t > 0 && waited.elapsed() >= t) {
                QStringList late;
                for (joint *j : waiting)
                    if (j->motion_pending())
                        late << joint_name(j->key());
                throw joint_failure(QStringLiteral("waitAll timed out after %1 ms: %2 not there").arg(t).arg(late.join(QStringLiteral(", "))));
            }
            if (!runner_.bus().pause(move_poll_ms))
                throw joint_failure(QStringLiteral("stopped"));
        }
    } catch (const joint_failure &failure) {
        engine_.throwError(failure.message());
    }
}

void script_host::moved(const joint_key &key)
{
    if (std::find(moved_.begin(), moved_.end(), key) == moved_.end())
        moved_.push_back(key);
    runner_.mark_moved(key);
}

bool script_host::stopAll()
{
    runner_.set_action(QStringLiteral("stopAll"));
    bool all = true;
    std::vector<known_joint> done;
    for (const joint_key &key : moved_) {
        // Each joint over its own bus: a joint of bus 1 is not stopped by a frame on bus 0.
        const joint_bus *on = runner_.bus_of(key.bus);
        stop_result r;
        if (on)
            r = emergency_stop(key, *on);
        runner_.write_log(QStringLiteral("%1: %2").arg(joint_name(key),
                                                       r.confirmed ? QStringLiteral("stopped")
                                                                   : QStringLiteral("stop not confirmed") +
                                                                         (r.refusal.isEmpty() ? QString() : QStringLiteral(" (") + r.refusal + QLatin1Char(')'))));
        all = all && r.confirmed;
        known_joint k;
        k.key = key;
        done.push_back(k);
    }
    QStringList lines;
    all = runner_.stop_listed(done, &lines) && all;
    for (const QString &line : lines)
        runner_.write_log(line);
    return all;
}

// ---- joints --------------------------------------------------------------------------------

template <typename F> QJSValue script_joint::act(const QString &action, bool moves, F &&operation)
{
    script_services &runner = host_.runner();
    runner.set_action(joint_name(joint_.key()) + QStringLiteral(": ") + action);
    if (moves)
        host_.moved(joint_.key());
    try {
        if constexpr (std::is_void_v<decltype(operation())>)
            operation();
        else
            return operation();
    } catch (const joint_failure &failure) {
        host_.engine().throwError(failure.message());
    }
    return QJSValue();
}

void script_joint::enable()
{
    act(QStringLiteral("enable"), true, [this] { joint_.enable(); });
}

void script_joint::disable()
{
    act(QStringLiteral("disable"), false, [this] { joint_.disable(); });
}

void script_joint::profile(const QJSValue &velocity, const QJSValue &acceleration, const QJSValue &deceleration)
{
    int64_t v = 0, a = 0, d = 0;
    const int64_t top = std::numeric_limits<int32_t>::max();
    if (!host_.whole(velocity, "the profile velocity", std::numeric_limits<int32_t>::min(), top, &v) ||
        !host_.whole(acceleration, "the acceleration", 1, top, &a) ||
        !host_.whole(deceleration, "the deceleration", 1, top, &d))
        return;
    act(QStringLiteral("profile(%1, %2, %3)").arg(v).arg(a).arg(d), false,
        [&] { joint_.profile(static_cast<int32_t>(v), static_cast<int32_t>(a), static_cast<int32_t>(d)); });
}

namespace {
constexpr int64_t int32_low = std::numeric_limits<int32_t>::min();
constexpr int64_t int32_high = std::numeric_limits<int32_t>::max();
}  // namespace

void script_joint::moveTo(const QJSValue &position, const QJSValue &timeout_ms)
{
    int64_t p = 0, t = 0;
    if (!host_.whole(position, "the position", int32_low, int32_high, &p) ||
        !host_.whole(timeout_ms, "the timeout", 0, int32_high, &t))
        return;
    act(QStringLiteral("moveTo(%1)").arg(p), true,
        [&] { joint_.move_to(static_cast<int32_t>(p), static_cast<int>(t)); });
}

void script_joint::moveBy(const QJSValue &delta, const QJSValue &timeout_ms)
{
    int64_t d = 0, t = 0;
    if (!host_.whole(delta, "the distance", int32_low, int32_high, &d) ||
        !host_.whole(timeout_ms, "the timeout", 0, int32_high, &t))
        return;
    act(QStringLiteral("moveBy(%1)").arg(d), true,
        [&] { joint_.move_by(static_cast<int32_t>(d), static_cast<int>(t)); });
}

void script_joint::startMove(const QJSValue &value, bool relative, const QJSValue &timeout_ms)
{
    int64_t v = 0, t = 0;
    if (!host_.whole(value, relative ? "the distance" : "the position", int32_low, int32_high, &v) ||
        !host_.whole(timeout_ms, "the timeout", 0, int32_high, &t))
        return;
    act(QStringLiteral("%1(%2, {wait: false})").arg(relative ? QStringLiteral("moveBy") : QStringLiteral("moveTo")).arg(v), true,
        [&] {
            if (relative)
                joint_.start_move_by(static_cast<int32_t>(v), static_cast<int>(t));
            else
                joint_.start_move_to(static_cast<int32_t>(v), static_cast<int>(t));
        });
}

void script_joint::waitMotion(const QJSValue &timeout_ms)
{
    int64_t t = 0;
    if (!host_.whole(timeout_ms, "the timeout", 0, int32_high, &t))
        return;
    act(QStringLiteral("wait"), false, [&] { joint_.wait_motion(static_cast<int>(t)); });
}

void script_joint::velocity(const QJSValue &v)
{
    int64_t speed = 0;
    if (!host_.whole(v, "the velocity", int32_low, int32_high, &speed))
        return;
    act(QStringLiteral("velocity(%1)").arg(speed), true, [&] { joint_.velocity(static_cast<int32_t>(speed)); });
}

void script_joint::stop()
{
    act(QStringLiteral("stop"), false, [this] { joint_.stop(); });
}

QJSValue script_joint::position()
{
    return act(QStringLiteral("position"), false, [this] { return QJSValue(joint_.position()); });
}

QJSValue script_joint::speed()
{
    return act(QStringLiteral("speed"), false, [this] { return QJSValue(joint_.speed()); });
}

QJSValue script_joint::current()
{
    return act(QStringLiteral("current"), false, [this] { return QJSValue(joint_.current()); });
}

QJSValue script_joint::error()
{
    return act(QStringLiteral("error"), false, [this] { return QJSValue(joint_.error()); });
}

QJSValue script_joint::read(const QJSValue &index, const QJSValue &sub, const QJSValue &type)
{
    int64_t i = 0, s = 0;
    if (!host_.whole(index, "the index", 0, 0xFFFF, &i) || !host_.whole(sub, "the subindex", 0, 0xFF, &s))
        return QJSValue();
    auto *j = dynamic_cast<canopen_joint *>(&joint_);
    return act(QStringLiteral("read(0x%1, %2)").arg(hex::lower_digits(i, 4)).arg(s), false, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("read() is for CANopen joints"));
        const object_value v = j->read_object(static_cast<uint16_t>(i), static_cast<uint8_t>(s), type.toString());
        return v.is_text ? QJSValue(v.text) : QJSValue(v.number);
    });
}

void script_joint::write(const QJSValue &index, const QJSValue &sub, const QJSValue &value, const QJSValue &type)
{
    int64_t i = 0, s = 0;
    if (!host_.whole(index, "the index", 0, 0xFFFF, &i) || !host_.whole(sub, "the subindex", 0, 0xFF, &s))
        return;
    if (!type.isString()) {
        host_.engine().throwError(QJSValue::TypeError,
                                  QStringLiteral("write(0x%1, %2, ...): the type is missing (\"UNSIGNED32\", ...)")
                                      .arg(hex::lower_digits(i, 4))
                                      .arg(s));
        return;
    }
    // Whole numbers as integers, so that 64-bit objects take them exactly as far as they go.
    QString text = value.toString();
    const double number = value.toNumber();
    if (value.isNumber() && std::fabs(number) < 9007199254740992.0 && number == std::floor(number))
        text = QString::number(static_cast<qint64>(number));
    auto *j = dynamic_cast<canopen_joint *>(&joint_);
    // The controlword moves the joint like any motion command.
    const bool moves = i == canopen::object::controlword || i >= 0x6000;
    act(QStringLiteral("write(0x%1, %2)").arg(hex::lower_digits(i, 4)).arg(s), moves, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("write() is for CANopen joints"));
        j->write_object(static_cast<uint16_t>(i), static_cast<uint8_t>(s), text, type.toString());
    });
}

void script_joint::home(const QJSValue &method, const QJSValue &options)
{
    int64_t m = 0;
    if (!host_.whole(method, "the homing method", -128, 127, &m))
        return;
    if (!options.isObject()) {
        host_.engine().throwError(QJSValue::TypeError,
                                  QStringLiteral("home(%1, ...): the options must be an object").arg(m));
        return;
    }
    // A misspelt option would otherwise home with the drive's own value unnoticed.
    static const QStringList known = {QStringLiteral("switchSpeed"), QStringLiteral("zeroSpeed"),
                                      QStringLiteral("acceleration"), QStringLiteral("offset"),
                                      QStringLiteral("timeout"), QStringLiteral("wait")};
    QJSValueIterator it(options);
    while (it.hasNext()) {
        it.next();
        if (!known.contains(it.name())) {
            host_.engine().throwError(QJSValue::TypeError, QStringLiteral("home(%1, ...): unknown option \"%2\" (%3)")
                                                               .arg(m)
                                                               .arg(it.name(), known.join(QStringLiteral(", "))));
            return;
        }
    }
    homing_options o;
    const auto take = [&](const char *name, const char *what, int64_t low, int64_t high, int64_t *out) {
        const QJSValue v = options.property(QLatin1String(name));
        return v.isUndefined() || host_.whole(v, what, low, high, out);
    };
    int64_t offset = 0, timeout = 0;
    if (!take("switchSpeed", "the switch search speed", 1, int32_high, &o.switch_speed) ||
        !take("zeroSpeed", "the zero search speed", 1, int32_high, &o.zero_speed) ||
        !take("acceleration", "the homing acceleration", 1, int32_high, &o.acceleration) ||
        !take("offset", "the home offset", int32_low, int32_high, &offset) ||
        !take("timeout", "the timeout", 0, int32_high, &timeout))
        return;
    o.has_offset = !options.property(QStringLiteral("offset")).isUndefined();
    o.offset = static_cast<int32_t>(offset);
    o.timeout_ms = static_cast<int>(timeout);
    const QJSValue wait = options.property(QStringLiteral("wait"));
    if (!wait.isUndefined() && !wait.isBool()) {
        host_.engine().throwError(QJSValue::TypeError, QStringLiteral("home(%1, ...): wait must be true or false").arg(m));
        return;
    }
    const bool at_once = wait.isBool() && !wait.toBool();
    auto *j = dynamic_cast<canopen_joint *>(&joint_);
    act(at_once ? QStringLiteral("home(%1, {wait: false})").arg(m) : QStringLiteral("home(%1)").arg(m), true, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("home() is for CANopen joints"));
        if (at_once)
            j->start_home(static_cast<int8_t>(m), o);
        else
            j->home(static_cast<int8_t>(m), o);
    });
}

QJSValue script_joint::updateFirmware(const QJSValue &path, const QJSValue &options)
{
    if (!path.isString() || path.toString().isEmpty()) {
        host_.engine().throwError(QJSValue::TypeError, QStringLiteral("updateFirmware(): the image's path is missing"));
        return QJSValue();
    }
    const QString file = path.toString();
    if (!options.isObject()) {
        host_.engine().throwError(QJSValue::TypeError,
                                  QStringLiteral("updateFirmware(%1, ...): the options must be an object").arg(file));
        return QJSValue();
    }
    QJSValueIterator it(options);
    while (it.hasNext()) {
        it.next();
        if (it.name() != QLatin1String("force")) {
            host_.engine().throwError(QJSValue::TypeError,
                                      QStringLiteral("updateFirmware(%1, ...): unknown option \"%2\" (force)")
                                          .arg(file, it.name()));
            return QJSValue();
        }
    }
    const bool force = options.property(QStringLiteral("force")).toBool();
    auto *j = dynamic_cast<canopen_joint *>(&joint_);
    return act(QStringLiteral("updateFirmware(%1)").arg(file), false, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("updateFirmware() is for CANopen joints"));
        const objects::firmware_report r = j->update_firmware(file, force);
        QJSEngine &e = host_.engine();
        QJSValue out = e.newObject();
        out.setProperty(QStringLiteral("node"), r.node);
        out.setProperty(QStringLiteral("product"), r.product);
        const auto side = [&e](const QString &id, const QString &version) {
            QJSValue v = e.newObject();
            v.setProperty(QStringLiteral("identification"), id);
            v.setProperty(QStringLiteral("version"), version);
            return v;
        };
        out.setProperty(QStringLiteral("before"), side(r.before_id, r.before_version));
        out.setProperty(QStringLiteral("after"), side(r.after_id, r.after_version));
        out.setProperty(QStringLiteral("started"), r.started.toString(Qt::ISODateWithMs));
        out.setProperty(QStringLiteral("ended"), r.ended.toString(Qt::ISODateWithMs));
        out.setProperty(QStringLiteral("seconds"), r.started.msecsTo(r.ended) / 1000.0);
        return out;
    });
}

QJSValue script_joint::readRegister(const QJSValue &reg)
{
    int64_t r = 0;
    if (!host_.whole(reg, "the register", 0, 0xFFFF, &r))
        return QJSValue();
    auto *j = dynamic_cast<custom_joint *>(&joint_);
    return act(QStringLiteral("register(0x%1)").arg(hex::lower_digits(r, 4)), false, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("register() is for joints of the maker's protocol"));
        return QJSValue(j->read_register(static_cast<int32_t>(r)));
    });
}

void script_joint::writeRegister(const QJSValue &reg, const QJSValue &value)
{
    int64_t r = 0, v = 0;
    // A register holds 32 bits: signed values and the unsigned pattern both go.
    if (!host_.whole(reg, "the register", 0, 0xFFFF, &r) ||
        !host_.whole(value, "the value", int32_low, 0xFFFFFFFFll, &v))
        return;
    auto *j = dynamic_cast<custom_joint *>(&joint_);
    act(QStringLiteral("setRegister(0x%1)").arg(hex::lower_digits(r, 4)), true, [&] {
        if (!j)
            throw joint_failure(QStringLiteral("setRegister() is for joints of the maker's protocol"));
        j->write_register(static_cast<int32_t>(r), static_cast<int32_t>(static_cast<uint32_t>(v)));
    });
}

}  // namespace sequences
