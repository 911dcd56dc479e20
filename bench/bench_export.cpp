// Exports a monitor-shaped table of 100,000 frames through the monitor's export path, then has
// openpyxl build the same workbook layout from the same texts, and prints both times.
//   bench_export [rows]
#include "base/desktop_seams.h"
#include "tools/monitor_export.h"
#include "can/monitor_record.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char *const headers[6] = {"数据/Data", "时间/Time", "状态/Status", "帧ID/Frame ID", "报文数据/Message", "注释/State"};
const int widths[6] = {90, 200, 100, 120, 250, 100};

// The same texts as the table, built in Python; only building and saving the workbook is timed.
const char *const openpyxl_script = R"PY(
import sys, time, json
from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

path, rows = sys.argv[1], int(sys.argv[2])
headers = json.loads(sys.argv[3])
widths = json.loads(sys.argv[4])
data = [l.rstrip("\n").split("\t") for l in open(sys.argv[5], encoding="utf-8")]
data = [[c.replace("\\n", "\n") for c in r] for r in data]

start = time.perf_counter()
wb = Workbook()
ws = wb.active
letters = "ABCDEF"
ws["A1"] = headers[0]
ws.row_dimensions[1].height = 40
ws.merge_cells("A1:F1")
ws["A1"].alignment = Alignment(wrap_text=True, horizontal="center", vertical="center")
fill = PatternFill("solid", fgColor="BFBFBF")
centre = Alignment(horizontal="center", vertical="center")
side = Side(style="thin", color="000000")
border = Border(left=side, right=side, top=side, bottom=side)
bold = Font(bold=True)
for k in range(1, 6):
    ws.column_dimensions[letters[k]].width = widths[k] // 5
    c = ws.cell(row=2, column=k + 1, value=headers[k])
    c.font = bold
    c.fill = fill
    c.alignment = centre
for r, row in enumerate(data):
    for k, text in enumerate(row):
        ws.cell(row=r + 3, column=k + 1, value=text)
for row in ws.iter_rows(min_row=2, max_row=rows + 2, max_col=6):
    for c in row:
        c.border = border
for r in range(2, rows + 3):
    ws.row_dimensions[r].height = 30
wb.save(path)
print(time.perf_counter() - start)
)PY";

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;

    QTableWidget table(rows, 6);
    QStringList header_list;
    for (const char *h : headers)
        header_list << QString::fromUtf8(h);
    table.setHorizontalHeaderLabels(header_list);
    for (int k = 0; k < 6; ++k)
        table.setColumnWidth(k, widths[k]);
    QFile tsv(dir.filePath("rows.tsv"));
    tsv.open(QIODevice::WriteOnly);
    const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9, 10));
    for (int i = 0; i < rows; ++i) {
        const uint8_t data[8] = {0x40, uint8_t(i), uint8_t(i >> 8), 0x60, 0, 0, 0, 0};
        const QStringList texts =
            monitor_record(i + 1, when.addMSecs(i), i % 2 ? monitor_direction::received : monitor_direction::sent,
                           0x601, data, 8, QStringLiteral("读取位置\nRead position"));
        for (int k = 0; k < 6; ++k)
            table.setItem(i, k, new QTableWidgetItem(texts[k]));
        tsv.write(QStringList(texts).replaceInStrings("\n", "\\n").join('\t').toUtf8() + '\n');
    }
    tsv.close();

    const QString ours = dir.filePath("ours.xlsx");
    desktop_seams::set_file_chooser([&](const desktop_seams::file_request &) { return ours; });
    desktop_seams::set_box_responder([](const desktop_seams::box_request &r) {
        if (r.kind != desktop_seams::box_kind::question)
            std::fprintf(stderr, "export failed: %s\n", qPrintable(r.text));
        return QMessageBox::No;
    });
    QElapsedTimer timer;
    timer.start();
    const bool ok = export_monitor_table(&table, nullptr);
    const double ours_s = timer.nsecsElapsed() / 1e9;
    if (!ok)
        return 1;

    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {"-c", QString::fromUtf8(openpyxl_script), dir.filePath("openpyxl.xlsx"), QString::number(rows),
              R"(["数据/Data","时间/Time","状态/Status","帧ID/Frame ID","报文数据/Message","注释/State"])",
              "[90,200,100,120,250,100]", tsv.fileName()});
    if (!py.waitForFinished(-1) || py.exitCode() != 0) {
        std::fprintf(stderr, "openpyxl failed: %s\n", py.readAllStandardError().constData());
        return 1;
    }
    const double py_s = py.readAllStandardOutput().trimmed().toDouble();

    std::printf("rows: %d\n", rows);
    std::printf("export (snapshot + background write): %.3f s, %lld bytes\n", ours_s,
                static_cast<long long>(QFileInfo(ours).size()));
    std::printf("openpyxl (build + save only):        %.3f s, %lld bytes\n", py_s,
                static_cast<long long>(QFileInfo(dir.filePath("openpyxl.xlsx")).size()));
    std::printf("ratio openpyxl / export: %.1fx\n", py_s / ours_s);
    return 0;
}
