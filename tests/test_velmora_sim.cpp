// velmora-sim as a separate process on Qt's virtual CAN bus, with this test as the master:
// boot-up, an SDO read, a guarding request and a custom-protocol read, then a clean stop
// on SIGTERM with the trace on disk. The virtual bus runs over a TCP server on localhost
// that the first device starts; the test starts it on a free port of its own, so that
// parallel tests and a default server on port 35468 cannot mix frames into this bus.
#include "support/sim_host.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int generous_ms = 30000;  // only a ceiling for a stuck run, never a speed check

bool is_frame(const QCanBusFrame &f, quint32 id, const QByteArray &payload)
{
    return f.frameId() == id && f.frameType() == QCanBusFrame::DataFrame && f.payload() == payload;
}

}  // namespace

class test_velmora_sim : public QObject {
    Q_OBJECT

private:
    QProcess sim;
    QCanBusDevice *master = nullptr;
    QList<QCanBusFrame> received;
    // Qt's virtual bus runs one TCP server per process, on the port of the first device; every
    // case here uses that one port.
    quint16 port = 0;

    bool seen(quint32 id, const QByteArray &payload) const
    {
        for (const QCanBusFrame &f : received)
            if (is_frame(f, id, payload))
                return true;
        return false;
    }
    void send(quint32 id, const QByteArray &payload, bool remote = false)
    {
        QCanBusFrame f(id, payload);
        if (remote) {
            f.setFrameType(QCanBusFrame::RemoteRequestFrame);
            f.setPayload(QByteArray());
        }
        QVERIFY(master->writeFrame(f));
    }

private slots:
    void initTestCase()
    {
        port = test_support::free_local_port();
        QVERIFY(port != 0);
    }

    void cleanup()
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(generous_ms);
        }
        if (master) {
            master->disconnectDevice();
            delete master;
            master = nullptr;
        }
    }

    void serves_both_protocols_and_stops_cleanly()
    {
        const QString bin_dir = qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath());
        const QString program = bin_dir + QStringLiteral("/velmora-sim");
        QVERIFY2(QFileInfo::exists(program), qPrintable(program));

        const QString iface = QStringLiteral("tcp://127.0.0.1:%1/can0").arg(port);

        QString error;
        master = QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), iface, &error);
        QVERIFY2(master, qPrintable(error));
        connect(master, &QCanBusDevice::framesReceived, this, [this] {
            while (master->framesAvailable() > 0)
                received << master->readFrame();
        });
        QVERIFY(master->connectDevice());
        QTRY_VERIFY_WITH_TIMEOUT(master->state() == QCanBusDevice::ConnectedState, generous_ms);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString trace_path = dir.filePath(QStringLiteral("bus.log"));
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(program, {QStringLiteral("--bus"), QStringLiteral("virtualcan:") + iface, QStringLiteral("--nodes"),
                            QStringLiteral("1:10231,7:10230"), QStringLiteral("--trace"), trace_path,
                            QStringLiteral("--exit-with-parent"), QStringLiteral("--fault"), QStringLiteral("1:block@0")});
        QVERIFY(sim.waitForStarted(generous_ms));

        // The CANopen joint announces itself; the EtherCAT joint does not speak CANopen.
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x701, QByteArray::fromHex("00")), generous_ms);

        send(0x601, QByteArray::fromHex("4000100000000000"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x581, QByteArray::fromHex("4300100092010200")), generous_ms);

        send(0x701, QByteArray(), true);
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x701, QByteArray::fromHex("7F")), generous_ms);

        // The drive's own protocol on the other joint: firmware number, big-endian.
        send(0x647, QByteArray::fromHex("0001"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x5C7, QByteArray::fromHex("000027F6")), generous_ms);
        for (const QCanBusFrame &f : received)
            QVERIFY(f.frameId() != 0x707);

        // A master that knows only the data sheet: started, the node sends its statusword on
        // the event-driven TPDO 1, and the controlword on RPDO 1 walks it to operation enabled.
        send(0x000, QByteArray::fromHex("0101"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x181, QByteArray::fromHex("4006")), generous_ms);
        send(0x201, QByteArray::fromHex("0600"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x181, QByteArray::fromHex("3106")), generous_ms);
        send(0x201, QByteArray::fromHex("0F00"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x181, QByteArray::fromHex("3706")), generous_ms);

        // The load is blocked: a move in profile position runs into the following error window
        // (100 cnt) and the drive faults with 8611 by itself, on no frame of the master's.
        send(0x601, QByteArray::fromHex("2B66600032000000"));
        send(0x601, QByteArray::fromHex("2365600064000000"));
        send(0x601, QByteArray::fromHex("2F60600001000000"));
        send(0x601, QByteArray::fromHex("237A6000A0860100"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x581, QByteArray::fromHex("607A600000000000")), generous_ms);
        send(0x201, QByteArray::fromHex("1F00"));
        QTRY_VERIFY_WITH_TIMEOUT(seen(0x081, QByteArray::fromHex("1186110000000000")), generous_ms);

        sim.terminate();  // SIGTERM
        QVERIFY(sim.waitForFinished(generous_ms));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);

        QFile trace(trace_path);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QString log = QString::fromLatin1(trace.readAll());
        for (const char *line : {" can0 701#00 T\n", " can0 601#4000100000000000 R\n", " can0 581#4300100092010200 T\n",
                                 " can0 701#R R\n", " can0 701#7F T\n"})
            QVERIFY2(log.contains(QLatin1String(line)), line);
    }

    // Two buses from one velmora-sim, each with its own simulator: bus 0 has joint 1 (firmware
    // 10231), bus 1 has joint 1 (firmware 10241) and joint 2. A master on each bus hears only its
    // own joints, and a fault given to bus 1's joint 1 shows on bus 1 alone.
    void serves_two_buses_each_its_own_joints()
    {
        const QString program = qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath())
                                + QStringLiteral("/velmora-sim");
        const QString iface[2] = {QStringLiteral("tcp://127.0.0.1:%1/can0").arg(port),
                                  QStringLiteral("tcp://127.0.0.1:%1/can1").arg(port)};
        QCanBusDevice *masters[2] = {};
        QList<QCanBusFrame> heard[2];
        for (int k = 0; k < 2; ++k) {
            QString error;
            masters[k] = QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), iface[k], &error);
            QVERIFY2(masters[k], qPrintable(error));
            masters[k]->setParent(this);
            connect(masters[k], &QCanBusDevice::framesReceived, this, [&, k] {
                while (masters[k]->framesAvailable() > 0)
                    heard[k] << masters[k]->readFrame();
            });
            QVERIFY(masters[k]->connectDevice());
            QTRY_VERIFY_WITH_TIMEOUT(masters[k]->state() == QCanBusDevice::ConnectedState, generous_ms);
        }
        const auto on = [&](int k, quint32 id, const QByteArray &payload) {
            for (const QCanBusFrame &f : heard[k])
                if (is_frame(f, id, payload))
                    return true;
            return false;
        };
        const auto any_from = [&](int k, quint32 id) {
            for (const QCanBusFrame &f : heard[k])
                if (f.frameId() == id)
                    return true;
            return false;
        };

        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(program, {QStringLiteral("--bus"),
                            QStringLiteral("virtualcan:%1,virtualcan:%2").arg(iface[0], iface[1]),
                            QStringLiteral("--nodes"), QStringLiteral("1:10231;1:10241,2:10231"),
                            QStringLiteral("--exit-with-parent"), QStringLiteral("--fault"),
                            QStringLiteral("1/1:2310@300")});
        QVERIFY(sim.waitForStarted(generous_ms));

        QTRY_VERIFY_WITH_TIMEOUT(on(0, 0x701, QByteArray::fromHex("00")), generous_ms);
        QTRY_VERIFY_WITH_TIMEOUT(on(1, 0x701, QByteArray::fromHex("00")), generous_ms);
        QTRY_VERIFY_WITH_TIMEOUT(on(1, 0x702, QByteArray::fromHex("00")), generous_ms);

        // The same node number answers with its own bus's joint.
        QVERIFY(masters[0]->writeFrame(QCanBusFrame(0x641, QByteArray::fromHex("0001"))));
        QVERIFY(masters[1]->writeFrame(QCanBusFrame(0x641, QByteArray::fromHex("0001"))));
        QTRY_VERIFY_WITH_TIMEOUT(on(0, 0x5C1, QByteArray::fromHex("000027F7")), generous_ms);
        QTRY_VERIFY_WITH_TIMEOUT(on(1, 0x5C1, QByteArray::fromHex("00002801")), generous_ms);

        // Joint 2 lives on bus 1 only; bus 1's fault is its own.
        QVERIFY(masters[0]->writeFrame(QCanBusFrame(0x602, QByteArray::fromHex("4000100000000000"))));
        QVERIFY(masters[1]->writeFrame(QCanBusFrame(0x602, QByteArray::fromHex("4000100000000000"))));
        QTRY_VERIFY_WITH_TIMEOUT(on(1, 0x582, QByteArray::fromHex("4300100092010200")), generous_ms);
        QTRY_VERIFY_WITH_TIMEOUT(any_from(1, 0x081), generous_ms);
        QTest::qWait(300);  // room for a stray frame to arrive on the wrong bus
        QVERIFY(!any_from(0, 0x702));
        QVERIFY(!any_from(0, 0x582));
        QVERIFY(!any_from(0, 0x081));
        QVERIFY(!on(0, 0x5C1, QByteArray::fromHex("00002801")));
        QVERIFY(!on(1, 0x5C1, QByteArray::fromHex("000027F7")));

        sim.terminate();
        QVERIFY(sim.waitForFinished(generous_ms));
        QCOMPARE(sim.exitCode(), 0);
        for (QCanBusDevice *m : masters)
            m->disconnectDevice();
    }

    void refuses_a_malformed_bus()
    {
        const QString program = qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath())
                                + QStringLiteral("/velmora-sim");
        sim.setProcessChannelMode(QProcess::SeparateChannels);
        sim.start(program, {QStringLiteral("--bus"), QStringLiteral("virtualcan")});
        QVERIFY(sim.waitForFinished(generous_ms));
        QCOMPARE(sim.exitCode(), 2);
        sim.start(program, {QStringLiteral("--bus"), QStringLiteral("virtualcan:can0"), QStringLiteral("--nodes"),
                            QStringLiteral("0:1")});
        QVERIFY(sim.waitForFinished(generous_ms));
        QCOMPARE(sim.exitCode(), 2);
        // More lists of joints than buses, and a fault on a bus that is not served.
        sim.start(program, {QStringLiteral("--bus"), QStringLiteral("virtualcan:can0"), QStringLiteral("--nodes"),
                            QStringLiteral("1:10231;2:10231")});
        QVERIFY(sim.waitForFinished(generous_ms));
        QCOMPARE(sim.exitCode(), 2);
        for (const char *fault : {"1:blok@5", "1:0@5", "1/1:2310@5"}) {
            sim.start(program, {QStringLiteral("--bus"), QStringLiteral("virtualcan:can0"), QStringLiteral("--fault"),
                                QLatin1String(fault)});
            QVERIFY(sim.waitForFinished(generous_ms));
            QCOMPARE(sim.exitCode(), 2);
        }
    }
};

QTEST_MAIN(test_velmora_sim)
#include "test_velmora_sim.moc"
