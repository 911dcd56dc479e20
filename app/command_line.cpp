#include "app/command_line.h"

#include <QCoreApplication>

namespace {

// Qt's own options that take a value: their value is no argument of ours.
const char *const toolkit_options_with_value[] = {"-platform",      "-platformpluginpath",
                                                  "-platformtheme", "-plugin",
                                                  "-qmljsdebugger", "-style",
                                                  "-stylesheet",    "-session",
                                                  "-display",       "-geometry",
                                                  "-title",         "-name",
                                                  "-widgetcount"};

bool toolkit_option_with_value(const QString &a)
{
    for (const char *o : toolkit_options_with_value)
        if (a == QLatin1String(o) || a == QLatin1Char('-') + QLatin1String(o))
            return true;
    return false;
}

}  // namespace

command_line parse_command_line(const QStringList &arguments)
{
    command_line c;
    QString time_limit;
    const auto value_of = [&](int &i, const QString &option, QString *into) {
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            c.error = QStringLiteral("%1 needs a value").arg(option);
            return;
        }
        *into = arguments[++i];
    };
    for (int i = 1; i < arguments.size() && c.error.isEmpty(); ++i) {
        QString a = arguments[i];
        QString inline_value;
        const bool has_inline = a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='));
        if (has_inline) {
            inline_value = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            a = a.left(a.indexOf(QLatin1Char('=')));
        }
        QString *target = nullptr;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            c.help = true;
        else if (a == QLatin1String("--version"))
            c.version = true;
        else if (a == QLatin1String("--no-guard"))
            c.no_guard = true;
        else if (a == QLatin1String("--verbose"))
            c.verbose = true;
        else if (a == QLatin1String("--bus"))
            target = &c.bus;
        else if (a == QLatin1String("--run"))
            target = &c.run;
        else if (a == QLatin1String("--boot"))
            target = &c.boot;
        else if (a == QLatin1String("--start-all"))
            c.start_all = true;
        else if (a == QLatin1String("--store"))
            c.store = true;
        else if (a == QLatin1String("--report"))
            target = &c.report;
        else if (a == QLatin1String("--log"))
            target = &c.log;
        else if (a == QLatin1String("--time-limit"))
            target = &time_limit;
        else if (a == QLatin1String("--lang"))
            target = &c.language;
        else if (toolkit_option_with_value(a))
            ++i;
        else if (a.startsWith(QLatin1String("--")) || !a.startsWith(QLatin1Char('-')))
            c.error = QStringLiteral("unknown argument %1").arg(arguments[i]);
        // Any other single-dash option is the toolkit's.
        if (target) {
            if (has_inline && inline_value.isEmpty())
                c.error = QStringLiteral("%1 needs a value").arg(a);
            else if (has_inline)
                *target = inline_value;
            else
                value_of(i, a, target);
        } else if (has_inline && c.error.isEmpty()) {
            c.error = QStringLiteral("%1 takes no value").arg(a);
        }
    }
    if (c.error.isEmpty() && !time_limit.isEmpty()) {
        bool ok = false;
        c.time_limit_s = time_limit.toInt(&ok);
        if (!ok || c.time_limit_s < 0)
            c.error = QStringLiteral("--time-limit takes whole seconds (0: none), not %1").arg(time_limit);
    }
    if (c.error.isEmpty() && !c.language.isEmpty() && c.language != QLatin1String("both")
        && c.language != QLatin1String("en") && c.language != QLatin1String("zh"))
        c.error = QStringLiteral("--lang takes both, en or zh, not %1").arg(c.language);
    if (c.error.isEmpty() && !c.run.isEmpty() && !c.boot.isEmpty())
        c.error = QStringLiteral("--run and --boot are one at a time");
    if (c.error.isEmpty() && c.run.isEmpty() && c.boot.isEmpty() && !(c.report.isEmpty() && c.log.isEmpty()))
        c.error = QStringLiteral("--report and --log go with --run or --boot");
    if (c.error.isEmpty() && c.boot.isEmpty() && (c.start_all || c.store))
        c.error = QStringLiteral("--start-all and --store go with --boot");
    if (c.error.isEmpty() && c.run.isEmpty() && !time_limit.isEmpty())
        c.error = QStringLiteral("--time-limit goes with --run");
    return c;
}

QString command_line_help()
{
    return QStringLiteral("Usage: velmora [OPTION]...\n"
                          "Test and commissioning tool for servo joint drives on a CAN bus.\n"
                          "用于CAN总线伺服关节驱动器的测试与调试工具。\n"
                          "Without --run or --boot the main window opens.\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help          show this help and exit\n"
                          "      --version       show the version and exit\n"
                          "      --bus SPEC      the bus to open, as VELMORA_CAN (and before it): sim,\n"
                          "                      socketcan:can0, virtualcan:can0, PLUGIN:INTERFACE; several\n"
                          "                      separated by commas (sim,sim), numbered 0, 1, ...\n"
                          "      --run FILE.js   run a test sequence without a window, printing each check,\n"
                          "                      then exit: 0 every check passed, 1 a check failed,\n"
                          "                      2 the script could not run (syntax or script error,\n"
                          "                      bus not open, interrupted)\n"
                          "      --boot BENCH.cpj  boot the bench a CiA 306-3 node list and its DCFs\n"
                          "                      describe (bus 0): find each node (LSS by serial number\n"
                          "                      for fresh ones), check its identity, configure,\n"
                          "                      verify, store where asked, watch its heartbeat, start\n"
                          "                      it; then exit: 0 every node done, 1 a node failed,\n"
                          "                      2 the boot could not run\n"
                          "      --start-all     with --boot: start the nodes at once after the last check\n"
                          "                      (default: each node as soon as it passed)\n"
                          "      --store         with --boot: store every node configured, whatever its\n"
                          "                      DCF asks\n"
                          "      --report FILE   with --run: a JUnit XML report; with --boot: JUnit XML\n"
                          "                      (.xml), a workbook (.xlsx) or CSV (anything else)\n"
                          "      --log FILE      with --run or --boot: write the run's log\n"
                          "      --time-limit S  with --run: end the script as an error (exit 2) after S\n"
                          "                      seconds, stopping the joints it moved; 0: no limit\n"
                          "                      (the default)\n"
                          "      --no-guard      do not make the joints this run enables watch Velmora\n"
                          "                      (heartbeat consumer, guardian); the settings key\n"
                          "                      guard/enabled=false does so for good\n"
                          "      --verbose       also print the toolkit's own bus messages\n"
                          "      --lang LANG     the windows' language for this run: both (the bilingual\n"
                          "                      texts), en or zh; without it the one chosen in the\n"
                          "                      Language menu, kept in the settings file\n"
                          "\n"
                          "Environment:\n"
                          "  VELMORA_CAN         the bus: unset means socketcan:can0; PLUGIN:INTERFACE for a\n"
                          "                      QtSerialBus plugin (socketcan:can0, virtualcan:can0,\n"
                          "                      peakcan:usb0, ...); sim for the simulated joints; a\n"
                          "                      comma-separated list opens several buses (sim,sim)\n"
                          "  VELMORA_SIM_NODES   the simulated joints, node[:firmware] separated by commas,\n"
                          "                      each simulated bus's after a ';' (1:10231;1:10231)\n"
                          "                      (default 1:10231,2:10231,3:10230); node:heartbeat[/ms]\n"
                          "                      for a heartbeat producer, node:canopen for a CANopen\n"
                          "                      drive of another make\n"
                          "  VELMORA_CAN_TRACE   a file to which every frame sent and received is appended\n"
                          "                      in candump log format\n"
                          "  QT_QPA_PLATFORM     the window system (offscreen runs the windows without a\n"
                          "                      display; --run needs none)\n"
                          "\n"
                          "Examples:\n"
                          "  VELMORA_CAN=sim velmora\n"
                          "  velmora --bus sim --run Document/sequences/endurance.js --report report.xml\n"
                          "  velmora --bus sim --boot Document/bench/arm.cpj --report r.xml\n");
}

QString command_line_version() { return QStringLiteral("velmora %1\n").arg(QStringLiteral(VELMORA_VERSION)); }
