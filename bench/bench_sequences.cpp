// Test sequences: what the script engine adds to each exchange, and the memory of a long run.
// 1. Reads of a joint's position, N at a time, straight through the exchange core and from a
//    script (engine process, its socket, the relay thread, blocking queued call to this thread,
//    exchange, back): the difference per exchange is the engine's overhead; the goal is under
//    0.1 ms.
// 2. A script of MOVES small moves on a simulated CANopen joint, each followed by a check: this
//    process's resident memory after 1,000 moves and at the end (flat: the checks beyond the row
//    limit are summarised), and the engine process's peak.
//   bench_sequences [N] [MOVES]
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "sequences/joint_bus.h"
#include "sequences/sequence_runner.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

double resident_mb()
{
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Runs the script to its end; the wall time in ms.
double run_script(sequences::sequence_runner &runner, const QString &script)
{
    QElapsedTimer t;
    t.start();
    QObject::connect(&runner, &sequences::sequence_runner::finished,
                     [](sequences::run_end end, const QString &message) {
                         if (end != sequences::run_end::passed)
                             std::fprintf(stderr, "script ended: %s\n", qPrintable(message));
                         QCoreApplication::exit(0);
                     });
    runner.start(script, QStringLiteral("bench.js"));
    QCoreApplication::exec();
    QObject::disconnect(&runner, &sequences::sequence_runner::finished, nullptr, nullptr);
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// ms per position read from a script, without the engine's start: two loop lengths compared.
double script_ms_per_read(sequences::sequence_runner &runner, const char *joint, int n)
{
    const QString loop = QStringLiteral("var j = %1; for (var i = 0; i < %2; ++i) j.position();");
    const double few = run_script(runner, loop.arg(QLatin1String(joint)).arg(n / 10));
    const double many = run_script(runner, loop.arg(QLatin1String(joint)).arg(n));
    return (many - few) / (n - n / 10);
}

double direct_ms_per_read(sequences::joint &j, int n)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        j.position();
    return static_cast<double>(t.nsecsElapsed()) / 1e6 / n;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    sim::simulator::instance().configure({{1, 10231}, {3, 10230}});
    open_adapter();
    if (adapter_error != 0) {
        std::fprintf(stderr, "adapter did not open (%d)\n", adapter_error);
        return 1;
    }
    device_open = 1;
    const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int moves = argc > 2 ? std::atoi(argv[2]) : 10000;

    sequences::exchange_adapter adapter;
    const sequences::joint_bus direct = sequences::direct_bus(adapter);
    sequences::custom_joint custom(3, direct);
    sequences::canopen_joint canopen(1, direct);
    sequences::sequence_runner runner;

    std::printf("per exchange, %d reads of the position (wall time):\n", n);
    bool ok = true;
    for (int kind = 0; kind < 2; ++kind) {
        const double straight = direct_ms_per_read(kind == 0 ? static_cast<sequences::joint &>(custom) : canopen, n);
        const double scripted = script_ms_per_read(runner, kind == 0 ? "custom(3)" : "canopen(1)", n);
        const double overhead = scripted - straight;
        ok = ok && overhead < 0.1;
        std::printf("  %-22s direct %.4f ms, from a script %.4f ms, engine overhead %.4f ms (goal < 0.1 ms) %s\n",
                    kind == 0 ? "maker's protocol:" : "CANopen (SDO upload):", straight, scripted, overhead,
                    overhead < 0.1 ? "OK" : "MISSED");
    }

    double after_first = 0;
    QObject::connect(&runner, &sequences::sequence_runner::log_line, [&after_first](const QString &line) {
        if (line.endsWith(QLatin1String("mark")))
            after_first = resident_mb();
    });
    const double before = resident_mb();
    const double ms =
        run_script(runner,
                   QStringLiteral("var j = canopen(1); j.enable(); j.profile(1000000, 100000000, 100000000);"
                                  "for (var i = 0; i < %1; ++i) {"
                                  "  j.moveBy(i % 2 ? -10 : 10);"
                                  "  check('at the stop', j.position(), i % 2 ? 0 : 10, 0);"
                                  "  if (i == 999) log('mark');"
                                  "}")
                       .arg(moves));
    const double after = resident_mb();
    std::printf("%d moves with a check each in %.1f s: resident memory %.1f MB before, %.1f MB after 1,000 moves, "
                "%.1f MB after %d (%d checks: %d rows kept, %d summarised, %d failed); engine peak %.1f MB\n",
                moves, ms / 1000, before, after_first, after, moves, runner.book().total(),
                static_cast<int>(runner.book().rows().size()),
                runner.book().total() - static_cast<int>(runner.book().rows().size()), runner.book().failed(),
                static_cast<double>(runner.engine_peak_kib()) / 1024.0);
    close_adapter();
    return ok ? 0 : 1;
}
