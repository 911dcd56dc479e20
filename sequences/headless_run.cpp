#include "sequences/headless_run.h"

#include "can/bus.h"

#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "sequences/sequence_runner.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>

namespace sequences {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void on_signal(int) { interrupted = 1; }

// How often the run looks for Ctrl-C or a termination request.
constexpr int signal_poll_ms = 50;

void print(FILE *to, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

int cannot_run(const QString &why)
{
    print(stderr, QStringLiteral("velmora: ") + why);
    return exit_code(run_end::error);
}

}  // namespace

QString check_line(bool passed, const QString &name, const QString &actual, const QString &expected,
                   const QString &tolerance, bool numeric)
{
    const QString values = numeric ? QStringLiteral("actual %1  expected %2 ± %3").arg(actual, expected, tolerance)
                                   : QStringLiteral("actual \"%1\"  expected \"%2\"").arg(actual, expected);
    return QStringLiteral("%1  %2  %3").arg(passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"), name, values);
}

int run_headless(const headless_options &options)
{
    QFile file(options.script);
    if (!file.open(QIODevice::ReadOnly))
        return cannot_run(QStringLiteral("cannot read %1: %2").arg(options.script, file.errorString()));
    const QString script = QString::fromUtf8(file.readAll());

    QFile log_file(options.log);
    QTextStream log_out;
    if (!options.log.isEmpty()) {
        if (!log_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return cannot_run(QStringLiteral("cannot write the log %1: %2").arg(options.log, log_file.errorString()));
        log_out.setDevice(&log_file);
        log_out.setCodec("UTF-8");
    }

    open_adapter();
    if (adapter_error != 0)
        return cannot_run(QStringLiteral("cannot open the bus %1 (VELMORA_CAN or --bus)")
                              .arg(vci::selected_bus_description(can_index)));
    device_open = 1;
    const QStringList shut = can::open_other_buses();
    if (!shut.isEmpty())
        return cannot_run(QStringLiteral("cannot open the bus %1 (VELMORA_CAN or --bus)").arg(shut.join(QStringLiteral("; "))));

    int code = exit_code(run_end::error);
    {
        sequence_runner runner;
        const auto logged = [&](const QString &line) {
            if (log_out.device()) {
                log_out << line << '\n';
                log_out.flush();
            }
        };
        QObject::connect(&runner, &sequence_runner::check_added, [&](int, const check_result &r) {
            const QString line =
                check_line(r.passed, r.name, r.actual, r.expected, check_number_text(r.tolerance), r.numeric);
            print(stdout, line);
            logged(QStringLiteral("[%1] %2").arg(r.time_s, 9, 'f', 3).arg(line));
        });
        QObject::connect(&runner, &sequence_runner::log_line, [&](const QString &line) {
            print(stdout, line);
            logged(line);
        });
        QObject::connect(&runner, &sequence_runner::finished, [&](run_end end, const QString &message) {
            if (end == run_end::error || end == run_end::stopped)
                print(stderr, QStringLiteral("velmora: ") + message);
            code = exit_code(end);
            QCoreApplication::exit(code);
        });

        interrupted = 0;
        auto *previous_int = std::signal(SIGINT, on_signal);
        auto *previous_term = std::signal(SIGTERM, on_signal);
        QTimer signals_timer;
        QObject::connect(&signals_timer, &QTimer::timeout, [&runner] {
            if (interrupted)
                runner.stop();
        });
        signals_timer.start(signal_poll_ms);

        runner.set_time_limit_s(options.time_limit_s);
        runner.start(script, options.script);
        QCoreApplication::exec();
        std::signal(SIGINT, previous_int);
        std::signal(SIGTERM, previous_term);

        QString why;
        if (!options.report.isEmpty() && !save_junit_report(options.report, runner.book(), runner.report(), &why)) {
            print(stderr, QStringLiteral("velmora: cannot write the report %1: %2").arg(options.report, why));
            code = exit_code(run_end::error);
        }
    }
    can::close_other_buses();
    close_adapter();
    return code;
}

}  // namespace sequences
