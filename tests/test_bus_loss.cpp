// The adapter lost in the middle of a session: the in-process bus cut during exchanges and
// during a scan, and the server of a virtual CAN bus going away. Every call comes back with a
// failure, the library says the bus is lost, and a new scan re-opens the adapter once the bus is
// back.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "can/vci/qt_backend.h"
#include "can/vci/vci.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "sim/sim_backend.h"
#include "sim/simulator.h"
#include "support/sim_host.h"
#include "support/test_bus.h"

#include <QCanBus>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck run

// The in-process bus, cut by the simulator itself after a given number of frames: a cable
// pulled at a known point of a scan.
class cutting_backend final : public vci::bus_backend {
public:
    explicit cutting_backend(int frames_before_cut) : inner_(sim::simulator::instance()), left_(frames_before_cut) {}
    QString interface_name() const override { return inner_.interface_name(); }
    bool connect_bus(vci::frame_sink *sink, QString *error) override { return inner_.connect_bus(sink, error); }
    void disconnect_bus() override { inner_.disconnect_bus(); }
    bool transmit(const vci::can_message &m) override
    {
        if (left_ >= 0 && left_-- == 0)
            sim::simulator::instance().set_cut(true);
        return inner_.transmit(m);
    }

private:
    sim::sim_backend inner_;
    int left_;
};

bool sdo_read(uint16_t index)
{
    const canopen::frame f = canopen::sdo_upload(0x601, index, 0);
    return run_canopen_exchange(adapter_bus_ops(), f.id, f.data, f.len, 0, QString(), 0, nullptr);
}

}  // namespace

class test_bus_loss : public QObject {
    Q_OBJECT

    QStringList boxes;

private slots:
    void init()
    {
        test_support::fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10230}});
        sim::simulator::instance().set_cut(false);
        test_support::collect_box_texts(&boxes);
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        sim::simulator::instance().set_cut(false);
        test_support::uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void cut_during_exchanges()
    {
        test_support::install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        QVERIFY(custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)));
        QCOMPARE(reply_value, 10231);
        QVERIFY(sdo_read(0x6041));
        QVERIFY(!vci::bus_lost());

        sim::simulator::instance().set_cut(true);
        reply_value = 12345;
        QVERIFY(!custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)));
        QVERIFY(vci::bus_lost());
        QVERIFY(!sdo_read(0x6041));
        QCOMPARE(reply_value, 12345);  // a failed exchange leaves no made-up value behind
        vci_frame f = {};
        f.id = 0x641;
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        QVERIFY(Receive(3, 0, 0, &f, 1, 20) <= 0);
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);

        // Until the adapter is opened again, a bus that came back stays lost to this session.
        sim::simulator::instance().set_cut(false);
        QVERIFY(!custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)));
        QCOMPARE(close_adapter(), 1);
        open_adapter();
        QCOMPARE(adapter_error, 0);
        QVERIFY(!vci::bus_lost());
        QVERIFY(custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)));
        QCOMPARE(reply_value, 10231);
    }

    void cut_during_a_scan_and_scan_again_once_the_bus_is_back()
    {
        // Cut after the first two probes: nodes 1 and 2 answer, the rest of the scan finds nothing.
        vci::set_backend_factory([](int) { return std::make_unique<cutting_backend>(2); });
        Set_node w;
        auto *list = w.findChild<QListWidget *>(QStringLiteral("listWidget_2"));
        auto *bar = w.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        auto *scan = w.findChild<QPushButton *>(QStringLiteral("Scan"));
        QVERIFY(list && bar && scan);
        scan->click();
        QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
        QCOMPARE(found_node_count, 2);
        QCOMPARE(list->count(), 2);
        QVERIFY(vci::bus_lost());
        QVERIFY(boxes.isEmpty());

        // Still cut: the scan closes the adapter, cannot open it again, says so, finds nothing.
        vci::set_backend_factory([](int) { return std::make_unique<cutting_backend>(-1); });
        scan->click();
        QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
        QCOMPARE(boxes, QStringList{QStringLiteral("打开CAN设备失败，CAN通道被占用或未连接设备...\n")});
        QCOMPARE(found_node_count, 0);
        QCOMPARE(list->count(), 0);
        QCOMPARE(device_open, 0);

        // Back: the next scan opens the adapter afresh and finds both joints.
        sim::simulator::instance().set_cut(false);
        boxes.clear();
        scan->click();
        QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
        QVERIFY(boxes.isEmpty());
        QCOMPARE(device_open, 1);
        QVERIFY(!vci::bus_lost());
        QCOMPARE(found_node_count, 2);
    }

    void virtual_bus_server_gone()
    {
        if (!QCanBus::instance()->plugins().contains(QStringLiteral("virtualcan")))
            QSKIP("QtSerialBus virtualcan plugin missing (libqt5serialbus5-plugins)");
        test_support::sim_host host;
        QString why;
        QVERIFY2(host.start(QStringLiteral("1:10231"), &why), qPrintable(why));
        const QString iface = host.interface();
        vci::set_backend_factory(
            [iface](int) { return std::make_unique<vci::qt_backend>(QStringLiteral("virtualcan"), iface); });
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        // The answer crosses two processes: give it a few tries.
        bool answered = false;
        for (int i = 0; i < 100 && !answered; ++i)
            answered = custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)) && reply_value == 10231;
        QVERIFY(answered);

        host.kill();
        QVERIFY(QTest::qWaitFor([] { return vci::bus_lost(); }, generous_ms));
        QVERIFY(!vci::bus_lost_reason().isEmpty());
        vci_frame f = {};
        f.id = 0x641;
        f.data_len = 2;
        f.data[1] = 0x02;
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        QVERIFY(!custom_exchange(monitor_emitter(), 0x641, custom_read(0x0001)));
        QVERIFY(!sdo_read(0x6041));
        QCOMPARE(close_adapter(), 1);
    }
};

QTEST_MAIN(test_bus_loss)
#include "test_bus_loss.moc"
