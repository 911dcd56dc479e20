// The simulated joint answering the custom protocol: register replies, profile moves in time,
// back-and-forth and continuous motion, speed and torque control, faults; and a whole session
// through the adapter, the exchange and the monitor on the simulated bus.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "custom_protocol/custom_exchange.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "tools/monitor.h"

#include <QTableWidget>
#include <QtTest>
#include <memory>

using namespace test_support;

namespace {

struct drive_under_test {
    sim::joint joint{1, 10231};

    std::vector<vci::can_message> send(const custom_request &r)
    {
        vci::can_message m;
        m.id = 0x641;
        m.len = r.length;
        std::copy(r.data, r.data + 8, m.data);
        std::vector<vci::can_message> out;
        joint.handle(m, out);
        return out;
    }
    // The value of a read; fails the test when the drive does not answer with 4 bytes.
    int32_t read(const custom_request &r)
    {
        const std::vector<vci::can_message> out = send(r);
        if (out.size() != 1 || out[0].len != 4 || out[0].id != 0x5C1) {
            qWarning("no 4-byte reply");
            return INT32_MIN;
        }
        return custom_reply_value(out[0].data, out[0].len);
    }
    bool acknowledged(const custom_request &r)
    {
        const std::vector<vci::can_message> out = send(r);
        return out.size() == 1 && out[0].len == 1 && out[0].data[0] == 1 && out[0].id == 0x5C1;
    }
    void run_ms(int ms) { sim::clock::advance_us(int64_t(ms) * 1000); }
    int32_t position() { return read(read_actual_position()); }
    int32_t speed() { return read(read_actual_speed()); }
    int32_t state() { return read(read_motion_state()); }

    void enable_with_profile(const char *speed, const char *acc, const char *dec)
    {
        QVERIFY(acknowledged(write_enable_state(true)));
        QVERIFY(acknowledged(write_profile_speed(QString::fromLatin1(speed))));
        QVERIFY(acknowledged(write_profile_acceleration(QString::fromLatin1(acc))));
        QVERIFY(acknowledged(write_profile_deceleration(QString::fromLatin1(dec))));
    }
};

}  // namespace

class test_sim_custom_drive : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { sim::clock::set_manual(true); }
    void cleanupTestCase() { sim::clock::set_manual(false); }

    void registers_read_back_and_writes_are_acknowledged()
    {
        drive_under_test d;
        QCOMPARE(d.read(custom_read(0x0001)), 10231);
        QVERIFY(d.acknowledged(write_profile_speed(QStringLiteral("-2500"))));
        QCOMPARE(d.read(read_profile_speed()), -2500);
        QVERIFY(d.acknowledged(write_profile_acceleration(QStringLiteral("7000"))));
        QCOMPARE(d.read(read_profile_acceleration()), 7000);
        QVERIFY(d.acknowledged(write_profile_deceleration(QStringLiteral("8000"))));
        QCOMPARE(d.read(read_profile_deceleration()), 8000);
        QVERIFY(d.acknowledged(write_motion_mode(2)));
        QCOMPARE(d.read(custom_read(0x008D)), 2);
        QVERIFY(d.acknowledged(write_control_mode(1)));
        QCOMPARE(d.read(custom_read(0x004E)), 1);
        QVERIFY(d.acknowledged(write_max_speed_limit(QStringLiteral("10000"))));
        QCOMPARE(d.read(custom_read(0x0204)), 10000);
        QCOMPARE(d.read(read_error_code()), 0);
        QCOMPARE(d.read(read_actual_current()), 0);
        QCOMPARE(d.state(), 0);
        QCOMPARE(d.read(custom_read(0x0100)), 0);

        // Values the drive cannot take, read-only registers and unknown registers: no answer,
        // which the control window sees as an unacknowledged write.
        QVERIFY(d.send(write_motion_mode(3)).empty());
        QVERIFY(d.send(write_control_mode(0)).empty());
        QVERIFY(d.send(custom_write(0x0002, 5, QString(), 0)).empty());
        QVERIFY(d.send(custom_read(0x0777)).empty());
        QCOMPARE(d.read(custom_read(0x008D)), 2);
    }

    void relative_moves_end_where_they_should()
    {
        drive_under_test d;
        d.joint.motor().set_position(500);
        d.enable_with_profile("5000", "10000", "10000");
        QVERIFY(d.acknowledged(write_motion_mode(1)));
        QVERIFY(d.acknowledged(write_relative_distance(QStringLiteral("1000"), false)));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::forward)));
        d.run_ms(200);
        QCOMPARE(d.state(), 1);
        QVERIFY(d.position() > 500 && d.position() < 1500);
        QVERIFY(d.speed() > 0);
        QVERIFY(d.read(read_actual_current()) != 0);  // the motor draws current while it moves
        d.run_ms(3000);
        QCOMPARE(d.position(), 1500);
        QCOMPARE(d.state(), 0);
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.read(read_actual_current()), 0);

        // Backwards, by the negative distance.
        QVERIFY(d.acknowledged(write_relative_distance(QStringLiteral("300"), true)));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::backwards)));
        d.run_ms(3000);
        QCOMPARE(d.position(), 1200);

        // Absolute: distance 0 means "go to the target".
        QVERIFY(d.acknowledged(write_relative_distance_zero()));
        QVERIFY(d.acknowledged(write_target_position(QStringLiteral("-400"))));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::motion)));
        d.run_ms(4000);
        QCOMPARE(d.position(), -400);
        QCOMPARE(d.state(), 0);
    }

    void repetitive_moves_go_back_and_forth_until_stopped()
    {
        drive_under_test d;
        d.enable_with_profile("5000", "20000", "20000");
        QVERIFY(d.acknowledged(write_motion_mode(2)));
        QVERIFY(d.acknowledged(write_relative_distance(QStringLiteral("1000"), false)));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::forward)));
        // Count the turns: the position must reach each end several times.
        int at_far = 0, at_near = 0;
        bool going_out = true;
        for (int i = 0; i < 400; ++i) {
            d.run_ms(10);
            const int32_t p = d.position();
            QVERIFY(p >= 0 && p <= 1000);
            QCOMPARE(d.state(), 1);
            if (going_out && p == 1000) {
                ++at_far;
                going_out = false;
            } else if (!going_out && p == 0) {
                ++at_near;
                going_out = true;
            }
        }
        QVERIFY(at_far >= 2);
        QVERIFY(at_near >= 2);
        QVERIFY(d.acknowledged(write_stop_motion()));
        d.run_ms(1000);
        QCOMPARE(d.state(), 0);
        const int32_t rest = d.position();
        d.run_ms(1000);
        QCOMPARE(d.position(), rest);

        // Absolute back and forth: between where it started and the target.
        QVERIFY(d.acknowledged(write_relative_distance_zero()));
        QVERIFY(d.acknowledged(write_target_position(QString::number(rest + 600))));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::motion)));
        int32_t lowest = rest, highest = rest;
        bool came_back = false;
        for (int i = 0; i < 300; ++i) {
            d.run_ms(10);
            const int32_t p = d.position();
            lowest = std::min(lowest, p);
            highest = std::max(highest, p);
            if (highest == rest + 600 && p == rest)
                came_back = true;
        }
        QCOMPARE(lowest, rest);
        QCOMPARE(highest, rest + 600);
        QVERIFY(came_back);
    }

    void continuous_motion_follows_the_sign_of_the_speed()
    {
        drive_under_test d;
        d.enable_with_profile("2000", "10000", "10000");
        QVERIFY(d.acknowledged(write_motion_mode(0)));
        QVERIFY(d.acknowledged(write_continuous_speed(QStringLiteral("2000"), false)));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::forward)));
        d.run_ms(1000);
        QCOMPARE(d.speed(), 2000);
        const int32_t p1 = d.position();
        QVERIFY(p1 > 1000);
        QCOMPARE(d.state(), 1);

        // Reversed by the speed alone, no new start.
        QVERIFY(d.acknowledged(write_continuous_speed(QStringLiteral("2000"), true)));
        d.run_ms(1000);
        QCOMPARE(d.speed(), -2000);
        d.run_ms(1000);
        QVERIFY(d.position() < p1);

        QVERIFY(d.acknowledged(write_stop_motion()));
        d.run_ms(1000);
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.state(), 0);
    }

    void speed_and_torque_control_follow_the_analog_target()
    {
        drive_under_test d;
        QVERIFY(d.acknowledged(write_control_mode(2)));
        QVERIFY(d.acknowledged(write_control_source()));
        QVERIFY(d.acknowledged(write_analog_source()));
        QVERIFY(d.acknowledged(write_target_speed(QStringLiteral("3000"))));
        d.run_ms(500);
        QCOMPARE(d.speed(), 0);  // power stage still off
        QCOMPARE(d.read(read_error_code()), 0);
        QVERIFY(d.acknowledged(write_enable_state(true)));
        d.run_ms(2000);
        QCOMPARE(d.speed(), 3000);
        QVERIFY(d.acknowledged(write_analog_stop()));
        d.run_ms(2000);
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.state(), 0);

        // Torque: the set current drives the joint up to the speed limit.
        QVERIFY(d.acknowledged(write_control_mode(1)));
        QVERIFY(d.acknowledged(write_target_current(QStringLiteral("500"))));
        QVERIFY(d.acknowledged(write_max_speed_limit(QStringLiteral("2000"))));
        d.run_ms(2000);
        QCOMPARE(d.read(read_actual_current()), 500);
        QCOMPARE(d.speed(), 2000);
        QVERIFY(d.acknowledged(write_analog_stop()));
        d.run_ms(3000);
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.read(read_actual_current()), 0);

        // Disabling stops the joint at once.
        QVERIFY(d.acknowledged(write_control_mode(2)));
        QVERIFY(d.acknowledged(write_target_speed(QStringLiteral("1500"))));
        d.run_ms(1000);
        QVERIFY(d.acknowledged(write_enable_state(false)));
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.read(custom_read(0x0100)), 0);
    }

    void faults_show_in_the_error_code()
    {
        drive_under_test d;
        // A start with the power stage off is refused and latched as a fault.
        QVERIFY(d.acknowledged(write_relative_distance(QStringLiteral("1000"), false)));
        QVERIFY(d.acknowledged(write_start_motion(start_kind::forward)));
        d.run_ms(1000);
        QCOMPARE(d.read(read_error_code()), sim::motor_model::fault_motion_while_disabled);
        QCOMPARE(d.position(), 0);
        QCOMPARE(d.state(), 0);
        // Enabling clears it.
        QVERIFY(d.acknowledged(write_enable_state(true)));
        QCOMPARE(d.read(read_error_code()), 0);

        // An impossible speed-control target trips the drive.
        QVERIFY(d.acknowledged(write_control_mode(2)));
        QVERIFY(d.acknowledged(write_target_speed(QStringLiteral("5000000"))));
        QCOMPARE(d.read(read_error_code()), sim::custom_drive::fault_over_speed);
        QCOMPARE(d.read(custom_read(0x0100)), 0);

        // Injected from outside, while moving: the joint stops and disables.
        QVERIFY(d.acknowledged(write_analog_stop()));
        QVERIFY(d.acknowledged(write_enable_state(true)));
        QVERIFY(d.acknowledged(write_target_speed(QStringLiteral("1000"))));
        d.run_ms(500);
        QVERIFY(d.speed() > 0);
        d.joint.custom().inject_fault(0x0042);
        QCOMPARE(d.read(read_error_code()), 0x0042);
        QCOMPARE(d.speed(), 0);
        QCOMPARE(d.state(), 0);
    }

    void a_session_on_the_simulated_bus_reaches_the_monitor()
    {
        fresh_process();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        QVERIFY(open_node_1(QStringLiteral("CAN自定义")));
        monitor view;
        view.show();
        monitor_open = 1;
        auto to_view = [&view](const QString &t) { view.recedata(t); };

        const custom_request session[] = {
            write_enable_state(true),
            write_profile_speed(QStringLiteral("5000")),
            write_profile_acceleration(QStringLiteral("10000")),
            write_profile_deceleration(QStringLiteral("10000")),
            write_motion_mode(1),
            write_relative_distance(QStringLiteral("1000"), false),
            write_start_motion(start_kind::forward),
        };
        for (const custom_request &r : session) {
            QVERIFY(custom_exchange(to_view, custom_request_id, r));
            QCOMPARE(reply_length, 1);
        }
        sim::clock::advance_us(3000000);
        QVERIFY(custom_exchange(to_view, custom_request_id, read_motion_state()));
        QCOMPARE(reply_value, 0);
        QVERIFY(custom_exchange(to_view, custom_request_id, read_actual_position(QStringLiteral("读取当前位置"))));
        QCOMPARE(reply_value, 1000);
        QCOMPARE(reply_length, 4);

        // Seven logged requests, each with its acknowledgement; the silent reads add nothing.
        QTableWidget *t = view.table();
        QCOMPARE(t->rowCount(), 14);
        const char *expected_data[7] = {"01 00 00 00 00 01 ", "00 8A 00 00 13 88 ", "00 88 00 00 27 10 ",
                                        "00 89 00 00 27 10 ", "00 8D 00 00 00 01 ", "00 87 00 00 03 E8 ",
                                        "00 83 "};
        for (int i = 0; i < 7; ++i) {
            const int sent = 2 * i, reply = 2 * i + 1;
            QCOMPARE(t->item(sent, 0)->text(), QString::number(sent + 1));
            QCOMPARE(t->item(sent, 2)->text(), QStringLiteral("发送成功\nSend"));
            QCOMPARE(t->item(sent, 3)->text(), QStringLiteral("641"));
            QCOMPARE(t->item(sent, 4)->text(), QString::fromLatin1(expected_data[i]));
            QCOMPARE(t->item(sent, 5)->text(), session[i].description);
            QCOMPARE(t->item(reply, 0)->text(), QString::number(reply + 1));
            QCOMPARE(t->item(reply, 2)->text(), QStringLiteral("接收\nReceive"));
            QCOMPARE(t->item(reply, 3)->text(), QStringLiteral("5C1"));
            QCOMPARE(t->item(reply, 4)->text(), QStringLiteral("01 "));
            QCOMPARE(t->item(reply, 5)->text(), QString());
        }
        QCOMPARE(monitor_seq, 15);

        CloseDevice(3, 0);
        uninstall_bus();
    }
};

QTEST_MAIN(test_sim_custom_drive)
#include "test_sim_custom_drive.moc"
