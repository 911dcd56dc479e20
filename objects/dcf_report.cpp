#include "objects/dcf_report.h"

#include "base/hex.h"
#include "base/text_safety.h"
#include "tools/xlsx_workbook.h"

#include <QFile>

namespace objects {
namespace {

constexpr int column_width_px = 150;

QString csv_cell(const QString &text) { return text_safety::csv_field(text); }

bool save_csv(const QString &path, const std::vector<report_row> &rows, QString *error)
{
    QStringList lines;
    const auto line = [](const QStringList &cells) {
        QStringList quoted;
        for (const QString &c : cells)
            quoted << csv_cell(c);
        return quoted.join(QLatin1Char(','));
    };
    lines << line(report_headers());
    for (const report_row &r : rows)
        lines << line(report_cells(r));
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size())
        return true;
    if (error)
        *error = f.errorString();
    return false;
}

bool save_workbook(const QString &path, const std::vector<report_row> &rows, QString *error)
{
    // The workbook's first column is the row number; its title stands above the header row.
    table_snapshot snap;
    snap.headers << QStringLiteral("DCF下载报告/DCF download report") << report_headers();
    snap.widths = QVector<int>(snap.headers.size(), column_width_px);
    snap.rows = static_cast<int>(rows.size());
    for (int i = 0; i < snap.rows; ++i) {
        snap.cells << QString::number(i + 1);
        for (const QString &c : report_cells(rows[static_cast<size_t>(i)]))
            snap.cells << c;
    }
    return write_monitor_workbook(path, snap, error);
}

}  // namespace

QStringList report_headers()
{
    return {QStringLiteral("节点/Node"),      QStringLiteral("对象/Object"), QStringLiteral("名称/Name"),
            QStringLiteral("修改前/Before"),  QStringLiteral("修改后/After"), QStringLiteral("已校验/Verified"),
            QStringLiteral("说明/Note")};
}

QStringList report_cells(const report_row &row)
{
    return {QString::number(row.node),
            hex::prefixed(row.index, 4) + QLatin1Char(':') + hex::digits(row.sub, 2),
            row.name,
            row.before,
            row.after,
            row.verified ? QStringLiteral("是/yes") : QStringLiteral("否/no"),
            row.note};
}

bool save_report(const QString &path, const std::vector<report_row> &rows, QString *error)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return save_workbook(path, rows, error);
    return save_csv(path, rows, error);
}

}  // namespace objects
