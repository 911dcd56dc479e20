#pragma once
// The report of a DCF download as a file: comma-separated text (UTF-8, RFC 4180 quoting) or a
// workbook (.xlsx). A title names the DCF and when the download began; then one row per node
// with its identity and what became of it, then one row per object: node, object, name, before,
// after, verified, note.
#include "objects/dcf_job.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace objects {

struct report_head {
    QString dcf_file;
    QDateTime started;
    std::vector<node_summary> nodes;
};
// The title's parts: the report's name, the DCF's, the date and time.
QStringList report_title(const report_head &head);

QStringList report_headers();
// The row's cells under report_headers().
QStringList report_cells(const report_row &row);
// A node's row: its identity in the After column, what became of it in the Note.
QStringList node_cells(const node_summary &node);

// A workbook when the path ends in .xlsx, else comma-separated text. False with the reason.
bool save_report(const QString &path, const report_head &head, const std::vector<report_row> &rows, QString *error);

}  // namespace objects
