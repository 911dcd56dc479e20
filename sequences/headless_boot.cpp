#include "sequences/headless_boot.h"

#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/step_job.h"
#include "can/vci/bus_backend.h"
#include "objects/bench.h"
#include "objects/bench_boot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

namespace sequences {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void on_signal(int) { interrupted = 1; }

constexpr int signal_poll_ms = 50;
constexpr int exit_done = 0;
constexpr int exit_failed = 1;
constexpr int exit_error = 2;

void print(FILE *to, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

int cannot_run(const QString &why)
{
    print(stderr, QStringLiteral("velmora: ") + why);
    return exit_error;
}

}  // namespace

int boot_headless(const boot_options &options)
{
    const objects::bench_result bench = objects::read_bench(options.bench);
    if (!bench.ok)
        return cannot_run(bench.error);
    objects::keep_bench_names(bench.bench, 0);

    QFile log_file(options.log);
    QTextStream log_out;
    if (!options.log.isEmpty()) {
        if (!log_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return cannot_run(QStringLiteral("cannot write the log %1: %2").arg(options.log, log_file.errorString()));
        log_out.setDevice(&log_file);
        log_out.setCodec("UTF-8");
    }
    const auto logged = [&log_out](const QString &line) {
        if (log_out.device()) {
            log_out << line << '\n';
            log_out.flush();
        }
    };

    open_adapter();
    if (adapter_error != 0)
        return cannot_run(QStringLiteral("cannot open the bus %1 (VELMORA_CAN or --bus)")
                              .arg(vci::selected_bus_description(can_index)));
    device_open = 1;

    const QDateTime started = QDateTime::currentDateTime();
    int code = exit_error;
    bool reported = false;
    QString report_error;
    {
        objects::boot_options boot_options;
        boot_options.order = options.start_all ? objects::start_order::all_at_once : objects::start_order::node_order;
        boot_options.store_always = options.store;
        // Each node's steps once they ended, in the order they ended.
        auto told = std::make_shared<std::vector<int>>(bench.bench.nodes.size(), 0);
        auto job = std::make_unique<objects::bench_boot>(
            bench.bench, boot_options, objects::adapter_boot_wire(logged),
            [told, &logged](const objects::bench_boot &b, int i) {
                const objects::node_boot &n = b.nodes()[static_cast<size_t>(i)];
                int &next = (*told)[static_cast<size_t>(i)];
                for (; next < objects::boot_step_count && n.steps[next].result != objects::step_result::not_run; ++next) {
                    const objects::step_record &r = n.steps[next];
                    const QString line = QStringLiteral("%1  %2: %3  %4 s  %5")
                                             .arg(r.result == objects::step_result::passed
                                                      ? QStringLiteral("PASS")
                                                      : r.result == objects::step_result::failed ? QStringLiteral("FAIL")
                                                                                                 : QStringLiteral("SKIP"),
                                                  n.title(), objects::boot_step_name(static_cast<objects::boot_step>(next)))
                                             .arg(r.seconds, 0, 'f', 3)
                                             .arg(QStringList{r.found, r.done, r.note}.filter(QRegularExpression(QStringLiteral("."))).join(QStringLiteral("; ")));
                    print(stdout, line);
                    logged(line);
                }
            },
            [&](const objects::bench_boot &boot, bool cancelled) {
                const objects::boot_outcome b = objects::outcome_of(boot, started);
                for (const QString &line : objects::boot_summary(b)) {
                    print(stdout, line);
                    logged(line);
                }
                const QString total = QStringLiteral("%1 of %2 nodes done in %3 s")
                                          .arg(b.nodes_done())
                                          .arg(b.nodes.size())
                                          .arg(b.seconds, 0, 'f', 2);
                print(stdout, total);
                logged(total);
                if (boot.bus_lost() || b.discovery.result == objects::step_result::failed) {
                    print(stderr, QStringLiteral("velmora: ") + objects::bus_lost_note());
                    code = exit_error;
                } else if (cancelled || interrupted) {
                    print(stderr, QStringLiteral("velmora: interrupted"));
                    code = exit_error;
                } else {
                    code = b.nodes_done() == static_cast<int>(b.nodes.size()) ? exit_done : exit_failed;
                }
                if (!options.report.isEmpty())
                    reported = objects::save_boot_report(options.report, b, &report_error);
                QCoreApplication::exit(code);
            });

        interrupted = 0;
        auto *previous_int = std::signal(SIGINT, on_signal);
        auto *previous_term = std::signal(SIGTERM, on_signal);
        objects::bench_boot *running = job.get();
        QTimer signals_timer;
        QObject::connect(&signals_timer, &QTimer::timeout, [running] {
            // Between two steps, so that no node is left half configured without the report saying so.
            if (interrupted && job_runner::instance().busy())
                running->stop_after_step();
        });
        signals_timer.start(signal_poll_ms);
        if (!job_runner::instance().start(std::move(job)))
            return cannot_run(QStringLiteral("another job runs"));
        QCoreApplication::exec();
        std::signal(SIGINT, previous_int);
        std::signal(SIGTERM, previous_term);
    }
    if (!options.report.isEmpty() && !reported) {
        print(stderr, QStringLiteral("velmora: cannot write the report %1: %2").arg(options.report, report_error));
        code = exit_error;
    }
    close_adapter();
    return code;
}

}  // namespace sequences
