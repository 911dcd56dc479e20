// velmora-sim: serves simulated joints (custom protocol and CANopen) on a QtSerialBus bus,
// so that the program, or any other CAN master, can be tried without drives:
//   velmora-sim --bus virtualcan:can0 --nodes 1:10231,7:10230 [--trace FILE]
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

// "NODE:CODE@MS" items, e.g. "1:2310@500", or "NODE:block@MS" (code 0 to raise()) for a blocked
// load; false (and says why) on a malformed item.
bool schedule_faults(const QStringList &items, const std::function<void(int, uint16_t)> &raise)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,3}):(block|(?:0x)?[0-9A-Fa-f]{1,4})@(\\d{1,9})$"));
    for (const QString &item : items) {
        const QRegularExpressionMatch m = form.match(item.trimmed());
        const int node = m.captured(1).toInt();
        const bool block = m.captured(2) == QLatin1String("block");
        QString hex = m.captured(2);
        if (hex.startsWith(QLatin1String("0x")))
            hex = hex.mid(2);
        const uint16_t code = block ? 0 : static_cast<uint16_t>(hex.toUInt(nullptr, 16));
        if (!m.hasMatch() || node < 1 || node > 127 || (!block && code == 0)) {
            say(QStringLiteral("bad --fault '%1': expected NODE:CODE@MS or NODE:block@MS, e.g. 1:2310@500").arg(item));
            return false;
        }
        QTimer::singleShot(m.captured(3).toInt(), QCoreApplication::instance(), [raise, node, code] { raise(node, code); });
    }
    return true;
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
        "not speak the drive's own protocol."));
    parser.addHelpOption();
    const QCommandLineOption bus_option(QStringLiteral("bus"),
                                        QStringLiteral("QtSerialBus plugin and interface, e.g. socketcan:vcan0 or "
                                                       "virtualcan:can0."),
                                        QStringLiteral("plugin:interface"));
    const QCommandLineOption nodes_option(QStringLiteral("nodes"),
                                          QStringLiteral("Joints as node[:firmware],... (node 1..127; default %1); node:heartbeat[/ms] "
                                                         "is a heartbeat producer of an absent node; node:canopen a CANopen drive without the "
                                                         "custom protocol; lss:SERIAL[:firmware] "
                                                         "a CANopen joint without node-ID, for LSS.")
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
                       "with 8611. Repeatable."),
        QStringLiteral("NODE:CODE@MS"));
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

    const QString bus = parser.value(bus_option);
    const int colon = bus.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == bus.size() - 1) {
        say(QStringLiteral("--bus needs plugin:interface, e.g. virtualcan:can0 (see --help)"));
        return 2;
    }
    const QString plugin = bus.left(colon);
    const QString interface = bus.mid(colon + 1);

    std::vector<sim::joint_config> joints;
    QString error;
    if (!sim::parse_nodes(parser.value(nodes_option), &joints, &error) || joints.empty()) {
        say(error.isEmpty() ? QStringLiteral("--nodes lists no joint") : error);
        return 2;
    }

    vci::trace_writer trace;
    if (parser.isSet(trace_option) && !trace.open(parser.value(trace_option))) {
        say(QStringLiteral("cannot open trace file %1").arg(parser.value(trace_option)));
        return 2;
    }
    const QString trace_iface = interface.section(QLatin1Char('/'), -1);

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

    QCanBusDevice *device = QCanBus::instance()->createDevice(plugin, interface, &error);
    if (!device) {
        say(error.isEmpty() ? QStringLiteral("no such CAN plugin: %1").arg(plugin) : error);
        return 1;
    }
    device->setParent(&app);
    if (!device->connectDevice()) {
        say(QStringLiteral("cannot connect to %1: %2").arg(bus, device->errorString()));
        return 1;
    }
    if (device->state() != QCanBusDevice::ConnectedState) {
        // Some plugins (the virtual bus) connect asynchronously.
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        QObject::connect(device, &QCanBusDevice::stateChanged, &loop, [&](QCanBusDevice::CanBusDeviceState s) {
            if (s == QCanBusDevice::ConnectedState || s == QCanBusDevice::UnconnectedState)
                loop.quit();
        });
        loop.exec();
        if (device->state() != QCanBusDevice::ConnectedState) {
            say(QStringLiteral("cannot connect to %1: %2").arg(bus, device->errorString()));
            return 1;
        }
    }

    // The virtual bus's sockets answer without Nagle's delay (see vci::virtual_bus_low_delay):
    // the device's own at once, the server's (clients that join later) by the sweep.
    QTimer low_delay;
    if (plugin == QLatin1String("virtualcan")) {
        vci::virtual_bus_own_socket_low_delay(device);
        vci::virtual_bus_low_delay();
        QObject::connect(&low_delay, &QTimer::timeout, &app, &vci::virtual_bus_low_delay);
        low_delay.start(200);
    }

    sim::simulator simulator(joints);
    auto send = [&](const std::vector<vci::can_message> &frames) {
        vci::line_marks sent;
        sent.dir = vci::direction::transmitted;
        for (const vci::can_message &m : frames) {
            if (device->writeFrame(vci::frame_from_message(m)))
                trace.write(trace_iface, m, sent);
            else
                say(QStringLiteral("cannot send: %1").arg(device->errorString()));
        }
    };

    // Heartbeats and TPDOs by event timer go out when the simulator says they fall due.
    std::function<void()> schedule;
    sim::due_waker due([&] {
        send(simulator.spontaneous());
        schedule();
    });
    schedule = [&] {
        const int64_t wait_us = simulator.next_due_us() - sim::clock::now_us();
        due.arm_in_us(std::min<int64_t>(longest_wait_ms * 1000, wait_us));
    };

    QObject::connect(device, &QCanBusDevice::framesReceived, &app, [&] {
        while (device->framesAvailable() > 0) {
            vci::can_message m;
            if (!to_message(device->readFrame(), &m))
                continue;
            vci::line_marks received;
            received.dir = vci::direction::received;
            trace.write(trace_iface, m, received);
            send(simulator.process(m));
        }
        schedule();
    });
    QObject::connect(device, &QCanBusDevice::errorOccurred, &app, [&](QCanBusDevice::CanBusError e) {
        if (e == QCanBusDevice::ConnectionError) {
            say(QStringLiteral("bus lost: %1").arg(device->errorString()));
            app.exit(1);
        }
    });

    QStringList served;
    for (const sim::joint_config &c : joints) {
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
        sim::joint *j = simulator.find(c.node);
        served << QStringLiteral("%1 (firmware %2%3)")
                      .arg(c.node)
                      .arg(c.firmware)
                      .arg(j && j->speaks_canopen() ? (j->speaks_custom() ? QStringLiteral(", CANopen")
                                                                          : QStringLiteral(", CANopen only"))
                                                    : QString());
    }
    say(QStringLiteral("serving node %1 on %2").arg(served.join(QStringLiteral(", ")), bus));

    // Each CANopen joint announces itself with its boot-up message.
    send(simulator.power_on());
    schedule();
    if (!schedule_faults(parser.values(fault_option), [&](int node, uint16_t code) {
            if (code == 0) {
                if (simulator.block(node))
                    say(QStringLiteral("load of node %1 blocked").arg(node));
                schedule();  // the following error now grows by itself
                return;
            }
            say(QStringLiteral("fault 0x%1 on node %2").arg(code, 4, 16, QLatin1Char('0')).arg(node));
            send(simulator.inject_fault(node, code));
        }))
        return 2;

    const int result = app.exec();
    QObject::disconnect(device, nullptr, &app, nullptr);
    device->disconnectDevice();
    trace.close();
    say(QStringLiteral("stopped"));
    return result;
}
