#pragma once
// The report of a DCF download as a file: comma-separated text (UTF-8, RFC 4180 quoting) or a
// workbook (.xlsx), one row per object: node, object, name, before, after, verified, note.
#include "objects/dcf_job.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace objects {

QStringList report_headers();
// The row's cells under report_headers().
QStringList report_cells(const report_row &row);

// A workbook when the path ends in .xlsx, else comma-separated text. False with the reason.
bool save_report(const QString &path, const std::vector<report_row> &rows, QString *error);

}  // namespace objects
