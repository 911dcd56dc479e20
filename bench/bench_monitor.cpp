// Feeds logged frames into a shown frame monitor and reports the sustained rate and the memory
// the table keeps per frame. Goal: at least 8,000 frames/s and under 1 KiB per frame.
// Usage: bench_monitor [frames] (default 100000); run with QT_QPA_PLATFORM=offscreen.
#include "base/shared_values.h"
#include "custom_protocol/custom_commands.h"
#include "tools/monitor.h"
#include "can/monitor_record.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

long resident_bytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 100000;

    monitor view;
    view.show();
    monitor_open = 1;
    QApplication::processEvents();

    const uint8_t reply[1] = {0x01};

    const long rss_before = resident_bytes();
    QElapsedTimer timer;
    timer.start();
    qint64 monitor_ns = 0;  // time inside the monitor: placing texts and the event loop's repaints
    qint64 slowest_block_ns = 0;
    qint64 block_ns = 0;
    QElapsedTimer part;
    for (int i = 0; i < frames; ++i) {
        // Alternate sent and received records, as an exchange logs them; every request carries
        // its own freshly built description, as the command set makes them.
        const bool sent = (i % 2) == 0;
        const custom_request request = write_relative_distance(QString::number(i % 5000), false);
        const QStringList texts =
            monitor_record(i + 1, QDateTime::currentDateTime(), sent ? monitor_direction::sent : monitor_direction::received,
                           sent ? 0x641 : 0x5C1, sent ? request.data : reply, sent ? request.length : 1,
                           request.description);
        part.start();
        for (const QString &t : texts)
            view.recedata(t);
        // Let the table repaint now and then, as the GUI does between button presses.
        if (i % 100 == 99)
            QApplication::processEvents();
        const qint64 ns = part.nsecsElapsed();
        monitor_ns += ns;
        block_ns += ns;
        if (i % 100 == 99) {
            slowest_block_ns = std::max(slowest_block_ns, block_ns);
            block_ns = 0;
        }
    }
    part.start();
    QApplication::processEvents();
    monitor_ns += part.nsecsElapsed();
    const qint64 elapsed_ns = timer.nsecsElapsed();
    const long rss_after = resident_bytes();

    const double seconds = monitor_ns / 1e9;
    std::printf("frames               %d (%d texts), rows %d\n", frames, frames * 6, view.table()->rowCount());
    std::printf("elapsed              %.3f s in the monitor, %.3f s with building the records\n", seconds,
                elapsed_ns / 1e9);
    std::printf("rate                 %.0f frames/s in the monitor (goal >= 8000), %.0f frames/s end to end\n",
                frames / seconds, frames / (elapsed_ns / 1e9));
    std::printf("slowest 100 frames   %.1f ms (%.0f frames/s)\n", slowest_block_ns / 1e6, 100 / (slowest_block_ns / 1e9));
    std::printf("memory               %.0f bytes/frame (goal < 1024), RSS %ld -> %ld KiB\n",
                double(rss_after - rss_before) / frames, rss_before / 1024, rss_after / 1024);

    QElapsedTimer clear_timer;
    clear_timer.start();
    view.on_pushButton_3_clicked();
    std::printf("clear                %.1f ms\n", clear_timer.nsecsElapsed() / 1e6);
    return 0;
}
