// The adapter library over a real QtSerialBus bus: Qt's virtual CAN bus (loopback TCP), with a
// second QtSerialBus device on its own thread playing the drive.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "can/vci/qt_backend.h"
#include "can/vci/vci.h"
#include "support/test_bus.h"

#include <QAbstractSocket>
#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>

namespace {

// A drive on the virtual bus: answers a read of register 0x0002 on 0x641 with 0x5C1 and the
// position 0x01020304, and echoes a remote request on 0x701 with one byte 0x7F.
class fake_drive : public QObject {
    Q_OBJECT
public:
    std::atomic<int> requests{0};
    std::atomic<bool> connected{false};
    QCanBusDevice *device = nullptr;
    QTimer *flood_timer = nullptr;

public slots:
    void start(const QString &iface)
    {
        QString error;
        device = QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), iface, &error);
        if (!device)
            return;
        device->setParent(this);
        device->setConfigurationParameter(QCanBusDevice::CanFdKey, true);
        connect(device, &QCanBusDevice::framesReceived, this, &fake_drive::on_frames);
        connect(device, &QCanBusDevice::stateChanged, this, [this](QCanBusDevice::CanBusDeviceState s) {
            connected = s == QCanBusDevice::ConnectedState;
        });
        device->connectDevice();
        connected = device->state() == QCanBusDevice::ConnectedState;
    }
    void say(quint32 id, const QByteArray &payload) { device->writeFrame(QCanBusFrame(id, payload)); }
    // Foreign PDOs, a few thousand a second, until stop_flood.
    void flood()
    {
        flood_timer = new QTimer(this);
        connect(flood_timer, &QTimer::timeout, this, [this] {
            for (int i = 0; i < 20; ++i)
                device->writeFrame(QCanBusFrame(0x185, QByteArray(8, '\x11')));
        });
        flood_timer->start(1);
    }
    void stop_flood() { delete flood_timer; flood_timer = nullptr; }
    void stop()
    {
        if (device)
            device->disconnectDevice();
        delete device;
        device = nullptr;
    }

private slots:
    void on_frames()
    {
        while (device->framesAvailable()) {
            const QCanBusFrame f = device->readFrame();
            ++requests;
            if (f.frameId() == 0x641 && f.payload() == QByteArray("\x00\x02", 2))
                device->writeFrame(QCanBusFrame(0x5C1, QByteArray("\x01\x02\x03\x04", 4)));
            if (f.frameId() == 0x701 && f.frameType() == QCanBusFrame::RemoteRequestFrame)
                device->writeFrame(QCanBusFrame(0x701, QByteArray("\x7F", 1)));
        }
    }
};

}  // namespace

class test_qt_bus : public QObject {
    Q_OBJECT

    QThread drive_thread;
    fake_drive *drive = nullptr;

    bool receive_one(vci_frame *f, int wait_ms = 3000)
    {
        return Receive(3, 0, 0, f, 1, wait_ms) == 1;
    }

private slots:
    void initTestCase()
    {
        if (!QCanBus::instance()->plugins().contains(QStringLiteral("virtualcan")))
            QSKIP("QtSerialBus virtualcan plugin missing (libqt5serialbus5-plugins)");
        drive = new fake_drive;
        drive->moveToThread(&drive_thread);
        drive_thread.start();
        QMetaObject::invokeMethod(drive, "start", Qt::BlockingQueuedConnection, Q_ARG(QString, QStringLiteral("can0")));
        QTRY_VERIFY_WITH_TIMEOUT(drive->connected.load(), 10000);

        reset_shared_values();
        test_support::uninstall_bus();
        qputenv("VELMORA_CAN", "virtualcan:can0");
    }

    void cleanupTestCase()
    {
        CloseDevice(3, 0);
        if (drive) {
            QMetaObject::invokeMethod(drive, "stop", Qt::BlockingQueuedConnection);
            drive_thread.quit();
            drive_thread.wait();
            delete drive;
        }
    }

    void unknown_plugins_and_interfaces_do_not_open()
    {
        qputenv("VELMORA_CAN", "nosuchplugin:can0");
        open_adapter();
        QCOMPARE(adapter_error, 1);
        qputenv("VELMORA_CAN", "socketcan:nosuch0");
        adapter_error = 0;
        open_adapter();
        QCOMPARE(adapter_error, 1);
        qputenv("VELMORA_CAN", "garbage");
        adapter_error = 0;
        open_adapter();
        QCOMPARE(adapter_error, 1);
        qputenv("VELMORA_CAN", "virtualcan:can0");
        adapter_error = 0;
    }

    void request_and_reply_over_the_virtual_bus()
    {
        open_adapter();
        QCOMPARE(adapter_error, 0);
        ClearBuffer(3, 0, 0);
        const uint8_t probe[2] = {0x00, 0x02};
        QVERIFY(send_frame(0x641, probe, 2, 0));
        vci_frame f;
        QVERIFY(receive_one(&f));
        QCOMPARE(f.id, 0x5C1u);  // our own frame is not looped back: the first is the reply
        QCOMPARE(int(f.data_len), 4);
        QCOMPARE(int(f.data[3]), 4);
    }

    // The plugin's own socket takes the low-delay option through the device, down to the kernel:
    // a plugin that stops keeping it as the device's child shows here, not as slow transfers.
    void the_device_socket_goes_without_nagles_delay()
    {
        int set = 0, nodelay = 0;
        QMetaObject::invokeMethod(
            drive,
            [&] {
                set = vci::virtual_bus_own_socket_low_delay(drive->device);
                for (QAbstractSocket *s : drive->device->findChildren<QAbstractSocket *>()) {
                    socklen_t len = sizeof nodelay;
                    getsockopt(static_cast<int>(s->socketDescriptor()), IPPROTO_TCP, TCP_NODELAY, &nodelay, &len);
                }
            },
            Qt::BlockingQueuedConnection);
        QCOMPARE(set, 1);
        QVERIFY(nodelay != 0);
    }

    void remote_frames_and_unsolicited_frames_arrive()
    {
        ClearBuffer(3, 0, 0);
        QVERIFY(send_frame(0x701, nullptr, 0, 1));
        vci_frame f;
        QVERIFY(receive_one(&f));
        QCOMPARE(f.id, 0x701u);
        QCOMPARE(int(f.data[0]), 0x7F);

        // An extended frame keeps its flag; an FD frame is counted and never queued.
        const uint64_t fd_before = vci::fd_frames_ignored();
        QCanBusFrame extended(0x581, QByteArray(8, '\x43')), fd(0x581, QByteArray(12, '\x43'));
        extended.setExtendedFrameFormat(true);
        fd.setFlexibleDataRateFormat(true);
        for (const QCanBusFrame &frame : {extended, fd, QCanBusFrame(0x123, QByteArray("\xAA\xBB", 2))})
            QMetaObject::invokeMethod(drive, [this, frame] { drive->device->writeFrame(frame); }, Qt::QueuedConnection);
        QVERIFY(receive_one(&f));
        QCOMPARE(f.id, 0x581u);
        QCOMPARE(int(f.extern_flag), 1);
        QVERIFY(receive_one(&f));
        QCOMPARE(f.id, 0x123u);
        QCOMPARE(int(f.data_len), 2);
        QCOMPARE(int(f.data[1]), 0xBB);
        QCOMPARE(vci::fd_frames_ignored(), fd_before + 1);
    }

    void receive_waits_no_longer_than_asked()
    {
        ClearBuffer(3, 0, 0);
        vci_frame f;
        QElapsedTimer t;
        t.start();
        QCOMPARE(Receive(3, 0, 0, &f, 1, 20), 0);
        QVERIFY(t.elapsed() < 5000);  // bounded, not a timing claim: it must not hang
    }

    void close_and_reopen()
    {
        QCOMPARE(close_adapter(), 1);
        const uint8_t probe[2] = {0x00, 0x02};
        QVERIFY(!send_frame(0x641, probe, 2, 0));
        open_adapter();
        QCOMPARE(adapter_error, 0);
        ClearBuffer(3, 0, 0);
        QVERIFY(send_frame(0x641, probe, 2, 0));
        vci_frame f;
        QVERIFY(receive_one(&f));
        QCOMPARE(f.id, 0x5C1u);
    }

    // The program's exit under a flood: the adapter left open (closed by the exit's own path)
    // or closed first, then the I/O thread ended; neither may hang on the closing device.
    void quit_during_a_flood_ends()
    {
        std::atomic<bool> ended{false};
        std::thread watchdog([&ended] {
            for (int i = 0; i < 100 && !ended; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!ended) {
                std::fputs("FAIL: quit during a flood hangs\n", stderr);
                std::_Exit(1);
            }
        });
        QMetaObject::invokeMethod(drive, "flood", Qt::BlockingQueuedConnection);
        for (bool close_first : {false, false, false, true}) {
            open_adapter();
            QCOMPARE(adapter_error, 0);
            vci_frame f;
            QVERIFY(receive_one(&f));  // the flood is on the bus
            QTest::qWait(100);
            if (close_first)
                close_adapter();
            vci::end_bus_io_thread();
            close_adapter();
        }
        ended = true;
        watchdog.join();
        QMetaObject::invokeMethod(drive, "stop_flood", Qt::BlockingQueuedConnection);
    }
};

QTEST_GUILESS_MAIN(test_qt_bus)
#include "test_qt_bus.moc"
