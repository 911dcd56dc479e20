#pragma once
// A test sequence without a window (velmora --run FILE.js): on the bus VELMORA_CAN names, each
// check printed as it happens, the log written where asked, a JUnit report at the end. Needs a
// QCoreApplication and no display; asks nothing.
#include <QString>

namespace sequences {

struct headless_options {
    QString script;
    QString report;  // JUnit XML; empty: none
    QString log;  // the run's log; empty: none
    int time_limit_s = 0;  // the run ends as an error after this long; 0: no limit
};

// The process's exit code: 0 every check passed, 1 a check failed, 2 the script could not run
// (unreadable, a syntax or script error, the bus not open, stopped by a signal, the script
// engine out of memory or dead, the time limit).
int run_headless(const headless_options &options);

// One check as the headless run prints it: "PASS  name  actual 3  expected 0 ± 5".
QString check_line(bool passed, const QString &name, const QString &actual, const QString &expected,
                   const QString &tolerance, bool numeric);

}  // namespace sequences
