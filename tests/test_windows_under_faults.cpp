// The windows open and polling while the bus misbehaves: the adapter lost in the middle of a
// session (each control window takes its link down at its next poll, the main window says the
// adapter is lost, a new scan and connect bring everything back), and a flood of foreign frames
// while the custom-protocol window polls with its monitor shown and logging.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "app/velmora.h"
#include "can/adapter.h"
#include "can/joint_can_set.h"
#include "can/vci/bus_backend.h"
#include "can/vci/vci.h"
#include "canopen/canopen_commands.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/control_can_state.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/flood.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/custom_send.h"
#include "tools/monitor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>

using namespace test_support;

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck run

const QString adapter_lost = QStringLiteral("CAN适配器已断开 / Adapter lost");

}  // namespace

class test_windows_under_faults : public QObject {
    Q_OBJECT

    QStringList boxes;

    void scan(Set_node *node)
    {
        auto *bar = child<QProgressBar>(node, "progressBar");
        child<QPushButton>(node, "Scan")->click();
        QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
    }
    void connect_first(Set_node *node, const QString &protocol)
    {
        auto *combo = child<QComboBox>(node, "comboBox");
        combo->setCurrentIndex(combo->findText(protocol));
        child<QListWidget>(node, "listWidget_2")->setCurrentRow(0);
        child<QPushButton>(node, "Connect")->click();
        QCOMPARE(node_connected, 1);
    }

private slots:
    void init()
    {
        fresh_process();
        sim::simulator::instance().set_cut(false);
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        collect_box_texts(&boxes);
    }
    void cleanup()
    {
        // Whatever a failed check left open goes, so the next scenario starts from nothing.
        for (QWidget *w : std::initializer_list<QWidget *>{custom_send_window, custom_monitor, canopen_monitor,
                                                           custom_control, canopen_control, settings_window,
                                                           set_node_window})
            delete w;
        custom_send_window = nullptr;
        custom_monitor = canopen_monitor = nullptr;
        custom_control = nullptr;
        canopen_control = nullptr;
        settings_window = nullptr;
        set_node_window = nullptr;
        qunsetenv("VELMORA_CAN");
        sim::clock::set_manual(false);
        CloseDevice(3, 0);
        sim::simulator::instance().set_cut(false);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void adapter_lost_with_the_control_windows_open()
    {
        sim::clock::set_manual(true);
        qputenv("VELMORA_CAN", "sim");
        install_simulated_bus();
        Velmora main;
        main.show();
        QCOMPARE(device_open, 1);
        Set_node *node = set_node_window;
        child<QLineEdit>(node, "Max")->setText(QStringLiteral("4"));
        scan(node);
        QCOMPARE(found_node_count, 2);

        // The custom-protocol window linked and polling, then the bus gone under it.
        custom_control->show();
        connect_first(node, QStringLiteral("CAN自定义"));
        QCOMPARE(custom_link_active, 1);
        custom_control->thread();
        QCOMPARE(child<QLabel>(custom_control, "Error")->text(), QStringLiteral("无错误\nNo error"));
        main.refresh_bus_status();
        QCOMPARE(main.statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus | 总线正常/Error active"));

        sim::simulator::instance().set_cut(true);
        custom_control->thread();
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!child<QPushButton>(custom_control, "enable")->isEnabled());
        QVERIFY(child<QLabel>(custom_control, "position")->text().isEmpty());
        // The node window's retry finds nobody to hand the node to and leaves the link down.
        node->off();
        QCOMPARE(custom_link_active, 0);
        main.refresh_bus_status();
        QVERIFY2(main.statusBar()->currentMessage().startsWith(adapter_lost),
                 qPrintable(main.statusBar()->currentMessage()));

        // Back: a new scan opens the adapter afresh, Connect brings the link up again.
        sim::simulator::instance().set_cut(false);
        scan(node);
        QCOMPARE(device_open, 1);
        QCOMPARE(found_node_count, 2);
        QCOMPARE(node_connected, 0);  // the scan dropped the old connection
        main.refresh_bus_status();
        QCOMPARE(main.statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus | 总线正常/Error active"));
        connect_first(node, QStringLiteral("CAN自定义"));
        QCOMPARE(custom_link_active, 1);
        custom_control->thread();
        QCOMPARE(custom_link_active, 1);
        custom_control->close();
        child<QPushButton>(node, "Disconnect")->click();

        // The CANopen window commissioned and polling, then the bus gone under it.
        canopen_control->show();
        connect_first(node, QStringLiteral("CANopen"));
        QCOMPARE(canopen_link_active, 1);
        auto *combo = child<QComboBox>(canopen_control, "comboBox");
        combo->setCurrentIndex(canopen::page_pv);
        QVERIFY(QMetaObject::invokeMethod(combo, "activated", Q_ARG(QString, combo->currentText())));
        for (const char *name : canopen_column_names) {
            QPushButton *b = child<QPushButton>(canopen_control, name);
            b->click();
            QVERIFY2(b->styleSheet() == QLatin1String("background-color:rgb(0,255,0)"), name);
        }
        canopen_control->tim();
        QCOMPARE(child<QLabel>(canopen_control, "Error_2")->text(), QStringLiteral("未检测到错误"));
        QCOMPARE(sdo_expected, 1);

        sim::simulator::instance().set_cut(true);
        canopen_control->tim();
        QCOMPARE(canopen_link_active, 0);
        QCOMPARE(power_enabled, 0);
        QVERIFY(child<QLabel>(canopen_control, "position")->text().isEmpty());
        QVERIFY(!child<QPushButton>(canopen_control, "Reset_communication")->isEnabled());
        QVERIFY(child<QPushButton>(canopen_control, "Enable")->styleSheet().isEmpty());
        // Further ticks of a window already down change nothing and never hang.
        canopen_control->tim();
        node->off();
        QCOMPARE(canopen_link_active, 0);
        main.refresh_bus_status();
        QVERIFY(main.statusBar()->currentMessage().startsWith(adapter_lost));

        sim::simulator::instance().set_cut(false);
        scan(node);
        QCOMPARE(device_open, 1);
        QCOMPARE(found_node_count, 2);
        connect_first(node, QStringLiteral("CANopen"));
        QCOMPARE(canopen_link_active, 1);
        QVERIFY(child<QPushButton>(canopen_control, "Stop_remote_node")->isEnabled());
        canopen_control->tim();
        QCOMPARE(canopen_link_active, 1);
        QCOMPARE(child<QLabel>(canopen_control, "Error_2")->text(), QStringLiteral("未检测到错误"));
        QVERIFY(boxes.isEmpty());

        canopen_control->close();
        main.close();
    }

    void flood_while_the_custom_window_polls_with_its_monitor_logging()
    {
        flooded_sim_backend *backend = nullptr;
        vci::set_backend_factory([&backend](int) {
            auto b = std::make_unique<flooded_sim_backend>();
            backend = b.get();
            return b;
        });
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        node_id = 1;
        custom_request_id = 0x641;
        custom_monitor = new monitor();
        custom_monitor->show();
        monitor_open = 1;
        monitor_capture = 1;
        auto *w = custom_control = new control_CAN();
        w->show();
        // Under the flood every exchange finds frames, foreign ones at least: the link comes up.
        QCOMPARE(custom_link_active, 1);
        QVERIFY(QTest::qWaitFor([&] { return backend->sent() > 1000; }, generous_ms));

        // Warm up the allocator before the baseline.
        for (int i = 0; i < 5; ++i)
            w->thread();
        const long rss_before = rss_bytes();
        const int32_t seq_before = monitor_seq;
        const int cells_before = custom_monitor->cell_count();
        const uint64_t sent_before = backend->sent();
        int polls = 0;
        // About a second of flood: polls, a logged write each round, and the window's own timer.
        while (backend->sent() < sent_before + 10000) {
            w->thread();
            child<QPushButton>(w, "enable")->click();
            QCoreApplication::processEvents();
            ++polls;
            const int pending = GetReceiveNum(device_type, device_index, can_index);
            QVERIFY2(pending >= 0 && pending <= vci::receive_queue_capacity, qPrintable(QString::number(pending)));
            QCOMPARE(custom_link_active, 1);
        }
        QVERIFY(custom_poll_timer->isActive());
        QVERIFY(!child<QLabel>(w, "position")->text().isEmpty());
        const long growth = rss_bytes() - rss_before;
        QVERIFY2(growth < max_rss_growth_bytes, qPrintable(QStringLiteral("RSS grew by %1 bytes").arg(growth)));

        // Every record logged is one whole row of the monitor, and every logged write is there.
        const int records = monitor_seq - seq_before;
        QVERIFY(records > polls);
        QCOMPARE(custom_monitor->cell_count() - cells_before, 6 * records);
        QCOMPARE(custom_monitor->table()->rowCount(), custom_monitor->cell_count() / 6);  // its first row is there from the start
        qInfo("%d polls under %llu foreign frames, %d monitor records", polls,
              static_cast<unsigned long long>(backend->sent() - sent_before), records);

        w->close();
    }
};

QTEST_MAIN(test_windows_under_faults)
#include "test_windows_under_faults.moc"
