// Exchanges while about 10,000 foreign frames a second cross the bus, on the in-process
// simulated joints and over Qt's virtual CAN bus: the receive queue stays bounded, memory stays
// flat, every exchange comes back, silent polls log nothing and a shown monitor gets every
// record the exchanges log.
//
// Which frame's value an exchange leaves behind under a flood is not asserted: an exchange takes
// the last frame it reads, and under a flood that is usually a foreign one. The counts are
// printed so a run shows how often the drive's own value survived.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "can/vci/qt_backend.h"
#include "can/vci/vci.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"
#include "sim/simulator.h"
#include "support/sim_host.h"
#include "support/flood.h"
#include "support/test_bus.h"
#include "tools/monitor.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

using namespace test_support;

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck run

// A second QtSerialBus device on its own thread writing foreign frames at the same rate.
class flood_device : public QObject {
    Q_OBJECT
public:
    std::atomic<bool> connected{false};
    std::atomic<uint64_t> written{0};

public slots:
    void start(const QString &iface)
    {
        device_ = QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), iface, nullptr);
        if (!device_)
            return;
        device_->setParent(this);
        connect(device_, &QCanBusDevice::stateChanged, this, [this](QCanBusDevice::CanBusDeviceState s) {
            connected = s == QCanBusDevice::ConnectedState;
        });
        device_->connectDevice();
        connected = device_->state() == QCanBusDevice::ConnectedState;
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, [this] {
            if (!connected)
                return;
            for (int i = 0; i < flood_frames_per_ms; ++i) {
                const vci::can_message m = foreign_frame(written);
                if (device_->writeFrame(QCanBusFrame(m.id, QByteArray(reinterpret_cast<const char *>(m.data), m.len))))
                    ++written;
            }
        });
        timer_->start(1);
    }
    void stop()
    {
        delete timer_;
        timer_ = nullptr;
        if (device_)
            device_->disconnectDevice();
        delete device_;
        device_ = nullptr;
    }

private:
    QCanBusDevice *device_ = nullptr;
    QTimer *timer_ = nullptr;
};

struct poll_counts {
    int rounds = 0;
    int custom_own = 0;    // the read left the joint's answer in reply_value
    int custom_foreign = 0;
    int sdo_foreign = 0;
};

}  // namespace

class test_flood : public QObject {
    Q_OBJECT

    flooded_sim_backend *backend = nullptr;  // owned by the adapter while open

    // One silent custom-protocol read of node 1's position and one SDO read of its 0x6064.
    bool poll_round(poll_counts *counts)
    {
        if (!custom_exchange(monitor_emitter(), 0x641, read_actual_position()))
            return false;
        counts->custom_own += reply_value != foreign_value;
        counts->custom_foreign += reply_value == foreign_value;
        const canopen::frame sdo = canopen::sdo_upload(0x601, 0x6064, 0);
        if (!run_canopen_exchange(adapter_bus_ops(), sdo.id, sdo.data, sdo.len, 0, QString(), 0, nullptr))
            return false;
        counts->sdo_foreign += reply_value == foreign_value;
        ++counts->rounds;
        const int pending = GetReceiveNum(device_type, device_index, can_index);
        return pending >= 0 && pending <= vci::receive_queue_capacity;
    }

private slots:
    void init()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10230}});
        backend = nullptr;
        vci::set_backend_factory([this](int) {
            auto b = std::make_unique<flooded_sim_backend>();
            backend = b.get();
            return b;
        });
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        test_support::uninstall_bus();
    }

    void queue_stays_bounded_and_silent_polls_keep_working_on_the_simulated_bus()
    {
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;

        // Nobody reads: the queue fills to its bound and stays there while the flood goes on.
        QVERIFY(QTest::qWaitFor([] { return GetReceiveNum(3, 0, 0) == vci::receive_queue_capacity; }, generous_ms));
        const uint64_t at_full = backend->sent();
        QVERIFY(QTest::qWaitFor([&] { return backend->sent() > at_full + 3000; }, generous_ms));
        QCOMPARE(GetReceiveNum(3, 0, 0), vci::receive_queue_capacity);

        // Warm up the allocator before taking the baseline.
        poll_counts counts;
        for (int i = 0; i < 50; ++i)
            QVERIFY(poll_round(&counts));
        const long rss_before = rss_bytes();
        const int32_t seq_before = monitor_seq;

        // With the reply identifier learned at connect, neither protocol takes a foreign frame.
        custom_request_id = 0x641;
        custom_reply_id = 0x5C1;
        counts = poll_counts();
        for (int i = 0; i < 400; ++i)
            QVERIFY2(poll_round(&counts), qPrintable(QStringLiteral("round %1").arg(i)));
        QCOMPARE(counts.custom_foreign, 0);
        QCOMPARE(counts.sdo_foreign, 0);

        QCOMPARE(monitor_seq, seq_before);  // log 0: nothing recorded, nothing numbered
        const long growth = rss_bytes() - rss_before;
        QVERIFY2(growth < max_rss_growth_bytes, qPrintable(QStringLiteral("RSS grew by %1 bytes").arg(growth)));
        QVERIFY(backend->sent() > at_full + 3000);
        qInfo("simulated bus, %d rounds under flood: custom read kept the joint's value %d times, a "
              "foreign frame's %d times; SDO read ended on a foreign frame %d times",
              counts.rounds, counts.custom_own, counts.custom_foreign, counts.sdo_foreign);
    }

    void a_shown_monitor_gets_every_record_logged_under_a_flood()
    {
        monitor mon;
        mon.show();
        monitor_open = 1;
        monitor_capture = 1;
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        QVERIFY(QTest::qWaitFor([this] { return backend->sent() > 1000; }, generous_ms));

        const int32_t seq_before = monitor_seq;
        const monitor_emitter to_monitor = [&mon](const QString &text) { mon.recedata(text); };
        int sent_records = 0;
        for (int i = 0; i < 40; ++i) {
            custom_request r = read_actual_position(QStringLiteral("位置"));
            r.log = 1;
            QVERIFY(custom_exchange(to_monitor, 0x641, r));
            const canopen::frame sdo = canopen::sdo_upload(0x601, 0x6064, 0);
            QVERIFY(run_canopen_exchange(adapter_bus_ops(), sdo.id, sdo.data, sdo.len, 0, QStringLiteral("SDO"), 1,
                                         to_monitor));
            sent_records += 2;
        }
        const int records = monitor_seq - seq_before;
        // Every exchange logs its request and at least the frames it found; the monitor holds
        // exactly what was logged, in whole rows.
        QVERIFY(records > sent_records);
        QCOMPARE(mon.cell_count(), 6 * records);
        int sent_rows = 0;
        for (int row = 0; row < mon.table()->rowCount(); ++row) {
            const QTableWidgetItem *direction = mon.table()->item(row, 2);
            sent_rows += direction && direction->text() == QStringLiteral("发送成功\nSend");
        }
        QCOMPARE(sent_rows, sent_records);
        monitor_open = 0;
    }

    void flood_over_the_virtual_bus()
    {
        if (!QCanBus::instance()->plugins().contains(QStringLiteral("virtualcan")))
            QSKIP("QtSerialBus virtualcan plugin missing (libqt5serialbus5-plugins)");
        test_support::sim_host host;
        QString why;
        QVERIFY2(host.start(QStringLiteral("1:10231,2:10230"), &why), qPrintable(why));
        const QString iface = host.interface();
        vci::set_backend_factory([iface](int) { return std::make_unique<vci::qt_backend>(QStringLiteral("virtualcan"), iface); });
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;

        QThread flood_thread;
        flood_device flood;
        flood.moveToThread(&flood_thread);
        flood_thread.start();
        QMetaObject::invokeMethod(&flood, "start", Qt::BlockingQueuedConnection, Q_ARG(QString, iface));
        // Whatever check fails below, the flood thread is stopped before it goes out of scope.
        struct stop_flood {
            flood_device &f;
            QThread &t;
            ~stop_flood()
            {
                if (!t.isRunning())
                    return;
                QMetaObject::invokeMethod(&f, "stop", Qt::BlockingQueuedConnection);
                t.quit();
                t.wait();
            }
        } stopper{flood, flood_thread};
        QVERIFY(QTest::qWaitFor([&] { return flood.connected.load(); }, generous_ms));

        // Unread, the queue fills to its bound and stays there.
        QVERIFY(QTest::qWaitFor([] { return GetReceiveNum(3, 0, 0) == vci::receive_queue_capacity; }, generous_ms));
        const long rss_before = rss_bytes();
        const int32_t seq_before = monitor_seq;
        const uint64_t written_before = flood.written;
        poll_counts counts;
        // About a second of polling while the flood goes on. Over a socket, with the joints' own
        // process flooded too, an answer may miss an exchange's short window: that exchange then
        // reports no answer, and an SDO read never takes a foreign frame for its answer.
        int attempts = 0;
        QElapsedTimer ceiling;
        ceiling.start();
        while (flood.written < written_before + 10000 && ceiling.elapsed() < generous_ms) {
            ++attempts;
            poll_round(&counts);
        }
        // Misses are allowed, deafness is not: the joint's own answers still got through.
        QVERIFY2(counts.rounds > 0, qPrintable(QStringLiteral("no whole round in %1 attempts").arg(attempts)));
        QCOMPARE(counts.sdo_foreign, 0);
        QVERIFY(GetReceiveNum(3, 0, 0) <= vci::receive_queue_capacity);
        QCOMPARE(monitor_seq, seq_before);
        const long growth = rss_bytes() - rss_before;
        QVERIFY2(growth < max_rss_growth_bytes, qPrintable(QStringLiteral("RSS grew by %1 bytes").arg(growth)));
        QVERIFY(!vci::bus_lost());

        QMetaObject::invokeMethod(&flood, "stop", Qt::BlockingQueuedConnection);
        flood_thread.quit();
        flood_thread.wait();

        // With the flood gone the joint's own answers are what the exchanges find again.
        ClearBuffer(3, 0, 0);
        bool answered = false;
        for (int i = 0; i < 50 && !answered; ++i) {
            reply_value = foreign_value;
            answered = custom_exchange(monitor_emitter(), 0x642, custom_read(0x0001)) && reply_value == 10230;
        }
        QVERIFY(answered);
        qInfo("virtual bus, %d rounds under flood: custom read kept the joint's value %d times, a foreign "
              "frame's %d times; SDO read ended on a foreign frame %d times",
              counts.rounds, counts.custom_own, counts.custom_foreign, counts.sdo_foreign);
    }
};

QTEST_MAIN(test_flood)
#include "test_flood.moc"
