#include "app/bus_choice.h"
#include "app/command_line.h"
#include "app/guardian_session.h"
#include "app/startup.h"
#include "base/guard_settings.h"
#include "canopen/drive_changes.h"
#include "custom_protocol/guardian.h"
#include "sequences/engine_child.h"
#include "sequences/headless_boot.h"
#include "sequences/headless_run.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <cstdio>

int main(int argc, char *argv[])
{
    // The guardian the program starts of itself: no window, no command line of its own.
    if (is_guardian_process(argc, argv))
        return guardian::run(argc, argv);
    // The engine a test sequence runs in (sequences/engine_child.h): no bus, no window.
    if (sequences::is_script_engine_process(argc, argv))
        return sequences::run_script_engine(argc, argv);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const command_line line = parse_command_line(arguments);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\nTry 'velmora --help'.\n", qPrintable(line.error));
        return 2;
    }
    if (line.help) {
        std::fputs(command_line_help().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line.version) {
        std::fputs(command_line_version().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!line.bus.isEmpty())
        qputenv("VELMORA_CAN", line.bus.toLocal8Bit());
    use_bus_from_environment();
    if (line.no_guard)
        guard::disable_for_run();
    // The toolkit's bus plugins talk about themselves ("Server ... could not be started, port ...
    // already in use" whenever another process serves the virtual bus); the program says what
    // matters to the user in its own words.
    if (!line.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus*=false"));

    if (!line.boot.isEmpty()) {
        QCoreApplication app(argc, argv);
        return sequences::boot_headless({line.boot, line.report, line.log, line.start_all, line.store});
    }
    if (!line.run.isEmpty()) {
        // No display and no question: the run reports through its exit code.
        QCoreApplication app(argc, argv);
        // Changes an earlier run left on a drive are told, never asked about: nobody answers here.
        const QString left = canopen::left_behind_report();
        if (!left.isEmpty())
            std::fprintf(stderr, "velmora: %s\n", qPrintable(QString(left).replace(QLatin1Char('\n'), QStringLiteral("\nvelmora: "))));
        const guardian_session guarded;
        return sequences::run_headless({line.run, line.report, line.log, line.time_limit_s});
    }
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(velmora_icon);  // the bundle lives in the static core library
    app.setWindowIcon(QIcon(QStringLiteral(":/velmora.png")));
    const guardian_session guarded;
    return run_velmora(app, line.language);
}
