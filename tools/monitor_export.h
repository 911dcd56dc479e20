#pragma once
// The monitor's Export button: ask for a file, copy the table, write the workbook on a worker
// thread (with a progress dialog when that takes a while), then offer to open the file.
#include "tools/xlsx_workbook.h"

#include <QString>

class QTableWidget;
class QWidget;

// Copies header texts, current column widths and every cell text of the table.
table_snapshot snapshot_table(const QTableWidget *table);

// A chosen name without the workbook extension gets ".xlsx".
QString workbook_file_name(const QString &chosen);

// Runs the whole export of the table shown in window. Returns when the workbook is written and
// the closing question is answered; the event loop keeps running meanwhile, so the table goes
// on logging. A second request while one is running is ignored. Returns true when a workbook
// was written.
bool export_monitor_table(QTableWidget *table, QWidget *window);
