// The CANopen control window against a scripted node: the form, the guided commissioning
// sequence frame for frame, the page buttons, the status poll and its loss-of-node rules,
// and the XML text lookup with the documents the program ships.
#include "base/desktop_seams.h"
#include "base/drive_journal.h"
#include "base/elided_label.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/exchange.h"
#include "can/heartbeat_producer.h"
#include "can/vci/vci.h"
#include "canopen/canopen_commands.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_replies.h"
#include "canopen/canopen_state.h"
#include "canopen/canopen_xml.h"
#include "canopen/control_canopen.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/monitor.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>
#include <map>
#include <set>

using namespace test_support;

namespace {

const char *const green = "background-color:rgb(0,255,0)";

// A node that answers the way a CiA 301 node does, with switches to make it fall silent.
struct fake_node {
    int node = 1;
    std::map<uint16_t, uint32_t> objects{{0x6083, 20000}, {0x6084, 15000}, {0x6081, 2000}, {0x6064, 0},
                                         {0x606C, 0},     {0x6078, 0},     {0x6075, 3000}, {0x603F, 0}};
    std::set<uint16_t> silent_objects;
    std::map<uint16_t, uint32_t> aborts;  // object -> abort code of every write to it
    std::set<uint16_t> missing_objects;   // every access aborted: object does not exist
    uint16_t statusword = 0x0237;         // in TPDO 1 and 0x6041: operation enabled
    bool silent = false;
    bool ignore_guarding = false;
    // Objects with subindices, index << 8 | sub; writes to them are kept.
    std::map<uint32_t, uint32_t> entries;
    // Whether Velmora's heartbeat was being produced at each write to an entry, in write order.
    std::vector<std::pair<uint32_t, bool>> entry_writes;

    std::vector<vci::can_message> operator()(const vci::can_message &m)
    {
        std::vector<vci::can_message> out;
        if (silent)
            return out;
        if (m.id == 0x000 && m.len == 2 && m.data[0] == 0x82 && m.data[1] == node)
            out.push_back(make_message(0x700u + node, {0x00}));
        else if (m.id == 0x080)
            out.push_back(make_message(0x180u + node, {uint8_t(statusword), uint8_t(statusword >> 8), 0, 0, 0, 0}));
        else if (m.id == 0x700u + node && m.remote && !ignore_guarding)
            out.push_back(make_message(0x700u + node, {0x05}));
        else if (m.id == 0x600u + node && m.len == 8) {
            const uint16_t index = static_cast<uint16_t>(m.data[1] | m.data[2] << 8);
            if (silent_objects.count(index))
                return out;
            const uint32_t entry = uint32_t(index) << 8 | m.data[3];
            if (entries.count(entry)) {
                if (m.data[0] == 0x40) {
                    const uint32_t v = entries[entry];
                    out.push_back(make_message(0x580u + node, {0x43, m.data[1], m.data[2], m.data[3], uint8_t(v),
                                                               uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}));
                    return out;
                }
                entries[entry] = uint32_t(m.data[4] | m.data[5] << 8 | m.data[6] << 16 | uint32_t(m.data[7]) << 24);
                entry_writes.push_back({entry, heartbeat::producer::instance().producing()});
                out.push_back(make_message(0x580u + node, {0x60, m.data[1], m.data[2], m.data[3], 0, 0, 0, 0}));
                return out;
            }
            if ((m.data[0] != 0x40 && aborts.count(index)) || missing_objects.count(index)) {
                const uint32_t c = missing_objects.count(index) ? 0x06020000 : aborts[index];
                out.push_back(make_message(0x580u + node, {0x80, m.data[1], m.data[2], m.data[3], uint8_t(c),
                                                           uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)}));
            } else if (m.data[0] == 0x40) {
                const uint32_t v = index == 0x6041 ? statusword : objects.count(index) ? objects[index] : 0;
                out.push_back(make_message(0x580u + node, {0x43, m.data[1], m.data[2], m.data[3], uint8_t(v),
                                                           uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}));
            } else {
                out.push_back(make_message(0x580u + node, {0x60, m.data[1], m.data[2], m.data[3], 0, 0, 0, 0}));
            }
        }
        return out;
    }
};

}  // namespace

class test_canopen_window : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<scripted_bus_state> bus;
    std::shared_ptr<fake_node> node;
    control_CANopen *window = nullptr;
    std::vector<desktop_seams::box_request> boxes;
    size_t mark = 0;

    template <typename T = QWidget> T *w(const char *name) { return child<T>(window, name); }
    QPushButton *button(const char *name) { return w<QPushButton>(name); }
    QLineEdit *field(const char *name) { return w<QLineEdit>(name); }
    QString label(const char *name) { return w<QLabel>(name)->text(); }
    // The refusal notice in full (it may be shown elided).
    QString notice() { return w<elided_label>("notice")->full_text(); }
    bool is_green(const char *name) { return button(name)->styleSheet() == QLatin1String(green); }

    // Frames sent since the last call.
    QStringList sent()
    {
        QStringList out;
        for (size_t i = mark; i < bus->sent.size(); ++i)
            out << frame_text(bus->sent[i]);
        mark = bus->sent.size();
        return out;
    }

    void select_mode(int index)
    {
        QComboBox *combo = w<QComboBox>("comboBox");
        combo->setCurrentIndex(index);
        // What a user's pick emits; the window's slot is bound to it by name.
        QVERIFY(QMetaObject::invokeMethod(combo, "activated", Q_ARG(QString, combo->currentText())));
    }

    // The node window's hand-over.
    void take_over()
    {
        window->casuals();
        QCOMPARE(params_loaded, 1);
        sent();
    }

    // Clicks the command column from the top down to (and including) last; each must turn green.
    void run_column(const char *last)
    {
        for (const char *name : canopen_column_names) {
            QPushButton *b = button(name);
            if (!b->isEnabled())
                continue;  // Set_velocity is skipped on the torque pages
            b->click();
            if (!is_green(name))
                QFAIL(qPrintable(QStringLiteral("%1 did not complete").arg(QLatin1String(name))));
            if (qstrcmp(name, last) == 0)
                return;
        }
    }

    // Descriptions of the frames sent while the monitor was logging.
    static QStringList sent_descriptions(const QSignalSpy &spy)
    {
        QStringList out;
        for (int i = 0; i + 5 < spy.size(); i += 6) {
            if (spy.at(i + 2).at(0).toString().startsWith(QStringLiteral("发送成功")))
                out << spy.at(i + 5).at(0).toString();
        }
        return out;
    }

private slots:
    void init()
    {
        fresh_process();
        // The guard's frames come on top of the sequences below; one test turns it on.
        QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue("guard/enabled", false);
        bus = install_scripted_bus();
        node = std::make_shared<fake_node>();
        auto n = node;
        bus->responder = [n](const vci::can_message &m) { return (*n)(m); };
        QVERIFY(open_canopen_node_1());
        boxes.clear();
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes.push_back(r);
            return QMessageBox::Ok;
        });
        canopen_monitor = new monitor();
        window = new control_CANopen();
        mark = bus->sent.size();
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        delete canopen_monitor;
        canopen_monitor = nullptr;
        desktop_seams::set_box_responder(nullptr);
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void form_and_initial_state()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("CANopen运动控制"));
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(canopen_self, window);
        const int dpi = int(QGuiApplication::primaryScreen()->logicalDotsPerInch());
        const QSize expected = dpi == 120 ? QSize(1087, 525)
                               : dpi == 144 ? QSize(1305, 672)
                               : dpi == 168 ? QSize(1522, 777)
                               : dpi == 192 ? QSize(1740, 840)
                                            : QSize(870, 420);
        QCOMPARE(window->size(), expected);

        const QStringList texts{"关闭节点\nStop remote node", "复位节点\nReset communication",
                                "设置模式\nSet operating mode", "配置速度\nSet Speed",
                                "关闭Sync\nDisable cob-id sync", "通信周期\nSet communication cycle",
                                "TPDO映射\nTPDO mapping", "RPDO映射\nRPDO mapping",
                                "开启通信\nStart remote node", "开启Sync\nSync command", "使能\nEnable"};
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(button(canopen_column_names[i])->text(), texts[i]);
            QVERIFY(!button(canopen_column_names[i])->isEnabled());
        }
        for (const char *hidden : {"change_mode", "Test_reset", "Open_monitoring"})
            QVERIFY(button(hidden)->isHidden());
        QVERIFY(!w("comboBox")->isEnabled());
        for (const char *status : {"position", "vel", "electricity"})
            QCOMPARE(w(status)->styleSheet(), QStringLiteral("border:2px solid red;"));
        QVERIFY(w<QTextEdit>("textEdit"));
        QVERIFY(w<QLabel>("Error_2"));

        // Combo index = page index, with the pages in mode order.
        QComboBox *combo = w<QComboBox>("comboBox");
        QStackedWidget *stack = w<QStackedWidget>("stackedWidget");
        const char *pages[] = {"page", "page_3", "page_2", "page_4", "page_5", "page_6", "page_7"};
        QCOMPARE(combo->count(), 7);
        QCOMPARE(stack->count(), 7);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(stack->widget(i)->objectName(), QString::fromLatin1(pages[i]));
        QCOMPARE(combo->itemText(6), QStringLiteral("位置插补模式/Interpolation Position Mode"));
        QCOMPARE(button("pushButton_5")->text(), QStringLiteral("应用\nApple"));
        QCOMPARE(button("Move_to_3")->text(), QStringLiteral("开始运动\nMove"));
        QVERIFY(stack->widget(3)->isAncestorOf(field("Target_position_2")));
        QVERIFY(stack->widget(6)->isAncestorOf(button("Stop_3")));
        QVERIFY(sent().isEmpty());
    }

    void start_up_read_fills_the_fields_and_starts_the_poll()
    {
        window->casuals();
        QCOMPARE(sent(), QStringList({"601: 40 83 60 00 00 00 00 00", "601: 40 84 60 00 00 00 00 00",
                                      "601: 40 81 60 00 00 00 00 00"}));
        for (const char *f : {"PP_Acceleration", "PV_Acceleration", "CSP_Acceleration", "CSV_Acceleration",
                              "IP_Acceleration"})
            QCOMPARE(field(f)->text(), QStringLiteral("20000"));
        for (const char *f : {"PP_Deceleration", "PV_Deceleration", "CSP_Deceleration", "CSV_Deceleration",
                              "IP_Deceleration"})
            QCOMPARE(field(f)->text(), QStringLiteral("15000"));
        for (const char *f : {"PP_Velocity", "CSP_Velocity", "IP_Velocity"})
            QCOMPARE(field(f)->text(), QStringLiteral("2000"));
        QVERIFY(field("PV_Velocity")->text().isEmpty());
        QVERIFY(field("CSV_Velocity")->text().isEmpty());
        QVERIFY(w("comboBox")->isEnabled());
        QVERIFY(button("Stop_remote_node")->isEnabled());
        QVERIFY(!button("Reset_communication")->isEnabled());
        QCOMPARE(canopen_link_active, 1);
        QCOMPARE(params_loaded, 1);
        QCOMPARE(sdo_expected, 1);

        // Disconnect: fields cleared, controls down, sequence reset, link dropped.
        button("Stop_remote_node")->click();
        window->disconnects();
        QVERIFY(field("PP_Acceleration")->text().isEmpty());
        QVERIFY(!w("comboBox")->isEnabled());
        QVERIFY(!button("Stop_remote_node")->isEnabled());
        QVERIFY(!is_green("Stop_remote_node"));
        QVERIFY(!button("Reset_communication")->isEnabled());
        QCOMPARE(canopen_link_active, 0);
        QCOMPARE(power_enabled, 0);
        // The emptied fields must not go out as zeros: the page buttons wait for the next read.
        QCOMPARE(params_loaded, 0);
        sent();
        for (const char *page_button : {"sure", "Move_to", "PV_Vel_Sure", "sure_4"})
            button(page_button)->click();
        QVERIFY(sent().isEmpty());
        QVERIFY(boxes.empty());
    }

    void start_up_read_stops_at_a_silent_object()
    {
        node->silent_objects = {0x6084};
        window->casuals();
        QCOMPARE(sent().size(), 2);
        QCOMPARE(field("PP_Acceleration")->text(), QStringLiteral("20000"));  // earlier read kept
        QVERIFY(field("PP_Deceleration")->text().isEmpty());
        QVERIFY(!w("comboBox")->isEnabled());
        QVERIFY(!button("Stop_remote_node")->isEnabled());
        QCOMPARE(canopen_link_active, 0);
        QCOMPARE(params_loaded, 0);
    }

    void guided_sequence_on_the_profile_position_page()
    {
        take_over();
        button("Stop_remote_node")->click();
        QCOMPARE(sent(), QStringList({"0: 02 01"}));
        QCOMPARE(sdo_expected, 0);
        QVERIFY(is_green("Stop_remote_node"));
        QVERIFY(button("Reset_communication")->isEnabled());
        QVERIFY(!button("Operating_mode")->isEnabled());

        button("Reset_communication")->click();
        QCOMPARE(sent(), QStringList({"0: 82 01"}));
        QCOMPARE(sdo_expected, 1);
        button("Operating_mode")->click();
        QCOMPARE(sent(), QStringList({"601: 2F 60 60 00 01 00 00 00", "601: 40 61 60 00 00 00 00 00"}));
        QVERIFY(button("Set_velocity")->isEnabled());
        QVERIFY(!button("Disable_Sync")->isEnabled());

        field("PP_Velocity")->setText(QStringLiteral("500"));
        button("Set_velocity")->click();
        QCOMPARE(sent(), QStringList({"601: 23 81 60 00 F4 01 00 00", "601: 23 83 60 00 20 4E 00 00",
                                      "601: 23 84 60 00 98 3A 00 00"}));
        button("Disable_Sync")->click();
        QCOMPARE(sent(), QStringList({"601: 23 05 10 00 80 00 00 00"}));
        button("Set_cycle_period")->click();
        QCOMPARE(sent(), QStringList({"601: 23 06 10 00 E8 03 00 00"}));
        button("TPDO_MAP")->click();
        QCOMPARE(sent(), QStringList({"601: 23 00 18 01 81 01 00 80", "601: 2F 00 18 02 01 00 00 00",
                                      "601: 2F 00 1A 00 00 00 00 00", "601: 23 00 1A 01 10 00 41 60",
                                      "601: 23 00 1A 02 20 00 64 60", "601: 2F 00 1A 00 02 00 00 00",
                                      "601: 23 00 18 01 81 01 00 00"}));
        button("RPDO_MAP")->click();
        QCOMPARE(sent(), QStringList({"601: 23 00 14 01 01 02 00 80", "601: 2F 00 14 02 01 00 00 00",
                                      "601: 2F 00 16 00 00 00 00 00", "601: 23 00 16 01 10 00 40 60",
                                      "601: 23 00 16 02 20 00 7A 60", "601: 2F 00 16 00 02 00 00 00",
                                      "601: 23 00 14 01 01 02 00 00"}));
        button("Start_remote_node")->click();
        QCOMPARE(sent(), QStringList({"0: 01 01", "701: R"}));
        QCOMPARE(remote_request, 0);
        button("Enable_Sync")->click();
        QCOMPARE(sent(), QStringList({"80:"}));
        button("Enable")->click();
        // Each control word gets its own SYNC: a drive applies only the latest RPDO there.
        QCOMPARE(sent(), QStringList({"201: 80 00 00 00 00 00", "80:", "201: 06 00 00 00 00 00", "80:",
                                      "201: 07 00 00 00 00 00", "80:", "201: 0F 00 00 00 00 00", "80:"}));
        QCOMPARE(power_enabled, 1);
        for (const char *name : canopen_column_names)
            QVERIFY2(is_green(name), name);

        // Already enabled: a second press sends nothing and stays green.
        button("Enable")->click();
        QVERIFY(sent().isEmpty());
        QVERIFY(is_green("Enable"));
    }

    void enable_guards_the_joint_and_disable_puts_it_back()
    {
        QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue("guard/enabled", true);
        // Sub 1 watches another node; sub 2 is free. 0x1029:1 is 1 (no change).
        node->entries = {{0x101600, 2}, {0x101601, 0x000500C8}, {0x101602, 0}, {0x600700, 1}, {0x102901, 1}};
        take_over();
        run_column("Enable_Sync");
        sent();
        button("Enable")->click();
        const QStringList enable{"201: 80 00 00 00 00 00", "80:", "201: 06 00 00 00 00 00", "80:",
                                 "201: 07 00 00 00 00 00", "80:", "201: 0F 00 00 00 00 00", "80:"};
        // Velmora's heartbeat first, then the values found, then the guard, then the enable as ever.
        QCOMPARE(sent(), QStringList({"77F: 05", "601: 40 16 10 00 00 00 00 00", "601: 40 16 10 01 00 00 00 00",
                                      "601: 40 16 10 02 00 00 00 00", "601: 40 07 60 00 00 00 00 00",
                                      "601: 40 29 10 01 00 00 00 00", "601: 23 16 10 02 5E 01 7F 00",
                                      "601: 2B 07 60 00 03 00 00 00", "601: 2F 29 10 01 00 00 00 00"})
                             + enable);
        QCOMPARE(power_enabled, 1);
        QVERIFY(heartbeat::producer::instance().producing());
        QVERIFY2(notice().contains("Heartbeat guard set: node 1 quick-stops 350 ms"), qPrintable(notice()));
        const auto journalled = drive_journal::find(0, 1, "guard");
        QVERIFY(journalled);
        QCOMPARE(journalled->name, QStringLiteral("heartbeat guard (0x1016:2, 0x6007, 0x1029:1)"));

        node->entry_writes.clear();
        button("Stop")->click();
        QCOMPARE(sent(), QStringList({"201: 06 00 00 00 00 00", "601: 23 16 10 02 00 00 00 00",
                                      "601: 2B 07 60 00 01 00 00 00", "601: 2F 29 10 01 01 00 00 00"}));
        // The consumer went back while the heartbeat still beat, and the heartbeat ended after.
        QCOMPARE(node->entry_writes.front(), std::make_pair(uint32_t(0x101602), true));
        QVERIFY(!heartbeat::producer::instance().producing());
        QVERIFY(!drive_journal::find(0, 1, "guard"));
        QCOMPARE(node->entries[0x101602], 0u);
        QCOMPARE(node->entries[0x600700], 1u);

        // A drive without the objects is enabled unguarded, with a note, and nothing is journalled.
        node->entries.clear();
        node->missing_objects = {0x1016};
        button("Enable")->click();
        QCOMPARE(sent(), QStringList({"77F: 05", "601: 40 16 10 00 00 00 00 00"}) + enable);
        QVERIFY(!heartbeat::producer::instance().producing());
        QVERIFY(drive_journal::all().empty());
        QVERIFY2(notice().contains("the drive has no heartbeat consumer (0x1016)"), qPrintable(notice()));

        // Another node-ID from the settings; the heartbeat goes on from the event loop until it
        // falls silent as a hung program would.
        button("Stop")->click();
        QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue("guard/node_id", 0x20);
        node->missing_objects.clear();
        node->entries = {{0x101600, 1}, {0x101601, 0}, {0x600700, 1}, {0x102901, 1}};
        sent();
        button("Enable")->click();
        const QStringList frames = sent();
        QCOMPARE(frames.front(), QStringLiteral("720: 05"));
        QVERIFY(frames.contains("601: 23 16 10 01 5E 01 20 00"));
        const size_t before = bus->sent.size();
        QTRY_VERIFY(bus->sent.size() > before && frame_text(bus->sent.back()) == QLatin1String("720: 05"));
        // A bounded wait on the bus (an SDO to a silent node waits up to a second) beats meanwhile,
        // with no turn of the event loop: only a program that truly hangs falls silent.
        node->silent = true;
        const size_t waiting = bus->sent.size();
        exchange_request unanswered(0x601, nullptr, 0, 450);
        unanswered.wait = wait_policy::until_reply;
        unanswered.decoder = [](const bus_frame &) { return reply_verdict(); };
        run_exchange(adapter_bus_ops(), unanswered, exchange_hooks());
        int beats = 0;
        for (size_t i = waiting; i < bus->sent.size(); ++i)
            beats += frame_text(bus->sent[i]) == QLatin1String("720: 05");
        QVERIFY2(beats >= 3, qPrintable(QString::number(beats)));
        node->silent = false;
        heartbeat::producer::instance().fall_silent();
        QVERIFY(!heartbeat::producer::instance().producing());
        button("Stop")->click();
        QVERIFY(drive_journal::all().empty());
    }

    void mode_change_resets_the_sequence()
    {
        take_over();
        run_column("TPDO_MAP");
        select_mode(canopen::page_cst);
        QCOMPARE(w<QStackedWidget>("stackedWidget")->currentIndex(), int(canopen::page_cst));
        QCOMPARE(sdo_expected, 1);  // the node still answers: its loss must still be noticed
        QVERIFY(button("Stop_remote_node")->isEnabled());
        for (const char *name : canopen_column_names) {
            QVERIFY2(!is_green(name), name);
            if (qstrcmp(name, "Stop_remote_node") != 0)
                QVERIFY2(!button(name)->isEnabled(), name);
        }
        QVERIFY(!w<QTextEdit>("textEdit")->toPlainText().isEmpty());

        // A pick from the keyboard reaches the same slot.
        run_column("Reset_communication");
        QTest::keyClick(w<QComboBox>("comboBox"), Qt::Key_Down);
        QCOMPARE(w<QStackedWidget>("stackedWidget")->currentIndex(), int(canopen::page_ip));
        QCOMPARE(canopen_page, int32_t(canopen::page_ip));
        QVERIFY(!is_green("Stop_remote_node"));
        QVERIFY(w<QTextEdit>("textEdit")->toPlainText().contains(QStringLiteral("Interpolated Position")));
    }

    void operating_mode_per_page()
    {
        take_over();
        // Chosen and run at once, before any poll tick: the page must already count.
        select_mode(canopen::page_ip);
        node->objects[0x6061] = 3;  // the node still reports another mode
        run_column("Reset_communication");
        sent();
        button("Operating_mode")->click();
        QCOMPARE(sent(), QStringList({"601: 2F 60 60 00 07 00 00 00", "601: 40 61 60 00 00 00 00 00"}));
        QVERIFY(is_green("Operating_mode"));
        QVERIFY(button("Set_velocity")->isEnabled());

        // The torque pages skip the profile step; their Set_velocity sends nothing.
        select_mode(canopen::page_pt);
        run_column("Operating_mode");
        QVERIFY(sent().contains(QStringLiteral("601: 2F 60 60 00 04 00 00 00")));
        QVERIFY(!button("Set_velocity")->isEnabled());
        QVERIFY(button("Disable_Sync")->isEnabled());
        button("Set_velocity")->setEnabled(true);
        button("Set_velocity")->click();
        QVERIFY(sent().isEmpty());
        QVERIFY(is_green("Set_velocity"));

        // A silent mode write leaves the button uncoloured and the next one disabled.
        select_mode(canopen::page_pv);
        run_column("Reset_communication");
        node->silent_objects = {0x6060};
        button("Operating_mode")->click();
        QVERIFY(!is_green("Operating_mode"));
        QVERIFY(!button("Set_velocity")->isEnabled());
    }

    void set_velocity_on_the_velocity_pages()
    {
        take_over();
        select_mode(canopen::page_pv);
        run_column("Operating_mode");
        field("PV_Acceleration")->setText(QStringLiteral("1000"));
        field("PV_Deceleration")->setText(QStringLiteral("abc"));
        sent();
        // Not a number: nothing at all is sent (not even the zero target speed), and the user is told.
        button("Set_velocity")->click();
        QVERIFY(sent().isEmpty());
        QVERIFY(!is_green("Set_velocity"));
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(boxes[0].text, QStringLiteral("输入数据格式错误"));
        field("PV_Deceleration")->setText(QStringLiteral(" 0 "));
        monitor_open = 1;
        QSignalSpy log(window, &control_CANopen::senddata);
        button("Set_velocity")->click();
        QCOMPARE(sent(), QStringList({"601: 23 FF 60 00 00 00 00 00", "601: 23 83 60 00 E8 03 00 00",
                                      "601: 23 84 60 00 00 00 00 00"}));
        QCOMPARE(sent_descriptions(log),
                 QStringList({"目标速度置零\nSet target speed to 0", "设置加速度为1000cnt/s²\nSet acceleration to 1000cnt/s²",
                              "设置减速度为0cnt/s²\nSet deceleration to 0cnt/s²"}));
        QVERIFY(is_green("Set_velocity"));

        // CSV writes only acceleration and deceleration; a failure stops the step.
        select_mode(canopen::page_csv);
        run_column("Operating_mode");
        node->silent_objects = {0x6083};
        sent();
        button("Set_velocity")->click();
        QCOMPARE(sent(), QStringList({"601: 23 83 60 00 20 4E 00 00"}));
        QVERIFY(!is_green("Set_velocity"));
        QVERIFY(!button("Disable_Sync")->isEnabled());
    }

    void mapping_sequences_byte_for_byte()
    {
        take_over();
        select_mode(canopen::page_cst);
        run_column("Set_cycle_period");
        sent();
        button("TPDO_MAP")->click();
        QCOMPARE(sent(), QStringList({"601: 23 00 18 01 81 01 00 80", "601: 2F 00 18 02 01 00 00 00",
                                      "601: 2F 00 1A 00 00 00 00 00", "601: 23 00 1A 01 10 00 41 60",
                                      "601: 23 00 1A 02 10 00 77 60", "601: 23 00 1A 03 10 00 78 60",
                                      "601: 2F 00 1A 00 03 00 00 00", "601: 23 00 18 01 81 01 00 00"}));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        select_mode(canopen::page_pv);
        run_column("Set_cycle_period");
        sent();
        button("TPDO_MAP")->click();
        const QStringList pv = sent();
        QCOMPARE(pv.mid(1, 4), QStringList({"601: 2F 00 18 02 01 00 00 00", "601: 2B 00 18 03 2C 01 00 00",
                                            "601: 2B 00 18 05 00 00 00 00", "601: 2F 00 1A 00 00 00 00 00"}));
        QCOMPARE(pv.at(5), QStringLiteral("601: 23 00 1A 01 10 00 41 60"));
        QCOMPARE(pv.at(6), QStringLiteral("601: 23 00 1A 02 20 00 6C 60"));

        select_mode(canopen::page_ip);
        run_column("TPDO_MAP");
        sent();
        monitor_open = 1;
        QSignalSpy log(window, &control_CANopen::senddata);
        button("RPDO_MAP")->click();
        QCOMPARE(sent(), QStringList({"601: 23 00 14 01 01 02 00 80", "601: 2F 00 14 02 01 00 00 00",
                                      "601: 2F 00 16 00 00 00 00 00", "601: 23 00 16 01 10 00 40 60",
                                      "601: 23 00 16 02 10 01 C1 60", "601: 23 00 16 03 10 02 C1 60",
                                      "601: 2F 00 16 00 03 00 00 00", "601: 23 00 14 01 01 02 00 00"}));
        QCOMPARE(sent_descriptions(log).at(6),
                 QStringLiteral("1600h-00h写映射对象个数:3\n1600h-00h:the number of valid entries in the mapping record:3"));
        QCOMPARE(sent_descriptions(log).mid(3, 2),
                 QStringList({"1600h-01h映射60400010h(控制字)\n1600h-01h maps 60400010h(control word)",
                              "1600h-02h映射60C10110h(插补位置低位)\n1600h-02h maps 60C10110h(插补位置低位)"}));

        // A step the node does not confirm stops the mapping; the cursor comes back anyway.
        select_mode(canopen::page_pp);
        run_column("Set_cycle_period");
        node->silent_objects = {0x1A00};
        sent();
        button("TPDO_MAP")->click();
        QCOMPARE(sent().size(), 3);
        QVERIFY(!is_green("TPDO_MAP"));
        QVERIFY(!button("RPDO_MAP")->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void a_refusal_or_a_drive_left_disabled_leaves_the_step_uncoloured()
    {
        take_over();
        select_mode(canopen::page_pv);
        run_column("Operating_mode");
        window->tim();
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));

        // A deceleration of 0, which the node refuses with an abort.
        node->aborts[0x6084] = 0x06090032;
        field("PV_Deceleration")->setText(QStringLiteral("0"));
        monitor_open = 1;
        QSignalSpy log(window, &control_CANopen::senddata);
        sent();
        button("Set_velocity")->click();
        QCOMPARE(sent(), QStringList({"601: 23 FF 60 00 00 00 00 00", "601: 23 83 60 00 20 4E 00 00",
                                      "601: 23 84 60 00 00 00 00 00"}));
        QVERIFY(!is_green("Set_velocity"));
        QVERIFY(!button("Disable_Sync")->isEnabled());
        // The refusal is a notice of its own; the status text stays the drive's.
        QVERIFY2(notice().contains(QStringLiteral("06090032")), qPrintable(notice()));
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        QCOMPARE(log.last().at(0).toString(), notice());  // the received row's comment
        window->tim();
        QVERIFY(notice().contains(QStringLiteral("06090032")));
        monitor_open = 0;

        // A drive that stays in "switch on disabled": Enable reads the statusword once more,
        // then says where the drive is and stays uncoloured.
        node->aborts.clear();
        run_column("Enable_Sync");
        node->statusword = 0x0240;
        sent();
        button("Enable")->click();
        const QStringList frames = sent();
        QCOMPARE(frames.size(), 9);
        QCOMPARE(frames.last(), QStringLiteral("601: 40 41 60 00 00 00 00 00"));
        QVERIFY(!is_green("Enable"));
        QCOMPARE(power_enabled, 0);
        QVERIFY2(notice().contains(QStringLiteral("Switch on disabled")), qPrintable(notice()));
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));

        node->statusword = 0x0237;
        button("Enable")->click();
        QCOMPARE(sent().size(), 8);
        QVERIFY(is_green("Enable"));
        QCOMPARE(power_enabled, 1);
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        QCOMPARE(notice(), QString());
    }

    void cycle_period_follows_the_node_window()
    {
        take_over();
        comm_cycle_us = 2500;
        run_column("Disable_Sync");
        sent();
        button("Set_cycle_period")->click();
        QCOMPARE(sent(), QStringList({"601: 23 06 10 00 C4 09 00 00"}));
    }

    void start_remote_node_needs_the_guarding_answer()
    {
        node_id = 3;
        sdo_request_id = 0x603;
        node->node = 3;
        take_over();
        button("Stop_remote_node")->click();
        QCOMPARE(sent(), QStringList({"0: 02 03"}));
        run_column("RPDO_MAP");
        node->ignore_guarding = true;
        sent();
        button("Start_remote_node")->click();
        QCOMPARE(sent(), QStringList({"0: 01 03", "703: R"}));
        QVERIFY(!is_green("Start_remote_node"));
        QVERIFY(!button("Enable_Sync")->isEnabled());
        QCOMPARE(remote_request, 0);
        // The next request is an ordinary data frame again.
        window->tim();
        QVERIFY(!bus->sent.back().remote);
        QVERIFY(!bus->sent[mark].remote);
    }

    void enable_on_the_cyclic_position_page_holds_the_actual_position()
    {
        take_over();
        select_mode(canopen::page_csp);
        run_column("Start_remote_node");
        node->objects[0x6064] = 5000;
        sent();
        button("Enable_Sync")->click();
        QCOMPARE(sent(), QStringList({"80:", "601: 40 64 60 00 00 00 00 00"}));
        QCOMPARE(hold_position, 5000);
        button("Enable")->click();
        QCOMPARE(sent().at(6), QStringLiteral("201: 0F 00 88 13 00 00"));

        // The move limit counts from the last accepted target.
        hold_position = 0;
        const auto move = [this](const char *target) {
            field("Target_position_2")->setText(QString::fromLatin1(target));
            button("Move_to_3")->click();
            return sent();
        };
        QCOMPARE(move("1000"), QStringList({"201: 2F 00 E8 03 00 00"}));
        hold_position = 0;
        QCOMPARE(move("-1000"), QStringList({"201: 2F 00 18 FC FF FF"}));
        hold_position = 0;
        QVERIFY(boxes.empty());
        QVERIFY(move("1001").isEmpty());
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(boxes[0].text, QStringLiteral("请输入1000cnt以内的相对运动值"));
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(hold_position, 0);
        QCOMPARE(move("1000").size(), 1);
        QCOMPARE(move("2000").size(), 1);
        QCOMPARE(hold_position, 2000);
        QVERIFY(move("-1000").isEmpty());
        QCOMPARE(boxes.size(), size_t(2));

        // Far ends of the range must not wrap into the window.
        hold_position = INT32_MAX;
        QVERIFY(move("-2147483648").isEmpty());
        QCOMPARE(hold_position, INT32_MAX);
    }

    void page_buttons_need_the_profile_parameters()
    {
        params_loaded = 0;
        monitor_open = 1;
        QSignalSpy log(window, &control_CANopen::senddata);
        const char *page_buttons[] = {"sure",          "Move_to",      "Stop_4",       "Stop",         "PV_Vel_Sure",
                                      "Start_run",     "PV_Stop_2",    "PV_Stop",      "pushButton_2", "pushButton_4",
                                      "pushButton_3",  "sure_3",       "Move_to_3",    "Stop_6",       "Stop_2",
                                      "PV_Vel_Sure_2", "Start_run_2",  "PV_Stop_3",    "PV_Stop_4",    "pushButton_5",
                                      "CST_STOP",      "CST_DISABLE",  "sure_4",       "Move_to_2",    "Stop_5",
                                      "Stop_3"};
        field("Target_position_2")->setText(QStringLiteral("5000"));
        for (const char *name : page_buttons) {
            QVERIFY2(button(name)->isEnabled(), name);
            button(name)->click();
        }
        QVERIFY(sent().isEmpty());
        QCOMPARE(log.size(), 0);
        QVERIFY(boxes.empty());
    }

    void page_buttons_send_their_commands()
    {
        take_over();
        monitor_open = 1;
        QSignalSpy log(window, &control_CANopen::senddata);
        const auto press = [this](const char *name) {
            button(name)->click();
            return sent();
        };

        // Profile position: the typed text goes into the log, the value onto the bus.
        field("PP_Velocity")->setText(QStringLiteral("500"));
        field("PP_Acceleration")->setText(QStringLiteral("+700"));
        field("PP_Deceleration")->setText(QStringLiteral(" 800"));
        QCOMPARE(press("sure"), QStringList({"601: 23 81 60 00 F4 01 00 00", "601: 23 83 60 00 BC 02 00 00",
                                             "601: 23 84 60 00 20 03 00 00"}));
        QCOMPARE(sent_descriptions(log),
                 QStringList({"设置速度为500cnt/s\nSet speed to500cnt/s",
                              "设置加速度为+700cnt/s²\nSet acceleration to +700cnt/s²",
                              "设置减速度为 800cnt/s²\nSet deceleration to  800cnt/s²"}));
        log.clear();
        // No target typed: no move at all (not a move to 0), on every page that moves to a target.
        for (const char *target : {"Target_position", "Target_position_2", "Target_position_3"})
            field(target)->setText(QStringLiteral("  "));
        for (const char *move : {"Move_to", "Move_to_3", "Move_to_2"})
            QCOMPARE(press(move), QStringList());
        QVERIFY(boxes.empty());
        field("Target_position")->setText(QStringLiteral("-1"));
        QCOMPARE(press("Move_to"), QStringList({"201: 0F 00 FF FF FF FF", "80:", "201: 1F 00 FF FF FF FF"}));
        QCOMPARE(press("Stop_4"), QStringList({"601: 23 81 60 00 00 00 00 00", "601: 40 6C 60 00 00 00 00 00"}));
        power_enabled = 1;
        QCOMPARE(press("Stop"), QStringList({"201: 06 00 00 00 00 00"}));
        QCOMPARE(power_enabled, 0);

        // Profile velocity and torque.
        field("PV_Velocity")->setText(QStringLiteral("-700"));
        QCOMPARE(press("Start_run"), QStringList({"201: 2F 00 44 FD FF FF"}));
        QCOMPARE(press("PV_Stop_2"), QStringList({"201: 2F 00 00 00 00 00"}));
        field("lineEdit")->setText(QStringLiteral("200"));
        QCOMPARE(press("pushButton_2"), QStringList({"201: 2F 00 C8 00 00 00"}));
        QCOMPARE(press("pushButton_4"), QStringList({"201: 2F 00 00 00 00 00"}));
        power_enabled = 1;
        QCOMPARE(press("pushButton_3"), QStringList({"201: 01 00 00 00 00 00"}));
        QCOMPARE(power_enabled, 0);

        // Cyclic pages: velocity and torque stop with a zero set-point, position with halt.
        field("CSV_Velocity")->setText(QStringLiteral("400"));
        QCOMPARE(press("Start_run_2"), QStringList({"201: 2F 00 90 01 00 00"}));
        QCOMPARE(press("PV_Stop_3"), QStringList({"201: 2F 00 00 00 00 00"}));
        field("CST_torque")->setText(QStringLiteral("-100"));
        QCOMPARE(press("pushButton_5"), QStringList({"201: 2F 00 9C FF FF FF"}));
        QCOMPARE(press("CST_STOP"), QStringList({"201: 2F 00 00 00 00 00"}));
        hold_position = 300;
        QCOMPARE(press("Stop_6"), QStringList({"201: 2F 01 2C 01 00 00"}));
        field("Target_position_3")->setText(QStringLiteral("70000"));
        QCOMPARE(press("Move_to_2"), QStringList({"201: 1F 00 70 11 01 00"}));
        QCOMPARE(press("Stop_5"), QStringList({"201: 1F 01 70 11 01 00"}));
        log.clear();
        power_enabled = 1;
        QCOMPARE(press("Stop_3"), QStringList({"201: 06 00 00 00 00 00"}));
        QCOMPARE(sent_descriptions(log), QStringList({"失能/nDisable"}));
        QCOMPARE(power_enabled, 0);
        for (const char *disable : {"Stop_2", "PV_Stop", "PV_Stop_4", "CST_DISABLE"}) {
            power_enabled = 1;
            QCOMPARE(press(disable), QStringList({"201: 06 00 00 00 00 00"}));
            QCOMPARE(power_enabled, 0);
        }

        // The CSP, CSV and IP Apply buttons log the number sent.
        log.clear();
        field("CSP_Velocity")->setText(QStringLiteral("+40"));
        press("sure_3");
        QCOMPARE(sent_descriptions(log).at(0), QStringLiteral("设置速度为40cnt/s\nSet speed to 40cnt/s"));
        QCOMPARE(press("PV_Vel_Sure_2").size(), 2);
        QCOMPARE(press("sure_4").size(), 3);
        QCOMPARE(press("PV_Vel_Sure").size(), 2);
        log.clear();
        field("Target_position_2")->setText(QStringLiteral("400"));
        press("Move_to_3");
        QCOMPARE(sent_descriptions(log), QStringList({"运动/nMotion"}));
    }

    void page_fields_that_are_not_numbers_send_nothing()
    {
        // Each page button against its fields: test_windows_under_faults_input. Here the CSP move,
        // whose range check must not see the text as 0.
        take_over();
        hold_position = 0;
        field("Target_position_2")->setText(QStringLiteral("5OO"));
        button("Move_to_3")->click();
        QVERIFY(sent().isEmpty());
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text, QStringLiteral("输入数据格式错误"));
        QVERIFY(boxes[0].parent == window);
        QCOMPARE(hold_position, 0);

        // Set_velocity reads the fields of the page it runs for.
        select_mode(canopen::page_ip);
        run_column("Operating_mode");
        field("IP_Velocity")->setText(QStringLiteral("12 000"));
        sent();
        boxes.clear();
        button("Set_velocity")->click();
        QVERIFY(sent().isEmpty());
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(!button("Disable_Sync")->isEnabled());
    }

    void ip_stop_before_any_move_holds_the_joint_where_it_stands()
    {
        take_over();
        select_mode(canopen::page_ip);
        node->objects[0x6064] = uint32_t(-200);
        button("Stop_5")->click();
        QCOMPARE(sent(), QStringList({"601: 40 64 60 00 00 00 00 00", "201: 1F 01 38 FF FF FF"}));
        // After a move the halt keeps that target; a new sequence forgets it again.
        field("Target_position_3")->setText(QStringLiteral("70000"));
        button("Move_to_2")->click();
        sent();
        button("Stop_5")->click();
        QCOMPARE(sent(), QStringList({"201: 1F 01 70 11 01 00"}));
        select_mode(canopen::page_pp);
        select_mode(canopen::page_ip);
        node->objects[0x6064] = 3000;
        button("Stop_5")->click();
        QCOMPARE(sent(), QStringList({"601: 40 64 60 00 00 00 00 00", "201: 1F 01 B8 0B 00 00"}));
    }

    void poll_tick_shows_the_status()
    {
        take_over();
        node->objects[0x6064] = 0x80000000u;
        node->objects[0x606C] = uint32_t(-1500);
        node->objects[0x6078] = 0xFFF6;  // -10 per mille
        node->objects[0x6075] = 3000;
        window->tim();
        QCOMPARE(sent(), QStringList({"601: 40 64 60 00 00 00 00 00", "601: 40 6C 60 00 00 00 00 00",
                                      "601: 40 78 60 00 00 00 00 00", "601: 40 75 60 00 00 00 00 00",
                                      "601: 40 3F 60 00 00 00 00 00"}));
        QCOMPARE(label("position"), QStringLiteral("-2147483648"));
        QCOMPARE(label("vel"), QStringLiteral("-1500"));
        QCOMPARE(label("electricity"), QStringLiteral("-30"));
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));

        // Rated current unreadable: 0 mA.
        node->silent_objects = {0x6075};
        window->tim();
        QCOMPARE(label("electricity"), QStringLiteral("0"));

        // The page index follows the stack.
        w<QStackedWidget>("stackedWidget")->setCurrentIndex(5);
        window->tim();
        QCOMPARE(canopen_page, 5);
    }

    void poll_error_code_controls_the_enabled_flag()
    {
        take_over();
        power_enabled = 1;
        window->tim();
        QCOMPARE(power_enabled, 1);
        node->objects[0x603F] = 0x8611;
        window->tim();
        QCOMPARE(power_enabled, 0);
        QVERIFY(label("Error_2").contains(QStringLiteral("Following error")));
        // A code the document does not know: empty text, still not "no error".
        power_enabled = 1;
        node->objects[0x603F] = 0x1234;
        window->tim();
        QCOMPARE(label("Error_2"), QString());
        QCOMPARE(power_enabled, 0);
    }

    void a_refusal_is_a_notice_apart_from_the_drive_error()
    {
        // A drive without the rated current refuses that read on every tick, until it is back.
        take_over();
        const QString refusal = canopen::control_abort_text(0x06020000);
        const struct { uint32_t code; bool refused; QString error; } ticks[] = {
            {0, true, "未检测到错误"}, {0x8611, true, "Following error"}, {0, true, "未检测到错误"},
            {0x8611, false, "Following error"}, {0, false, "未检测到错误"}};
        for (const auto &t : ticks) {
            node->objects[0x603F] = t.code;
            node->missing_objects = t.refused ? std::set<uint16_t>{0x6075} : std::set<uint16_t>();
            window->tim();
            QVERIFY2(label("Error_2").contains(t.error), qPrintable(label("Error_2")));
            QVERIFY2(!label("Error_2").contains(QStringLiteral("06020000")), qPrintable(label("Error_2")));
            QCOMPARE(notice(), t.refused ? refusal : QString());
        }
        QCOMPARE(w<QLabel>("notice")->toolTip(), QString());
    }

    void a_refused_poll_read_keeps_the_node()
    {
        // A drive without 0x603F, or refusing 0x6064 in some state, still answers: connected.
        take_over();
        run_column("Operating_mode");
        node->objects[0x6064] = 1234;
        window->tim();
        QSignalSpy lost(window, &control_CANopen::func);
        node->objects[0x6064] = 999;
        node->missing_objects = {0x6064, 0x603F};
        window->tim();
        QCOMPARE(lost.size(), 0);
        QCOMPARE(canopen_link_active, 1);
        QCOMPARE(label("position"), QStringLiteral("1234"));  // the last value stays
        QCOMPARE(label("Error_2"), QStringLiteral("未检测到错误"));
        QVERIFY2(notice().contains(QStringLiteral("06020000")), qPrintable(notice()));
        QVERIFY(is_green("Operating_mode"));
        // Silence is still loss.
        node->silent = true;
        window->tim();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(notice(), QString());
    }

    void profile_position_stop_halts_a_drive_that_does_not_stop()
    {
        take_over();
        const QString zero = QStringLiteral("601: 23 81 60 00 00 00 00 00");
        const QString halt = QStringLiteral("601: 2B 40 60 00 0F 01 00 00");
        const QString speed = QStringLiteral("601: 40 6C 60 00 00 00 00 00");
        // Refusing 0: halted at once, and the expected refusal is no notice.
        node->aborts[0x6081] = 0x06090032;
        button("Stop_4")->click();
        QCOMPARE(sent(), QStringList({zero, halt}));
        QCOMPARE(notice(), QString());
        // Taking 0 and slowing down: nothing more.
        node->aborts.clear();
        node->objects[0x606C] = 800;
        button("Stop_4")->click();
        QCOMPARE(sent(), QStringList({zero, speed}));
        node->objects[0x606C] = 300;
        window->tim();
        QVERIFY(!sent().contains(halt));
        // Taking 0 and going on at the same speed: halted at the next poll, once.
        node->objects[0x606C] = 800;
        button("Stop_4")->click();
        sent();
        window->tim();
        QCOMPARE(sent().count(halt), 1);
        window->tim();
        QVERIFY(!sent().contains(halt));
    }

    void lost_node_disconnects_once()
    {
        take_over();
        run_column("Operating_mode");
        window->tim();
        QVERIFY(!label("position").isEmpty());
        power_enabled = 1;
        QSignalSpy lost(window, &control_CANopen::func);
        node->silent_objects = {0x6064, 0x606C, 0x603F};
        sent();
        window->tim();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(sent().size(), 5);  // the rest of the tick still ran
        QCOMPARE(power_enabled, 0);
        QCOMPARE(canopen_link_active, 0);
        QVERIFY(label("position").isEmpty());
        QVERIFY(field("PP_Velocity")->text().isEmpty());
        QVERIFY(!w("comboBox")->isEnabled());
        QVERIFY(!is_green("Operating_mode"));
        QVERIFY(!button("Reset_communication")->isEnabled());
    }

    void mode_change_keeps_watching_for_a_lost_node()
    {
        take_over();
        select_mode(canopen::page_pv);
        node->silent = true;
        QSignalSpy lost(window, &control_CANopen::func);
        window->tim();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(canopen_link_active, 0);
    }

    void stopped_node_is_not_a_lost_node()
    {
        take_over();
        window->tim();
        button("Stop_remote_node")->click();
        select_mode(canopen::page_pv);  // still stopped after a change of mode
        node->silent = true;
        QSignalSpy lost(window, &control_CANopen::func);
        window->tim();
        QCOMPARE(lost.size(), 0);
        QCOMPARE(canopen_link_active, 1);
        QCOMPARE(label("position"), QStringLiteral("0"));  // old value kept
        QCOMPARE(label("electricity"), QStringLiteral("0"));
        QVERIFY(w("comboBox")->isEnabled());  // still connected
    }

    void show_and_close()
    {
        // No node yet: no start-up read, controls stay down, the description still shows.
        sdo_request_id = 0x600;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(sent().isEmpty());
        QVERIFY(!w("comboBox")->isEnabled());
        QCOMPARE(canopen_control_open, 1);
        QVERIFY(w<QTextEdit>("textEdit")->toPlainText().contains(QStringLiteral("Profile Position")));

        canopen_monitor->show();
        monitor_seq = 9;
        motion_window_open = 1;
        window->close();
        QCOMPARE(canopen_control_open, 0);
        QCOMPARE(monitor_seq, 1);
        QCOMPARE(motion_window_open, 0);
        QVERIFY(!canopen_monitor->isVisible());

        // With a node: the show takes it over.
        sdo_request_id = 0x601;
        window->show();
        QCOMPARE(params_loaded, 1);
        QCOMPARE(canopen_link_active, 1);
        window->close();
        QCOMPARE(canopen_link_active, 0);
    }

    void hidden_monitor_button_opens_the_monitor()
    {
        monitor_capture = 0;
        button("Open_monitoring")->click();
        QCOMPARE(monitor_capture, 1);
        QCOMPARE(monitor_open, 1);
        QVERIFY(canopen_monitor->isVisible());
        canopen_monitor->close();
    }

    void language_slot_rereads_through_the_worker()
    {
        take_over();
        field("PP_Velocity")->setText(QStringLiteral("1"));
        node->objects[0x6081] = 4321;
        window->comboBox(7);  // no catalogue for 7: only the worker runs
        QTRY_COMPARE_WITH_TIMEOUT(field("PP_Velocity")->text(), QStringLiteral("4321"), 20000);
    }

    void page_table_agrees_with_the_form_and_the_mode_table()
    {
        take_over();
        QComboBox *combo = w<QComboBox>("comboBox");
        int supported = 0;
        for (int page = 0; page < canopen::page_count; ++page) {
            const canopen::mode_info *mode = canopen::find_page_mode(page);
            QVERIFY(mode);
            // The combo names each page by its mode's Chinese name; the mode command writes its value.
            QVERIFY2(combo->itemText(page).startsWith(QString::fromUtf8(mode->zh) + QLatin1Char('/')),
                     qPrintable(combo->itemText(page)));
            select_mode(page);
            run_column("Reset_communication");
            sent();
            button("Operating_mode")->click();
            const QString value = QString::number(mode->value, 16).rightJustified(2, QLatin1Char('0')).toUpper();
            QCOMPARE(sent().value(0), QStringLiteral("601: 2F 60 60 00 %1 00 00 00").arg(value));
            supported |= 1 << mode->supported_bit;
        }
        // The seven pages are the modes of 0x6502 = 0x03CD; homing and velocity have none.
        QCOMPARE(supported, 0x03CD);
        QVERIFY(!canopen::find_page_mode(canopen::page_count));
        QCOMPARE(canopen::mode_value(-1), uint8_t(0));
        for (canopen::page_index page : {canopen::page_pp, canopen::page_pv, canopen::page_csp, canopen::page_csv, canopen::page_ip})
            QVERIFY(canopen::page_sets_velocity(page));
        for (int32_t page : {int32_t(canopen::page_pt), int32_t(canopen::page_cst), -1, canopen::page_count})
            QVERIFY(!canopen::page_sets_velocity(page));
        for (int page = -1; page <= canopen::page_count; ++page)
            QCOMPARE(canopen::page_holds_position(page), page == canopen::page_csp || page == canopen::page_ip);
    }

    void modes_without_a_page_commands_and_statusword_flags()
    {
        using canopen::mode_end;
        const canopen::mode_info *homing = canopen::find_mode(6);
        QVERIFY(homing);
        QCOMPARE(int(homing->ends), int(mode_end::homing_attained));
        QCOMPARE(homing->set_point, uint16_t(0));
        QVERIFY(!homing->cyclic);
        const canopen::mode_info *velocity = canopen::find_mode(2);
        QVERIFY(velocity);
        QCOMPARE(velocity->set_point, uint16_t(0x6042));
        QCOMPARE(int(canopen::find_mode(1)->ends), int(mode_end::target_reached));
        QCOMPARE(std::distance(canopen::modes_begin(), canopen::modes_end()), 9L);
        for (int8_t none : {0, 5, 11, -1})
            QVERIFY(!canopen::find_mode(none));

        // Bits 4-6 and 8 do not change the command; quick stop and disable voltage look at bits 1-2
        // only, and every word is some command.
        const struct { uint16_t cw; const char *command; } words[] = {
            {0x0006, "shutdown"}, {0x0007, "switch on"}, {0x000F, "enable operation"}, {0x017F, "enable operation"},
            {0x0000, "disable voltage"}, {0x000D, "disable voltage"}, {0x0002, "quick stop"}, {0x000B, "quick stop"},
            {0x0080, "fault reset"}, {0x008F, "fault reset"}, {0x0004, "disable voltage"}, {0x000E, "shutdown"},
        };
        for (const auto &w : words) {
            const canopen::controlword_command *c = canopen::command_of(w.cw);
            QCOMPARE(c ? QString::fromLatin1(c->key) : QString(), QString::fromLatin1(w.command));
        }
        QCOMPARE(canopen::command_info(canopen::command::disable_operation).value, canopen::cw_switch_on);

        auto flags = [](uint16_t sw, int8_t mode) {
            QStringList out;
            for (const canopen::named_bit &b : canopen::statusword_flags(sw, canopen::find_mode(mode)))
                out << QString::fromLatin1(b.en);
            return out.join(QStringLiteral(", "));
        };
        QCOMPARE(flags(0x1637, 6), QStringLiteral("remote, target reached, homing attained"));
        QCOMPARE(flags(0x2A37, 6), QStringLiteral("remote, internal limit active, homing error"));
        QCOMPARE(flags(0x3237, 1), QStringLiteral("remote, set-point acknowledge, following error"));
        QCOMPARE(flags(0x1000, 4), QStringLiteral("mode bit 12"));  // reserved in profile torque
        QCOMPARE(flags(0x1000, 0), QStringLiteral("mode bit 12"));  // no mode known
        QCOMPARE(canopen::statusword_summary(0x1637, canopen::find_mode(6)),
                 QStringLiteral("operation enabled; remote, target reached, homing attained"));
        QCOMPARE(canopen::statusword_text(0x1637, canopen::find_mode(6)),
                 QStringLiteral("运行使能：远程、目标到达、回零完成\nOperation enabled: remote, target reached, homing attained"));
        QCOMPARE(canopen::statusword_text(0x0208, nullptr), QStringLiteral("故障：远程\nFault: remote"));
    }

    void error_codes_by_name_and_family()
    {
        // The table is searched by halves: it must stay in order.
        for (auto *e = canopen::error_codes_begin(); e + 1 != canopen::error_codes_end(); ++e)
            QVERIFY2(e->code < (e + 1)->code, qPrintable(QString::number(e[1].code, 16)));
        QCOMPARE(canopen::error_code_text(0x8611), QStringLiteral("位置跟随误差过大(0x8611)\nFollowing error"));
        QCOMPARE(canopen::error_code_text(0x8612), QStringLiteral("位置超出参考限位(0x8612)\nReference limit"));
        QCOMPARE(QString::fromLatin1(canopen::find_error_code(0x0000)->en), QStringLiteral("Error reset or no error"));
        const struct { uint16_t code; uint16_t entry; } families[] = {
            {0x2311, 0x2310}, {0x2350, 0x2300}, {0x2400, 0x2000}, {0xFF42, 0xFF00}, {0x7306, 0x7300},
        };
        for (const auto &f : families) {
            QVERIFY(!canopen::error_code_known(f.code));
            QCOMPARE(canopen::find_error_code(f.code)->code, f.entry);
        }
        QCOMPARE(canopen::error_code_text(0x2311), QStringLiteral("持续过流(0x2311)\nContinuous over-current"));
        for (uint16_t nothing : {0x0001, 0x0F00})
            QVERIFY(!canopen::find_error_code(nothing));
    }

    void conversions()
    {
        QCOMPARE(canopen::low16_signed(0xFFF6), -10);
        QCOMPARE(canopen::low16_signed(0x12347FFF), 0x7FFF);
        QCOMPARE(canopen::current_milliamps(true, 0xFFF6, true, 3000), -30);
        QCOMPARE(canopen::current_milliamps(false, 0xFFF6, true, 3000), 0);
        QCOMPARE(canopen::current_milliamps(true, 0x7FFF, true, 0x8000), -1073709);  // 32767 per mille of -32768 mA
        QCOMPARE(canopen::field_value(QStringLiteral(" 12 ")), 12);
        QCOMPARE(canopen::field_value(QStringLiteral("2147483648")), 0);
        QCOMPARE(canopen::field_value(QStringLiteral("-2147483648")), INT32_MIN);
        QCOMPARE(canopen::field_value(QStringLiteral("0x10")), 0);
    }
};

QTEST_MAIN(test_canopen_window)
#include "test_canopen_window.moc"
