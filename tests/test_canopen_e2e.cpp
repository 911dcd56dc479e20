// The CANopen window driving the simulated joint, one scenario per operating mode: the whole
// command column runs green, then the page's buttons (with a SYNC where the node takes its
// RPDO data) move the joint the way the mode says, and a poll tick shows it in the status
// area. After commissioning, the PDO mapping reads back from the node entry for entry, and a
// mode commissioned over a running one is remapped. Time is the simulator's manual clock.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_commands.h"
#include "canopen/canopen_frames.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "base/motion_notifier.h"
#include "scope/scope_source.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace test_support;

class test_canopen_e2e : public QObject {
    Q_OBJECT

private:
    control_CANopen *window = nullptr;
    int boxes = 0;

    QPushButton *button(const char *name) { return window->findChild<QPushButton *>(QString::fromLatin1(name)); }
    QLineEdit *field(const char *name) { return window->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    QString label(const char *name) { return window->findChild<QLabel *>(QString::fromLatin1(name))->text(); }
    sim::canopen_node &node() { return *sim::simulator::instance().find(1)->canopen(); }
    sim::motor_model &motor() { return sim::simulator::instance().find(1)->motor(); }

    void press(const char *name) { button(name)->click(); }
    int32_t sdo_read(uint16_t index, uint8_t sub)
    {
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, index, sub);
        return window->canopen_exchange(f.id, f.data, f.len, QString(), 1) ? reply_value : INT32_MIN;
    }
    // The page buttons leave their RPDO in the node until the next SYNC.
    void sync() { press("Enable_Sync"); }
    void wait_s(double s)
    {
        sim::clock::advance_us(static_cast<int64_t>(s * 1e6));
        window->tim();
    }

    void commission(int page)
    {
        window->casuals();
        QCOMPARE(params_loaded, 1);
        QComboBox *combo = window->findChild<QComboBox *>(QStringLiteral("comboBox"));
        combo->setCurrentIndex(page);
        QVERIFY(QMetaObject::invokeMethod(combo, "activated", Q_ARG(QString, combo->currentText())));
        for (const char *name : canopen_column_names) {
            QPushButton *b = button(name);
            if (!b->isEnabled()) {
                QVERIFY2(!canopen::page_sets_velocity(page) && qstrcmp(name, "Set_velocity") == 0, name);
                continue;
            }
            b->click();
            QVERIFY2(b->styleSheet() == QLatin1String("background-color:rgb(0,255,0)"), name);
        }
        const int8_t modes[] = {1, 3, 4, 8, 9, 10, 7};  // pp, pv, pt, csp, csv, cst, ip
        QCOMPARE(node().mode(), modes[page]);
        QCOMPARE(node().state(), sim::canopen_node::nmt_state::operational);
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
        QCOMPARE(power_enabled, 1);
        // Every mapping write took: a refused one would leave the button green all the same.
        const uint32_t tx[][3] = {{0x60410010, 0x60640020}, {0x60410010, 0x606C0020}, {0x60410010, 0x60770010},
                                  {0x60410010, 0x60640020}, {0x60410010, 0x606C0020},
                                  {0x60410010, 0x60770010, 0x60780010}, {0x60410010, 0x60640020}};
        const uint32_t rx[][3] = {{0x60400010, 0x607A0020}, {0x60400010, 0x60FF0020}, {0x60400010, 0x60710010},
                                  {0x60400010, 0x607A0020}, {0x60400010, 0x60FF0020}, {0x60400010, 0x60710010},
                                  {0x60400010, 0x60C10110, 0x60C10210}};
        for (const auto &[index, map] : {std::make_pair(0x1A00, tx[page]), std::make_pair(0x1600, rx[page])}) {
            const int count = map[2] ? 3 : 2;
            QCOMPARE(sdo_read(uint16_t(index), 0), count);
            for (int sub = 1; sub <= count; ++sub)
                QCOMPARE(uint32_t(sdo_read(uint16_t(index), uint8_t(sub))), map[sub - 1]);
        }
        window->tim();
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        QCOMPARE(power_enabled, 1);
    }

private slots:
    void initTestCase() { sim::clock::set_manual(true); }

    void init()
    {
        fresh_process();
        // The manual clock runs ahead of Velmora's heartbeat: a guarded joint would take that
        // for Velmora's death. The guard's own scenario turns it on.
        QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue("guard/enabled", false);
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        QVERIFY(open_canopen_node_1());
        boxes = 0;
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &) {
            ++boxes;
            return QMessageBox::Ok;
        });
        window = new control_CANopen();
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        desktop_seams::set_box_responder(nullptr);
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void profile_position()
    {
        commission(canopen::page_pp);
        field("Target_position")->setText(QStringLiteral("1500"));
        QSignalSpy announced(&scope::motion_notifier::instance(), &scope::motion_notifier::motion_sent);
        press("Move_to");
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced[0][0].toInt(), int(scope::motion_kind::absolute));
        QCOMPARE(announced[0][1].toInt(), 1500);
        sync();
        wait_s(3);
        QCOMPARE(label("position"), QStringLiteral("1500"));
        QCOMPARE(label("vel"), QStringLiteral("0"));
        // The scope reads the commissioned node between the window's exchanges.
        scope::canopen_source scope_reads(scope::sampler_bus(), 0x601);
        scope::sample read;
        QVERIFY(scope_reads.read(&read));
        QCOMPARE(read.value[scope::position], 1500);
        QCOMPARE(read.value[scope::state], 4);  // operation enabled

        // A second Motion press is a new move, not an ignored repeat.
        field("Target_position")->setText(QStringLiteral("-400"));
        press("Move_to");
        sync();
        wait_s(0.2);
        QVERIFY(label("vel").toInt() < 0);
        // Stop brings the move to rest short of the target, power stage still on.
        press("Stop_4");
        wait_s(3);
        const int stopped_at = label("position").toInt();
        QVERIFY(stopped_at < 1500 && stopped_at > -400);
        QCOMPARE(label("vel"), QStringLiteral("0"));
        QVERIFY(motor().enabled());
        // The joint took the profile velocity 0 itself: no refusal, no halt needed.
        QCOMPARE(label("notice"), QString());
        QCOMPARE(sdo_read(0x6040, 0) & 0x0100, 0);

        press("Stop");
        sync();
        QVERIFY(!motor().enabled());
        QCOMPARE(power_enabled, 0);
    }

    void profile_velocity()
    {
        commission(canopen::page_pv);
        field("PV_Velocity")->setText(QStringLiteral("-700"));
        press("Start_run");
        sync();
        wait_s(1);
        QCOMPARE(label("vel"), QStringLiteral("-700"));
        QVERIFY(label("position").toInt() < 0);
        press("PV_Stop_2");
        sync();
        wait_s(1);
        QCOMPARE(label("vel"), QStringLiteral("0"));
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
        press("PV_Stop");
        sync();
        QVERIFY(!motor().enabled());
    }

    void profile_torque()
    {
        commission(canopen::page_pt);
        field("lineEdit")->setText(QStringLiteral("200"));
        press("pushButton_2");
        sync();
        window->tim();
        QCOMPARE(label("electricity"), QStringLiteral("600"));  // 200 per mille of 3000 mA
        wait_s(0.5);
        QVERIFY(label("vel").toInt() > 0);
        press("pushButton_4");  // zero torque, power stays on
        sync();
        window->tim();
        QCOMPARE(label("electricity"), QStringLiteral("0"));
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
        press("pushButton_3");
        sync();
        QCOMPARE(node().power(), sim::canopen_node::power_state::switch_on_disabled);
    }

    void cyclic_synchronous_position()
    {
        motor().set_position(5000);
        commission(canopen::page_csp);
        QCOMPARE(hold_position, 5000);
        QCOMPARE(label("position"), QStringLiteral("5000"));  // enabled where it stood

        field("Target_position_2")->setText(QStringLiteral("6000"));
        press("Move_to_3");
        sync();
        wait_s(0.01);
        QCOMPARE(label("position"), QStringLiteral("6000"));
        // Too far from the last accepted target: refused, nothing moves.
        field("Target_position_2")->setText(QStringLiteral("7001"));
        press("Move_to_3");
        QCOMPARE(boxes, 1);
        sync();
        wait_s(0.01);
        QCOMPARE(label("position"), QStringLiteral("6000"));
        // Halt holds the joint at the last target.
        press("Stop_6");
        sync();
        wait_s(1);
        QCOMPARE(label("position"), QStringLiteral("6000"));
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        field("Target_position_2")->setText(QStringLiteral("6800"));
        press("Move_to_3");
        sync();
        wait_s(0.01);
        QCOMPARE(label("position"), QStringLiteral("6800"));
    }

    void cyclic_synchronous_velocity()
    {
        commission(canopen::page_csv);
        field("CSV_Velocity")->setText(QStringLiteral("400"));
        press("Start_run_2");
        sync();
        wait_s(1);
        QCOMPARE(label("vel"), QStringLiteral("400"));
        press("PV_Stop_3");
        sync();
        wait_s(1);
        QCOMPARE(label("vel"), QStringLiteral("0"));
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
        press("PV_Stop_4");
        sync();
        QVERIFY(!motor().enabled());
    }

    void cyclic_synchronous_torque()
    {
        // A new mode is commissioned over a running one: its PDOs must be remapped while valid.
        commission(canopen::page_csv);
        commission(canopen::page_cst);
        field("CST_torque")->setText(QStringLiteral("-100"));
        press("pushButton_5");
        sync();
        window->tim();
        QCOMPARE(label("electricity"), QStringLiteral("-300"));
        press("CST_STOP");
        sync();
        window->tim();
        QCOMPARE(label("electricity"), QStringLiteral("0"));
        press("CST_DISABLE");
        sync();
        QVERIFY(!motor().enabled());
    }

    void interpolated_position()
    {
        motor().set_position(-200);
        commission(canopen::page_ip);
        QCOMPARE(hold_position, -200);
        field("Target_position_3")->setText(QStringLiteral("70000"));
        press("Move_to_2");
        sync();
        wait_s(1);
        const int moving_at = label("position").toInt();
        QVERIFY(moving_at > -200 && moving_at < 70000);
        // Halt: the joint comes to rest short of the target and stays there.
        press("Stop_5");
        sync();
        wait_s(5);
        const int halted_at = label("position").toInt();
        QVERIFY(halted_at < 70000);
        wait_s(5);
        QCOMPARE(label("position").toInt(), halted_at);
        QCOMPARE(label("vel"), QStringLiteral("0"));
        // Motion again resumes toward the target.
        press("Move_to_2");
        sync();
        wait_s(120);  // profile speed as read from the node: 1000 cnt/s
        QCOMPARE(label("position"), QStringLiteral("70000"));
    }

    void drive_fault_shows_and_a_new_enable_clears_it()
    {
        commission(canopen::page_pp);
        node().inject_fault(0x7121);
        window->tim();
        QVERIFY(label("Error_2").contains(QStringLiteral("Motor blocked")));
        QCOMPARE(power_enabled, 0);
        press("Enable");  // sends the fault reset and the enable words again
        window->tim();
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
    }
};

QTEST_MAIN(test_canopen_e2e)
#include "test_canopen_e2e.moc"
