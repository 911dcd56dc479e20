#pragma once
// The monitor workbook, written from a copy of a table's texts so that it can be produced on a
// worker thread while the table itself keeps growing on the GUI thread.
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

struct table_snapshot {
    QStringList headers;  // one per column
    QVector<int> widths;  // pixel width per column
    int rows = 0;
    QVector<QString> cells;  // rows * columns, row by row; a cell without an item is empty

    int columns() const { return headers.size(); }
    const QString &cell(int row, int column) const { return cells.at(row * columns() + column); }
};

// Called now and then from the writing thread with the data rows written so far.
using workbook_progress = std::function<void(int rows_done, int rows_total)>;

// Data rows one worksheet holds: its 1,048,576 rows less the title and header rows.
constexpr int max_data_rows_per_sheet = 1048576 - 2;

// Title merged over the first row, the grey bold header row from table column 1 on, one
// worksheet row per table row as text, thin black borders over header and data, fixed row
// heights. A table longer than one worksheet goes on in further worksheets, each with the same
// title and header rows. On failure (any cell that could not be written included) returns false
// with a readable reason in *error and leaves no partly written new file behind.
bool write_monitor_workbook(const QString &path, const table_snapshot &snap, QString *error,
                            const workbook_progress &progress = {}, int rows_per_sheet = max_data_rows_per_sheet);
