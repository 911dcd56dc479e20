// The simulated bus behind VELMORA_CAN=sim: joints answer the presence probe and the firmware
// read, absent nodes stay silent, and the joint list comes from VELMORA_SIM_NODES.
#include "base/shared_values.h"
#include "app/bus_choice.h"
#include "can/adapter.h"
#include "can/bus.h"
#include "canopen/sdo_bus_link.h"
#include "can/vci/bus_tap.h"
#include "can/vci/vci.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "trace/trace_model.h"

#include <QtTest>

using namespace test_support;

namespace {
struct reply {
    bool ok = false;
    uint32_t id = 0;
    int len = 0;
    int32_t value = 0;
};

reply request(uint32_t id, std::initializer_list<uint8_t> bytes)
{
    ClearBuffer(3, 0, 0);
    const vci::can_message m = make_message(id, bytes);
    reply r;
    if (!send_frame(id, m.data, m.len, 0))
        return r;
    uint32_t ids[64];
    uint8_t payloads[64][8] = {};
    uint8_t lens[64];
    const int n = GetReceiveNum(3, 0, 0);
    if (n == 0 || !receive_batch(ids, payloads, lens))
        return r;
    r.ok = true;
    r.id = ids[0];
    r.len = lens[0];
    r.value = static_cast<int32_t>(uint32_t(payloads[0][0]) << 24 | uint32_t(payloads[0][1]) << 16
                                   | uint32_t(payloads[0][2]) << 8 | payloads[0][3]);
    return r;
}
}  // namespace

class test_sim_bus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        reset_shared_values();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}, {7, 10230}});
        open_adapter();
        QCOMPARE(adapter_error, 0);
    }
    void cleanupTestCase()
    {
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void probe_and_firmware_read_are_answered()
    {
        sim::simulator::instance().find(7)->motor().set_position(-123456);
        const reply probe = request(0x647, {0x00, 0x02});
        QVERIFY(probe.ok);
        QCOMPARE(probe.value, -123456);
        const reply fw = request(0x647, {0x00, 0x01, 0x00, 0x04});
        QVERIFY(fw.ok);
        QCOMPARE(fw.value, 10230);
        QCOMPARE(request(0x641, {0x00, 0x01, 0x00, 0x04}).value, 10231);
    }

    void absent_nodes_and_foreign_frames_get_no_reply()
    {
        QVERIFY(!request(0x642, {0x00, 0x02}).ok);
        QVERIFY(!request(0x640, {0x00, 0x02}).ok);
        QVERIFY(!request(0x123, {0x00, 0x02}).ok);
    }

    void only_canopen_firmware_gets_a_canopen_side()
    {
        QCOMPARE(vci::bus_tap::current_bus_state(), vci::bus_state::error_active);  // as a healthy adapter says
        QVERIFY(sim::simulator::instance().find(1)->speaks_canopen());
        QVERIFY(!sim::simulator::instance().find(7)->speaks_canopen());
    }

    void joint_lists_parse_and_bad_ones_are_refused()
    {
        std::vector<sim::joint_config> joints;
        QString error;
        QVERIFY(sim::parse_nodes(QString::fromLatin1(sim::default_nodes), &joints, &error));
        QVERIFY(joints.size() >= 2);
        bool canopen = false, ethercat = false;
        for (const auto &j : joints) {
            canopen = canopen || j.firmware % 10 != 0;
            ethercat = ethercat || j.firmware % 10 == 0;
        }
        QVERIFY(canopen && ethercat);

        QVERIFY(sim::parse_nodes(QStringLiteral(" 5 , 9:10240"), &joints, &error));
        QCOMPARE(int(joints.size()), 2);
        QCOMPARE(joints[0].firmware, sim::default_firmware);
        QCOMPARE(joints[1].firmware, 10240u);
        for (const char *bad : {"0", "128", "x", "1:abc", "1,1", "1:2:3"})
            QVERIFY2(!sim::parse_nodes(QString::fromLatin1(bad), &joints, &error), bad);
    }

    // Two simulated buses, node 5 only on the second: each bus's answers, last frames, listeners
    // and interface stay its own, and the trace shows or filters them by interface.
    void two_simulated_buses_keep_their_frames_apart()
    {
        QCOMPARE(sim::nodes_of_bus(QStringLiteral("1:10231;2:10231,3:10230"), 1), QStringLiteral("2:10231,3:10230"));
        QCOMPARE(sim::nodes_of_bus(QStringLiteral("1:10231"), 3), QStringLiteral("1:10231"));  // one list for all
        qputenv("VELMORA_CAN", "sim,sim");
        use_bus_from_environment();
        sim::simulator::instance(1).configure({{5, 10231}});
        QCOMPARE(can::bus::selected(), 2);
        QString why;
        QVERIFY2(can::bus::at(1).open(&why), qPrintable(why));
        QCOMPARE(can::bus::at(1).name(), QStringLiteral("sim1"));
        std::vector<vci::tapped_frame> drained;
        vci::bus_tap::drain(drained);
        drained.clear();

        vci::bus_tap::listener on0(0, {0x585}), on1(1, {0x585});
        QVERIFY(canopen::read_object(canopen::exchange_sdo_link(bus_ops(1), 5, 100, {}), 0x1000, 0).ok);
        QVERIFY(!canopen::read_object(canopen::exchange_sdo_link(bus_ops(0), 5, 30, {}), 0x1000, 0).ok);
        std::vector<vci::tapped_frame> heard0, heard1;
        QCOMPARE(on0.drain(heard0), size_t(0));
        QCOMPARE(on1.drain(heard1), size_t(1));
        QVERIFY(vci::bus_tap::last_received(1, 0x585).t_us >= 0);
        QVERIFY(vci::bus_tap::last_received(0, 0x585).t_us < 0);

        vci::bus_tap::drain(drained);
        int on_bus1 = 0;
        for (const vci::tapped_frame &f : drained)
            if ((f.msg.id & 0x7F) == 5) {
                QCOMPARE(vci::bus_tap::interface_name(f.iface), f.bus == 1 ? QStringLiteral("sim1") : QStringLiteral("sim0"));
                on_bus1 += f.bus == 1;
            }
        QCOMPARE(on_bus1, 2);  // the request and its answer
        trace::trace_model model;
        model.append(drained);
        const int all = model.rowCount();
        trace::trace_filter only1;
        only1.iface = QStringLiteral("sim1");
        model.set_filter(only1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, trace::trace_model::interface_column).data().toString(), QStringLiteral("sim1"));
        QVERIFY(all > model.rowCount());  // bus 0's unanswered request is there too

        can::bus::at(1).close();
        QVERIFY(!can::bus::at(1).is_open());
        qunsetenv("VELMORA_CAN");
        install_simulated_bus();
    }

    void heartbeats_of_absent_nodes_and_of_joints_with_0x1017()
    {
        std::vector<sim::joint_config> joints;
        QString error;
        QVERIFY(sim::parse_nodes(QStringLiteral("1:10231,5:heartbeat,6:heartbeat/50"), &joints, &error));
        QCOMPARE(int(joints[1].heartbeat_only_ms), 100);
        QCOMPARE(int(joints[2].heartbeat_only_ms), 50);
        for (const char *bad : {"5:heartbeat/0", "5:heartbeat/x", "5:heartbeats", "5:heartbeat/70000", "5:heartbeat/"})
            QVERIFY2(!sim::parse_nodes(QString::fromLatin1(bad), &joints, &error), bad);
        QVERIFY(sim::parse_nodes(QStringLiteral("1:10231,5:heartbeat,6:heartbeat/50"), &joints, &error));

        sim::clock::set_manual(true);
        sim::simulator bus(joints);
        QVERIFY(!bus.find(5));  // a producer, not a joint: nothing answers on 0x645
        const auto ids = [&bus] {
            std::vector<uint32_t> out;
            for (const vci::can_message &m : bus.spontaneous()) {
                out.push_back(m.id);
                if (m.len != 1 || m.data[0] != 0x05)
                    out.push_back(0xBAD);
            }
            return out;
        };
        QVERIFY(ids().empty());
        sim::clock::advance_us(50000);
        QCOMPARE(ids(), std::vector<uint32_t>({0x706}));
        sim::clock::advance_us(50000);
        QCOMPARE(ids(), std::vector<uint32_t>({0x705, 0x706}));
        sim::clock::advance_us(1000000);  // a producer does not catch up
        QCOMPARE(ids(), std::vector<uint32_t>({0x705, 0x706}));

        // The joint beats once its producer heartbeat time is written, in its NMT state.
        vci::can_message write;
        write.id = 0x601;
        write.len = 8;
        const uint8_t heartbeat_20ms[8] = {0x2B, 0x17, 0x10, 0x00, 20, 0, 0, 0};
        std::copy(heartbeat_20ms, heartbeat_20ms + 8, write.data);
        QCOMPARE(bus.process(write).at(0).data[0], uint8_t(0x60));
        sim::clock::advance_us(20000);
        const std::vector<vci::can_message> beats = bus.spontaneous();
        QCOMPARE(int(beats.size()), 1);
        QCOMPARE(beats[0].id, 0x701u);
        QCOMPARE(int(beats[0].data[0]), 0x7F);  // pre-operational
        sim::clock::set_manual(false);

        // A program that sends nothing still hears the beats on the open adapter.
        QVERIFY(sim::parse_nodes(QStringLiteral("1:10231,5:heartbeat/20"), &joints, &error));
        sim::simulator::instance().configure(joints);
        ClearBuffer(3, 0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(GetReceiveNum(3, 0, 0) >= 3, 3000);
        sim::simulator::instance().configure({{1, 10231}, {7, 10230}});
    }

    void a_cut_bus_fails_transmits_and_reopens_when_restored()
    {
        sim::simulator::instance().set_cut(true);
        const uint8_t probe[2] = {0, 2};
        QVERIFY(!send_frame(0x641, probe, 2, 0));
        QVERIFY(vci::bus_lost());
        QCOMPARE(close_adapter(), 1);
        open_adapter();
        QCOMPARE(adapter_error, 1);
        sim::simulator::instance().set_cut(false);
        adapter_error = 0;
        open_adapter();
        QCOMPARE(adapter_error, 0);
        QVERIFY(!vci::bus_lost());
        QVERIFY(request(0x641, {0x00, 0x02}).ok);
    }
};

QTEST_GUILESS_MAIN(test_sim_bus)
#include "test_sim_bus.moc"
