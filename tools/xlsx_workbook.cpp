#include "tools/xlsx_workbook.h"

#include <QFile>
#include <QFileInfo>
#include <xlsxwriter.h>

namespace {

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

}  // namespace

bool write_monitor_workbook(const QString &path, const table_snapshot &snap, QString *error,
                            const workbook_progress &progress)
{
    const QByteArray file_name = QFile::encodeName(path);
    const bool existed_before = QFileInfo::exists(path);

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
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);

    lxw_format *title = workbook_add_format(book);
    format_set_text_wrap(title);
    centre(title);
    lxw_format *header = workbook_add_format(book);
    format_set_bold(header);
    format_set_bg_color(header, header_fill);
    format_set_pattern(header, LXW_PATTERN_SOLID);
    centre(header);
    set_borders(header);
    lxw_format *body = workbook_add_format(book);
    set_borders(body);

    if (sheet) {
        const int n = snap.columns();
        for (int k = 1; k < n; ++k)
            worksheet_set_column(sheet, lxw_col_t(k), lxw_col_t(k), snap.widths.value(k) / 5, nullptr);

        worksheet_set_row(sheet, 0, title_row_height, nullptr);
        if (n > 1)
            worksheet_merge_range(sheet, 0, 0, 0, lxw_col_t(n - 1), snap.headers.at(0).toUtf8().constData(), title);
        else if (n == 1)
            worksheet_write_string(sheet, 0, 0, snap.headers.at(0).toUtf8().constData(), title);

        if (n > 0) {
            worksheet_set_row(sheet, 1, table_row_height, nullptr);
            worksheet_write_blank(sheet, 1, 0, body);
            for (int k = 1; k < n; ++k)
                worksheet_write_string(sheet, 1, lxw_col_t(k), snap.headers.at(k).toUtf8().constData(), header);

            for (int r = 0; r < snap.rows; ++r) {
                const lxw_row_t row = lxw_row_t(r + 2);
                worksheet_set_row(sheet, row, table_row_height, nullptr);
                for (int k = 0; k < n; ++k) {
                    const QString &text = snap.cell(r, k);
                    // An empty text still carries the cell's border.
                    if (text.isEmpty())
                        worksheet_write_blank(sheet, row, lxw_col_t(k), body);
                    else
                        worksheet_write_string(sheet, row, lxw_col_t(k), text.toUtf8().constData(), body);
                }
                if (progress && (r + 1) % progress_step == 0)
                    progress(r + 1, snap.rows);
            }
        }
    }

    // Closing assembles and writes the file; it must run even after a failed sheet to free
    // the workbook.
    const lxw_error result = workbook_close(book);
    if (progress)
        progress(snap.rows, snap.rows);
    if (sheet && result == LXW_NO_ERROR)
        return true;

    if (error) {
        if (!sheet)
            *error = QStringLiteral("无法创建临时文件");
        else
            *error = QString::fromUtf8(lxw_strerror(result));
    }
    if (!existed_before && QFileInfo(path).isFile())
        QFile::remove(path);
    return false;
}
