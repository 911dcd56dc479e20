// The event timer of a simulated joint's TPDO 1 (the statusword) over Qt's virtual CAN bus:
// velmora-sim in a second process, this program as the master. Prints, for event timers of
// 1, 10 and 50 ms, the period achieved over SECONDS (default 2) seconds: mean, spread and the
// shortest and longest gap. The goal is the period asked for on average (within 2 %), as the
// joint keeps the timer's grid; single gaps show the two event loops' and the bus's jitter.
//   bench_event_timer [SECONDS]
#include "can/vci/qt_backend.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void wait_ms(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A local TCP port nobody listens on right now, for a private bus.
quint16 free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    const QString iface = QStringLiteral("tcp://127.0.0.1:%1/can0").arg(free_port());

    // The first device on the bus hosts its server, so this side comes first.
    QString error;
    QCanBusDevice *master = QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), iface, &error);
    if (!master || !master->connectDevice()) {
        std::fprintf(stderr, "no virtual bus: %s\n", qPrintable(error));
        return 1;
    }
    for (int i = 0; i < 500 && master->state() != QCanBusDevice::ConnectedState; ++i)
        wait_ms(10);

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> arrivals;
    bool confirmed = false;
    QObject::connect(master, &QCanBusDevice::framesReceived, [&] {
        while (master->framesAvailable() > 0) {
            const QCanBusFrame f = master->readFrame();
            if (f.frameId() == 0x181)
                arrivals.push_back(clock.nsecsElapsed() / 1000);
            else if (f.frameId() == 0x581 && !f.payload().isEmpty() && uint8_t(f.payload()[0]) == 0x60)
                confirmed = true;
        }
    });
    QTimer low_delay;
    QObject::connect(&low_delay, &QTimer::timeout, &vci::virtual_bus_low_delay);
    low_delay.start(100);

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-sim"),
              {QStringLiteral("--bus"), QStringLiteral("virtualcan:") + iface, QStringLiteral("--nodes"),
               QStringLiteral("1:10231"), QStringLiteral("--exit-with-parent")});
    if (!sim.waitForStarted()) {
        std::fprintf(stderr, "velmora-sim did not start\n");
        return 1;
    }
    wait_ms(1000);
    vci::virtual_bus_low_delay();
    master->writeFrame(QCanBusFrame(0x000, QByteArray::fromHex("0101")));  // start node 1

    std::printf("TPDO 1 event timer over the virtual bus, %d s each\n", seconds);
    std::printf("%10s %10s %10s %10s %10s %8s\n", "asked ms", "mean ms", "stddev ms", "min ms", "max ms", "frames");
    for (const int period : {1, 10, 50}) {
        confirmed = false;
        QByteArray write = QByteArray::fromHex("2B00180500000000");
        write[4] = char(period);
        master->writeFrame(QCanBusFrame(0x601, write));
        for (int i = 0; i < 200 && !confirmed; ++i)
            wait_ms(5);
        if (!confirmed) {
            std::fprintf(stderr, "the joint did not take event timer %d\n", period);
            return 1;
        }
        wait_ms(100);  // settle
        arrivals.clear();
        wait_ms(seconds * 1000);
        std::vector<double> gaps;
        for (size_t i = 1; i < arrivals.size(); ++i)
            gaps.push_back((arrivals[i] - arrivals[i - 1]) / 1000.0);
        if (gaps.empty()) {
            std::printf("%10d %10s\n", period, "none");
            continue;
        }
        double sum = 0, squares = 0;
        for (double g : gaps)
            sum += g;
        const double mean = sum / double(gaps.size());
        for (double g : gaps)
            squares += (g - mean) * (g - mean);
        std::printf("%10d %10.3f %10.3f %10.3f %10.3f %8zu %s\n", period, mean, std::sqrt(squares / double(gaps.size())),
                    *std::min_element(gaps.begin(), gaps.end()), *std::max_element(gaps.begin(), gaps.end()),
                    arrivals.size(), std::fabs(mean - period) <= 0.02 * period ? "OK" : "MISSED");
    }
    sim.terminate();
    sim.waitForFinished();
    master->disconnectDevice();
    delete master;
    return 0;
}
