#include "tools/xlsx_workbook.h"

#include "base/text_safety.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <xlsxwriter.h>

namespace {

// A workbook is XML inside: a cell with a character XML forbids makes the whole file unreadable.
QByteArray cell_text(const QString &text) { return text_safety::safe_text(text).toUtf8(); }

constexpr double title_row_height = 40;
constexpr double table_row_height = 30;
constexpr lxw_color_t header_fill = 0xBFBFBF;  // RGB 191, 191, 191
constexpr int progress_step = 2000;            // rows between two progress reports

void set_borders(lxw_format *f)
{
    format_set_border(f, LXW_BORDER_THIN);
    // Plain 0 means "no colour" to the library; black has its own value.
    format_set_border_color(f, LXW_COLOR_BLACK);
}

void centre(lxw_format *f)
{
    format_set_align(f, LXW_ALIGN_CENTER);
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
}

struct formats {
    lxw_format *title;
    lxw_format *header;
    lxw_format *body;
};

// Keeps the first failure of a run of library calls: a cell the library refuses (a row beyond
// the sheet, for one) must not leave a file that is reported as complete.
struct first_error {
    lxw_error value = LXW_NO_ERROR;
    void operator<<(lxw_error e)
    {
        if (value == LXW_NO_ERROR)
            value = e;
    }
};

void write_head(lxw_worksheet *sheet, const table_snapshot &snap, const formats &f, first_error &err)
{
    const int n = snap.columns();
    for (int k = 1; k < n; ++k)
        err << worksheet_set_column(sheet, lxw_col_t(k), lxw_col_t(k), snap.widths.value(k) / 5, nullptr);

    err << worksheet_set_row(sheet, 0, title_row_height, nullptr);
    if (n > 1)
        err << worksheet_merge_range(sheet, 0, 0, 0, lxw_col_t(n - 1), cell_text(snap.headers.at(0)).constData(),
                                     f.title);
    else if (n == 1)
        err << worksheet_write_string(sheet, 0, 0, cell_text(snap.headers.at(0)).constData(), f.title);
    if (n == 0)
        return;
    err << worksheet_set_row(sheet, 1, table_row_height, nullptr);
    err << worksheet_write_blank(sheet, 1, 0, f.body);
    for (int k = 1; k < n; ++k)
        err << worksheet_write_string(sheet, 1, lxw_col_t(k), cell_text(snap.headers.at(k)).constData(), f.header);
}

// Table rows first .. first + count - 1 into worksheet rows 3 onward.
void write_rows(lxw_worksheet *sheet, const table_snapshot &snap, int first, int count, const formats &f,
                const workbook_progress &progress, first_error &err)
{
    const int n = snap.columns();
    for (int i = 0; i < count; ++i) {
        const int r = first + i;
        const lxw_row_t row = lxw_row_t(i + 2);
        err << worksheet_set_row(sheet, row, table_row_height, nullptr);
        for (int k = 0; k < n; ++k) {
            const QString &text = snap.cell(r, k);
            // An empty text still carries the cell's border.
            if (text.isEmpty())
                err << worksheet_write_blank(sheet, row, lxw_col_t(k), f.body);
            else
                err << worksheet_write_string(sheet, row, lxw_col_t(k), cell_text(text).constData(), f.body);
        }
        if (progress && (r + 1) % progress_step == 0)
            progress(r + 1, snap.rows);
    }
}

}  // namespace

bool write_monitor_workbook(const QString &path, const table_snapshot &snap, QString *error,
                            const workbook_progress &progress, int rows_per_sheet)
{
    const QByteArray file_name = QFile::encodeName(path);
    const bool existed_before = QFileInfo::exists(path);
    rows_per_sheet = std::max(1, std::min(rows_per_sheet, max_data_rows_per_sheet));

    // Rows are written strictly in order, so the library can stream each finished row to a
    // temporary file instead of holding a hundred thousand rows in memory.
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(file_name.constData(), &options);
    if (!book) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }

    formats f;
    f.title = workbook_add_format(book);
    format_set_text_wrap(f.title);
    centre(f.title);
    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    format_set_bg_color(f.header, header_fill);
    format_set_pattern(f.header, LXW_PATTERN_SOLID);
    centre(f.header);
    set_borders(f.header);
    f.body = workbook_add_format(book);
    set_borders(f.body);

    // Every worksheet gets the title and header rows; an empty table still gets one sheet.
    bool sheets_made = true;
    first_error cells;
    int first = 0;
    do {
        lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
        if (!sheet) {
            sheets_made = false;
            break;
        }
        const int count = std::min(rows_per_sheet, snap.rows - first);
        write_head(sheet, snap, f, cells);
        write_rows(sheet, snap, first, count, f, progress, cells);
        first += count;
    } while (first < snap.rows && cells.value == LXW_NO_ERROR);

    // Closing assembles and writes the file; it must run even after a failed sheet to free
    // the workbook.
    const lxw_error result = workbook_close(book);
    if (progress)
        progress(snap.rows, snap.rows);
    if (sheets_made && cells.value == LXW_NO_ERROR && result == LXW_NO_ERROR)
        return true;

    if (error) {
        if (!sheets_made)
            *error = QStringLiteral("无法创建临时文件");
        else
            *error = QString::fromUtf8(lxw_strerror(cells.value != LXW_NO_ERROR ? cells.value : result));
    }
    if (!existed_before && QFileInfo(path).isFile())
        QFile::remove(path);
    return false;
}
