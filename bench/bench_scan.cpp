// Wall time of a full node scan (1..64) on the default simulated bus, against the floor the scan
// itself sets: 301 progress pauses of 1 ms, then per node a 6 ms reply pause. A node that does
// not answer costs no more: nothing counted, nothing received.
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "sim/simulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Runs the event loop until the probe phase has hidden the bar again.
bool wait_until_hidden(QProgressBar *bar)
{
    QElapsedTimer limit;
    limit.start();
    while (!bar->isHidden()) {
        if (limit.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

double sleep_ms(unsigned long ms, int count)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        QThread::msleep(ms);
    return double(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    QApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("%{if-warning}%{message}%{endif}"));

    int answering = 0;
    for (int node : sim::simulator::instance().nodes())
        answering += node >= 1 && node <= 64;
    const double floor_ms = 301 * 1.0 + 64 * 6.0;

    Set_node window;
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    auto *scan = window.findChild<QPushButton *>(QStringLiteral("Scan"));
    window.findChild<QLineEdit *>(QStringLiteral("Min"))->setText(QStringLiteral("1"));
    window.findChild<QLineEdit *>(QStringLiteral("Max"))->setText(QStringLiteral("64"));

    QElapsedTimer clock;
    qint64 probe_start = 0;
    QObject::connect(&window, &Set_node::Scan, &window, [&] { probe_start = clock.nsecsElapsed(); },
                     Qt::DirectConnection);  // stamped in the worker, as it hands over

    const int runs = 5;
    std::vector<double> total, first_phase, probe_phase;
    for (int run = 0; run < runs; ++run) {
        clock.start();
        scan->click();
        if (!wait_until_hidden(bar)) {
            std::fprintf(stderr, "scan did not finish\n");
            return 1;
        }
        const qint64 end = clock.nsecsElapsed();
        total.push_back(double(end) / 1e6);
        first_phase.push_back(double(probe_start) / 1e6);
        probe_phase.push_back(double(end - probe_start) / 1e6);
        if (found_node_count != answering) {
            std::fprintf(stderr, "found %d nodes, expected %d\n", found_node_count, answering);
            return 1;
        }
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };

    const double s1 = sleep_ms(1, 301) / 301;
    const double s6 = sleep_ms(6, 50) / 50;
    const double granularity_floor = 301 * s1 + 64 * s6;
    std::printf("scan 1..64 on the simulated bus (%d joints answer), %d runs\n", answering, runs);
    std::printf("  total        median %8.1f ms  min %8.1f ms\n", median(total),
                *std::min_element(total.begin(), total.end()));
    std::printf("  first phase  median %8.1f ms  (floor 301.0 ms)\n", median(first_phase));
    std::printf("  probe phase  median %8.1f ms  (floor %.1f ms)\n", median(probe_phase),
                64 * 6.0);
    std::printf("  floor        %8.1f ms   goal (floor + 10%%) %8.1f ms   ratio %.3f\n", floor_ms, floor_ms * 1.1,
                median(total) / floor_ms);
    std::printf("  sleep granularity: msleep(1) %.3f ms, msleep(6) %.3f ms -> floor with real sleeps %.1f ms\n", s1,
                s6, granularity_floor);
    return 0;
}
