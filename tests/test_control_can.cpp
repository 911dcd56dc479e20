// Custom-protocol control window: exact frames of each action against a scripted drive (motion
// caches, acknowledged mode writes, link up and down, the status poll), and whole sessions on
// the simulated bus (hand-over from the node window, a joint that stops answering).
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/control_can_state.h"
#include "custom_protocol/custom_exchange.h"
#include "custom_protocol/custom_worker.h"
#include "custom_protocol/xml_lookup.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/flood.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/monitor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <map>
#include <set>

using namespace test_support;

namespace {

// A drive on node 1 as seen from the bus: reads answer four bytes from `values`, writes and
// commands answer 01 unless refused; registers in `silent` never answer.
struct scripted_drive {
    std::map<uint16_t, int32_t> values;
    std::set<uint16_t> silent;
    std::set<uint16_t> refused_writes;
    // Writes answered with a 4-byte reply instead of the 1-byte acknowledgement.
    std::set<uint16_t> rejected_writes;

    std::vector<vci::can_message> answer(const vci::can_message &m) const
    {
        const uint16_t reg = uint16_t(m.data[0] << 8 | m.data[1]);
        if (m.id != 0x641 || silent.count(reg))
            return {};
        const bool command = reg == 0x0083 || reg == 0x0084;
        if (m.len >= 6 || command) {
            if (refused_writes.count(reg))
                return {};
            if (rejected_writes.count(reg))
                return {make_message(0x5C1, {0x00, 0x00, 0x00, 0x00})};
            return {make_message(0x5C1, {0x01})};
        }
        const auto it = values.find(reg);
        const uint32_t v = uint32_t(it == values.end() ? 0 : it->second);
        return {make_message(0x5C1, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)})};
    }
};

const QString read_state = QStringLiteral("641: 00 20");

}  // namespace

class test_control_can : public QObject {
    Q_OBJECT

    std::shared_ptr<scripted_bus_state> bus;
    scripted_drive drive;
    control_CAN *w = nullptr;
    QStringList logged;  // monitor texts emitted by the window
    QList<desktop_seams::box_request> boxes;

    template <typename T>
    T *child(const char *name)
    {
        return test_support::child<T>(w, name);
    }
    void click(const char *name) { child<QPushButton>(name)->click(); }
    QLineEdit *edit(const char *name) { return child<QLineEdit>(name); }
    QString label(const char *name) { return child<QLabel>(name)->text(); }

    // Frames sent since the last call.
    QStringList frames()
    {
        QStringList out;
        for (const vci::can_message &m : bus->sent)
            out << frame_text(m);
        bus->sent.clear();
        return out;
    }
    // Descriptions of the sent frames that reached the monitor.
    QStringList logged_sends()
    {
        QStringList out;
        for (int i = 0; i + 5 < logged.size(); i += 6)
            if (logged[i + 2] == QStringLiteral("发送成功\nSend"))
                out << logged[i + 5];
        return out;
    }

    static const QStringList &motion_controls()
    {
        static const QStringList names = {
            "comboBox",    "apply",         "enable",   "disable",     "backwards",  "backwards_continue",
            "move_to",     "forward",       "forward_continue", "stop", "choose_mode_2", "set_parameter_2",
            "enable_3",    "disenable_2",   "stop_run", "choose_mode", "set_parameter", "stop_run2",
            "enable_2",    "disenable"};
        return names;
    }
    // 1 all enabled, 0 all disabled, -1 mixed.
    int controls_state()
    {
        int on = 0;
        for (const QString &n : motion_controls())
            on += child<QWidget>(n.toLatin1().constData())->isEnabled() ? 1 : 0;
        return on == motion_controls().size() ? 1 : on == 0 ? 0 : -1;
    }

    void bring_link_up()
    {
        w->casual();
        QCOMPARE(custom_link_active, 1);
        frames();
        logged.clear();
    }

private slots:
    void init()
    {
        fresh_process();
        bus = install_scripted_bus();
        drive = scripted_drive{};
        drive.values = {{0x008A, 5000}, {0x0088, 20000}, {0x0089, 30000}};
        bus->responder = [this](const vci::can_message &m) { return drive.answer(m); };
        QVERIFY(open_node_1(QStringLiteral("CAN自定义")));
        monitor_open = 1;
        custom_monitor = new monitor();
        w = new control_CAN();
        logged.clear();
        connect(w, &control_CAN::senddata, this, [this](const QString &t) { logged << t; });
        boxes.clear();
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes << r;
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        desktop_seams::set_box_responder(nullptr);
        delete w;
        w = nullptr;
        delete custom_monitor;
        custom_monitor = nullptr;
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void form_starts_down_with_its_pages_and_fixed_texts()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("CAN自定义协议控制"));
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->size(), QSize(730, 610));
        QCOMPARE(controls_state(), 0);
        QVERIFY(edit("speed")->isEnabled());
        QCOMPARE(edit("max_speed")->text(), QStringLiteral("10000"));
        QCOMPARE(edit("analog_value")->text(), QStringLiteral("500"));
        QCOMPARE(edit("analog_value_2")->text(), QStringLiteral("10000"));
        auto *stack = child<QStackedWidget>("stackedWidget");
        QCOMPARE(stack->currentIndex(), 0);
        QCOMPARE(stack->widget(0)->objectName(), QStringLiteral("page"));
        QCOMPARE(stack->widget(1)->objectName(), QStringLiteral("page_3"));
        QCOMPARE(stack->widget(2)->objectName(), QStringLiteral("page_2"));
        for (const char *name : {"vel_2", "electricity", "position"})
            QCOMPARE(child<QLabel>(name)->styleSheet(), QStringLiteral("border:2px solid red;"));
        QVERIFY(child<QLabel>("Error")->styleSheet().isEmpty());
        QCOMPARE(w->font().family(), QStringLiteral("黑体"));
        QVERIFY(custom_poll_timer && custom_worker);
        QVERIFY(frames().isEmpty());
    }

    void link_up_reads_the_profile_and_link_down_clears_everything()
    {
        drive.values[0x008A] = -7;
        w->casual();
        QCOMPARE(frames(), (QStringList{"641: 00 8A", "641: 00 88", "641: 00 89"}));
        QVERIFY(logged.isEmpty());
        QCOMPARE(edit("speed")->text(), QStringLiteral("-7"));
        QCOMPARE(edit("acceleration")->text(), QStringLiteral("20000"));
        QCOMPARE(edit("deceleration")->text(), QStringLiteral("30000"));
        QCOMPARE(controls_state(), 1);
        QCOMPARE(custom_link_active, 1);
        QVERIFY(custom_poll_timer->isActive());
        QCOMPARE(custom_poll_timer->interval(), 1000);

        w->thread();
        motion_kind = 2;
        w->cut();
        QVERIFY(frames().size() == 4);  // the poll only; cut itself sends nothing
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!custom_poll_timer->isActive());
        QCOMPARE(controls_state(), 0);
        for (const char *name : {"speed", "acceleration", "deceleration"})
            QVERIFY(edit(name)->text().isEmpty());
        for (const char *name : {"vel_2", "electricity", "position", "Error"})
            QVERIFY(label(name).isEmpty());
        QCOMPARE((QList<int32_t>{motion_kind, continuous_direction, relative_repeat_state, absolute_repeat_state}),
                 (QList<int32_t>{4, 4, 3, 3}));
    }

    void failed_profile_read_ends_link_up_without_changing_the_link()
    {
        // Down stays down.
        drive.silent = {0x0088};
        w->casual();
        QCOMPARE(frames(), (QStringList{"641: 00 8A", "641: 00 88"}));
        QCOMPARE(edit("speed")->text(), QStringLiteral("5000"));
        QVERIFY(edit("acceleration")->text().isEmpty());
        QCOMPARE(custom_link_active, 0);
        QCOMPARE(controls_state(), 0);
        QVERIFY(!custom_poll_timer->isActive());

        // Up stays up.
        drive.silent.clear();
        bring_link_up();
        drive.silent = {0x008A};
        w->casual();
        QCOMPARE(frames(), QStringList{"641: 00 8A"});
        QCOMPARE(custom_link_active, 1);
        QCOMPARE(controls_state(), 1);
        QVERIFY(custom_poll_timer->isActive());

        // No node ever connected: nothing at all.
        w->cut();
        custom_request_id = 0;
        w->casual();
        QVERIFY(frames().isEmpty());
        QCOMPARE(custom_link_active, 0);
    }

    void continuous_motion_prepares_once_and_reverses_through_the_speed_sign()
    {
        bring_link_up();
        edit("speed")->setText(QStringLiteral("-1500"));
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 00", "641: 00 8A 00 00 05 DC", read_state,
                                        "641: 00 83"}));
        QCOMPARE(logged_sends(), (QStringList{"设置持续运动模式\nSet continuous motion mode", "设置速度\nSet speed",
                                              "开始正向运动\nForward"}));
        QCOMPARE(edit("speed")->text(), QStringLiteral("1500"));

        // Again while it runs: only the two reads; again once it stopped: the start too.
        drive.values[0x0020] = 1;
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, read_state}));
        drive.values[0x0020] = 0;
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, read_state, "641: 00 83"}));

        // Backwards while running forwards: -|v| and no start.
        drive.values[0x0020] = 1;
        click("backwards_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A FF FF FA 24", read_state}));
        QCOMPARE(edit("speed")->text(), QStringLiteral("-1500"));
        QCOMPARE(continuous_direction, 2);
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A 00 00 05 DC", read_state}));
    }

    void continuous_motion_stops_where_it_cannot_go_on()
    {
        bring_link_up();
        // Another kind of motion is running: nothing after the read.
        drive.values[0x0020] = 1;
        click("backwards_continue");
        QCOMPARE(frames(), QStringList{read_state});
        // The mode write not acknowledged: nothing after it, and the cache stays unset.
        drive.values[0x0020] = 0;
        drive.refused_writes = {0x008D};
        click("backwards_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 00"}));
        QCOMPARE(motion_kind, 0);
    }

    void continuous_direction_follows_only_answered_speed_writes()
    {
        bring_link_up();
        edit("speed")->setText(QStringLiteral("1500"));
        click("forward_continue");
        frames();
        // A reversal the drive did not answer: the next press writes the speed again.
        drive.values[0x0020] = 1;
        drive.refused_writes = {0x008A};
        click("backwards_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A FF FF FA 24", read_state}));
        drive.refused_writes.clear();
        click("backwards_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A FF FF FA 24", read_state}));
        QCOMPARE(continuous_direction, 2);

        // The same for Apply: an unanswered +1500 leaves the drive's sign unknown.
        click("stop");
        drive.values[0x0020] = 0;
        drive.refused_writes = {0x008A};
        edit("speed")->setText(QStringLiteral("1500"));
        click("apply");
        drive.refused_writes.clear();
        frames();
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A 00 00 05 DC", read_state, "641: 00 83"}));
    }

    void motion_mode_needs_the_one_byte_acknowledgement()
    {
        // The drive answers, but with four bytes: that is no acknowledgement of the mode.
        bring_link_up();
        drive.rejected_writes = {0x008D};
        click("forward_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 00"}));
        QCOMPARE(motion_kind, 0);

        edit("absolute_position")->setText(QStringLiteral("100"));
        click("move_to");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 01"}));
        QCOMPARE(absolute_repeat_state, 3);

        // A relative move goes on, and writes the mode again next time.
        edit("relative_position")->setText(QStringLiteral("100"));
        click("forward");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 01", "641: 00 87 00 00 00 64", "641: 00 83"}));
        QCOMPARE(relative_repeat_state, 3);
        drive.rejected_writes.clear();
        click("forward");
        QCOMPARE(frames().at(1), QStringLiteral("641: 00 8D 00 00 00 01"));
        QCOMPARE(relative_repeat_state, 0);
    }

    void text_that_is_not_a_number_sends_nothing_and_says_so()
    {
        bring_link_up();
        edit("relative_position")->setText(QStringLiteral("2000"));
        click("forward");
        frames();
        // A typo in the distance must not become a move by 0 (or anywhere else).
        edit("relative_position")->setText(QStringLiteral("2OOO"));
        click("forward");
        QVERIFY(frames().isEmpty());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::question);
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(boxes[0].text, QStringLiteral("输入数据格式错误"));
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(boxes[0].parent == w);

        // The same for the speed of continuous motion (the other fields: test_windows_under_faults_input).
        boxes.clear();
        edit("speed")->setText(QStringLiteral("1.5e3"));
        click("forward_continue");
        QVERIFY(frames().isEmpty());
        QCOMPARE(boxes.size(), 1);

        // Spaces around a number are no error; a field of spaces is an empty one.
        boxes.clear();
        edit("relative_position")->setText(QStringLiteral(" 2000 "));
        click("forward");
        QVERIFY(frames().contains(QStringLiteral("641: 00 87 00 00 07 D0")));
        edit("relative_position")->setText(QStringLiteral("   "));
        click("forward");
        QVERIFY(frames().isEmpty());
        QVERIFY(boxes.isEmpty());
    }

    void apply_keeps_the_continuous_direction_true_to_the_speed_written()
    {
        bring_link_up();
        edit("speed")->setText(QStringLiteral("1500"));
        click("backwards_continue");
        frames();
        click("stop");
        edit("speed")->setText(QStringLiteral("3000"));
        click("apply");
        QCOMPARE(frames(), (QStringList{"641: 00 84", "641: 00 8A 00 00 0B B8", "641: 00 88 00 00 4E 20",
                                        "641: 00 89 00 00 75 30"}));
        // The drive now holds +3000: Backwards must write the negative speed again before it starts.
        click("backwards_continue");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8A FF FF F4 48", read_state, "641: 00 83"}));
    }

    void relative_and_absolute_moves_keep_their_mode_caches()
    {
        bring_link_up();
        click("forward_continue");
        frames();

        // Empty distance: nothing.
        click("forward");
        QVERIFY(frames().isEmpty());

        // After continuous motion the mode is written again.
        edit("relative_position")->setText(QStringLiteral("2000"));
        click("forward");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 01", "641: 00 87 00 00 07 D0", "641: 00 83"}));
        QCOMPARE(logged_sends().last(), QStringLiteral("开始正向运动\nForward"));
        click("backwards");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 87 FF FF F8 30", "641: 00 83"}));

        // An unacknowledged mode write does not end a relative move, and is retried next time.
        child<QRadioButton>("radioButton")->setChecked(true);
        drive.refused_writes = {0x008D};
        click("forward");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 02", "641: 00 87 00 00 07 D0", "641: 00 83"}));
        drive.refused_writes.clear();
        click("forward");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 02", "641: 00 87 00 00 07 D0", "641: 00 83"}));
        click("forward");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 87 00 00 07 D0", "641: 00 83"}));

        // Moving: nothing after the read.
        drive.values[0x0020] = 1;
        click("forward");
        QCOMPARE(frames(), QStringList{read_state});
        drive.values[0x0020] = 0;

        // Absolute after relative: its own cache, and there an unacknowledged write ends the move.
        click("move_to");
        QVERIFY(frames().isEmpty());
        edit("absolute_position")->setText(QStringLiteral("-100"));
        drive.refused_writes = {0x008D};
        click("move_to");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 01"}));
        drive.refused_writes.clear();
        click("move_to");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 8D 00 00 00 01", "641: 00 87 00 00 00 00",
                                        "641: 00 86 FF FF FF 9C", read_state, "641: 00 83"}));
        QCOMPARE(logged_sends().mid(logged_sends().size() - 3),
                 (QStringList{"相对位置置0\nThe relative position is set to 0", "运动至-100cnt\nMove to -100cnt",
                              "开始运动\nMotion"}));
        click("move_to");
        QCOMPARE(frames(), (QStringList{read_state, "641: 00 87 00 00 00 00", "641: 00 86 FF FF FF 9C", read_state,
                                        "641: 00 83"}));
        // The relative cache was reset by the absolute move.
        click("forward");
        QCOMPARE(frames().at(1), QStringLiteral("641: 00 8D 00 00 00 02"));
    }

    void speed_and_torque_pages_send_their_settings()
    {
        bring_link_up();
        click("choose_mode");
        click("set_parameter");
        click("stop_run2");
        QCOMPARE(frames(), (QStringList{"641: 00 4E 00 00 00 01", "641: 01 12 00 00 00 00", "641: 01 FD 00 00 00 00",
                                        "641: 01 FE 00 00 01 F4", "641: 02 04 00 00 27 10", "641: 01 FE 00 00 00 00"}));
        click("choose_mode_2");
        click("set_parameter_2");
        click("stop_run");
        click("enable_3");
        click("disenable");
        QCOMPARE(frames(), (QStringList{"641: 00 4E 00 00 00 02", "641: 01 12 00 00 00 00", "641: 01 FD 00 00 00 00",
                                        "641: 01 FE 00 00 27 10", "641: 01 FE 00 00 00 00", "641: 01 00 00 00 00 01",
                                        "641: 01 00 00 00 00 00"}));
        QCOMPARE(logged_sends().size(), 13);
        // None of these touches the motion caches.
        QCOMPARE((QList<int32_t>{motion_kind, continuous_direction}), (QList<int32_t>{0, 0}));
    }

    void mode_selector_shows_pages_and_only_position_changes_the_drive()
    {
        bring_link_up();
        auto *combo = child<QComboBox>("comboBox");
        auto *stack = child<QStackedWidget>("stackedWidget");
        const int expected_page[] = {0, 2, 1};
        for (int item : {1, 2, 0}) {
            combo->setCurrentIndex(item);
            w->on_comboBox_activated(combo->currentText());
            QCOMPARE(stack->currentIndex(), expected_page[item]);
            QCOMPARE(child<QTextEdit>("textEdit")->toPlainText(),
                     custom_xml::lookup_xml_text(QString::fromLatin1(control_CAN::information_document), item));
            QVERIFY(!child<QTextEdit>("textEdit")->toPlainText().isEmpty());
            QCOMPARE(frames(), item == 0 ? QStringList{"641: 00 4E 00 00 00 03"} : QStringList{});
        }
        QVERIFY(logged.isEmpty());
    }

    void poll_shows_signed_values_and_looks_up_the_error()
    {
        bring_link_up();
        drive.values[0x0008] = 250;
        drive.values[0x0005] = -1;
        drive.values[0x0002] = -123456;
        drive.values[0x001F] = 0;
        w->thread();
        QCOMPARE(frames(), (QStringList{"641: 00 08", "641: 00 05 00 01", "641: 00 02", "641: 00 1F"}));
        QVERIFY(logged.isEmpty());
        QCOMPARE(label("electricity"), QStringLiteral("250"));
        QCOMPARE(label("vel_2"), QStringLiteral("-1"));
        QCOMPARE(label("position"), QStringLiteral("-123456"));
        QCOMPARE(label("Error"), QStringLiteral("无错误\nNo error"));

        // Only the current read answered: the other labels keep their last answered readings
        // instead of showing the current as a speed, a position or an error.
        drive.values[0x0008] = 16;
        drive.silent = {0x0005, 0x0002, 0x001F};
        w->thread();
        QCOMPARE(label("electricity"), QStringLiteral("16"));
        QCOMPARE(label("vel_2"), QStringLiteral("-1"));
        QCOMPARE(label("position"), QStringLiteral("-123456"));
        QCOMPARE(label("Error"), QStringLiteral("无错误\nNo error"));
        QCOMPARE(custom_link_active, 1);

        // No answer to the current read: the node is gone.
        drive.silent = {0x0008};
        w->thread();
        QCOMPARE(frames().last(), QStringLiteral("641: 00 08"));
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!custom_poll_timer->isActive());
        QCOMPARE(controls_state(), 0);
        QVERIFY(label("electricity").isEmpty() && label("Error").isEmpty());
    }

    void late_replies_under_foreign_traffic_never_reach_a_label()
    {
        bring_link_up();
        custom_reply_id = 0x5C1;  // learned at connect
        custom_late_guard_ms = 200;
        drive.values = {{0x0008, 250}, {0x0005, -1}, {0x0002, -123456}};
        w->thread();
        // Now the speed comes 1 ms after its window and the position late in its own, brought by
        // the thread that puts another node's PDOs on the bus.
        using clock = std::chrono::steady_clock;
        std::mutex mutex;
        std::multimap<clock::time_point, vci::can_message> later;
        bus->responder = [&](const vci::can_message &m) {
            const int delay_ms = m.data[1] == 0x05 ? 7 : m.data[1] == 0x02 ? 4 : 0;
            if (delay_ms == 0)
                return drive.answer(m);
            std::lock_guard<std::mutex> lock(mutex);
            later.emplace(clock::now() + std::chrono::milliseconds(delay_ms), drive.answer(m)[0]);
            return std::vector<vci::can_message>();
        };
        foreign_traffic traffic([&](const vci::can_message &m) {
            bus->inject(m);
            std::lock_guard<std::mutex> lock(mutex);
            for (; !later.empty() && later.begin()->first <= clock::now(); later.erase(later.begin()))
                bus->inject(later.begin()->second);
        });
        traffic.start();
        for (int tick = 0; tick < 5; ++tick) {
            w->thread();
            QCOMPARE(label("position"), QStringLiteral("-123456"));
            QCOMPARE(label("vel_2"), QStringLiteral("-1"));
        }
        custom_late_guard_ms = 6;
    }

    void show_takes_the_node_and_close_drops_it_with_the_monitor()
    {
        custom_monitor->show();
        w->show();
        QCOMPARE(frames(), (QStringList{"641: 00 8A", "641: 00 88", "641: 00 89", "641: 00 4E 00 00 00 03"}));
        QCOMPARE(custom_control_open, 1);
        QCOMPARE(custom_link_active, 1);
        QCOMPARE(child<QTextEdit>("textEdit")->toPlainText(),
                 custom_xml::lookup_xml_text(QString::fromLatin1(control_CAN::information_document), 0));

        motion_window_open = 1;
        w->close();
        QVERIFY(frames().isEmpty());
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!custom_poll_timer->isActive());
        QCOMPARE(controls_state(), 0);
        QVERIFY(!custom_monitor->isVisible());
        QCOMPARE((QList<int32_t>{custom_control_open, motion_window_open}), (QList<int32_t>{0, 0}));

        // Shown after a disconnect the link stays down; before any connect nothing is sent at all.
        custom_request_id = 0x640;
        w->show();
        QCOMPARE(frames(), QStringList{"640: 00 4E 00 00 00 03"});
        QCOMPARE(custom_link_active, 0);
        w->close();
        custom_request_id = 0;
        w->show();
        QVERIFY(frames().isEmpty());
        w->close();
    }

    void language_change_takes_the_node_again_from_its_worker()
    {
        w->comboBox(1);
        QVERIFY(frames().isEmpty());  // the window is not shown: no profile reads now
        QVERIFY(QTest::qWaitFor([] { return custom_link_active == 1; }, 10000));
        QCOMPARE(frames(), (QStringList{"641: 00 8A", "641: 00 88", "641: 00 89"}));
        QVERIFY(custom_worker->wait(10000));

        custom_control_open = 1;
        drive.silent = {0x0088};
        w->comboBox(0);
        QCOMPARE(frames(), (QStringList{"641: 00 8A", "641: 00 88"}));
        QVERIFY(custom_worker->wait(10000));
        QCoreApplication::sendPostedEvents();
    }
};

// The same window on the simulated joint, handed over by the node window.
class test_control_can_session : public QObject {
    Q_OBJECT

    control_CAN *w = nullptr;
    Set_node *node = nullptr;

    template <typename T>
    T *child(const char *name)
    {
        return test_support::child<T>(w, name);
    }
    void run_ms(int ms) { sim::clock::advance_us(int64_t(ms) * 1000); }
    int32_t polled_position()
    {
        w->thread();
        return child<QLabel>("position")->text().toInt();
    }

private slots:
    void initTestCase() { sim::clock::set_manual(true); }
    void cleanupTestCase() { sim::clock::set_manual(false); }

    void init()
    {
        fresh_process();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        custom_monitor = new monitor();
        w = custom_control = new control_CAN();
        node = new Set_node();
    }
    void cleanup()
    {
        delete node;
        delete w;
        delete custom_monitor;
        custom_monitor = nullptr;
        custom_control = nullptr;
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void node_window_hands_the_joint_over_and_takes_it_back()
    {
        // Node connected while the window is open: the retry of the node window brings it up.
        w->show();
        QCOMPARE(custom_link_active, 0);
        node_id = 1;
        custom_request_id = 0x641;
        protocol_name = QStringLiteral("CAN自定义");
        node_connected = 1;
        node->off();
        QCOMPARE(custom_link_active, 1);
        QVERIFY(child<QPushButton>("enable")->isEnabled());
        QCOMPARE(child<QLineEdit>("speed")->text().isEmpty(), false);

        emit node->func2();
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!child<QPushButton>("enable")->isEnabled());
        w->close();

        // Opened after the connect: showing it is enough.
        w->show();
        QCOMPARE(custom_link_active, 1);

        // A joint that stops answering takes the link down at the next poll.
        sim::simulator::instance().configure({{2, 10231}});
        w->thread();
        QCOMPARE(custom_link_active, 0);
        QVERIFY(!child<QPushButton>("enable")->isEnabled());
        w->close();
    }

    void joint_follows_the_moves_and_reports_its_fault()
    {
        custom_request_id = 0x641;
        w->show();
        QCOMPARE(custom_link_active, 1);

        // Starting while disabled is a drive fault, shown through the error document.
        child<QLineEdit>("relative_position")->setText(QStringLiteral("4000"));
        child<QPushButton>("forward")->click();
        w->thread();
        QCOMPARE(child<QLabel>("Error")->text(),
                 custom_xml::lookup_xml_text(QString::fromLatin1(control_CAN::error_document), 0x0010));
        QVERIFY(child<QLabel>("Error")->text().contains(QStringLiteral("0x0010")));

        child<QPushButton>("enable")->click();
        child<QLineEdit>("speed")->setText(QStringLiteral("20000"));
        child<QLineEdit>("acceleration")->setText(QStringLiteral("100000"));
        child<QLineEdit>("deceleration")->setText(QStringLiteral("100000"));
        child<QPushButton>("apply")->click();
        const int32_t start = polled_position();
        QCOMPARE(child<QLabel>("Error")->text(), QStringLiteral("无错误\nNo error"));
        child<QPushButton>("forward")->click();
        run_ms(2000);
        QCOMPARE(polled_position(), start + 4000);

        // Back and forth to an absolute target and back to rest.
        child<QLineEdit>("absolute_position")->setText(QString::number(start - 1000));
        child<QPushButton>("move_to")->click();
        run_ms(2000);
        QCOMPARE(polled_position(), start - 1000);

        // Continuous backwards, reversed while running, then stopped.
        child<QPushButton>("backwards_continue")->click();
        run_ms(1000);
        w->thread();
        QCOMPARE(child<QLabel>("vel_2")->text(), QStringLiteral("-20000"));
        child<QPushButton>("forward_continue")->click();
        run_ms(1000);
        w->thread();
        QCOMPARE(child<QLabel>("vel_2")->text(), QStringLiteral("20000"));
        child<QPushButton>("stop")->click();
        run_ms(1000);
        w->thread();
        QCOMPARE(child<QLabel>("vel_2")->text(), QStringLiteral("0"));
        w->close();
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        test_control_can t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        test_control_can_session t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "test_control_can.moc"
