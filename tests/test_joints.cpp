// The Joints window on six simulated CiA 402 joints and one of the maker's protocol: the rows
// and their states, enable all, Stop all (and F12 under another window) confirmed per joint,
// and a stop nobody acknowledged reported as such.
#include "base/desktop_seams.h"
#include "can/adapter.h"
#include "can/exchange.h"
#include "can/step_job.h"
#include "can/vci/bus_tap.h"
#include "canopen/canopen_frames.h"
#include "canopen/cia402.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/sdo_client.h"
#include "joints/joints_model.h"
#include "joints/joints_window.h"
#include "objects/node_discovery.h"
#include "base/shared_values.h"
#include "sim/canopen_node.h"
#include "sim/simulator.h"
#include "sim/joint_objects.h"
#include "sim/sim_joint.h"
#include "support/test_bus.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QtEndian>
#include <QtTest>

using namespace joints;
using namespace test_support;

class test_joints : public QObject {
    Q_OBJECT

private:
    Joints *window = nullptr;
    int questions = 0;
    QString last_box;  // the text of the last box shown

    template <class T> T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    void add(int node, int protocol)
    {
        child<QSpinBox>("add_bus")->setValue(0);
        child<QSpinBox>("add_node")->setValue(node);
        child<QComboBox>("add_protocol")->setCurrentIndex(protocol);
        QTest::mouseClick(child<QPushButton>("add_joint"), Qt::LeftButton);
    }
    QString cell(int row, int column) const
    {
        auto *view = window->findChild<QTableView *>(QStringLiteral("joints"));
        return view->model()->index(row, column).data().toString();
    }
    // Waits until every CANopen row shows a state read from its drive.
    bool states_shown()
    {
        return QTest::qWaitFor(
            [this] {
                for (const joint_state &j : window->table().rows())
                    if (j.protocol == joint_protocol::canopen && !j.statusword_known)
                        return false;
                return true;
            },
            3000);
    }
    // An enable runs as a job of steps: waits for its end.
    bool enable_ended() { return QTest::qWaitFor([] { return !job_runner::instance().busy(); }, 5000); }
    uint16_t sim_statusword(int node) { return sim::simulator::instance().find(node)->canopen()->statusword(); }

private slots:
    void init()
    {
        fresh_process();
        install_simulated_bus();
        std::vector<sim::joint_config> j;
        QVERIFY(sim::parse_nodes(QStringLiteral("1:10231,2:10231,3:10231,4:10231,5:10231,6:canopen,7:10230"), &j, nullptr));
        sim::simulator::instance().configure(j);
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        questions = 0;
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            last_box = r.text;
            ++questions;
            return QMessageBox::Yes;
        });
        window = new Joints();
        window->show();
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        desktop_seams::set_box_responder(nullptr);
        close_adapter();
        uninstall_bus();
    }

    // Node 1 sends heartbeats and is listed by them; the rest are listed by hand, node 7 for the
    // maker's protocol, and node 1 listed again stays one row. Every row shows its drive's state.
    void rows_are_listed_with_their_states()
    {
        QVERIFY(canopen::write_object(canopen::exchange_sdo_link(adapter_bus_ops(), 1, 100, {}), 0x1017, 0,
                                      QByteArray("\x64\x00", 2))
                    .ok);
        QVERIFY(QTest::qWaitFor([this] { window->refresh_rows(); return !window->table().rows().empty(); }, 2000));
        for (int node = 1; node <= 6; ++node)
            add(node, 0);
        add(7, 1);
        QCOMPARE(window->table().rows().size(), size_t(7));
        QVERIFY(states_shown());
        QTest::qWait(250);
        QCOMPARE(cell(0, joints_model::node), QStringLiteral("1"));
        QCOMPARE(cell(0, joints_model::name), QStringLiteral("J1"));
        QVERIFY2(cell(0, joints_model::state).contains(QStringLiteral("Switch on disabled")), qPrintable(cell(0, joints_model::state)));
        QVERIFY(cell(0, joints_model::heartbeat).endsWith(QStringLiteral("ms")));
        QVERIFY(cell(6, joints_model::protocol).contains(QStringLiteral("Maker")));
        QVERIFY(cell(6, joints_model::position) != QStringLiteral("-"));
    }

    // A discovery made before the window was opened lists its nodes as CANopen rows, on their bus.
    void a_discovery_made_before_the_window_lists_its_nodes()
    {
        delete window;
        objects::node_discovery discovery(
            objects::discovery_on_bus(0, [](int node) { return canopen::exchange_sdo_link(adapter_bus_ops(), node, 100, {}); }, {}));
        while (discovery.step()) {
        }
        window = new Joints();
        window->show();
        std::vector<int> nodes;
        for (const joint_state &j : window->table().rows()) {
            QCOMPARE(j.protocol, joint_protocol::canopen);
            QCOMPARE(j.address.bus, 0);
            nodes.push_back(j.address.node);
        }
        QCOMPARE(nodes, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    }

    // Enable all asks first and walks every joint to "operation enabled" under the guard; Stop
    // all then sends each its stop and every row confirms; F12 in another window stops them too.
    void enable_all_then_stop_all_is_confirmed_by_every_joint()
    {
        for (int node = 1; node <= 6; ++node)
            add(node, 0);
        add(7, 1);
        QTest::mouseClick(child<QPushButton>("enable_all"), Qt::LeftButton);
        QVERIFY(enable_ended());
        QCOMPARE(questions, 1);
        for (const joint_state &j : window->table().rows()) {
            QVERIFY2(j.enabled, qPrintable(outcome_text(j)));
            if (j.protocol == joint_protocol::canopen) {
                QVERIFY(j.guarded);
                QCOMPARE(canopen::state_of(sim_statusword(j.address.node)), canopen::drive_state::operation_enabled);
            }
        }
        QTest::mouseClick(child<QPushButton>("stop_all"), Qt::LeftButton);
        QCOMPARE(window->last_stop().sent, 7);
        QCOMPARE(window->last_stop().confirmed, 7);
        for (const joint_state &j : window->table().rows())
            QCOMPARE(j.outcome, action_outcome::stopped);
        for (int node = 1; node <= 6; ++node)
            QCOMPARE(canopen::state_of(sim_statusword(node)), canopen::drive_state::quick_stop_active);
        QVERIFY(child<QLabel>("joints_status")->text().contains(QStringLiteral("7 of 7")));

        // F12 from another top-level window.
        QWidget other;
        other.show();
        window->table().rows()[0].outcome = action_outcome::none;
        QTest::keyClick(&other, Qt::Key_F12);
        QCOMPARE(window->last_stop().sent, 7);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::stopped);
        // Esc in the window itself.
        window->table().rows()[0].outcome = action_outcome::none;
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::stopped);

        // Disable all puts every joint's guard back.
        QTest::mouseClick(child<QPushButton>("disable_all"), Qt::LeftButton);
        for (const joint_state &j : window->table().rows()) {
            QVERIFY2(!j.enabled, qPrintable(outcome_text(j)));
            QVERIFY(!j.guarded);
        }
    }

    // Enable all runs a step at a time with the window alive meanwhile (the poll and the table
    // go on); Stop all pressed in the middle ends it at once: the joints already enabled confirm
    // their stop and the rest are left as they were, not walked on after the stop.
    void a_stop_all_during_enable_all_ends_the_enable()
    {
        for (int node = 1; node <= 6; ++node)
            add(node, 0);
        QTest::mouseClick(child<QPushButton>("enable_all"), Qt::LeftButton);
        QVERIFY(job_runner::instance().busy());
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[1].enabled; }, 3000));
        QTest::mouseClick(child<QPushButton>("stop_all"), Qt::LeftButton);
        QVERIFY(!job_runner::instance().busy());
        const std::vector<joint_state> &rows = window->table().rows();
        QVERIFY(window->last_stop().sent >= 2);
        QCOMPARE(window->last_stop().confirmed, window->last_stop().sent);
        QVERIFY2(!rows[5].enabled, qPrintable(outcome_text(rows[5])));
        QCOMPARE(canopen::state_of(sim_statusword(6)), canopen::drive_state::switch_on_disabled);
        QTest::qWait(100);
        QCOMPARE(canopen::state_of(sim_statusword(6)), canopen::drive_state::switch_on_disabled);
        for (int r = 0; r < 6; ++r) {
            if (rows[r].enabled)
                QCOMPARE(rows[r].outcome, action_outcome::stopped);
        }
    }

    // A joint that never answers its stop (gone from the bus) is not reported stopped, and does
    // not keep the others from confirming theirs.
    void a_stop_nobody_acknowledged_is_not_reported_stopped()
    {
        add(1, 0);
        add(9, 0);  // no joint there
        add(10, 1);
        QTest::mouseClick(child<QPushButton>("enable_all"), Qt::LeftButton);
        QVERIFY(enable_ended());
        QVERIFY(window->table().rows()[0].enabled);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::enable_failed);
        QVERIFY(!window->table().rows()[1].enabled);
        // As if both had been enabled before they went silent.
        window->table().rows()[1].enabled = true;
        window->table().rows()[2].enabled = true;
        const stop_report r = window->table().stop_all();
        QCOMPARE(r.sent, 3);
        QCOMPARE(r.confirmed, 1);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::stopped);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::stop_unconfirmed);
        QCOMPARE(window->table().rows()[2].outcome, action_outcome::stop_unconfirmed);
        QVERIFY(!cell(1, joints_model::outcome).contains(QStringLiteral("已停止")));

        // A joint enabled elsewhere (here by hand, as another window would) is stopped once the
        // poll saw it enabled.
        add(2, 0);
        const canopen::sdo_link link = canopen::exchange_sdo_link(adapter_bus_ops(), 2, 100, {});
        for (const uint16_t cw : {canopen::cw_shutdown, canopen::cw_switch_on, canopen::cw_enable_operation})
            QVERIFY(canopen::write_object(link, 0x6040, 0, QByteArray(reinterpret_cast<const char *>(&cw), 2)).ok);
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[3].statusword_known && (window->table().rows()[3].statusword & 0x6F) == 0x27; }, 3000));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(window->table().rows()[3].outcome, action_outcome::stopped);
        QCOMPARE(canopen::state_of(sim_statusword(2)), canopen::drive_state::quick_stop_active);
    }

    // A fault a drive raises shows in its row: the CiA 402 state, the error code with its text and
    // the EMCY it sent; Enable then resets it and walks the joint back to operation enabled.
    void a_fault_shows_with_its_text_and_enable_resets_it()
    {
        add(4, 0);
        QVERIFY(states_shown());
        sim::simulator::instance().find(4)->canopen()->inject_fault(0x2310);
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[0].error_code == 0x2310; }, 3000));
        QVERIFY(QTest::qWaitFor([this] { return cell(0, joints_model::state).contains(QStringLiteral("Fault")); }, 3000));
        QVERIFY2(cell(0, joints_model::error).startsWith(QStringLiteral("0x2310 ")), qPrintable(cell(0, joints_model::error)));
        QVERIFY(cell(0, joints_model::error).contains(QStringLiteral("over-current")));
        QTRY_VERIFY(cell(0, joints_model::emcy).startsWith(QStringLiteral("0x2310")));
        window->findChild<QTableView *>(QStringLiteral("joints"))->selectRow(0);
        // The drive's error history names the fault; cleared (after a question) it reads empty.
        QTest::mouseClick(child<QPushButton>("history"), Qt::LeftButton);
        QVERIFY2(last_box.contains(QStringLiteral("1. 0x")) && last_box.contains(QStringLiteral("2310")) &&
                     last_box.contains(QStringLiteral("over-current")) && last_box.contains(QStringLiteral("Last EMCY")),
                 qPrintable(last_box));
        const int asked = questions;
        QTest::mouseClick(child<QPushButton>("clear_history"), Qt::LeftButton);
        QCOMPARE(questions, asked + 1);
        QVERIFY2(child<QLabel>("joints_status")->text().contains(QStringLiteral("cleared")) &&
                     !child<QLabel>("joints_status")->text().contains(QStringLiteral("not cleared")),
                 qPrintable(child<QLabel>("joints_status")->text()));
        QTest::mouseClick(child<QPushButton>("history"), Qt::LeftButton);
        QVERIFY2(last_box.contains(QStringLiteral("empty")), qPrintable(last_box));
        // A move is refused while the drive is not enabled, and says why.
        child<QSpinBox>("target")->setValue(3000);
        QTest::mouseClick(child<QPushButton>("move_to"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::move_refused);
        QVERIFY(outcome_text(window->table().rows()[0]).contains(QStringLiteral("not enabled")));
        QTest::mouseClick(child<QPushButton>("fault_reset"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::fault_reset);
        QVERIFY(!(sim_statusword(4) & canopen::sw_bit::fault));
        QTest::mouseClick(child<QPushButton>("enable"), Qt::LeftButton);
        QVERIFY(enable_ended());
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::enabled);
        QCOMPARE(canopen::state_of(sim_statusword(4)), canopen::drive_state::operation_enabled);
        QVERIFY(child<QLabel>("joints_status")->text().contains(QStringLiteral("1 of 1")));

        // Move to, then halt: the drive took the set-point and stays enabled while it halts.
        QTest::mouseClick(child<QPushButton>("move_to"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::move_started);
        const canopen::sdo_outcome target =
            canopen::read_object(canopen::exchange_sdo_link(adapter_bus_ops(), 4, 100, {}), 0x607A, 0);
        QVERIFY(target.ok);
        QCOMPARE(target.data, QByteArray("\xB8\x0B\x00\x00", 4));  // 3000
        QTest::mouseClick(child<QPushButton>("halt"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::halted);
        QVERIFY(sim_statusword(4) & canopen::sw_bit::operation_enabled);
        // Quick stop on the one row: confirmed by its drive.
        QTest::mouseClick(child<QPushButton>("quick_stop"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::stopped);
        QVERIFY(!(sim_statusword(4) & canopen::sw_bit::quick_stop));
    }

    // A jog moves while its button is held and halts on release; homing (method 35, here) from
    // the window ends attained.
    void a_jog_stops_on_release_and_homing_ends_attained()
    {
        add(2, 0);
        QVERIFY(states_shown());
        window->findChild<QTableView *>(QStringLiteral("joints"))->selectRow(0);
        QTest::mouseClick(child<QPushButton>("enable"), Qt::LeftButton);
        QVERIFY(enable_ended());
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::enabled);
        const auto target_velocity = [] {
            const canopen::sdo_outcome o =
                canopen::read_object(canopen::exchange_sdo_link(adapter_bus_ops(), 2, 100, {}), 0x60FF, 0);
            return o.ok && o.data.size() == 4 ? qFromLittleEndian<int32_t>(o.data.constData()) : -1;
        };
        child<QSpinBox>("jog_speed")->setValue(4000);
        QTest::mousePress(child<QPushButton>("jog_plus"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::jogging);
        QCOMPARE(target_velocity(), 4000);
        QTest::mouseRelease(child<QPushButton>("jog_plus"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::halted);
        QCOMPARE(target_velocity(), 0);
        QVERIFY(sim_statusword(2) & canopen::sw_bit::operation_enabled);

        // The method list is the one the drive gives (0x60E3), 35 chosen.
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[0].methods_read; }, 3000));
        auto *methods = child<QComboBox>("home_method");
        QVERIFY(QTest::qWaitFor([&] { return methods->count() == int(sim::homing_methods().size()); }, 1000));
        QCOMPARE(methods->itemText(0), QString::number(sim::homing_methods().front()));
        QCOMPARE(methods->currentText(), QStringLiteral("35"));
        QTest::mouseClick(child<QPushButton>("home"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[0].outcome, action_outcome::homing_started);
        QVERIFY(QTest::qWaitFor([this] { return (sim_statusword(2) & canopen::sw_homing_attained) != 0; }, 5000));

        // A joint of the maker's protocol jogs in continuous motion; the release stops it and
        // puts back the motion mode and profile speed it had. It moves to a target, and homing
        // (which it does not have) is refused with why.
        add(7, 1);
        sim::joint *seven = sim::simulator::instance().find(7);
        const int64_t profile_before = seven->motor().profile_speed();
        window->findChild<QTableView *>(QStringLiteral("joints"))->selectRow(1);
        QTest::mousePress(child<QPushButton>("jog_plus"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::move_refused);  // not enabled yet
        QVERIFY(outcome_text(window->table().rows()[1]).contains(QStringLiteral("not enabled")));
        QTest::mouseRelease(child<QPushButton>("jog_plus"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("enable"), Qt::LeftButton);
        QVERIFY(enable_ended());
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::enabled);
        QTest::mousePress(child<QPushButton>("jog_minus"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::jogging);
        QCOMPARE(seven->custom().motion_mode(), 0);
        QVERIFY(QTest::qWaitFor([seven] { return seven->motor().speed() < 0; }, 2000));
        QTest::mouseRelease(child<QPushButton>("jog_minus"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::halted);
        QVERIFY(QTest::qWaitFor([seven] { return !seven->motor().moving(); }, 3000));
        QCOMPARE(seven->custom().motion_mode(), 1);
        QCOMPARE(seven->motor().profile_speed(), profile_before);
        child<QSpinBox>("target")->setValue(1500);
        QTest::mouseClick(child<QPushButton>("move_to"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::move_started);
        QVERIFY(QTest::qWaitFor([seven] { return seven->motor().position() == 1500; }, 5000));
        QTest::mouseClick(child<QPushButton>("home"), Qt::LeftButton);
        QCOMPARE(window->table().rows()[1].outcome, action_outcome::move_refused);
    }

    // A drive whose TPDO sends its statusword and position (event timer 10 ms, operational)
    // gives the window those values: they follow the drive, and the poll no longer asks them.
    void values_a_tpdo_brings_are_not_polled()
    {
        const canopen::sdo_link link = canopen::exchange_sdo_link(adapter_bus_ops(), 2, 100, {});
        auto write = [&](uint16_t index, uint8_t sub, uint32_t value, int size) {
            QByteArray b(4, '\0');
            qToLittleEndian(value, reinterpret_cast<uchar *>(b.data()));
            b = b.left(size);
            return canopen::write_object(link, index, sub, b).ok;
        };
        QVERIFY(write(0x1800, 1, 0x80000182u, 4));
        QVERIFY(write(0x1A00, 0, 0, 1));
        QVERIFY(write(0x1A00, 1, canopen::pdo_map_entry(0x6041, 0, 16), 4));
        QVERIFY(write(0x1A00, 2, canopen::pdo_map_entry(0x6064, 0, 32), 4));
        QVERIFY(write(0x1A00, 0, 2, 1));
        QVERIFY(write(0x1800, 2, 254, 1));
        QVERIFY(write(0x1800, 5, 10, 2));
        QVERIFY(write(0x1800, 1, 0x182, 4));
        const canopen::frame start = canopen::nmt(canopen::nmt_start, 0x602);
        QVERIFY(send_frame(start.id, start.data, start.len, 0));

        add(2, 0);
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[0].pdos_read; }, 3000));
        QCOMPARE(window->table().rows()[0].tpdos.size(), size_t(1));
        QVERIFY(QTest::qWaitFor([this] { return window->table().rows()[0].pdo_position_us >= 0; }, 1000));

        // Moved by hand: the row's position follows from the TPDO while no SDO asks for it.
        sim::joint *two = sim::simulator::instance().find(2);
        for (const uint16_t cw : {canopen::cw_shutdown, canopen::cw_switch_on, canopen::cw_enable_operation})
            QVERIFY(write(0x6040, 0, cw, 2));
        QVERIFY(write(0x6060, 0, 3, 1));
        QVERIFY(write(0x60FF, 0, 20000, 4));
        vci::bus_tap::listener answers(0, {0x582});
        QVERIFY(QTest::qWaitFor([&] { return two->motor().position() > 2000; }, 3000));
        QVERIFY(write(0x60FF, 0, 0, 4));
        QVERIFY(QTest::qWaitFor([&] { return !two->motor().moving(); }, 3000));
        QTest::qWait(150);
        QCOMPARE(window->table().rows()[0].position, two->motor().position());
        QVERIFY(canopen::state_of(window->table().rows()[0].statusword) == canopen::drive_state::operation_enabled);
        std::vector<vci::tapped_frame> frames;
        answers.drain(frames);
        int polled = 0;
        int uploads = 0;
        for (const vci::tapped_frame &f : frames) {
            const uint16_t index = f.msg.data[1] | f.msg.data[2] << 8;
            if ((f.msg.data[0] & 0xE0) == 0x40) {
                ++uploads;
                polled += index == 0x6064 || index == 0x6041;
            }
        }
        QVERIFY2(uploads > 0, "the poll goes on for the values no TPDO brings");
        QCOMPARE(polled, 0);
    }

    // A name typed into the table is kept for that bus and node.
    void a_name_is_kept_per_bus_and_node()
    {
        add(3, 0);
        auto *view = window->findChild<QTableView *>(QStringLiteral("joints"));
        QVERIFY(view->model()->setData(view->model()->index(0, joints_model::name), QStringLiteral("J3 elbow"), Qt::EditRole));
        QCOMPARE(saved_name({0, 3}), QStringLiteral("J3 elbow"));
        QCOMPARE(saved_name({1, 3}), QString());
        joint_table fresh;
        fresh.add({0, 3}, joint_protocol::canopen);
        QCOMPARE(fresh.rows()[0].name, QStringLiteral("J3 elbow"));
    }
};

QTEST_MAIN(test_joints)
#include "test_joints.moc"
