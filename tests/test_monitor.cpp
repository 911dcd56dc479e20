// The frame monitor window: its table, how texts become rows, the logging switch shared by
// both windows, clearing and closing, and the main window's Monitor button.
#include "base/screen_scale.h"
#include "base/shared_values.h"
#include "app/velmora.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "custom_protocol/custom_exchange.h"
#include "support/test_bus.h"
#include "tools/monitor.h"
#include "tools/monitor_export.h"
#include "base/desktop_seams.h"
#include "can/monitor_record.h"

#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace test_support;

namespace {

void feed(monitor &m, int count, int first = 0)
{
    for (int i = first; i < first + count; ++i)
        m.recedata(QStringLiteral("t%1").arg(i));
}

QPushButton *button(monitor &m, const char *name) { return m.findChild<QPushButton *>(QLatin1String(name)); }

}  // namespace

class test_monitor : public QObject {
    Q_OBJECT

private slots:
    void init() { reset_shared_values(); }

    void form_and_table_are_set_up()
    {
        monitor m;
        QCOMPARE(m.windowTitle(), QStringLiteral("数据监控"));
        QCOMPARE(m.findChild<QLabel *>(QStringLiteral("label"))->text(), QStringLiteral("数据监控\nMonitor"));
        QCOMPARE(m.findChild<QLabel *>(QStringLiteral("label"))->font().pointSize(), 18);
        const struct { const char *name; const char *text; } buttons[] = {
            {"pushButton", "开启\nON"}, {"pushButton_3", "清空\nClear"}, {"pushButton_2", "停止\nOFF"},
            {"close", "关闭\nClose"},   {"export_2", "导出\nExport"},
        };
        for (const auto &b : buttons) {
            QPushButton *p = button(m, b.name);
            QVERIFY2(p, b.name);
            QCOMPARE(p->text(), QString::fromUtf8(b.text));
        }
        QVERIFY(button(m, "pushButton")->minimumHeight() >= 35);

        QTableWidget *t = m.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
        QVERIFY(t);
        QCOMPARE(t->columnCount(), 6);
        QCOMPARE(t->rowCount(), 1);
        const QString headers[6] = {QStringLiteral("数据/Data"),     QStringLiteral("时间/Time"),
                                    QStringLiteral("状态/Status"),   QStringLiteral("帧ID/Frame ID"),
                                    QStringLiteral("报文数据/Message"), QStringLiteral("注释/State")};
        const int widths[5] = {90, 200, 100, 120, 250};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(t->horizontalHeaderItem(c)->text(), headers[c]);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(t->columnWidth(c), widths[c]);
        QVERIFY(t->horizontalHeader()->stretchLastSection());
        QCOMPARE(t->rowHeight(0), 50);
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(t->focusPolicy(), Qt::NoFocus);
        QVERIFY(t->verticalHeader()->isHidden());

        const int dpi = static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInch());
        QCOMPARE(m.size(), QSize(1076, monitor::height_for_dpi(dpi)));
        QCOMPARE(m.minimumSize(), m.size());  // a fixed size, like every other window
        QCOMPARE(m.maximumSize(), m.size());
        QCOMPARE(monitor::height_for_dpi(96), 553);
        QCOMPARE(monitor::height_for_dpi(120), 691);   // 553 * 1.25 = 691.25
        QCOMPARE(monitor::height_for_dpi(144), 884);   // 884.8
        QCOMPARE(monitor::height_for_dpi(168), 1023);  // 1023.05
        QCOMPARE(monitor::height_for_dpi(192), 1106);
        QCOMPARE(monitor::height_for_dpi(200), 553);
        // The fixed-size forms: the node window, the custom-protocol window, the CANopen window
        // (which grows taller, like the monitor).
        const struct { int dpi; QSize node, custom, canopen; } forms[] = {
            {96, {350, 640}, {730, 610}, {870, 420}},       {120, {437, 800}, {912, 762}, {1087, 525}},
            {144, {525, 960}, {1095, 915}, {1305, 672}},    {168, {612, 1120}, {1277, 1067}, {1522, 777}},
            {192, {700, 1280}, {1460, 1220}, {1740, 840}},  {0, {350, 640}, {730, 610}, {870, 420}},
        };
        for (const auto &f : forms) {
            QCOMPARE(size_for_dpi(QSize(350, 640), f.dpi), f.node);
            QCOMPARE(size_for_dpi(QSize(730, 610), f.dpi), f.custom);
            QCOMPARE(size_for_dpi(QSize(870, 420), f.dpi, dpi_height::taller), f.canopen);
        }
    }

    void six_texts_make_a_row()
    {
        monitor m;
        QTableWidget *t = m.table();
        feed(m, 6);
        QCOMPARE(t->rowCount(), 1);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(t->item(0, c)->text(), QStringLiteral("t%1").arg(c));
        feed(m, 1, 6);
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(t->item(1, 0)->text(), QStringLiteral("t6"));
        QCOMPARE(t->rowHeight(1), 50);
        feed(m, 11, 7);
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(t->item(2, 5)->text(), QStringLiteral("t17"));
        QCOMPARE(m.cell_count(), 18);

        // A logged frame with no payload leaves its message column empty.
        monitor_open = 1;
        const QStringList record = monitor_record(4, QDateTime::currentDateTime(), monitor_direction::received, 0x5C1,
                                                  nullptr, 0, QString());
        for (const QString &text : record)
            m.recedata(text);
        QCOMPARE(t->rowCount(), 4);
        QCOMPARE(t->item(3, 0)->text(), QStringLiteral("4"));
        QCOMPARE(t->item(3, 3)->text(), QStringLiteral("5C1"));
        QCOMPARE(t->item(3, 4)->text(), QString());
        QCOMPARE(t->item(3, 2)->text(), QStringLiteral("接收\nReceive"));
    }

    void cells_behave_as_ordinary_items_and_the_view_follows_the_end()
    {
        monitor m;
        m.resize(1076, 553);
        m.show();
        QTableWidget *t = m.table();
        feed(m, 600);
        QCoreApplication::processEvents();
        QCOMPARE(t->rowCount(), 100);
        QVERIFY(t->verticalScrollBar()->maximum() > 0);
        QCOMPARE(t->verticalScrollBar()->value(), t->verticalScrollBar()->maximum());

        // What readers of the table see (the export, the view) is the placed text, and a text
        // changed later is the one shown.
        QCOMPARE(t->model()->data(t->model()->index(42, 3)).toString(), QStringLiteral("t255"));
        QTableWidgetItem *cell = t->item(42, 3);
        cell->setText(QStringLiteral("changed"));
        QCOMPARE(t->item(42, 3)->text(), QStringLiteral("changed"));
        QCOMPARE(t->model()->data(t->model()->index(42, 3)).toString(), QStringLiteral("changed"));

        // Equal texts in different rows stay independent cells.
        m.recedata(QStringLiteral("same"));
        for (int i = 0; i < 5; ++i)
            m.recedata(QStringLiteral("x"));
        m.recedata(QStringLiteral("same"));
        for (int i = 0; i < 5; ++i)
            m.recedata(QStringLiteral("x"));
        t->item(100, 3)->setText(QStringLiteral("only here"));
        QCOMPARE(t->item(101, 3)->text(), QStringLiteral("x"));
    }

    void clear_leaves_one_empty_row_and_restarts_numbering()
    {
        monitor m;
        feed(m, 30);
        QCOMPARE(m.table()->rowCount(), 5);
        monitor_seq = 17;
        button(m, "pushButton_3")->click();
        QTableWidget *t = m.table();
        QCOMPARE(t->rowCount(), 1);
        for (int c = 0; c < 6; ++c)
            QVERIFY(!t->item(0, c) || t->item(0, c)->text().isEmpty());
        QCOMPARE(t->horizontalHeaderItem(0)->text(), QStringLiteral("数据/Data"));
        QCOMPARE(t->rowHeight(0), 50);
        QCOMPARE(monitor_seq, 1);
        QCOMPARE(m.cell_count(), 0);
        feed(m, 7);
        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("t0"));
        QCOMPARE(t->item(1, 0)->text(), QStringLiteral("t6"));
    }

    void logging_pauses_at_the_row_limit_and_clear_goes_on()
    {
        monitor m, other;
        monitor_open = 1;
        QCOMPARE(m.row_limit(), 1000000);
        QVERIFY(m.findChild<QLabel *>(QStringLiteral("row_limit"))->text().endsWith(QStringLiteral("1000000")));
        m.set_row_limit(3);
        QLabel *notice = m.findChild<QLabel *>(QStringLiteral("limit_notice"));
        QVERIFY(!notice->isVisibleTo(&m));
        feed(m, 30);  // three rows, then two records with nowhere to go
        QTableWidget *t = m.table();
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(t->item(2, 5)->text(), QStringLiteral("t17"));  // nothing logged is lost
        QVERIFY(m.full());
        QVERIFY(notice->isVisibleTo(&m));
        // The other protocol's window has rows to spare and goes on logging.
        QCOMPARE(monitor_capture, 1);
        QVERIFY(monitor_logging_on(1));
        feed(other, 12);
        QCOMPARE(other.table()->rowCount(), 2);
        QVERIFY(!other.full());

        button(m, "pushButton_3")->click();
        QVERIFY(!m.full() && !notice->isVisibleTo(&m));
        feed(m, 6);
        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("t0"));
        QCOMPARE(other.table()->rowCount(), 2);

        // Stopped by hand, a cleared window stays stopped.
        feed(m, 30);
        QVERIFY(m.full());
        button(m, "pushButton_2")->click();
        button(m, "pushButton_3")->click();
        QCOMPARE(monitor_capture, 0);
    }

    void export_at_the_row_limit_keeps_every_row_and_goes_on()
    {
        monitor m;
        m.set_row_limit(3);
        monitor_open = 1;
        auto log = [&m](int seq) {
            for (const QString &text : monitor_record(seq, QDateTime::currentDateTime(), monitor_direction::sent,
                                                      0x600 + seq, nullptr, 0, QStringLiteral("f%1").arg(seq)))
                m.recedata(text);
        };
        for (int seq = 1; seq <= 5; ++seq)
            log(seq);
        QVERIFY(m.full());

        QTemporaryDir dir;
        QString chosen;
        desktop_seams::set_file_chooser([&](const desktop_seams::file_request &) { return chosen; });
        desktop_seams::set_box_responder([](const desktop_seams::box_request &) { return QMessageBox::No; });
        auto cleanup = qScopeGuard([] {
            desktop_seams::set_file_chooser(nullptr);
            desktop_seams::set_box_responder(nullptr);
        });

        // An export that writes nothing (the file question cancelled) keeps the rows and the pause.
        chosen.clear();
        button(m, "export_2")->click();
        QVERIFY(m.full());
        QCOMPARE(m.table()->rowCount(), 3);

        chosen = dir.filePath(QStringLiteral("full.xlsx"));
        button(m, "export_2")->click();
        QVERIFY(!m.full());
        QVERIFY(!m.findChild<QLabel *>(QStringLiteral("limit_notice"))->isVisibleTo(&m));
        QCOMPARE(m.table()->rowCount(), 1);
        QCOMPARE(m.cell_count(), 0);
        log(9);
        QCOMPARE(m.table()->item(0, 0)->text(), QStringLiteral("9"));
        QCOMPARE(m.table()->item(0, 5)->text(), QStringLiteral("f9"));

        // The workbook (title, header, rows from the third line) holds the three rows logged.
        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/tests/read_workbook.py"), chosen});
        QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
        const QJsonObject book = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
        QCOMPARE(book[QStringLiteral("max_row")].toInt(), 5);
        const QJsonObject cells = book[QStringLiteral("cells")].toObject();
        for (int seq = 1; seq <= 3; ++seq) {
            const QString row = QString::number(seq + 2);
            QCOMPARE(cells[QStringLiteral("A") + row].toObject()[QStringLiteral("value")].toVariant().toString(),
                     QString::number(seq));
            QCOMPARE(cells[QStringLiteral("F") + row].toObject()[QStringLiteral("value")].toString(),
                     QStringLiteral("f%1").arg(seq));
        }

        // Below the limit an export leaves the table as it is.
        chosen = dir.filePath(QStringLiteral("partial.xlsx"));
        button(m, "export_2")->click();
        QCOMPARE(m.table()->item(0, 0)->text(), QStringLiteral("9"));

        // Cleared while the export asks its last question, and logging again: those rows are in
        // no file and stay.
        for (int seq = 10; seq <= 13; ++seq)
            log(seq);
        QVERIFY(m.full());
        desktop_seams::set_box_responder([&](const desktop_seams::box_request &) {
            button(m, "pushButton_3")->click();
            log(20);
            return QMessageBox::No;
        });
        chosen = dir.filePath(QStringLiteral("again.xlsx"));
        button(m, "export_2")->click();
        QCOMPARE(m.table()->item(0, 0)->text(), QStringLiteral("20"));
    }

    void windows_keep_their_own_fill_position()
    {
        monitor a, b;
        feed(a, 18);
        feed(b, 6);
        QCOMPARE(b.table()->rowCount(), 1);
        QCOMPARE(b.table()->item(0, 5)->text(), QStringLiteral("t5"));
        // Clearing one window leaves the other's rows and place alone.
        button(a, "pushButton_3")->click();
        feed(b, 1, 6);
        QCOMPARE(b.table()->item(1, 0)->text(), QStringLiteral("t6"));
    }

    void capture_switch_is_shared_and_close_resets()
    {
        monitor custom_window, canopen_window;
        custom_window.show();
        canopen_window.show();
        monitor_open = 1;

        auto bus = install_scripted_bus();
        CloseDevice(3, 0);
        open_adapter();
        QCOMPARE(adapter_error, 0);
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x5C1, {0x01})};
        };
        auto to_custom = [&](const QString &t) { custom_window.recedata(t); };

        button(canopen_window, "pushButton_2")->click();  // OFF in the other window
        QCOMPARE(monitor_capture, 0);
        QVERIFY(custom_exchange(to_custom, 0x641, write_enable_state(true)));
        QCOMPARE(custom_window.cell_count(), 0);
        QCOMPARE(reply_length, 1);

        button(custom_window, "pushButton")->click();  // ON here
        QCOMPARE(monitor_capture, 1);
        QVERIFY(custom_exchange(to_custom, 0x641, write_enable_state(true)));
        QCOMPARE(custom_window.cell_count(), 12);
        QCOMPARE(monitor_seq, 3);

        button(custom_window, "close")->click();
        QVERIFY(!custom_window.isVisible());
        QCOMPARE(monitor_open, 0);
        QCOMPARE(monitor_seq, 1);
        QCOMPARE(custom_window.table()->rowCount(), 1);
        QVERIFY(!custom_window.table()->item(0, 0) || custom_window.table()->item(0, 0)->text().isEmpty());
        QCOMPARE(custom_window.cell_count(), 0);

        // Closed: nothing is logged even with capture on.
        QVERIFY(custom_exchange(to_custom, 0x641, write_enable_state(true)));
        QCOMPARE(custom_window.cell_count(), 0);

        // Reopened: an empty table and numbering from 1.
        custom_window.show();
        monitor_open = 1;
        QVERIFY(custom_exchange(to_custom, 0x641, write_enable_state(true)));
        QCOMPARE(custom_window.table()->item(0, 0)->text(), QStringLiteral("1"));
        QCOMPARE(custom_window.table()->item(1, 0)->text(), QStringLiteral("2"));

        // Closing from the window frame behaves the same.
        custom_window.close();
        QCOMPARE(custom_window.table()->rowCount(), 1);
        QCOMPARE(monitor_seq, 1);
        QCOMPARE(monitor_open, 0);

        CloseDevice(3, 0);
        uninstall_bus();
    }

    void export_button_writes_the_shown_table()
    {
        monitor window;
        for (const QString &text : monitor_record(1, QDateTime::currentDateTime(), monitor_direction::sent, 0x641,
                                                  nullptr, 0, QStringLiteral("使能\nEnable")))
            window.recedata(text);
        QTemporaryDir dir;
        const QString chosen = dir.filePath(QStringLiteral("frames"));
        desktop_seams::set_file_chooser([&](const desktop_seams::file_request &) { return chosen; });
        int questions = 0;
        desktop_seams::set_box_responder([&](const desktop_seams::box_request &r) {
            questions += r.title == QStringLiteral("完成");
            return QMessageBox::No;
        });
        window.findChild<QPushButton *>(QStringLiteral("export_2"))->click();
        desktop_seams::set_file_chooser(nullptr);
        desktop_seams::set_box_responder(nullptr);
        QCOMPARE(questions, 1);
        QVERIFY(QFileInfo(chosen + QStringLiteral(".xlsx")).size() > 0);
    }

    void monitor_button_shows_the_protocols_monitor()
    {
        install_scripted_bus();
        Velmora main_window;
        QVERIFY(custom_monitor && canopen_monitor && custom_monitor != canopen_monitor);
        device_open = 1;
        node_connected = 1;
        protocol_name = QStringLiteral("CAN自定义");
        QMetaObject::invokeMethod(&main_window, "on_monitoring_clicked");
        QVERIFY(custom_monitor->isVisible());
        QVERIFY(!canopen_monitor->isVisible());
        QCOMPARE(monitor_open, 1);
        custom_monitor->close();

        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        QMetaObject::invokeMethod(&main_window, "on_monitoring_clicked");
        QVERIFY(canopen_monitor->isVisible());
        QVERIFY(!custom_monitor->isVisible());
        canopen_monitor->close();
        uninstall_bus();
    }
};

QTEST_MAIN(test_monitor)
#include "test_monitor.moc"
