#include "objects/dcf_report.h"

#include "base/hex.h"
#include "base/text_safety.h"
#include "canopen/cia_objects.h"
#include "tools/xlsx_workbook.h"

#include <QFile>

namespace objects {
namespace {

constexpr int column_width_px = 150;

QString csv_cell(const QString &text) { return text_safety::csv_field(text); }

// The node rows, then the object rows, as the table's rows of cells.
std::vector<QStringList> body(const report_head &head, const std::vector<report_row> &rows)
{
    std::vector<QStringList> out;
    for (const node_summary &n : head.nodes)
        out.push_back(node_cells(n));
    for (const report_row &r : rows)
        out.push_back(report_cells(r));
    return out;
}

bool save_csv(const QString &path, const report_head &head, const std::vector<report_row> &rows, QString *error)
{
    QStringList lines;
    const auto line = [](const QStringList &cells) {
        QStringList quoted;
        for (const QString &c : cells)
            quoted << csv_cell(c);
        return quoted.join(QLatin1Char(','));
    };
    lines << line(report_title(head)) << line(report_headers());
    for (const QStringList &cells : body(head, rows))
        lines << line(cells);
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size())
        return true;
    if (error)
        *error = f.errorString();
    return false;
}

bool save_workbook(const QString &path, const report_head &head, const std::vector<report_row> &rows, QString *error)
{
    // The workbook's first column is the row number; its title stands above the header row.
    table_snapshot snap;
    snap.headers << report_title(head).join(QStringLiteral("  ")) << report_headers();
    snap.widths = QVector<int>(snap.headers.size(), column_width_px);
    const std::vector<QStringList> cells = body(head, rows);
    snap.rows = static_cast<int>(cells.size());
    for (int i = 0; i < snap.rows; ++i) {
        snap.cells << QString::number(i + 1);
        for (const QString &c : cells[static_cast<size_t>(i)])
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

QStringList report_title(const report_head &head)
{
    return {QStringLiteral("DCF下载报告/DCF download report"), head.dcf_file,
            head.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
}

QStringList report_cells(const report_row &row)
{
    const bool whole_node = row.index == 0;
    return {QString::number(row.node),
            whole_node ? QStringLiteral("-") : hex::prefixed(row.index, 4) + QLatin1Char(':') + hex::digits(row.sub, 2),
            row.name,
            row.before,
            row.after,
            row.verified ? QStringLiteral("是/yes") : QStringLiteral("否/no"),
            row.note};
}

QStringList node_cells(const node_summary &node)
{
    const auto part = [](const QString &value) { return value.isEmpty() ? QStringLiteral("-") : value; };
    const QString identity = QStringLiteral("厂商/vendor %1, 产品/product %2, 版本/revision %3, 序列号/serial %4")
                                 .arg(part(node.vendor), part(node.product), part(node.revision), part(node.serial));
    return {QString::number(node.node),
            hex::prefixed(canopen::identity_index, 4),
            QStringLiteral("身份/Identity"),
            QStringLiteral("-"),
            identity,
            node.outcome == node_summary::result::configured ? QStringLiteral("是/yes") : QStringLiteral("否/no"),
            result_text(node.outcome)};
}

bool save_report(const QString &path, const report_head &head, const std::vector<report_row> &rows, QString *error)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return save_workbook(path, head, rows, error);
    return save_csv(path, head, rows, error);
}

}  // namespace objects
