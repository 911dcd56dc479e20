// velmora-sim: serves simulated joints (custom protocol and CANopen) on a QtSerialBus bus,
// so that the program, or any other CAN master, can be tried without drives:
//   velmora-sim --bus virtualcan:can0 --nodes 1:10231,7:10230 [--trace FILE]
// or several buses at once, each with its own joints:
//   velmora-sim --bus virtualcan:can0,virtualcan:can1 --nodes '1:10231;1:10231,2:10230'
#include "can/vci/qt_backend.h"
#include "can/vci/trace.h"
#include "sim/due_waker.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signal_pipe[2] = {-1, -1};

void on_signal(int)
{
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop picks the byte up.
    const ssize_t written = ::write(signal_pipe[1], &byte, 1);
    (void)written;
}

// A look at least this often even when nothing is due.
constexpr int64_t longest_wait_ms = 1000;

void say(const QString &text) { std::fprintf(stderr, "velmora-sim: %s\n", qPrintable(text)); }

// The joints live on a standard-identifier bus; extended frames are someone else's traffic.
bool to_message(const QCanBusFrame &f, vci::can_message *m)
{
    if (f.hasExtendedFrameFormat() || f.frameId() > 0x7FF)
        return false;
    return vci::message_from_frame(f, m);
}

// "[BUS/]NODE:CODE@MS" items, e.g. "1:2310@500" (bus 0) or "1/1:2310@500" (bus 1), or
// "NODE:block@MS" (code 0 to raise()) for a blocked load; false (and says why) on a malformed
// item or a bus that is not served.
bool schedule_faults(const QStringList &items, int buses, const std::function<void(int, int, uint16_t)> &raise)
{
    static const QRegularExpression form(
        QStringLiteral("^(?:(\\d{1,2})/)?(\\d{1,3}):(block|(?:0x)?[0-9A-Fa-f]{1,4})@(\\d{1,9})$"));
    for (const QString &item : items) {
        const QRegularExpressionMatch m = form.match(item.trimmed());
        const int bus = m.captured(1).isEmpty() ? 0 : m.captured(1).toInt();
        const int node = m.captured(2).toInt();
        const bool block = m.captured(3) == QLatin1String("block");
        QString hex = m.captured(3);
        if (hex.startsWith(QLatin1String("0x")))
            hex = hex.mid(2);
        const uint16_t code = block ? 0 : static_cast<uint16_t>(hex.toUInt(nullptr, 16));
        if (!m.hasMatch() || node < 1 || node > 127 || (!block && code == 0)) {
            say(QStringLiteral("bad --fault '%1': expected [BUS/]NODE:CODE@MS or [BUS/]NODE:block@MS, e.g. 1:2310@500").arg(item));
            return false;
        }
        if (bus >= buses) {
            say(QStringLiteral("bad --fault '%1': there is no bus %2").arg(item).arg(bus));
            return false;
        }
        QTimer::singleShot(m.captured(4).toInt(), QCoreApplication::instance(),
                           [raise, bus, node, code] { raise(bus, node, code); });
    }
    return true;
}

// One bus served: its device, its own joints and the simulator that plays them.
struct served_bus {
    int index = 0;
    QString spec, plugin, interface, trace_iface;
    std::vector<sim::joint_config> joints;
    QCanBusDevice *device = nullptr;
    sim::simulator *simulator = nullptr;
    std::function<void(const std::vector<vci::can_message> &)> send;
    std::unique_ptr<sim::due_waker> due;
    std::function<void()> schedule;
};

QString served_text(served_bus &b)
{
    QStringList served;
    for (const sim::joint_config &c : b.joints) {
        if (c.heartbeat_only_ms != 0) {
            served << QStringLiteral("%1 (heartbeat only, every %2 ms)").arg(c.node).arg(c.heartbeat_only_ms);
            continue;
        }
        if (c.node == sim::unconfigured_node) {
            served << QStringLiteral("without node-ID (LSS, serial 0x%1, firmware %2)")
                          .arg(c.serial, 8, 16, QLatin1Char('0'))
                          .arg(c.firmware);
            continue;
        }
        sim::joint *j = b.simulator->find(c.node);
        served << QStringLiteral("%1 (firmware %2%3)")
                      .arg(c.node)
                      .arg(c.firmware)
                      .arg(j && j->speaks_canopen() ? (j->speaks_custom() ? QStringLiteral(", CANopen")
                                                                          : QStringLiteral(", CANopen only"))
                                                    : QString());
    }
    return served.join(QStringLiteral(", "));
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves simulated servo joints on a CAN bus: the drive's own protocol on 0x640+node, and\n"
        "CANopen (CiA 301/402) for joints whose firmware number does not end in 0.\n"
        "Example: velmora-sim --bus virtualcan:can0 --nodes 1:10231,7:10230\n"
        "A busy bus: --nodes 1:10231,5:heartbeat,6:heartbeat/50 adds heartbeat producers for the\n"
        "absent nodes 5 (every 100 ms) and 6 (every 50 ms).\n"
        "Fresh drives: --nodes 1:10231,lss:0x1001,lss:0x1002 adds two CANopen joints without node-ID\n"
        "(serial numbers 0x1001 and 0x1002) that LSS (CiA 305) finds and gives one.\n"
        "Another make: --nodes 1:10231,4:canopen adds a standard CANopen drive at node 4 that does\n"
        "not speak the drive's own protocol.\n"
        "Two buses (two arms): --bus virtualcan:can0,virtualcan:can1 --nodes '1:10231;1:10231,2:10230'\n"
        "serves joint 1 on can0 and joints 1 and 2 on can1; a bus without a list of its own takes the first."));
    parser.addHelpOption();
    const QCommandLineOption bus_option(QStringLiteral("bus"),
                                        QStringLiteral("QtSerialBus plugin and interface, e.g. socketcan:vcan0 or "
                                                       "virtualcan:can0; several buses separated by commas "
                                                       "(bus 0, 1, ...)."),
                                        QStringLiteral("plugin:interface"));
    const QCommandLineOption nodes_option(QStringLiteral("nodes"),
                                          QStringLiteral("Joints as node[:firmware],... (node 1..127; default %1); node:heartbeat[/ms] "
                                                         "is a heartbeat producer of an absent node; node:canopen a CANopen drive without the "
                                                         "custom protocol; lss:SERIAL[:firmware] "
                                                         "a CANopen joint without node-ID, for LSS. Several buses: one list per bus, "
                                                         "separated by ';'.")
                                              .arg(QString::fromLatin1(sim::default_nodes)),
                                          QStringLiteral("list"), QString::fromLatin1(sim::default_nodes));
    const QCommandLineOption trace_option(QStringLiteral("trace"),
                                          QStringLiteral("Append every frame in candump log format to FILE."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption parent_option(
        QStringLiteral("exit-with-parent"),
        QStringLiteral("Stop when the process that started this one ends (for test harnesses)."));
    const QCommandLineOption fault_option(
        QStringLiteral("fault"),
        QStringLiteral("Raise drive fault CODE (hex, CiA 301/402) on NODE MS milliseconds after start; a "
                       "CANopen joint sends its emergency message. NODE:block@MS blocks the joint's load "
                       "instead: in a position mode its following error grows until the drive faults "
                       "with 8611. BUS/NODE:... names a joint of another bus than bus 0. Repeatable."),
        QStringLiteral("[BUS/]NODE:CODE@MS"));
    parser.addOption(bus_option);
    parser.addOption(nodes_option);
    parser.addOption(trace_option);
    parser.addOption(parent_option);
    parser.addOption(fault_option);
    parser.process(app);
    if (parser.isSet(parent_option)) {
        // A harness that dies without stopping us must not leave a bus server behind that
        // keeps its output pipes (and whoever waits on them) open.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            return 0;
    }

    // One simulator per bus, each with its own joints: "--bus a,b --nodes 'L0;L1'", the lists
    // split as the in-process simulated buses split VELMORA_SIM_NODES.
    const QStringList bus_specs = parser.value(bus_option).split(QLatin1Char(','));
    if (bus_specs.size() > vci::max_buses) {
        say(QStringLiteral("--bus lists %1 buses, at most %2").arg(bus_specs.size()).arg(vci::max_buses));
        return 2;
    }
    const QString nodes_text = parser.value(nodes_option);
    const int node_lists = int(nodes_text.count(QLatin1Char(';'))) + 1;
    if (node_lists > bus_specs.size()) {
        say(QStringLiteral("--nodes has %1 lists for %2 bus(es)").arg(node_lists).arg(bus_specs.size()));
        return 2;
    }
    std::vector<std::unique_ptr<served_bus>> buses;
    for (int k = 0; k < bus_specs.size(); ++k) {
        auto b = std::make_unique<served_bus>();
        b->index = k;
        b->spec = bus_specs[k].trimmed();
        const int colon = b->spec.indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == b->spec.size() - 1) {
            say(QStringLiteral("--bus needs plugin:interface, e.g. virtualcan:can0 (see --help)"));
            return 2;
        }
        b->plugin = b->spec.left(colon);
        b->interface = b->spec.mid(colon + 1);
        b->trace_iface = b->interface.section(QLatin1Char('/'), -1);
        QString error;
        if (!sim::parse_nodes(sim::nodes_of_bus(nodes_text, k), &b->joints, &error) || b->joints.empty()) {
            const QString why = error.isEmpty() ? QStringLiteral("--nodes lists no joint") : error;
            say(bus_specs.size() > 1 ? QStringLiteral("bus %1: %2").arg(k).arg(why) : why);
            return 2;
        }
        buses.push_back(std::move(b));
    }

    vci::trace_writer trace;
    if (parser.isSet(trace_option) && !trace.open(parser.value(trace_option))) {
        say(QStringLiteral("cannot open trace file %1").arg(parser.value(trace_option)));
        return 2;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signal_pipe) != 0) {
        say(QStringLiteral("cannot set up signal handling"));
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QSocketNotifier signal_notifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&signal_notifier, &QSocketNotifier::activated, &app, [&] {
        char byte;
        const ssize_t got = ::read(signal_pipe[0], &byte, 1);
        (void)got;
        app.quit();
    });

    QTimer low_delay;
    for (const auto &b : buses) {
        QString error;
        b->device = QCanBus::instance()->createDevice(b->plugin, b->interface, &error);
        if (!b->device) {
            say(error.isEmpty() ? QStringLiteral("no such CAN plugin: %1").arg(b->plugin) : error);
            return 1;
        }
        b->device->setParent(&app);
        if (!b->device->connectDevice()) {
            say(QStringLiteral("cannot connect to %1: %2").arg(b->spec, b->device->errorString()));
            return 1;
        }
        if (b->device->state() != QCanBusDevice::ConnectedState) {
            // Some plugins (the virtual bus) connect asynchronously.
            QEventLoop loop;
            QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            QObject::connect(b->device, &QCanBusDevice::stateChanged, &loop, [&](QCanBusDevice::CanBusDeviceState s) {
                if (s == QCanBusDevice::ConnectedState || s == QCanBusDevice::UnconnectedState)
                    loop.quit();
            });
            loop.exec();
            if (b->device->state() != QCanBusDevice::ConnectedState) {
                say(QStringLiteral("cannot connect to %1: %2").arg(b->spec, b->device->errorString()));
                return 1;
            }
        }
        // The virtual bus's sockets answer without Nagle's delay (see vci::virtual_bus_low_delay):
        // the device's own at once, the server's (clients that join later) by the sweep.
        if (b->plugin == QLatin1String("virtualcan")) {
            vci::virtual_bus_own_socket_low_delay(b->device);
            if (!low_delay.isActive()) {
                vci::virtual_bus_low_delay();
                QObject::connect(&low_delay, &QTimer::timeout, &app, &vci::virtual_bus_low_delay);
                low_delay.start(200);
            }
        }
    }

    for (const auto &owned : buses) {
        served_bus *b = owned.get();
        b->simulator = &sim::simulator::instance(b->index);
        b->simulator->configure(b->joints);
        b->send = [b, &trace](const std::vector<vci::can_message> &frames) {
            vci::line_marks sent;
            sent.dir = vci::direction::transmitted;
            for (const vci::can_message &m : frames) {
                if (b->device->writeFrame(vci::frame_from_message(m)))
                    trace.write(b->trace_iface, m, sent);
                else
                    say(QStringLiteral("cannot send on %1: %2").arg(b->spec, b->device->errorString()));
            }
        };
        // Heartbeats and TPDOs by event timer go out when the simulator says they fall due.
        b->due = std::make_unique<sim::due_waker>([b] {
            b->send(b->simulator->spontaneous());
            b->schedule();
        });
        b->schedule = [b] {
            const int64_t wait_us = b->simulator->next_due_us() - sim::clock::now_us();
            b->due->arm_in_us(std::min<int64_t>(longest_wait_ms * 1000, wait_us));
        };
        QObject::connect(b->device, &QCanBusDevice::framesReceived, &app, [b, &trace] {
            while (b->device->framesAvailable() > 0) {
                vci::can_message m;
                if (!to_message(b->device->readFrame(), &m))
                    continue;
                vci::line_marks received;
                received.dir = vci::direction::received;
                trace.write(b->trace_iface, m, received);
                b->send(b->simulator->process(m));
            }
            b->schedule();
        });
        QObject::connect(b->device, &QCanBusDevice::errorOccurred, &app, [b, &app](QCanBusDevice::CanBusError e) {
            if (e == QCanBusDevice::ConnectionError) {
                say(QStringLiteral("bus lost: %1: %2").arg(b->spec, b->device->errorString()));
                app.exit(1);
            }
        });
        say(QStringLiteral("serving node %1 on %2").arg(served_text(*b), b->spec));
    }

    // Each CANopen joint announces itself with its boot-up message.
    for (const auto &b : buses) {
        b->send(b->simulator->power_on());
        b->schedule();
    }
    if (!schedule_faults(parser.values(fault_option), int(buses.size()), [&](int bus, int node, uint16_t code) {
            served_bus &b = *buses[size_t(bus)];
            const QString where = buses.size() > 1 ? QStringLiteral(" of bus %1").arg(bus) : QString();
            if (code == 0) {
                if (b.simulator->block(node))
                    say(QStringLiteral("load of node %1%2 blocked").arg(node).arg(where));
                b.schedule();  // the following error now grows by itself
                return;
            }
            say(QStringLiteral("fault 0x%1 on node %2%3").arg(code, 4, 16, QLatin1Char('0')).arg(node).arg(where));
            b.send(b.simulator->inject_fault(node, code));
        }))
        return 2;

    const int result = app.exec();
    for (const auto &b : buses) {
        QObject::disconnect(b->device, nullptr, &app, nullptr);
        b->device->disconnectDevice();
    }
    trace.close();
    say(QStringLiteral("stopped"));
    return result;
}
