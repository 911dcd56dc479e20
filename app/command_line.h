#pragma once
// The program's command line, one parser for every mode: the window (default), a test sequence
// without a window (--run), a bench booted without a window (--boot), help and version. Qt's own options (-platform offscreen, -style ...)
// are left for the toolkit.
#include <QString>
#include <QStringList>

struct command_line {
    bool help = false;
    bool version = false;
    QString bus;  // --bus SPEC, as VELMORA_CAN
    QString run;  // --run FILE.js
    QString boot;  // --boot BENCH.cpj
    bool start_all = false;  // --start-all: with --boot, start every node at once at the end
    bool store = false;  // --store: with --boot, store every node configured
    QString report;  // --report FILE.xml
    QString log;  // --log FILE
    int time_limit_s = 0;  // --time-limit S: the run ends as an error after S seconds; 0: none
    bool no_guard = false;  // --no-guard: joints this run enables are not guarded
    bool verbose = false;  // --verbose: the toolkit's own bus messages are printed too
    QString language;  // --lang both|en|zh: the windows' language for this run; empty: the kept one
    QString error;  // why the line was refused; empty when it was taken
};

// arguments as the process got them, the program's name first.
command_line parse_command_line(const QStringList &arguments);

// What --help prints: every option and environment variable.
QString command_line_help();
QString command_line_version();
