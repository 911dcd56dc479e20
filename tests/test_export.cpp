// Monitor export: the workbook read back with openpyxl (layout, texts, formats, borders, row
// heights), the file name handling, the closing question and the failure message.
#include "base/desktop_seams.h"
#include "tools/monitor_export.h"
#include "can/monitor_record.h"
#include "tools/xlsx_workbook.h"
#include "support/widgets.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList monitor_headers = {"数据/Data", "时间/Time", "状态/Status", "帧ID/Frame ID", "报文数据/Message",
                                     "注释/State"};
const int monitor_widths[6] = {90, 200, 100, 120, 250, 100};

// A table shaped like the monitor's: six headed columns, one row that exists from the start.
QTableWidget *make_monitor_table()
{
    auto *t = new QTableWidget(1, 6);
    t->setHorizontalHeaderLabels(monitor_headers);
    for (int k = 0; k < 6; ++k)
        t->setColumnWidth(k, monitor_widths[k]);
    return t;
}

// Fills the table the way the monitor places logged frames, one row per frame.
void log_frames(QTableWidget *t, int count)
{
    const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9, 10));
    for (int i = 0; i < count; ++i) {
        const uint8_t data[4] = {0x40, uint8_t(i), 0x60, 0x00};
        const QStringList texts = monitor_record(i + 1, when.addMSecs(i), i % 2 ? monitor_direction::received
                                                                                 : monitor_direction::sent,
                                                 0x601, data, 4, QStringLiteral("读取 <&> 位置\nRead"));
        if (i > 0)
            t->insertRow(t->rowCount());
        for (int k = 0; k < 6; ++k)
            t->setItem(i, k, new QTableWidgetItem(texts[k]));
    }
}

QString column_letter(int k) { return QString(QChar('A' + k)); }

}  // namespace

class test_export : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QVector<desktop_seams::box_request> boxes;
    QList<QUrl> opened;
    QMessageBox::StandardButton answer = QMessageBox::No;
    QStringList dialog_args;
    QString chosen;

    QJsonObject read_workbook(const QString &path, int sheet = 0)
    {
        const QString script = qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + "/tests/read_workbook.py";
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {script, path, QString::number(sheet)});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            qWarning() << p.readAllStandardError();
            return {};
        }
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

    // Checks everything that does not depend on the data: title, header row, column widths,
    // borders over A2:F(rows + 2) and nothing outside, row heights.
    void check_layout(const QJsonObject &book, int rows, int sheets = 1)
    {
        QVERIFY2(!book.isEmpty(), "workbook could not be read back");
        QCOMPARE(book["sheets"].toInt(), sheets);
        QCOMPARE(book["max_row"].toInt(), rows + 2);
        QCOMPARE(book["max_column"].toInt(), 6);
        QCOMPARE(book["merged"].toArray(), QJsonArray({"A1:F1"}));
        const QJsonObject cells = book["cells"].toObject();

        const QJsonObject a1 = cells["A1"].toObject();
        QCOMPARE(a1["value"].toString(), QStringLiteral("数据/Data"));
        QVERIFY(a1["wrap"].toBool());
        QCOMPARE(a1["horizontal"].toString(), QStringLiteral("center"));
        QCOMPARE(a1["vertical"].toString(), QStringLiteral("center"));
        QVERIFY(!a1["bold"].toBool());

        const QJsonObject heights = book["row_heights"].toObject();
        QCOMPARE(heights["1"].toDouble(), 40.0);
        for (int r = 2; r <= rows + 2; ++r)
            QCOMPARE(heights[QString::number(r)].toDouble(), 30.0);
        QVERIFY(!heights.contains(QString::number(rows + 3)));

        const QJsonObject widths = book["column_widths"].toObject();
        QVERIFY(!widths.contains("A"));
        for (int k = 1; k < 6; ++k) {
            // The file stores the width with the application's cell padding added.
            const double w = widths[column_letter(k)].toDouble();
            QVERIFY2(w >= monitor_widths[k] / 5 && w < monitor_widths[k] / 5 + 1, qPrintable(column_letter(k)));
        }

        const QJsonObject a2 = cells["A2"].toObject();
        QVERIFY(a2["value"].isNull());
        QVERIFY(!a2["bold"].toBool());
        QVERIFY(a2["fill"].isNull());
        for (int k = 1; k < 6; ++k) {
            const QJsonObject h = cells[column_letter(k) + "2"].toObject();
            QCOMPARE(h["value"].toString(), monitor_headers[k]);
            QVERIFY(h["bold"].toBool());
            QCOMPARE(h["fill"].toString(), QStringLiteral("FFBFBFBF"));
            QCOMPARE(h["horizontal"].toString(), QStringLiteral("center"));
            QCOMPARE(h["vertical"].toString(), QStringLiteral("center"));
        }

        for (auto it = cells.begin(); it != cells.end(); ++it) {
            const int row = it.key().mid(1).toInt();
            const QJsonArray sides = it.value().toObject()["borders"].toArray();
            for (const QJsonValue &s : sides) {
                if (row >= 2 && row <= rows + 2) {
                    QCOMPARE(s.toObject()["style"].toString(), QStringLiteral("thin"));
                    QCOMPARE(s.toObject()["color"].toString(), QStringLiteral("FF000000"));
                } else {
                    QVERIFY2(s.toObject()["style"].isNull(), qPrintable(it.key()));
                }
            }
        }
        for (int r = 2; r <= rows + 2; ++r)
            for (int k = 0; k < 6; ++k)
                QVERIFY2(cells.contains(column_letter(k) + QString::number(r)), "bordered cell missing");
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void init()
    {
        boxes.clear();
        opened.clear();
        dialog_args.clear();
        answer = QMessageBox::No;
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes << r;
            return answer;
        });
        desktop_seams::set_url_opener([this](const QUrl &u) {
            opened << u;
            return true;
        });
        desktop_seams::set_file_chooser([this](const desktop_seams::file_request &r) {
            dialog_args = QStringList{r.caption, r.start, r.filter};
            return chosen;
        });
        test_support::fresh_settings();
    }
    void cleanup()
    {
        desktop_seams::set_box_responder({});
        desktop_seams::set_url_opener({});
        desktop_seams::set_file_chooser({});
    }

    void cleared_table_exports_one_empty_bordered_row()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 3);
        table->clearContents();  // what the monitor's Clear leaves: row 0, no items
        table->setRowCount(1);
        chosen = dir.filePath("cleared");  // no extension: one is added
        answer = QMessageBox::No;
        QVERIFY(export_monitor_table(table.get(), nullptr));

        QCOMPARE(dialog_args, (QStringList{"Excle file", "./Velmora_data.xlsx", "Excel Files(*.xlsx)"}));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::question);
        QCOMPARE(boxes[0].title, QStringLiteral("完成"));
        // The file really written is named on a line of its own.
        QCOMPARE(boxes[0].text,
                 QStringLiteral("文件已导出，是否打开\n") + QDir::toNativeSeparators(dir.filePath("cleared.xlsx")));
        QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(boxes[0].parent == nullptr);
        QVERIFY(opened.isEmpty());  // answered No

        const QJsonObject book = read_workbook(dir.filePath("cleared.xlsx"));
        check_layout(book, 1);
        const QJsonObject cells = book["cells"].toObject();
        for (int k = 0; k < 6; ++k)
            QVERIFY(cells[column_letter(k) + "3"].toObject()["value"].isNull());

        // The next export starts in the folder of this one.
        chosen = dir.filePath("again");
        QVERIFY(export_monitor_table(table.get(), nullptr));
        QCOMPARE(dialog_args.value(1), dir.filePath("Velmora_data.xlsx"));
    }

    void hundred_frames_fill_rows_3_to_102_as_text()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 100);
        chosen = dir.filePath("frames.xlsx");
        answer = QMessageBox::Yes;
        QVERIFY(export_monitor_table(table.get(), nullptr));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(chosen)});

        const QJsonObject book = read_workbook(chosen);
        check_layout(book, 100);
        const QJsonObject cells = book["cells"].toObject();
        for (int r = 0; r < 100; ++r) {
            for (int k = 0; k < 6; ++k) {
                const QJsonObject c = cells[column_letter(k) + QString::number(r + 3)].toObject();
                const QString text = table->item(r, k)->text();
                if (text.isEmpty()) {
                    QVERIFY(c["value"].isNull());
                    continue;
                }
                QCOMPARE(c["value"].toString(), text);
                QCOMPARE(c["type"].toString(), QStringLiteral("s"));  // "1" stays text, not a number
            }
        }
        QCOMPARE(cells["A3"].toObject()["value"].toString(), QStringLiteral("1"));
        QCOMPARE(cells["A102"].toObject()["value"].toString(), QStringLiteral("100"));
        QCOMPARE(cells["F3"].toObject()["value"].toString(), QStringLiteral("读取 <&> 位置\nRead"));
    }

    void a_table_longer_than_a_sheet_goes_on_in_further_sheets()
    {
        // The real limit, with one column to keep it quick: the last row does not fit sheet one.
        table_snapshot tall;
        tall.headers = QStringList{"数据/Data"};
        tall.widths = {90};
        tall.rows = max_data_rows_per_sheet + 1;
        tall.cells = QVector<QString>(tall.rows, QStringLiteral("7"));
        QCOMPARE(max_data_rows_per_sheet + 2, 1048576);
        const QString path = dir.filePath("tall.xlsx");
        QString error;
        QVERIFY2(write_monitor_workbook(path, tall, &error), qPrintable(error));
        QProcess unzip;
        unzip.start(QStringLiteral("/usr/bin/python3"),
                    {"-c", "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                           "print(sorted(n for n in z.namelist() if n.startswith('xl/worksheets/sheet'))); "
                           "print(z.read('xl/worksheets/sheet2.xml').decode().count('<row '))",
                     path});
        QVERIFY(unzip.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(unzip.readAllStandardOutput()).trimmed(),
                 QStringLiteral("['xl/worksheets/sheet1.xml', 'xl/worksheets/sheet2.xml']\n3"));  // title, header, row

        // Every sheet with the same title and header rows, the rows in order across them.
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 5);
        const QString small = dir.filePath("split.xlsx");
        QVERIFY(write_monitor_workbook(small, snapshot_table(table.get()), &error, {}, 2));
        for (int sheet = 0; sheet < 3; ++sheet) {
            const QJsonObject book = read_workbook(small, sheet);
            const int rows = sheet < 2 ? 2 : 1;
            check_layout(book, rows, 3);
            const QJsonObject cells = book["cells"].toObject();
            for (int r = 0; r < rows; ++r)
                QCOMPARE(cells["A" + QString::number(r + 3)].toObject()["value"].toString(),
                         QString::number(sheet * 2 + r + 1));
        }
    }

    void replacing_asks_about_the_file_really_written()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 2);
        const QString written = dir.filePath("again.xlsx");
        QFile old(written);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        // Typed without the extension: the question names the .xlsx file, and No keeps it.
        chosen = dir.filePath("again");
        answer = QMessageBox::No;
        QVERIFY(!export_monitor_table(table.get(), nullptr));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::question);
        QCOMPARE(boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(boxes[0].text, QStringLiteral("文件已存在，是否替换\n") + QDir::toNativeSeparators(written));
        QCOMPARE(QFileInfo(written).size(), qint64(3));

        // Yes replaces it; typed with the extension it is asked the same way.
        boxes.clear();
        answer = QMessageBox::Yes;
        chosen = written;
        QVERIFY(export_monitor_table(table.get(), nullptr));
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(boxes[1].title, QStringLiteral("完成"));
        check_layout(read_workbook(written), 2);
    }

    void cancelled_dialog_does_nothing()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        chosen.clear();
        QVERIFY(!export_monitor_table(table.get(), nullptr));
        QVERIFY(boxes.isEmpty());
        QVERIFY(opened.isEmpty());
        QVERIFY(!QFile::exists(QStringLiteral("./Velmora_data.xlsx")));
    }

    void write_failure_is_reported_not_offered_to_open()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 5);
        QWidget window;
        // A folder that does not exist cannot be written even by a privileged user.
        chosen = dir.filePath("missing/frames.xlsx");
        QVERIFY(!export_monitor_table(table.get(), &window));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::critical);
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QVERIFY2(boxes[0].text.contains(chosen), qPrintable(boxes[0].text));
        QVERIFY(boxes[0].parent == &window);
        QVERIFY(opened.isEmpty());

        // A full disk: the file opens but no byte of it can be written.
        QString error;
        QVERIFY(!write_monitor_workbook(QStringLiteral("/dev/full"), snapshot_table(table.get()), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(QStringLiteral("/dev/full")).exists());  // never removed
    }

    void file_names_end_in_the_workbook_extension()
    {
        QCOMPARE(workbook_file_name("/tmp/a"), QStringLiteral("/tmp/a.xlsx"));
        QCOMPARE(workbook_file_name("/tmp/a.xlsx"), QStringLiteral("/tmp/a.xlsx"));
        QCOMPARE(workbook_file_name("/tmp/a.XLSX"), QStringLiteral("/tmp/a.XLSX"));
        // The content is not the old binary format, so that name must not be kept.
        QCOMPARE(workbook_file_name("/tmp/a.xls"), QStringLiteral("/tmp/a.xls.xlsx"));
    }

    void writer_reports_progress_up_to_the_last_row()
    {
        std::unique_ptr<QTableWidget> table(make_monitor_table());
        log_frames(table.get(), 5000);
        const table_snapshot snap = snapshot_table(table.get());
        QCOMPARE(snap.rows, 5000);
        QCOMPARE(snap.cell(4999, 0), QStringLiteral("5000"));
        QVector<int> seen;
        QString error;
        QVERIFY(write_monitor_workbook(dir.filePath("progress.xlsx"), snap, &error,
                                       [&seen](int done, int total) {
                                           QCOMPARE(total, 5000);
                                           seen << done;
                                       }));
        QVERIFY(error.isEmpty());
        QVERIFY(!seen.isEmpty());
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.last(), 5000);
    }
};

QTEST_MAIN(test_export)
#include "test_export.moc"
