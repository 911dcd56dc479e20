// The object dictionary window on the simulated joint, the way a commissioning engineer uses
// it: open the joint's EDS, Read all, change a manufacturer object (a value beyond its limit is
// refused before anything is sent), Save parameters, reset the node, find the value still
// there, export a DCF; read the device name; the custom-protocol register page; the launcher.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "app/velmora.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "can/exchange.h"
#include "canopen/sdo_bus_link.h"
#include "objects/dcf_diff_model.h"
#include "objects/eds.h"
#include "objects/object_dictionary.h"
#include "objects/od_actions.h"
#include "objects/od_tree_model.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/monitor.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace test_support;

namespace {

// Every readable object of the joint's data sheet as node reads it now, by index and sub.
std::map<int, QString> snapshot(int node)
{
    QFile f(Object_dictionary::simulated_joint_eds());
    f.open(QIODevice::ReadOnly);
    objects::eds_document d = objects::parse_eds(f.readAll()).document;
    objects::read_all(d, canopen::exchange_sdo_link(adapter_bus_ops(), node, 100, {}), node, nullptr);
    std::map<int, QString> values;
    for (const objects::od_object &o : d.objects)
        for (const objects::od_entry &e : o.entries)
            values[e.index << 8 | e.sub] = e.parameter_value;
    return values;
}

}  // namespace

class test_object_dictionary_window : public QObject {
    Q_OBJECT

private:
    Object_dictionary *window = nullptr;
    QStringList boxes;

    QLineEdit *field(const char *name) { return child<QLineEdit>(window, name); }
    QString status() { return child<QLabel>(window, "status")->text(); }
    void press(const char *name) { child<QPushButton>(window, name)->click(); }
    void address(const char *index, const char *sub, const char *type)
    {
        field("index")->setText(QLatin1String(index));
        field("subindex")->setText(QLatin1String(sub));
        child<QComboBox>(window, "type")->setCurrentText(QLatin1String(type));
    }
    const objects::od_entry *entry(uint16_t index, uint8_t sub)
    {
        return objects::find_entry(window->model()->document(), index, sub);
    }
    void reset_node()
    {
        const uint8_t nmt[2] = {0x81, 0x01};
        QVERIFY(send_frame(0x000, nmt, 2, 0));
    }

private slots:
    void init()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        QVERIFY(open_canopen_node_1());
        boxes.clear();
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes << r.text;
            return r.kind == desktop_seams::box_kind::question ? QMessageBox::Yes : QMessageBox::Ok;
        });
        canopen_monitor = new monitor();
        custom_monitor = new monitor();
        monitor_open = 1;
        window = new Object_dictionary();
    }

    void cleanup()
    {
        delete window;
        delete canopen_monitor;
        delete custom_monitor;
        canopen_monitor = custom_monitor = nullptr;
        desktop_seams::set_box_responder(nullptr);
        desktop_seams::set_file_chooser(nullptr);
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void commissioning_record_on_the_simulated_joint()
    {
        // Shown on the simulated bus, the window offers the simulated joint's data sheet.
        qputenv("VELMORA_CAN", "sim");
        window->show();
        qunsetenv("VELMORA_CAN");
        QVERIFY(entry(0x2110, 0));
        QCOMPARE(child<QLabel>(window, "eds_file")->text(), QStringLiteral("velmora_joint.eds"));

        press("read_all");
        QVERIFY2(status().contains(QLatin1String("refused 0")), qPrintable(status()));
        QCOMPARE(entry(0x1008, 0)->parameter_value, QStringLiteral("Velmora simulated joint"));
        QCOMPARE(entry(0x1000, 0)->parameter_value, QStringLiteral("0x00020192"));
        QCOMPARE(entry(0x1400, 1)->parameter_value, QStringLiteral("0x00000201"));  // $NODEID+0x200
        QVERIFY(!entry(0x1400, 1)->differs);
        QVERIFY(!entry(0x2100, 0)->differs);
        // Opening the data sheet again keeps what was read.
        QVERIFY(window->load_eds(Object_dictionary::simulated_joint_eds()));
        QCOMPARE(entry(0x1008, 0)->parameter_value, QStringLiteral("Velmora simulated joint"));
        QVERIFY2(status().contains(QLatin1String("kept")), qPrintable(status()));
        // Every SDO frame went into the capturing CANopen monitor.
        QVERIFY(canopen_monitor->cell_count() > 6 * 2 * 60);

        // Beyond HighLimit: refused before sending, so the monitor gets no new row.
        const int32_t cells = canopen_monitor->cell_count();
        address("0x2100", "0", "UNSIGNED16");
        field("value")->setText(QStringLiteral("10001"));
        press("write");
        QVERIFY(status().contains(QLatin1String("above the high limit 10000")));
        QCOMPARE(canopen_monitor->cell_count(), cells);
        field("value")->setText(QStringLiteral("1234"));
        press("write");
        QVERIFY(entry(0x2100, 0)->differs);
        // The read values and the bold entry that differs from its default fit too.
        const QStringList cut = cut_texts_in_every_language(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

        press("save_params");
        QCOMPARE(boxes.size(), 2);  // the confirmation, then the result
        QVERIFY(status().contains(QLatin1String("done")));
        reset_node();
        field("value")->clear();
        press("read");
        QCOMPARE(field("value")->text(), QStringLiteral("1234"));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("joint1.dcf"));
        desktop_seams::set_file_chooser([&](const desktop_seams::file_request &r) {
            return r.mode == desktop_seams::file_mode::save ? path : QString();
        });
        press("export_dcf");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const objects::eds_result dcf = objects::parse_eds(f.readAll());
        QVERIFY(dcf.ok);
        QCOMPARE(dcf.document.node_id, 1);
        QCOMPARE(objects::find_entry(dcf.document, 0x2100, 0)->parameter_value, QStringLiteral("1234"));
        QCOMPARE(objects::find_entry(dcf.document, 0x1008, 0)->parameter_value, QStringLiteral("Velmora simulated joint"));

        // Restore defaults: confirmed, applied at the next reset.
        press("restore_params");
        reset_node();
        press("read");
        QCOMPARE(field("value")->text(), QStringLiteral("100"));
    }

    void single_objects_and_refusals()
    {
        // Without a data sheet the built-in standard objects fill the tree.
        QVERIFY(entry(0x6041, 0));
        QVERIFY(!entry(0x2100, 0));
        // A DCF of nothing read is not exported without a word.
        QTemporaryDir dir;
        desktop_seams::set_file_chooser([&dir](const desktop_seams::file_request &) { return dir.filePath(QStringLiteral("empty.dcf")); });
        press("export_dcf");
        QVERIFY(boxes.value(0).contains(QLatin1String("would hold 0 values")));
        QVERIFY(status().contains(QLatin1String("0 values")));

        address("0x1008", "0", "VISIBLE_STRING");
        press("read");
        QCOMPARE(field("value")->text(), QStringLiteral("Velmora simulated joint"));

        address("0x3000", "0", "UNSIGNED32");
        press("read");
        QVERIFY2(status().contains(QLatin1String("(0x06020000)")), qPrintable(status()));
        // The abort's row in the monitor says why.
        const int last_row = canopen_monitor->cell_count() / 6 - 1;
        QVERIFY(canopen_monitor->table()->item(last_row, 5)->text().contains(QLatin1String("object does not exist")));
        // The built-in list knows 0x6041 is read-only: refused without a frame.
        const int32_t cells = canopen_monitor->cell_count();
        address("0x6041", "0", "UNSIGNED16");
        field("value")->setText(QStringLiteral("6"));
        press("write");
        QVERIFY(status().contains(QLatin1String("read-only")));
        address("0x10000", "0", "UNSIGNED16");
        press("read");
        QVERIFY(status().contains(QLatin1String("Index or subindex")));
        QCOMPARE(canopen_monitor->cell_count(), cells);

        // A broken data sheet names its line and leaves the tree as it was.
        QFile bad(dir.filePath(QStringLiteral("bad.eds")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("[1000]\nParameterName=Device type\nDataType=0x0007\nAccessType=read\n");
        bad.close();
        QVERIFY(!window->load_eds(bad.fileName()));
        QVERIFY(status().contains(QLatin1String("line 4")));
        QVERIFY(entry(0x6041, 0));

        // A node that never answers: one step's timeout, then the SDO timeout abort.
        child<QSpinBox>(window, "node")->setValue(5);
        address("0x1000", "0", "UNSIGNED32");
        press("read");
        QVERIFY(status().contains(QLatin1String("(0x05040000)")));
        child<QSpinBox>(window, "node")->setValue(1);

        // Indices and subindices are hex whichever way they are written, and show as such.
        address("6064", "", "INTEGER32");
        press("read");
        QCOMPARE(field("index")->text(), QStringLiteral("0x6064"));
        QVERIFY2(status().contains(QLatin1String("read 4 bytes")), qPrintable(status()));
        address("1018h", "4", "UNSIGNED32");
        press("read");
        QCOMPARE(field("value")->text(), QStringLiteral("65537"));  // serial 0x00010001
        address("0x1018", "10", "UNSIGNED32");
        press("read");
        QVERIFY(status().contains(QLatin1String("(0x06090011)")));  // sub 0x10 does not exist

        // A joint without CANopen firmware is not asked at all.
        canopen_supported = 0;
        address("0x1008", "0", "VISIBLE_STRING");
        const int32_t cells_before = canopen_monitor->cell_count();
        press("read");
        QVERIFY(status().contains(QLatin1String("no CANopen")));
        QCOMPARE(canopen_monitor->cell_count(), cells_before);
    }

    void discovery_finds_every_canopen_node()
    {
        // Node 4 is a standard CANopen drive of another make: the drive's own protocol gets no
        // answer from it. Node 6 is only a heartbeat.
        sim::simulator::instance().configure({{1, 10231}, {4, 10231, 0, 0, false}, {6, 10231, 20}});
        ClearBuffer(3, 0, 0);
        const uint8_t firmware_read[2] = {0x00, 0x01};
        QVERIFY(send_frame(0x644, firmware_read, 2, 0));
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);
        QTest::qWait(60);

        press("discover");
        QTRY_VERIFY(!window->job_running());
        auto *nodes = child<QTableWidget>(window, "nodes");
        QCOMPARE(nodes->rowCount(), 3);
        const auto cell = [nodes](int row, int column) { return nodes->item(row, column)->text(); };
        QCOMPARE(cell(1, 0), QStringLiteral("4"));
        QCOMPARE(cell(1, 1), QStringLiteral("0x00020192"));
        QCOMPARE(cell(1, 5), QStringLiteral("0x00010004"));
        QCOMPARE(cell(1, 6), QStringLiteral("Velmora simulated joint"));
        QCOMPARE(cell(1, 7), QStringLiteral("未知/Unknown"));  // it sends no heartbeat
        QCOMPARE(cell(2, 0), QStringLiteral("6"));
        QCOMPARE(cell(2, 6), QStringLiteral("无SDO应答/no SDO answer"));
        QCOMPARE(cell(2, 7), QStringLiteral("运行/Operational"));
        // The found node becomes the window's, not the control windows'.
        nodes->setCurrentCell(1, 0);
        QCOMPARE(child<QSpinBox>(window, "node")->value(), 4);
        QCOMPARE(sdo_request_id, 0x601);
        field("index")->setText(QStringLiteral("1008"));
        child<QComboBox>(window, "type")->setCurrentText(QStringLiteral("VISIBLE_STRING"));
        press("read");
        QCOMPARE(field("value")->text(), QStringLiteral("Velmora simulated joint"));
    }

    void dcf_download_to_two_nodes()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        // The DCF: the data sheet's defaults, $NODEID formulas as they are, and a few values of
        // its own; 20000 lies beyond what 0x2100 takes. Node 2 already has the profile velocity.
        QFile eds(Object_dictionary::simulated_joint_eds());
        QVERIFY(eds.open(QIODevice::ReadOnly));
        objects::eds_document dcf = objects::parse_eds(eds.readAll()).document;
        const std::map<int, QString> own = {{0x210000, "20000"},  {0x608100, "5000"}, {0x101700, "100"},
                                            {0x180005, "50"},     {0x1A0000, "2"},    {0x1A0002, "0x60640020"}};
        for (objects::od_object &o : dcf.objects)
            for (objects::od_entry &e : o.entries)
                e.parameter_value = own.count(e.index << 8 | e.sub) ? own.at(e.index << 8 | e.sub) : e.default_value;
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("bench.dcf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(objects::write_dcf(dcf, 0, QStringLiteral("bench.dcf")));
        file.close();
        QVERIFY(window->open_dcf(file.fileName()));
        child<QSpinBox>(window, "node")->setValue(2);
        address("6081", "0", "UNSIGNED32");
        field("value")->setText(QStringLiteral("5000"));
        press("write");
        const std::map<int, QString> before[2] = {snapshot(1), snapshot(2)};

        field("dcf_nodes")->setText(QStringLiteral("1-2"));
        press("download_dcf");
        QTRY_VERIFY(!window->job_running());

        // Exactly what differed changed, on each node; the refused value did not.
        const QList<int> changed[2] = {{0x101700, 0x180005, 0x1A0000, 0x1A0002, 0x608100},
                                       {0x101700, 0x180005, 0x1A0000, 0x1A0002}};
        for (int n = 1; n <= 2; ++n) {
            const std::map<int, QString> after = snapshot(n);
            QList<int> seen;  // in object order
            for (const auto &v : after)
                if (before[n - 1].at(v.first) != v.second)
                    seen << v.first;
            QCOMPARE(seen, changed[n - 1]);
        }
        // The report: every written object verified, the refusal with its reason, then the store.
        const std::vector<objects::report_row> &report = window->dcf_report();
        QCOMPARE(report.size(), size_t(5 + 4 + 2 + 2));
        for (const objects::report_row &r : report) {
            const bool refused = r.index == 0x2100;
            QCOMPARE(r.verified, !refused);
            QCOMPARE(r.note.contains(QLatin1String("write refused: ")), refused);
        }
        QCOMPARE(report.back().index, uint16_t(0x1010));
        const QString status = child<QLabel>(window, "commissioning_status")->text();
        for (const char *said : {"differing 11", "written 9", "verified 9", "refused 2", "stored 2 of 2"})
            QVERIFY2(status.contains(QLatin1String(said)), qPrintable(status));
        window->show();
        child<QTabWidget>(window, "pages")->setCurrentIndex(1);
        const QStringList cut = cut_texts_in_every_language(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

        const QString csv = dir.filePath(QStringLiteral("report.csv"));
        QVERIFY(window->save_dcf_report_to(csv));
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(written.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 13);
        QVERIFY(lines.contains(QStringLiteral("1,0x6081:00,Profile velocity,1000,5000,是/yes,")));
        // The same as a workbook: a row number, then the report's columns below its header.
        const QString book = dir.filePath(QStringLiteral("report.xlsx"));
        QVERIFY(window->save_dcf_report_to(book));
        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/tests/read_workbook.py"), book});
        QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
        const QJsonObject cells = QJsonDocument::fromJson(reader.readAllStandardOutput()).object()[QStringLiteral("cells")].toObject();
        QCOMPARE(cells[QStringLiteral("B2")].toObject()[QStringLiteral("value")].toString(), QStringLiteral("节点/Node"));
        QCOMPARE(cells[QStringLiteral("C15")].toObject()[QStringLiteral("value")].toString(), QStringLiteral("0x1010:01"));
    }

    void registers_of_the_custom_protocol()
    {
        // Profile speed 0x008A: write, read back as decimal and as hex.
        child<QLineEdit>(window, "register_index")->setText(QStringLiteral("0x008A"));
        child<QLineEdit>(window, "register_value")->setText(QStringLiteral("1500"));
        press("register_write");
        child<QLineEdit>(window, "register_value")->clear();
        press("register_read");
        QCOMPARE(child<QLineEdit>(window, "register_value")->text(), QStringLiteral("1500"));
        child<QCheckBox>(window, "register_hex")->setChecked(true);
        press("register_read");
        QCOMPARE(child<QLineEdit>(window, "register_value")->text(), QStringLiteral("0x000005DC"));
        child<QLineEdit>(window, "register_value")->setText(QStringLiteral("2147483648"));
        press("register_write");
        QVERIFY(child<QLabel>(window, "register_status")->text().contains(QLatin1String("Not a 32-bit value")));
        child<QLineEdit>(window, "register_index")->setText(QStringLiteral("65536"));
        press("register_read");
        QVERIFY(child<QLabel>(window, "register_status")->text().contains(QLatin1String("out of range")));
    }

    void launcher_button()
    {
        delete canopen_monitor;
        delete custom_monitor;
        canopen_monitor = custom_monitor = nullptr;
        Velmora main;
        auto *button = child<QToolButton>(&main, "objects");
        QCOMPARE(button->geometry(), QRect(262, 173, 131, 131));
        QCOMPARE(button->text(), QStringLiteral("对象字典\nObjects"));
        QCOMPARE(button->styleSheet(), child<QToolButton>(&main, "custom_send")->styleSheet());
        button->click();
        QWidget *opened = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("Object_dictionary") && w->isVisible() && w != window)
                opened = w;
        QVERIFY(opened);
        QCOMPARE(opened->windowTitle(), QStringLiteral("对象字典/Objects"));
    }
};

QTEST_MAIN(test_object_dictionary_window)
#include "test_object_dictionary_window.moc"
