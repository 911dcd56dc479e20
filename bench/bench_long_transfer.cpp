// A 64 KiB upload (the simulated joint's recorder buffer, 0x2120, a DOMAIN: by block transfer)
// from the object dictionary window, as a user starts it with Read. Prints the longest time the
// GUI thread was held between two turns of its event loop while the transfer ran (a zero timer
// stamps every turn), by the wall clock and by the thread's own CPU time (a loaded machine
// stretches the first with other processes' time), the transfer's duration, and, for
// comparison, the same upload driven to its end in one call, segmented and by block, and a
// 64 KiB block download (0x2111), each the best of three. Then one segmented upload once more
// with every exchange stamped (the request handed to the adapter, the bus taking it, the answer
// arriving in the adapter's queue as the bus tap saw it, the exchange seeing it pending, reading
// it, and the next request), and the median and mean of each span per segment.
//
// Runs offscreen on the in-process simulated bus; with VELMORA_CAN set to another bus it uses
// that one, e.g. `velmora-sim --bus virtualcan:can0 --nodes 1:10231` in another terminal and
// VELMORA_CAN=virtualcan:can0, where every segment crosses a real round trip.
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/step_job.h"
#include "can/vci/bus_tap.h"
#include "canopen/sdo_bus_link.h"
#include "objects/object_dictionary.h"
#include "sim/simulator.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 thread_cpu_ns()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double quantile_ms(std::vector<qint64> ns, double q)
{
    if (ns.empty())
        return 0;
    std::sort(ns.begin(), ns.end());
    return ns[static_cast<size_t>(q * static_cast<double>(ns.size() - 1))] / 1e6;
}

// Where a segment's time goes: each exchange's stamps, microseconds of the bus tap's clock.
struct exchange_stamps {
    int64_t send = 0, sent = 0, seen = 0, read = 0;
};

void profile_segmented_upload()
{
    std::vector<exchange_stamps> stamps;
    const exchange_bus &adapter = adapter_bus_ops();
    exchange_bus timed = adapter;
    timed.send = [&](uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote) {
        exchange_stamps s;
        s.send = vci::bus_tap::now_us();
        const bool ok = adapter.send(id, data, len, remote);
        s.sent = vci::bus_tap::now_us();
        stamps.push_back(s);
        return ok;
    };
    timed.wait_for_frame = [&](int ms) {
        adapter.wait_for_frame(ms);
        if (!stamps.empty() && adapter.pending() > 0 && stamps.back().seen == 0)
            stamps.back().seen = vci::bus_tap::now_us();
    };
    timed.receive = [&](uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens, uint8_t *flags) {
        const bool got = adapter.receive(ids, payloads, lens, flags);
        if (got && !stamps.empty() && stamps.back().read == 0)
            stamps.back().read = vci::bus_tap::now_us();
        return got;
    };
    std::vector<vci::tapped_frame> tapped;
    vci::bus_tap::drain(tapped);
    tapped.clear();
    const canopen::sdo_link link = canopen::exchange_sdo_link(timed, 1, canopen::sdo_timeout_ms, monitor_sink());
    QElapsedTimer clock;
    clock.start();
    const canopen::sdo_outcome o = canopen::run_sdo(link, canopen::sdo_transfer::upload(0x2120, 0));
    const double ms = clock.nsecsElapsed() / 1e6;
    vci::bus_tap::drain(tapped);
    // The answer to each request: the first frame from the server the tap saw after it.
    std::vector<int64_t> arrived;
    for (const vci::tapped_frame &t : tapped)
        if (!t.transmitted && t.msg.id == 0x581 && arrived.size() < stamps.size())
            arrived.push_back(t.t_us);
    std::vector<qint64> handing, on_bus, noticing, reading, next;
    for (size_t i = 0; i < stamps.size() && i < arrived.size(); ++i) {
        const exchange_stamps &s = stamps[i];
        if (s.seen == 0 || s.read == 0)
            continue;
        handing.push_back((s.sent - s.send) * 1000);
        on_bus.push_back((arrived[i] - s.sent) * 1000);
        noticing.push_back((s.seen - arrived[i]) * 1000);
        reading.push_back((s.read - s.seen) * 1000);
        if (i + 1 < stamps.size())
            next.push_back((stamps[i + 1].send - s.read) * 1000);
    }
    std::printf("segmented upload stamped: %.1f ms for %zu exchanges (%.3f ms a segment, %s); medians a segment:\n", ms,
                stamps.size(), stamps.empty() ? 0.0 : ms / static_cast<double>(stamps.size()),
                o.ok ? "65536 bytes" : "failed");
    const auto span = [](const std::vector<qint64> &ns) {
        double sum = 0;
        for (qint64 v : ns)
            sum += static_cast<double>(v);
        return QStringLiteral("%1 ms (mean %2)")
            .arg(quantile_ms(ns, 0.5), 0, 'f', 3)
            .arg(ns.empty() ? 0.0 : sum / static_cast<double>(ns.size()) / 1e6, 0, 'f', 3);
    };
    std::printf("  request to the adapter until the bus took it %s,\n  then until the answer was queued %s,\n"
                "  queued until the exchange saw it %s,\n  seen until read %s,\n  read until the next request %s\n",
                qPrintable(span(handing)), qPrintable(span(on_bus)), qPrintable(span(noticing)),
                qPrintable(span(reading)), qPrintable(span(next)));
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("VELMORA_CAN"))
        qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    sim::simulator::instance().configure({{1, 10231}});
    open_adapter();
    if (adapter_error != 0) {
        std::fprintf(stderr, "adapter did not open (%d)\n", adapter_error);
        return 1;
    }
    device_open = 1;
    node_connected = 1;
    node_id = 1;
    sdo_request_id = 0x601;
    canopen_supported = 1;

    Object_dictionary window;
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("index"))->setText(QStringLiteral("0x2120"));
    window.findChild<QLineEdit *>(QStringLiteral("subindex"))->setText(QStringLiteral("0"));
    window.findChild<QComboBox *>(QStringLiteral("type"))->setCurrentText(QStringLiteral("DOMAIN"));
    QApplication::processEvents();

    // Every turn of the event loop stamps the time; the widest gap is the longest hold.
    std::vector<qint64> wall_gaps, cpu_gaps;
    QElapsedTimer clock;
    qint64 last_wall = 0, last_cpu = 0;
    const auto stamp = [&](bool keep) {
        const qint64 wall = clock.nsecsElapsed(), cpu = thread_cpu_ns();
        if (keep) {
            wall_gaps.push_back(wall - last_wall);
            cpu_gaps.push_back(cpu - last_cpu);
        }
        last_wall = wall;
        last_cpu = cpu;
    };
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] { stamp(true); });

    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("read"))->click();
    stamp(false);
    probe.start();
    while (job_runner::instance().busy())
        QApplication::processEvents(QEventLoop::AllEvents);
    // The turn that shows the value ends the work the click started.
    QApplication::processEvents(QEventLoop::AllEvents);
    probe.stop();
    const double stepped_ms = clock.nsecsElapsed() / 1e6;
    const QString status = window.findChild<QLabel *>(QStringLiteral("status"))->text();

    const canopen::sdo_link link = canopen::exchange_sdo_link(adapter_bus_ops(), 1, canopen::sdo_timeout_ms, monitor_sink());
    canopen::sdo_outcome blocking;
    const auto best_of_three = [&](const canopen::sdo_transfer &transfer) {
        double best = 0;
        for (int i = 0; i < 3; ++i) {
            clock.restart();
            blocking = canopen::run_sdo(link, transfer);
            const double ms = clock.nsecsElapsed() / 1e6;
            best = i == 0 ? ms : std::min(best, ms);
        }
        return best;
    };
    const double blocking_ms = best_of_three(canopen::sdo_transfer::upload(0x2120, 0));
    const bool segmented_ok = blocking.ok && blocking.data.size() == 64 * 1024;
    const QByteArray recorder = blocking.data;
    const double block_ms = best_of_three(canopen::sdo_transfer::block_upload(0x2120, 0));
    const bool block_ok = blocking.ok && blocking.data == recorder;
    const double download_ms = best_of_three(canopen::sdo_transfer::block_download(0x2111, 0, recorder));
    const bool download_ok = blocking.ok;

    const int segments = (64 * 1024 + 6) / 7;
    std::printf("64 KiB upload from the object dictionary window on %s: %s\n", qgetenv("VELMORA_CAN").constData(),
                qPrintable(status));
    std::printf("stepped: %.0f ms for %d segments (%.3f ms a segment), %zu turns of the event loop\n", stepped_ms,
                segments, stepped_ms / segments, wall_gaps.size());
    std::printf("GUI thread held between two turns, wall clock: longest %.2f ms, 99.9%% %.3f ms, median %.3f ms\n",
                quantile_ms(wall_gaps, 1.0), quantile_ms(wall_gaps, 0.999), quantile_ms(wall_gaps, 0.5));
    std::printf("GUI thread held between two turns, its CPU time: longest %.2f ms, 99.9%% %.3f ms, median %.3f ms\n",
                quantile_ms(cpu_gaps, 1.0), quantile_ms(cpu_gaps, 0.999), quantile_ms(cpu_gaps, 0.5));
    std::printf("the same upload in one call, segmented: %.1f ms (%s)\n", blocking_ms, segmented_ok ? "65536 bytes" : "failed");
    std::printf("the same upload in one call, by block: %.1f ms (%s), %.1f times faster\n", block_ms,
                block_ok ? "the same bytes" : "failed", block_ms > 0 ? blocking_ms / block_ms : 0.0);
    std::printf("a 64 KiB block download in one call: %.1f ms (%s)\n", download_ms, download_ok ? "confirmed" : "failed");
    profile_segmented_upload();
    close_adapter();
    return segmented_ok && block_ok && download_ok ? 0 : 1;
}
