// The candump-format bus trace: line format, and that Debian's python3-can reads what we write;
// the bus tap that feeds the trace window.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_tap.h"
#include "can/vci/trace.h"
#include "can/vci/vci.h"
#include "sim/simulator.h"
#include "support/test_bus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace test_support;

class test_trace : public QObject {
    Q_OBJECT

private slots:
    void line_format()
    {
        const auto data = make_message(0x601, {0x40, 0x64, 0x60, 0, 0, 0, 0, 0});
        QCOMPARE(vci::format_candump_line(1733650000123456LL, QStringLiteral("can0"), data),
                 QStringLiteral("(1733650000.123456) can0 601#4064600000000000"));
        QCOMPARE(vci::format_candump_line(5, QStringLiteral("sim0"), make_message(0x705, {}, true)),
                 QStringLiteral("(0.000005) sim0 705#R"));
        QCOMPARE(vci::format_candump_line(0, QStringLiteral("x"), make_message(0x80, {})),
                 QStringLiteral("(0.000000) x 080#"));
    }

    void adapter_trace_keeps_direction_kind_and_only_what_the_bus_took()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        qputenv("VELMORA_CAN_TRACE", path.toLocal8Bit());
        std::vector<vci::tapped_frame> frames;
        vci::bus_tap::drain(frames);
        frames.clear();
        reset_shared_values();
        auto bus = install_scripted_bus();
        bus->responder = [](const vci::can_message &) { return std::vector<vci::can_message>{make_message(0x581, {0x60})}; };
        open_adapter();
        qunsetenv("VELMORA_CAN_TRACE");
        const uint8_t one = 0;
        QVERIFY(send_frame(0x601, &one, 1, 0));
        QVERIFY(send_frame(0x701, &one, 1, 1));
        bus->fail_transmit = true;
        QVERIFY(!send_frame(0x602, &one, 1, 0));  // refused: neither traced nor tapped
        vci::can_message fd = make_message(0x123, {});
        fd.fd = true;
        fd.len = 12;
        fd.data[11] = 0xBB;
        bus->inject(fd);
        vci::can_message extended = make_message(0x1A, {1, 2});
        extended.extended = true;
        bus->inject(extended);
        bus->sink->error_frame(make_message(0x004, {0, 0x04, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(close_adapter(), 1);
        uninstall_bus();

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines;
        for (const QByteArray &line : file.readAll().split('\n'))
            lines << QString::fromLatin1(line.mid(line.indexOf(' ') + 1));
        QCOMPARE(lines, QStringList({"test0 601#00 T", "test0 581#60 R", "test0 701#R1 T", "test0 581#60 R",
                                     "test0 123##00000000000000000000000BB R", "test0 0000001A#0102 R",
                                     "test0 20000004#0004000000000000 R", ""}));
        QCOMPARE(vci::bus_tap::drain(frames), size_t(6));  // the error frame is the bus status's to tap
        QCOMPARE(frames[2].msg.id, 0x701u);
        QVERIFY(frames[2].transmitted && frames[2].msg.remote);
        QCOMPARE(int(frames[4].msg.data[11]), 0xBB);
        QCOMPARE(vci::bus_tap::interface_name(frames[0].iface), QStringLiteral("test0"));
    }

    void tap_sees_every_frame_both_ways_before_clear_buffer()
    {
        std::vector<vci::tapped_frame> frames;
        vci::bus_tap::drain(frames);
        frames.clear();
        reset_shared_values();
        auto bus = install_scripted_bus();
        bus->responder = [](const vci::can_message &m) {
            return std::vector<vci::can_message>{make_message(0x580 + (m.id & 0x7F), {0x60, 0x40, 0x60, 0})};
        };
        open_adapter();
        QCOMPARE(adapter_error, 0);
        const uint8_t write[8] = {0x2B, 0x40, 0x60, 0x00, 0x0F, 0x00, 0x00, 0x00};
        QVERIFY(send_frame(0x601, write, 8, 0));
        bus->inject(make_message(0x701, {0x05}));
        QCOMPARE(ClearBuffer(3, 0, 0), 1);  // the program drops the answers; the trace keeps them
        QCOMPARE(vci::bus_tap::drain(frames), size_t(3));
        QCOMPARE(frames[0].msg.id, 0x601u);
        QVERIFY(frames[0].transmitted);
        QCOMPARE(frames[1].msg.id, 0x581u);
        QVERIFY(!frames[1].transmitted);
        QCOMPARE(frames[2].msg.id, 0x701u);
        QVERIFY(frames[0].t_us <= frames[1].t_us && frames[1].t_us <= frames[2].t_us);
        QVERIFY(frames[2].t_us <= vci::bus_tap::now_us());

        // Nobody draining: the tap stays bounded and counts what it refused.
        const uint64_t dropped = vci::bus_tap::dropped();
        for (size_t i = 0; i < vci::bus_tap::capacity + 10; ++i)
            bus->inject(make_message(0x181, {1}));
        QCOMPARE(vci::bus_tap::dropped() - dropped, uint64_t(10));
        frames.clear();
        QCOMPARE(vci::bus_tap::drain(frames, 5), size_t(5));
        QCOMPARE(vci::bus_tap::drain(frames), vci::bus_tap::capacity - 5);
        QCOMPARE(close_adapter(), 1);
        uninstall_bus();
    }

    void python_can_reads_a_trace_of_a_session()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        qputenv("VELMORA_CAN_TRACE", path.toLocal8Bit());
        reset_shared_values();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        open_adapter();
        QCOMPARE(adapter_error, 0);
        const uint8_t probe[2] = {0x00, 0x02};
        QVERIFY(send_frame(0x641, probe, 2, 0));   // answered by the joint
        QVERIFY(send_frame(0x701, nullptr, 0, 1));  // remote frame
        QVERIFY(send_frame(0x080, nullptr, 0, 0));  // SYNC: an empty data frame
        QCOMPARE(close_adapter(), 1);
        qunsetenv("VELMORA_CAN_TRACE");
        uninstall_bus();

        const char *script =
            "import can, json, sys\n"
            "out = []\n"
            "for m in can.CanutilsLogReader(sys.argv[1]):\n"
            "    out.append({'id': m.arbitration_id, 'remote': m.is_remote_frame, 'data': m.data.hex(),"
            " 'channel': m.channel, 't': m.timestamp, 'rx': m.is_rx})\n"
            "print(json.dumps(out))\n";
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
        QVERIFY(py.waitForFinished(60000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        const QJsonArray frames = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
        // probe, its reply, guarding request, the node's guarding answer, SYNC
        QCOMPARE(frames.size(), 5);
        QCOMPARE(frames[0].toObject()[QStringLiteral("id")].toInt(), 0x641);
        QCOMPARE(frames[0].toObject()[QStringLiteral("data")].toString(), QStringLiteral("0002"));
        QCOMPARE(frames[1].toObject()[QStringLiteral("id")].toInt(), 0x5C1);
        QCOMPARE(frames[1].toObject()[QStringLiteral("data")].toString().size(), 8);
        QVERIFY(frames[2].toObject()[QStringLiteral("remote")].toBool());
        QCOMPARE(frames[3].toObject()[QStringLiteral("id")].toInt(), 0x701);
        QCOMPARE(frames[3].toObject()[QStringLiteral("data")].toString().size(), 2);
        QCOMPARE(frames[4].toObject()[QStringLiteral("id")].toInt(), 0x080);
        QCOMPARE(frames[4].toObject()[QStringLiteral("data")].toString(), QString());
        QCOMPARE(frames[0].toObject()[QStringLiteral("channel")].toString(), QStringLiteral("sim0"));
        for (int i = 0; i < 5; ++i)  // sent, answered, sent, answered, sent
            QCOMPARE(frames[i].toObject()[QStringLiteral("rx")].toBool(), i % 2 == 1);
        QVERIFY(frames[0].toObject()[QStringLiteral("t")].toDouble() > 1.5e9);
    }
};

QTEST_GUILESS_MAIN(test_trace)
#include "test_trace.moc"
