#pragma once
// The run's checks as a JUnit XML report, as CI servers read it: one testsuite per script, one
// testcase per kept check (a failure element with actual, expected and tolerance), one testcase
// per summary of the checks beyond the row limit, and an error testcase when the script could
// not run to its end. A run without a single check says so (a "checks" property of 0 and the
// suite's system-out).
#include "sequences/check_book.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace sequences {

struct report_run {
    QString script;  // file name, or a title for a script from the editor
    QDateTime started;
    double duration_s = 0;
    QString error;  // why the script ended early (a script error, Stop); empty when it ran to its end
};

// What a run without a single check ends with, in the log, the progress line and the report.
QString no_checks_text();

QByteArray junit_report(const check_book &book, const report_run &run);
// Writes the report whole or not at all; false with the reason.
bool save_junit_report(const QString &path, const check_book &book, const report_run &run, QString *why);

}  // namespace sequences
