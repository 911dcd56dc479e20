// The object dictionary window on the simulated joint, the way a commissioning engineer uses
// it: open the joint's EDS, Read all, change a manufacturer object (a value beyond its limit is
// refused before anything is sent), Save parameters, reset the node, find the value still
// there, export a DCF; read the device name; the custom-protocol register page; the launcher;
// LSS giving fresh joints their node-IDs. Long transfers run while the windows stay live:
// Cancel and the control window's Stop reach them between two steps.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "base/window_place.h"
#include "app/velmora.h"
#include "app/bus_choice.h"
#include "can/adapter.h"
#include "can/bus.h"
#include "can/exchange.h"
#include "can/step_job.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "can/vci/vci.h"
#include "canopen/sdo_bus_link.h"
#include "base/joint_names.h"
#include "objects/bench.h"
#include "objects/bench_model.h"
#include "objects/bench_page.h"
#include "objects/dcf_diff_model.h"
#include "objects/eds.h"
#include "objects/lss_dialog.h"
#include "objects/commissioning_page.h"
#include "objects/object_dictionary.h"
#include "objects/object_page.h"
#include "objects/od_actions.h"
#include "objects/od_tree_model.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/monitor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDomDocument>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
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
    const auto job = objects::read_all_job(d, canopen::exchange_sdo_link(adapter_bus_ops(), node, 100, {}), node, {});
    while (job->step()) {
    }
    std::map<int, QString> values;
    for (const objects::od_object &o : d.objects)
        for (const objects::od_entry &e : o.entries)
            values[e.index << 8 | e.sub] = e.parameter_value;
    return values;
}

// A DCF of the joint's data sheet that sets three objects, one group each: 0x1017, 0x2100, 0x6081.
QString three_group_dcf(const QTemporaryDir &dir)
{
    QFile eds(Object_dictionary::simulated_joint_eds());
    eds.open(QIODevice::ReadOnly);
    objects::eds_document dcf = objects::parse_eds(eds.readAll()).document;
    const std::map<int, QString> own = {{0x101700, "100"}, {0x210000, "300"}, {0x608100, "5000"}};
    for (objects::od_object &o : dcf.objects)
        for (objects::od_entry &e : o.entries)
            e.parameter_value = own.count(e.index << 8 | e.sub) ? own.at(e.index << 8 | e.sub) : QString();
    QFile file(dir.filePath(QStringLiteral("three.dcf")));
    file.open(QIODevice::WriteOnly);
    file.write(objects::write_dcf(dcf, 0, QStringLiteral("three.dcf")));
    return file.fileName();
}

// Node 1's steps of a download of three_group_dcf up to the end of its first group: four
// identity reads, three reads, the NMT command, one write, one read back.
constexpr int first_group_done = 4 + 3 + 1 + 2;

}  // namespace

class test_object_dictionary_window : public QObject {
    Q_OBJECT

private:
    Object_dictionary *window = nullptr;
    QStringList boxes;
    QMessageBox::StandardButton question_answer = QMessageBox::Yes;

    QLineEdit *field(const char *name) { return child<QLineEdit>(window, name); }
    QString status() { return child<QLabel>(window, "status")->text(); }
    static bool job_running() { return job_runner::instance().busy(); }
    // Clicks and waits until what the click started has ended.
    void press(const char *name)
    {
        child<QPushButton>(window, name)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!job_running(), 20000);
    }
    QString monitor_cell(int row, int column) { return canopen_monitor->table()->item(row, column)->text(); }
    int monitor_rows() { return canopen_monitor->cell_count() / 6; }
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
            return r.kind == desktop_seams::box_kind::question ? question_answer : QMessageBox::Ok;
        });
        canopen_monitor = new monitor();
        custom_monitor = new monitor();
        monitor_open = 1;
        window = new Object_dictionary();
        // As the main window wires it: the window reaches no monitor by itself.
        connect(window, &Object_dictionary::senddata, canopen_monitor, &monitor::recedata);
        connect(window, &Object_dictionary::send_custom_data, custom_monitor, &monitor::recedata);
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
        sim::simulator::instance().set_cut(false);
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
        const QByteArray text = f.readAll();
        // The device as it was read, over what its data sheet says.
        for (const char *line : {"\nVendorNumber=0x00000000\n", "\nProductName=Velmora simulated joint\n",
                                 "[DeviceComissioning]\nNodeID=1\nBaudrate=1000\nLSS_SerialNumber=0x00010001\n"})
            QVERIFY2(text.contains(line), line);
        QCOMPARE(text.count("ProductName="), 1);
        const objects::eds_result dcf = objects::parse_eds(text);
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
        QCOMPARE(field("value")->text(), QStringLiteral("0x00010001"));  // identities read alike everywhere
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
        QCOMPARE(cell(1, 6), QStringLiteral("Simulated third-party servo drive"));
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
        QCOMPARE(field("value")->text(), QStringLiteral("Simulated third-party servo drive"));
    }

    // A second simulated bus with only node 3: the window's discovery on it lists node 3 alone,
    // and on bus 0 it never meets node 3.
    void discovery_on_a_second_bus_lists_only_its_nodes()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        sim::simulator::instance(1).configure({{3, 10231}});
        qputenv("VELMORA_CAN", "sim,sim");
        use_bus_from_environment();
        QString why;
        QVERIFY2(can::bus::at(1).open(&why), qPrintable(why));
        QCOMPARE(can::bus::at(1).name(), QStringLiteral("sim1"));
        Object_dictionary second;
        auto *bus = child<QComboBox>(&second, "bus");
        QCOMPARE(bus->count(), 2);
        bus->setCurrentIndex(1);
        child<QPushButton>(&second, "discover")->click();
        QTRY_VERIFY(!second.job_running());
        auto *nodes = child<QTableWidget>(&second, "nodes");
        QCOMPARE(nodes->rowCount(), 1);
        QCOMPARE(nodes->item(0, 0)->text(), QStringLiteral("3"));

        // The bench part goes with the bus too: bus 1's bench is its node 3 alone, the name
        // its node list gives is the joint's name on bus 1, and it boots there.
        QVERIFY(second.load_eds(Object_dictionary::simulated_joint_eds()));
        QTemporaryDir dir;
        desktop_seams::set_file_chooser([&dir](const desktop_seams::file_request &r) {
            return dir.filePath(r.kind == QLatin1String("bench") ? QStringLiteral("arm.cpj") : QStringLiteral("boot.xml"));
        });
        child<QPushButton>(&second, "save_bench")->click();
        QTRY_VERIFY(!second.job_running());
        auto *page = second.findChild<Bench_page *>(QStringLiteral("bench_page"));
        QCOMPARE(page->model()->rowCount(), 1);
        QFile cpj(dir.filePath(QStringLiteral("arm.cpj")));
        QVERIFY(cpj.open(QIODevice::ReadOnly));
        const QByteArray renamed = cpj.readAll().replace("Node3Name=J3", "Node3Name=wrist");
        cpj.close();
        QVERIFY(cpj.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cpj.write(renamed);
        cpj.close();
        QVERIFY(page->open_bench(cpj.fileName()));
        QCOMPARE(joint_names::saved_joint_name(1, 3), QStringLiteral("wrist"));
        QVERIFY(joint_names::saved_joint_name(0, 3).isEmpty());
        child<QPushButton>(&second, "boot_bench")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!second.job_running(), 20000);
        QCOMPARE(page->model()->state_of(3), objects::bench_model::state::done);
        desktop_seams::set_file_chooser(nullptr);

        bus->setCurrentIndex(0);
        child<QPushButton>(&second, "discover")->click();
        QTRY_VERIFY(!second.job_running());
        QCOMPARE(nodes->rowCount(), 2);
        QCOMPARE(nodes->item(1, 0)->text(), QStringLiteral("2"));
        can::bus::at(1).close();
        qunsetenv("VELMORA_CAN");
        uninstall_bus();
    }

    // Each page works without the window around it, and a window nobody connected to a monitor
    // logs nowhere: its texts go only to its own signal.
    void pages_on_their_own_and_a_window_nobody_wired()
    {
        const int32_t cells = canopen_monitor->cell_count();
        Object_page objects{Object_page::host()};
        QSignalSpy object_texts(&objects, &Object_page::senddata);
        child<QSpinBox>(&objects, "node")->setValue(1);
        child<QLineEdit>(&objects, "index")->setText(QStringLiteral("1008"));
        child<QComboBox>(&objects, "type")->setCurrentText(QStringLiteral("VISIBLE_STRING"));
        child<QPushButton>(&objects, "read")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!job_running() && !objects.job_running(), 20000);
        QCOMPARE(child<QLineEdit>(&objects, "value")->text(), QStringLiteral("Velmora simulated joint"));
        QVERIFY(object_texts.count() >= 2);  // the request and its reply

        // Discovery on the page alone; choosing a found node asks for it by a signal.
        Commissioning_page commissioning{Commissioning_page::host()};
        QSignalSpy chosen(&commissioning, &Commissioning_page::node_chosen);
        QSignalSpy busy(&commissioning, &Commissioning_page::busy_changed);
        child<QPushButton>(&commissioning, "discover")->click();
        QVERIFY(commissioning.job_running());
        QVERIFY(!child<QPushButton>(&commissioning, "compare_dcf")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!job_running(), 20000);
        QVERIFY(!commissioning.job_running() && child<QPushButton>(&commissioning, "compare_dcf")->isEnabled());
        QCOMPARE(busy.count(), 2);
        auto *nodes = child<QTableWidget>(&commissioning, "nodes");
        QCOMPARE(nodes->rowCount(), 1);
        nodes->setCurrentCell(0, 2);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen[0][0].toInt(), 1);
        commissioning.set_current_node(5);
        QCOMPARE(child<QLineEdit>(&commissioning, "dcf_nodes")->placeholderText(), QStringLiteral("5"));

        // In the window the pages are joined: a found node becomes the object page's node, and
        // the object page's data sheet buttons wait while the commissioning page works.
        child<QSpinBox>(window, "node")->setValue(9);
        QCOMPARE(child<QLineEdit>(window, "dcf_nodes")->placeholderText(), QStringLiteral("9"));
        child<QPushButton>(window, "discover")->click();
        QVERIFY(!child<QPushButton>(window, "read_all")->isEnabled() && !child<QPushButton>(window, "open_eds")->isEnabled());
        QVERIFY(window->job_running());
        QTRY_VERIFY_WITH_TIMEOUT(!job_running(), 20000);
        QVERIFY(child<QPushButton>(window, "read_all")->isEnabled() && !window->job_running());
        child<QTableWidget>(window, "nodes")->setCurrentCell(0, 0);
        QCOMPARE(child<QSpinBox>(window, "node")->value(), 1);

        // A window of its own, connected to nothing: it reads as well and logs nowhere.
        Object_dictionary unwired;
        QSignalSpy window_texts(&unwired, &Object_dictionary::senddata);
        child<QSpinBox>(&unwired, "node")->setValue(1);
        child<QLineEdit>(&unwired, "index")->setText(QStringLiteral("1008"));
        child<QComboBox>(&unwired, "type")->setCurrentText(QStringLiteral("VISIBLE_STRING"));
        child<QPushButton>(&unwired, "read")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!job_running(), 20000);
        QCOMPARE(child<QLineEdit>(&unwired, "value")->text(), QStringLiteral("Velmora simulated joint"));
        QVERIFY(window_texts.count() >= 2);
        const int32_t wired_cells = canopen_monitor->cell_count();
        QVERIFY(wired_cells > cells);  // the wired window's discovery above
        unwired.open_lss();
        QVERIFY(unwired.findChild<Lss *>());
        QCOMPARE(canopen_monitor->cell_count(), wired_cells);
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
        // A node with a refused write is not done.
        for (const char *said : {"nodes done 0 of 2", "differing 11", "written 9", "verified 9", "refused 2", "stored 2 of 2"})
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
        // The title names the DCF and the time; a row per node names it and what became of it.
        QCOMPARE(lines.size(), 2 + 2 + 13);
        QVERIFY2(lines[0].startsWith(QStringLiteral("DCF下载报告/DCF download report,bench.dcf,%1 ")
                                         .arg(QDate::currentDate().toString(Qt::ISODate))),
                 qPrintable(lines[0]));
        QVERIFY2(lines[3].startsWith(QStringLiteral("2,0x1018,身份/Identity,-,\"厂商/vendor 0x")), qPrintable(lines[3]));
        QVERIFY2(lines[3].endsWith(QStringLiteral("序列号/serial 0x00010002\",否/no,未完全配置/not fully configured")),
                 qPrintable(lines[3]));
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
        QCOMPARE(cells[QStringLiteral("C17")].toObject()[QStringLiteral("value")].toString(), QStringLiteral("0x1010:01"));
    }

    // From the page as a user goes: two joints, one question, the outcome per node in the status
    // and a report; without a sidecar the image goes nowhere until forced.
    void firmware_update_from_the_commissioning_page()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("joint.bin"));
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(30000, 'v') + "VERSION=SIM-FW 4.0\n");
        f.close();
        const QString report = dir.filePath(QStringLiteral("firmware.csv"));
        desktop_seams::set_file_chooser([&](const desktop_seams::file_request &r) {
            return r.kind == QLatin1String("firmware") ? image : report;
        });
        const auto status = [this] { return child<QLabel>(window, "commissioning_status")->text(); };
        field("firmware_nodes")->setText(QStringLiteral("1-2"));
        press("update_firmware");
        QVERIFY2(status().contains(QLatin1String("updated on 0 of 2")) && status().contains(QLatin1String("unknown")),
                 qPrintable(status()));
        child<QCheckBox>(window, "force_firmware")->setChecked(true);
        press("update_firmware");
        QVERIFY2(status().contains(QLatin1String("updated on 2 of 2")), qPrintable(status()));
        QVERIFY2(boxes.last().contains(QLatin1String("to node(s) 1,2?")), qPrintable(boxes.last()));
        child<QPushButton>(window, "save_firmware_report")->click();
        QFile saved(report);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[2].contains(QLatin1String("SIM-FW 1.0.2,SIM-FW 4.0")) && lines[2].contains(QLatin1String("updated")),
                 qPrintable(lines[2]));
    }

    // Node 1 resets between two groups: what was written went with the reset, so it is neither
    // done nor stored, and its rows say so; node 2 is configured and stored.
    void a_node_that_reboots_mid_download_is_not_configured()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        QTemporaryDir dir;
        QVERIFY(window->open_dcf(three_group_dcf(dir)));
        const QMetaObject::Connection reset = connect(&job_runner::instance(), &job_runner::progress, [this](int done, int) {
            if (done == first_group_done)
                reset_node();
        });
        field("dcf_nodes")->setText(QStringLiteral("1-2"));
        press("download_dcf");
        disconnect(reset);
        const QString status = child<QLabel>(window, "commissioning_status")->text();
        for (const char *said : {"nodes done 1 of 2", "node 1: 下载中重启：未配置/rebooted during download: not configured",
                                 "stored 1 of 1"})
            QVERIFY2(status.contains(QString::fromUtf8(said)), qPrintable(status));
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[1].contains(QLatin1String("node(s) 2 (")), qPrintable(boxes[1]));
        int node_1_rows = 0;
        for (const objects::report_row &r : window->dcf_report()) {
            if (r.node != 1)
                continue;
            ++node_1_rows;
            QVERIFY(!r.verified);
            QVERIFY2(r.note.contains(QLatin1String("rebooted during download: not configured")), qPrintable(r.note));
            QVERIFY(r.index != 0x1010);
        }
        QCOMPARE(node_1_rows, 2);  // 0x1017 as written before the reset, and the node's own row
        QCOMPARE(int(window->dcf_report_head().nodes[0].outcome), int(objects::node_summary::result::rebooted));
        QCOMPARE(int(window->dcf_report_head().nodes[1].outcome), int(objects::node_summary::result::configured));
    }

    // The bus cut after node 1's first group: told once as lost, nothing counted done that was
    // not, no Store offered, and every action afterwards says the bus is lost.
    void a_bus_lost_mid_download_is_told_once()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        QTemporaryDir dir;
        QVERIFY(window->open_dcf(three_group_dcf(dir)));
        const QMetaObject::Connection cut = connect(&job_runner::instance(), &job_runner::progress, [](int done, int) {
            if (done == first_group_done)
                sim::simulator::instance().set_cut(true);
        });
        field("dcf_nodes")->setText(QStringLiteral("1-2"));
        press("download_dcf");
        disconnect(cut);
        const QString said = child<QLabel>(window, "commissioning_status")->text();
        QVERIFY2(said.contains(QLatin1String("nodes done 0 of 2")) && said.count(QLatin1String("bus lost")) == 1
                     && said.contains(QLatin1String("refused 0")),
                 qPrintable(said));
        QCOMPARE(boxes.size(), 1);  // the download's question; no Store
        int lost_rows = 0;
        for (const objects::report_row &r : window->dcf_report()) {
            QVERIFY(!r.note.contains(QLatin1String("refused")));
            lost_rows += r.note.contains(QLatin1String("bus lost")) ? 1 : 0;
        }
        QCOMPARE(lost_rows, 1);
        QCOMPARE(window->dcf_report().front().index, uint16_t(0x1017));
        QVERIFY(window->dcf_report().front().verified);

        address("0x1008", "0", "VISIBLE_STRING");
        press("read");
        QVERIFY2(status().startsWith(QStringLiteral("总线断开/bus lost")), qPrintable(status()));
        press("discover");
        QVERIFY(child<QLabel>(window, "commissioning_status")->text().startsWith(QStringLiteral("总线断开/bus lost")));
    }

    void a_long_upload_leaves_the_windows_live_and_cancel_aborts_it()
    {
        window->show();
        // The joint's recorder buffer, 64 KiB, a DOMAIN: read by block transfer, 74 blocks of 127
        // segments, each block one step.
        address("0x2120", "0", "DOMAIN");
        // An idle machine reads it all in a few milliseconds; 30 ms a block is the pace of a
        // busy bus, and keeps the transfer running until the click.
        const QMetaObject::Connection pace = connect(&job_runner::instance(), &job_runner::progress, [] { QThread::msleep(30); });
        child<QPushButton>(window, "read")->click();
        QVERIFY(job_running());
        QPointer<QProgressDialog> progress = window->findChild<QProgressDialog *>(QStringLiteral("job_progress"));
        QVERIFY(progress);
        // The event loop turns between segments: the dialog's own timer brings it up, and it moves.
        QTRY_VERIFY_WITH_TIMEOUT(progress && progress->isVisible() && progress->value() > 7 * 100, 20000);
        disconnect(pace);
        QCOMPARE(progress->maximum(), 65536);
        const QStringList cut = cut_texts_in_every_language(progress);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
        QTest::mouseClick(child<QPushButton>(progress, "cancel_job"), Qt::LeftButton);
        QVERIFY(!job_running());
        QVERIFY2(status().contains(QLatin1String("cancelled")), qPrintable(status()));
        // The joint is told the transfer is over.
        QCOMPARE(monitor_cell(monitor_rows() - 1, 4), QStringLiteral("80 20 21 00 00 00 00 08 "));
        QVERIFY(monitor_cell(monitor_rows() - 1, 5).contains(QLatin1String("general error (0x08000000)")));
    }

    void stop_ends_read_all_and_goes_out()
    {
        control_CANopen control;
        params_loaded = 1;
        // The PP page's Disable, clicked once Read all has read ten objects.
        const QMetaObject::Connection tenth = connect(&job_runner::instance(), &job_runner::progress, [&control](int done, int) {
            if (done == 10)
                QTimer::singleShot(0, child<QPushButton>(&control, "Stop"), &QPushButton::click);
        });
        const int before = monitor_rows();
        press("read_all");
        disconnect(tenth);
        QVERIFY2(status().contains(QLatin1String("cancelled")), qPrintable(status()));
        // The disable RPDO went out, and no request of Read all after it.
        QTest::qWait(20);
        int disable = monitor_rows() - 1;
        while (disable > before && monitor_cell(disable, 3) != QLatin1String("201"))
            --disable;
        QVERIFY(disable > before);
        for (int row = disable; row < monitor_rows(); ++row)
            QVERIFY(monitor_cell(row, 3) != QLatin1String("601"));
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

    void lss_gives_fresh_joints_their_node_ids()
    {
        std::vector<sim::joint_config> joints;
        QVERIFY(sim::parse_nodes(QStringLiteral("1:10231,lss:0x1002,lss:0x1001"), &joints, nullptr));
        sim::simulator::instance().configure(joints);
        press("lss");
        Lss *lss = window->findChild<Lss *>();
        QVERIFY(lss && lss->isVisible());
        const auto click = [lss](const char *name) { child<QPushButton>(lss, name)->click(); };
        const auto lss_status = [lss] { return child<QLabel>(lss, "lss_status")->text(); };
        auto *found = child<QTableWidget>(lss, "lss_found");

        // Cancel is taken between steps, and so is a control window's Stop (the scan is a job of
        // the one runner, which also refuses a second long job meanwhile).
        click("lss_scan");
        QVERIFY(lss->scanning());
        QVERIFY(job_runner::instance().busy());
        click("lss_cancel");
        QVERIFY(!lss->scanning());
        click("lss_scan");
        QTest::qWait(5);
        end_job_for_stop();
        QVERIFY(!lss->scanning());
        QVERIFY(!job_runner::instance().busy());

        // One joint a scan, the lower identity first; configured, stored, it boots at once.
        child<QComboBox>(lss, "lss_bit_rate")->setCurrentIndex(1);  // 1000 kbit/s, index 0
        for (const int id : {5, 6}) {
            click("lss_scan");
            QTRY_VERIFY(!lss->scanning());
            QVERIFY2(lss_status().contains(QLatin1String("in configuration")), qPrintable(lss_status()));
            QCOMPARE(found->rowCount(), id - 4);
            QCOMPARE(found->item(id - 5, 3)->text(), QStringLiteral("0x0000100%1").arg(id - 4));
            if (id == 6) {
                // The field moved past the node-ID just given; that one, now in use, is given
                // again only when the user says so.
                QCOMPARE(child<QSpinBox>(lss, "lss_node_id")->value(), 6);
                child<QSpinBox>(lss, "lss_node_id")->setValue(5);
                question_answer = QMessageBox::No;
                const int frames = int(canopen_monitor->table()->rowCount());
                click("lss_configure");
                question_answer = QMessageBox::Yes;
                QCOMPARE(boxes.last(), QStringLiteral("节点ID 5已被使用，仍要分配？/Node-ID 5 is already in use. Assign it anyway?"));
                QCOMPARE(int(canopen_monitor->table()->rowCount()), frames);  // nothing sent
            }
            child<QSpinBox>(lss, "lss_node_id")->setValue(id);
            click("lss_configure");
            click("lss_store");
            QVERIFY2(lss_status().contains(QStringLiteral("node %1 booted").arg(id)), qPrintable(lss_status()));
            QCOMPARE(found->item(id - 5, 4)->text(),
                     QStringLiteral("节点号 %1/node-ID %1, 1000 kbit/s, 已保存/stored, 已启动/booted").arg(id));
        }
        QStringList boot_ups;
        for (int r = 0; r < canopen_monitor->table()->rowCount(); ++r)
            if (canopen_monitor->table()->item(r, 4)->text().trimmed() == QLatin1String("00"))
                boot_ups << canopen_monitor->table()->item(r, 3)->text();
        QCOMPARE(boot_ups, QStringList({QStringLiteral("705"), QStringLiteral("706")}));
        for (const int id : {5, 6}) {
            const canopen::sdo_outcome o = canopen::read_object(canopen::exchange_sdo_link(adapter_bus_ops(), id, 100, {}), 0x1000, 0);
            QVERIFY(o.ok);
            QCOMPARE(o.data, QByteArray::fromHex("92010200"));
        }
        click("lss_scan");
        QTRY_VERIFY(!lss->scanning());
        QVERIFY(lss_status().contains(QLatin1String("No node without node-ID")));

        // The bit rate goes live on the whole bus only after the question; at the adapter's own
        // rate the nodes are back to waiting once switched.
        child<QSpinBox>(lss, "lss_switch_delay")->setValue(5);
        click("lss_activate");
        QVERIFY(boxes.last().contains(QLatin1String("(2 in this list were given it)")));
        QVERIFY(child<QPushButton>(lss, "lss_store")->isEnabled());
        QTRY_VERIFY(!child<QPushButton>(lss, "lss_store")->isEnabled());
        QVERIFY(canopen::read_object(canopen::exchange_sdo_link(adapter_bus_ops(), 5, 100, {}), 0x1000, 0).ok);
        const QStringList cut = cut_texts_in_every_language(lss);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    // The bench part of the page: the bench on the bus saved as a node list with a DCF per node,
    // read back, booted with each node's state in the table, its report saved; Cancel ends a
    // boot between two steps and says the rest was not run.
    void a_bench_saved_from_the_bus_boots_from_the_page()
    {
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        window->show();
        QVERIFY(window->load_eds(Object_dictionary::simulated_joint_eds()));
        auto *page = window->findChild<Bench_page *>(QStringLiteral("bench_page"));
        QVERIFY(page);
        const auto bench_status = [this] { return child<QLabel>(window, "bench_status")->text(); };
        QTemporaryDir dir;
        desktop_seams::set_file_chooser([&dir](const desktop_seams::file_request &r) {
            return dir.filePath(r.kind == QLatin1String("bench") ? QStringLiteral("arm.cpj") : QStringLiteral("boot.xml"));
        });
        press("save_bench");
        QVERIFY2(bench_status().contains(QStringLiteral("bench saved")), qPrintable(bench_status()));
        for (const char *file : {"arm.cpj", "J1.dcf", "J2.dcf"})
            QVERIFY2(QFile::exists(dir.filePath(QLatin1String(file))), file);
        const objects::bench_result saved = objects::read_bench(dir.filePath(QStringLiteral("arm.cpj")));
        QVERIFY2(saved.ok, qPrintable(saved.error));
        QCOMPARE(saved.bench.nodes.size(), size_t(2));
        const objects::bench_node &j2 = saved.bench.nodes[1];
        QCOMPARE(j2.name, QStringLiteral("J2"));
        QVERIFY(j2.expected.complete());
        QCOMPARE(j2.expected.id.part[3], 0x00010002u);  // 0x1018:4 of a configured simulated joint
        QCOMPARE(j2.heartbeat_ms, 100);  // the joint had none: a bench watches every node
        QCOMPARE(page->model()->rowCount(), 2);

        press("boot_bench");
        QVERIFY2(bench_status().contains(QStringLiteral("nodes done 2 of 2")), qPrintable(bench_status()));
        QCOMPARE(page->model()->state_of(2), objects::bench_model::state::done);
        QVERIFY(page->model()->state_text(0).contains(QStringLiteral("operational")));
        press("save_bench_report");
        QFile report(dir.filePath(QStringLiteral("boot.xml")));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QDomDocument xml;
        QVERIFY(xml.setContent(&report));
        QCOMPARE(xml.elementsByTagName(QStringLiteral("testcase")).size(), 1 + 2 * objects::boot_step_count);

        child<QPushButton>(window, "boot_bench")->click();
        QVERIFY(job_running());
        QVERIFY(!child<QPushButton>(window, "open_bench")->isEnabled());
        child<QPushButton>(window, "bench_cancel")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!job_running(), 20000);
        QVERIFY2(bench_status().contains(QStringLiteral("cancelled")), qPrintable(bench_status()));
        QVERIFY(page->last_boot()->nodes_done() < 2);
        QVERIFY(child<QPushButton>(window, "open_bench")->isEnabled());
        const QStringList cut = cut_texts_in_every_language(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
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

    // The first time within 1280x720 and the screen; afterwards where it was left, pulled back
    // onto the screen when that place is off it (a monitor unplugged, a smaller screen).
    void comes_back_where_it_was_left_and_on_the_screen()
    {
        const QRect laptop(0, 0, 1366, 728);
        QCOMPARE(clamped_onto(QRect(3000, 2000, 800, 600), QSize(400, 300), laptop), QRect(566, 128, 800, 600));
        QCOMPARE(clamped_onto(QRect(-50, -20, 2000, 100), QSize(400, 300), laptop), QRect(0, 0, 1366, 300));
        window->show();
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(window->width() <= qMax(qMin(1280, screen.width()), window->minimumWidth()));
        const QRect left(screen.topLeft() + QPoint(20, 30), QSize(300, 200));
        const auto place = [](QWidget *w) { remember_place(w, QStringLiteral("probe")); w->show(); };
        QWidget first, again, third;
        place(&first);
        first.setGeometry(left);
        first.close();
        place(&again);
        QCOMPARE(again.geometry(), left);
        again.move(screen.right() + 500, screen.bottom() + 500);
        again.close();
        place(&third);
        QVERIFY(screen.contains(third.geometry()));
        QCOMPARE(third.size(), left.size());
        // Left with its title bar above the top edge: back with the whole frame on the screen.
        third.move(screen.left() + 40, screen.top() - 200);
        third.close();
        QWidget fourth;
        place(&fourth);
        QVERIFY2(fourth.frameGeometry().top() >= screen.top(), qPrintable(QStringLiteral("%1 %2").arg(fourth.frameGeometry().top()).arg(fourth.geometry().top())));
        QVERIFY(fourth.geometry().top() > screen.top());
        QCOMPARE(fourth.size(), left.size());
    }
};

QTEST_MAIN(test_object_dictionary_window)
#include "test_object_dictionary_window.moc"
