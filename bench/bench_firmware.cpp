// A firmware update of three simulated joints in velmora-sim over a private virtual CAN bus, as
// a commissioning engineer runs it: once from the object dictionary window's commissioning page
// (Update firmware for nodes 1-3), once from a script (canopen(n).updateFirmware for each).
// Prints each node's time (read, stop, clear, image by block transfer, flash, check, start,
// boot-up, read again) and the whole update's, from the saved report and the script's results.
// The joints flash at 512 KiB/s, so of a node's time size / 512 KiB/s is the flash.
//
//   bench_firmware [KiB]    the image's size, 64 KiB unless given (1..1024)
#include "app/bus_choice.h"
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/step_job.h"
#include "objects/object_dictionary.h"
#include "sequences/sequence_runner.h"
#include "support/sim_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Per node of the saved report: its time from start to end, ms; false when not updated.
bool report_times(const QString &csv, QStringList *lines)
{
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QStringList rows = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool all = rows.size() == 5;
    for (int i = 2; i < rows.size(); ++i) {
        const QStringList cells = rows[i].split(QLatin1Char(','));
        if (cells.size() < 9) {
            all = false;
            continue;
        }
        const QDateTime started = QDateTime::fromString(cells[6], Qt::ISODateWithMs);
        const QDateTime ended = QDateTime::fromString(cells[7], Qt::ISODateWithMs);
        const bool updated = cells[8].contains(QLatin1String("updated"));
        all = all && updated;
        *lines << QStringLiteral("  node %1: %2 ms, %3 -> %4, %5")
                      .arg(cells[0])
                      .arg(started.msecsTo(ended))
                      .arg(cells[4], cells[5], updated ? QStringLiteral("updated") : cells[8]);
    }
    return all;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int kib = argc > 1 ? std::atoi(argv[1]) : 64;
    if (kib < 1 || kib > 1024) {
        std::fprintf(stderr, "usage: bench_firmware [KiB, 1..1024]\n");
        return 2;
    }
    test_support::sim_host sim;
    QString why;
    if (!sim.start(QStringLiteral("1:10231,2:10231,3:10231"), &why)) {
        std::fprintf(stderr, "velmora-sim: %s\n", qPrintable(why));
        return 1;
    }
    qputenv("VELMORA_CAN", "virtualcan:" + sim.interface().toLatin1());
    use_bus_from_environment();
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

    QTemporaryDir dir;
    QByteArray image(kib * 1024, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7 + i / 251);
    const QByteArray marker = "VERSION=SIM-FW 5.0\n";
    image.replace(0, marker.size(), marker);
    const QString path = dir.filePath(QStringLiteral("joint.bin"));
    if (!write_file(path, image) ||
        !write_file(path + QStringLiteral(".json"), R"({"product": "0x00000402", "version": "SIM-FW 5.0"})")) {
        std::fprintf(stderr, "cannot write the image\n");
        return 1;
    }
    const QString csv = dir.filePath(QStringLiteral("firmware.csv"));
    desktop_seams::set_file_chooser([&](const desktop_seams::file_request &r) {
        return r.kind == QLatin1String("firmware") ? path : csv;
    });
    desktop_seams::set_box_responder([](const desktop_seams::box_request &r) {
        return r.kind == desktop_seams::box_kind::question ? QMessageBox::Yes : QMessageBox::Ok;
    });

    std::printf("firmware update of %d KiB to three joints of velmora-sim over %s (flash alone %.0f ms a node)\n", kib,
                qgetenv("VELMORA_CAN").constData(), kib / 512.0 * 1000);

    Object_dictionary window;
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("firmware_nodes"))->setText(QStringLiteral("1-3"));
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("update_firmware"))->click();
    while (job_runner::instance().busy())
        QApplication::processEvents(QEventLoop::AllEvents);
    QApplication::processEvents(QEventLoop::AllEvents);
    const double window_ms = clock.nsecsElapsed() / 1e6;
    const QString status = window.findChild<QLabel *>(QStringLiteral("commissioning_status"))->text();
    window.findChild<QPushButton *>(QStringLiteral("save_firmware_report"))->click();
    QStringList lines;
    const bool window_ok = report_times(csv, &lines);
    std::printf("from the commissioning page: %.0f ms in all (%s)\n%s\n", window_ms,
                qPrintable(status.section(QLatin1Char('\n'), 0, 0)),
                qPrintable(lines.join(QLatin1Char('\n'))));

    // Back to the version before, so that the script's update changes something again.
    QByteArray older = image;
    const QByteArray older_marker = "VERSION=SIM-FW 4.9\n";
    older.replace(0, older_marker.size(), older_marker);
    const QString older_path = dir.filePath(QStringLiteral("older.bin"));
    write_file(older_path, older);
    const QString script = QStringLiteral(R"JS(
var t0 = Date.now();
for (var n = 1; n <= 3; ++n) {
    var r = canopen(n).updateFirmware(%1);
    log("  node " + n + ": " + Math.round(r.seconds * 1000) + " ms, " + r.before.version + " -> " + r.after.version);
}
log("total " + (Date.now() - t0));
)JS");
    sequences::sequence_runner runner;
    QStringList log;
    bool done = false;
    sequences::run_end end = sequences::run_end::error;
    QString message;
    QObject::connect(&runner, &sequences::sequence_runner::log_line, [&](const QString &line) { log << line; });
    QObject::connect(&runner, &sequences::sequence_runner::finished, [&](sequences::run_end e, const QString &m) {
        end = e;
        message = m;
        done = true;
    });
    const auto run = [&](const QString &arguments) {
        log.clear();
        done = false;
        runner.start(script.arg(arguments), QStringLiteral("bench.js"));
        while (!done)
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    };
    // The older image has no sidecar: of unknown product, it goes only when forced.
    run(QStringLiteral("'%1', {force: true}").arg(older_path));
    run(QStringLiteral("'%1'").arg(path));
    QStringList script_lines;
    QString total;
    for (const QString &line : log) {
        const QString text = line.section(QLatin1String("] "), 1);
        if (text.startsWith(QLatin1String("  node ")))
            script_lines << text;
        else if (text.startsWith(QLatin1String("total ")))
            total = text.mid(6);
    }
    const bool script_ok = end != sequences::run_end::error && script_lines.size() == 3;
    std::printf("from a script: %s ms in all (%s)\n%s\n", qPrintable(total), qPrintable(message),
                qPrintable(script_lines.join(QLatin1Char('\n'))));
    close_adapter();
    return window_ok && script_ok ? 0 : 1;
}
