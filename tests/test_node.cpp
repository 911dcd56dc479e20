// Node connection window: the scan range checks, the two scan phases and their progress values,
// connect (identifiers, firmware, CANopen capability), disconnect, the hand-over retry, adapter
// failures during a scan and the parameter save.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/vci/vci.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "sim/simulator.h"
#include "support/flood.h"
#include "support/test_bus.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

using namespace test_support;

namespace {

struct box_seen {
    desktop_seams::box_kind kind;
    QString title;
    QString text;
};

vci::can_message reply(uint32_t id, uint32_t value)
{
    return make_message(id, {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
}

// A drive at each listed node that answers the probe with position 0 and the firmware read with
// its firmware number; the save gets a one-byte acknowledgement.
std::function<std::vector<vci::can_message>(const vci::can_message &)>
drives(std::map<int, uint32_t> firmware, bool *answering)
{
    return [firmware, answering](const vci::can_message &m) -> std::vector<vci::can_message> {
        const int node = int(m.id) - 0x640;
        if (!*answering || !firmware.count(node) || m.len < 2)
            return {};
        const uint32_t back = 0x5C0 + uint32_t(node);
        if (m.data[1] == 0x01)
            return {reply(back, firmware.at(node))};
        if (m.data[1] == 0xE8)
            return {make_message(back, {1})};
        return {reply(back, 0)};
    };
}

}  // namespace

class test_node : public QObject {
    Q_OBJECT

    Set_node *w = nullptr;
    std::vector<box_seen> boxes;
    std::function<void()> during_box;
    bool answering = true;

    template <typename T>
    T *child(const char *name)
    {
        return test_support::child<T>(w, name);
    }
    QListWidget *list() { return child<QListWidget>("listWidget_2"); }
    QProgressBar *bar() { return child<QProgressBar>("progressBar"); }

    // Clicks Scan over the given range and waits until the probe phase has ended (the bar is
    // hidden only by the probe phase, or never shown when the range is refused).
    bool scan(const QString &min, const QString &max)
    {
        child<QLineEdit>("Min")->setText(min);
        child<QLineEdit>("Max")->setText(max);
        child<QPushButton>("Scan")->click();
        return QTest::qWaitFor([this] { return bar()->isHidden(); }, 60000);
    }
    std::vector<uint32_t> sent_ids(const scripted_bus_state &bus)
    {
        std::vector<uint32_t> ids;
        for (const vci::can_message &m : bus.sent)
            ids.push_back(m.id);
        return ids;
    }

private slots:
    void init()
    {
        fresh_process();
        boxes.clear();
        during_box = nullptr;
        answering = true;
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes.push_back({r.kind, r.title, r.text});
            if (during_box)
                during_box();
            return QMessageBox::Ok;
        });
        w = new Set_node();
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
        CloseDevice(3, 0);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void range_is_checked_before_anything_touches_the_adapter()
    {
        auto bus = install_scripted_bus();
        for (const char *range : {"1-65", "0-64", "-3-5", "abc-64"}) {
            const QString text = QString::fromLatin1(range);
            const int dash = text.lastIndexOf(QLatin1Char('-'));
            boxes.clear();
            QVERIFY(scan(text.left(dash), text.mid(dash + 1)));
            QCOMPARE(int(boxes.size()), 1);
            QCOMPARE(boxes[0].title, QStringLiteral("错误"));
            QCOMPARE(boxes[0].text, QStringLiteral("输入范围错误！\n"));
            QCOMPARE(boxes[0].kind, desktop_seams::box_kind::critical);
        }
        QCOMPARE(bus->connect_calls, 0);
        QVERIFY(bus->sent.empty());

        // Accepted ranges that probe nothing: a non-numeric Max reads 0, and Min above Max.
        for (const auto &range : {std::make_pair("1", "x"), std::make_pair("5", "4")}) {
            QVERIFY(scan(QString::fromLatin1(range.first), QString::fromLatin1(range.second)));
            QVERIFY(bus->sent.empty());
            QCOMPARE(bar()->value(), 100);
            QCOMPARE(list()->count(), 0);
        }
        QCOMPARE(int(boxes.size()), 1);  // only the last refusal's box: nothing new

        QVERIFY(scan(QStringLiteral("64"), QStringLiteral("64")));
        QCOMPARE(sent_ids(*bus), std::vector<uint32_t>{0x680});
        QCOMPARE(bus->sent[0].len, uint8_t(2));
        QCOMPARE(bus->sent[0].data[0], uint8_t(0x00));
        QCOMPARE(bus->sent[0].data[1], uint8_t(0x02));
        QVERIFY(!bus->sent[0].remote);
    }

    void range_edited_during_the_first_phase_stays_within_1_to_64()
    {
        auto bus = install_scripted_bus();
        std::map<int, uint32_t> everyone;
        for (int n = -10; n <= 200; ++n)
            everyone[n] = 10231;
        bus->responder = drives(everyone, &answering);

        child<QLineEdit>("Min")->setText(QStringLiteral("1"));
        child<QLineEdit>("Max")->setText(QStringLiteral("2"));
        child<QPushButton>("Scan")->click();
        child<QLineEdit>("Max")->setText(QStringLiteral("200"));
        QVERIFY(QTest::qWaitFor([this] { return bar()->isHidden(); }, 60000));
        QCOMPARE(found_node_count, 64);
        QCOMPARE(int(bus->sent.size()), 64);
        QCOMPARE(bus->sent.back().id, 0x680u);

        bus->sent.clear();
        child<QLineEdit>("Max")->setText(QStringLiteral("2"));
        child<QPushButton>("Scan")->click();
        child<QLineEdit>("Min")->setText(QStringLiteral("-5"));
        QVERIFY(QTest::qWaitFor([this] { return bar()->isHidden(); }, 60000));
        QVERIFY(bus->sent.empty());
        QCOMPARE(found_node_count, 0);
    }

    void progress_values_arrive_in_order_and_a_second_click_starts_nothing()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{1, 10231}}, &answering);
        std::vector<int> values;
        int scans = 0;
        connect(w, &Set_node::func3, this, [&](int v) { values.push_back(v); });
        connect(w, &Set_node::Scan, this, [&] { ++scans; });

        child<QLineEdit>("Max")->setText(QStringLiteral("1"));
        child<QPushButton>("Scan")->click();
        child<QPushButton>("Scan")->click();
        QVERIFY(QTest::qWaitFor([&] { return scans > 0 && bar()->isHidden(); }, 60000));
        for (QThread *t : w->findChildren<QThread *>())
            QVERIFY(t->wait(60000));
        QCoreApplication::processEvents();

        QCOMPARE(scans, 1);
        QCOMPARE(int(values.size()), 301);
        for (int i = 0; i < 301; ++i)
            QCOMPARE(values[size_t(i)], i / 15);
        QCOMPARE(sent_ids(*bus), std::vector<uint32_t>{0x641});
        QCOMPARE(list()->count(), 1);

        // The probe moves the bar by the place within Min..Max, reaching 100 on Max whatever Min is.
        std::vector<int> probe_values;
        connect(bar(), &QProgressBar::valueChanged, this, [&](int v) {
            if (v > 20)
                probe_values.push_back(v);
        });
        QVERIFY(scan(QStringLiteral("60"), QStringLiteral("64")));
        QCOMPARE(probe_values, (std::vector<int>{36, 52, 68, 84, 100}));
    }

    void adapter_failures_are_reported_once_and_the_scan_still_runs()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{1, 10231}}, &answering);
        const QString texts[] = {QStringLiteral("打开CAN设备失败，CAN通道被占用或未连接设备...\n"),
                                 QStringLiteral("初始化CAN设备失败\n"), QStringLiteral("启动CAN通道失败\n"),
                                 QStringLiteral("关闭CAN设备失败\n")};
        for (int code = 1; code <= 4; ++code) {
            CloseDevice(3, 0);
            device_open = code == 4 ? 1 : 0;  // "open" but really closed: the close fails
            bus->fail_connect = code == 1;
            bus->fail_bitrate = code == 2;
            bus->fail_start = code == 3;
            const int disconnects = bus->disconnect_calls;
            boxes.clear();
            QVERIFY(scan(QStringLiteral("1"), QStringLiteral("1")));
            QCOMPARE(int(boxes.size()), 1);
            QCOMPARE(boxes[0].title, QStringLiteral("错误"));
            QCOMPARE(boxes[0].text, texts[code - 1]);
            QCOMPARE(adapter_error, 0);
            // A half-opened adapter is released (and so nothing answers); a failed close is not retried.
            QCOMPARE(bus->disconnect_calls > disconnects, code == 2 || code == 3);
            QCOMPARE(list()->count(), code == 4 ? 1 : 0);
        }
    }

    void default_simulated_bus_lists_its_joints_among_heartbeats_and_flags_ethercat_firmware()
    {
        install_simulated_bus();
        // Two absent nodes beat so often that a heartbeat lands in nearly every probe's window.
        std::vector<sim::joint_config> joints;
        QVERIFY(sim::parse_nodes(QString::fromLatin1(sim::default_nodes) + QStringLiteral(",5:heartbeat/1,6:heartbeat/2"),
                                 &joints, nullptr));
        sim::simulator::instance().configure(joints);

        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("64")));
        QStringList rows;
        for (int i = 0; i < list()->count(); ++i)
            rows << list()->item(i)->text();
        QCOMPARE(rows, QStringList({QStringLiteral("CAN_ID        1"), QStringLiteral("CAN_ID        2"),
                                    QStringLiteral("CAN_ID        3")}));

        list()->setCurrentRow(2);
        child<QPushButton>("Connect")->click();
        QCOMPARE(node_connected, 1);
        QCOMPARE(child<QLineEdit>("Firmware")->text(), QStringLiteral("10230"));
        QCOMPARE(canopen_supported, uint8_t(0));
        QCOMPARE(list()->item(2)->background().color(), QColor(Qt::green));
        QCOMPARE(custom_reply_id, 0x5C3);  // learned from the probe's answer

        child<QPushButton>("Disconnect")->click();
        QCOMPARE(custom_reply_id, 0);
        list()->setCurrentRow(0);
        child<QPushButton>("Connect")->click();
        QCOMPARE(child<QLineEdit>("Firmware")->text(), QStringLiteral("10231"));
        QCOMPARE(canopen_supported, uint8_t(1));
    }

    void connect_to_node_7_and_disconnect()
    {
        install_simulated_bus();
        sim::simulator::instance().configure({{7, 10231}});
        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("8")));
        QCOMPARE(list()->count(), 1);
        QCOMPARE(list()->item(0)->text(), QStringLiteral("CAN_ID") + QString(8, QLatin1Char(' ')) + QStringLiteral("7"));
        QVERIFY(!child<QPushButton>("Save")->isEnabled());

        QCOMPARE(list()->currentRow(), -1);  // nothing selected: row 0 is taken
        child<QPushButton>("Connect")->click();
        QCOMPARE(selected_row, 0);
        QCOMPARE(node_id, 7);
        QCOMPARE(sdo_request_id, 0x607);
        QCOMPARE(custom_request_id, 0x647);
        QCOMPARE(node_connected, 1);
        QCOMPARE(comm_cycle_us, 1000);
        QCOMPARE(protocol_name, QStringLiteral("CAN自定义"));
        QVERIFY(child<QPushButton>("Save")->isEnabled());
        QTimer *timer = w->findChild<QTimer *>(QStringLiteral("connect_timer"));
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 2000);

        child<QLineEdit>("cycle_period")->setText(QStringLiteral("250"));
        QCOMPARE(comm_cycle_us, 250);
        child<QLineEdit>("cycle_period")->setText(QStringLiteral("fast"));
        QCOMPARE(comm_cycle_us, 0);

        child<QPushButton>("Disconnect")->click();
        QCOMPARE(node_connected, 0);
        QCOMPARE(custom_request_id, 0x640);
        QCOMPARE(sdo_request_id, 0x607);
        QVERIFY(!timer->isActive());
        QVERIFY(!child<QPushButton>("Save")->isEnabled());
    }

    void probe_firmware_frames_and_failed_connects()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{2, 0xFFFFFFF1u}}, &answering);
        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("3")));
        QCOMPARE(sent_ids(*bus), (std::vector<uint32_t>{0x641, 0x642, 0x643}));
        bus->sent.clear();

        child<QPushButton>("Connect")->click();
        QCOMPARE(int(bus->sent.size()), 2);
        QCOMPARE(bus->sent[1].id, 0x642u);
        QCOMPARE(bus->sent[1].len, uint8_t(4));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bus->sent[1].data), 4), QByteArray("\x00\x01\x00\x04", 4));
        QCOMPARE(child<QLineEdit>("Firmware")->text(), QStringLiteral("4294967281"));  // unsigned
        QCOMPARE(canopen_supported, uint8_t(1));

        // A second Connect while connected only restarts the timer.
        bus->sent.clear();
        child<QComboBox>("comboBox")->setCurrentIndex(1);
        child<QPushButton>("Connect")->click();
        QVERIFY(bus->sent.empty());
        QCOMPARE(protocol_name, QStringLiteral("CANopen"));
        QVERIFY(w->findChild<QTimer *>(QStringLiteral("connect_timer"))->isActive());

        child<QPushButton>("Disconnect")->click();
        answering = false;
        child<QPushButton>("Connect")->click();
        QCOMPARE(node_connected, 0);
        QCOMPARE(int(boxes.size()), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("未找到正确ID号请重新扫描"));
        QCOMPARE(custom_request_id, 0x642);  // the new identifiers stay
    }

    void a_scan_among_other_devices_pdos_finds_only_the_drives()
    {
        // Ten PDOs a millisecond of nodes that do not speak the protocol, 8 bytes each: without a
        // look at what was heard before, every probe took one for an answer.
        auto bus = install_scripted_bus();
        bus->responder = drives({{2, 10231}, {5, 10230}}, &answering);
        foreign_traffic traffic([&bus](const vci::can_message &m) { bus->inject(m); });
        traffic.start();
        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("8")));
        QCOMPARE(list()->count(), 2);
        QCOMPARE(list()->item(1)->text().right(1), QStringLiteral("5"));
        list()->setCurrentRow(1);
        child<QPushButton>("Connect")->click();
        QCOMPARE(custom_reply_id, 0x5C5);
        QCOMPARE(child<QLineEdit>("Firmware")->text(), QStringLiteral("10230"));
    }

    void a_late_answer_is_not_the_next_nodes()
    {
        // Node 3 answers 8 ms after its probe: beyond its window, and without the probe's own
        // 10 ms batch wait inside the next node's. A loaded machine may deliver the answer later
        // than that wait, where no program could tell it from node 4's: such a try says nothing
        // and the scan is tried again.
        using steady = std::chrono::steady_clock;
        for (int attempt = 0; attempt < 8; ++attempt) {
            if (attempt > 0) {
                cleanup();
                init();
            }
            auto bus = install_scripted_bus();
            std::vector<std::thread> late;
            std::atomic<int64_t> delay_us{0};
            bus->responder = [&](const vci::can_message &m) -> std::vector<vci::can_message> {
                if (m.id == 0x643) {
                    const steady::time_point probed = steady::now();
                    late.emplace_back([&bus, &delay_us, probed] {
                        std::this_thread::sleep_for(std::chrono::milliseconds(8));
                        delay_us = std::chrono::duration_cast<std::chrono::microseconds>(steady::now() - probed).count();
                        bus->inject(reply(0x5C3, 0));
                    });
                }
                return {};
            };
            QVERIFY(scan(QStringLiteral("1"), QStringLiteral("6")));
            for (std::thread &t : late)
                t.join();
            if (delay_us > 14000)
                continue;
            QCOMPARE(list()->count(), 0);
            QCOMPARE(found_node_count, 0);
            return;
        }
        QSKIP("the late answer never came within the batch wait: the machine is too loaded to tell");
    }

    void scanning_while_connected_disconnects_first()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{1, 10231}, {2, 10231}}, &answering);
        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("2")));
        list()->setCurrentRow(1);
        child<QPushButton>("Connect")->click();
        QCOMPARE(node_connected, 1);

        QStringList signals_seen;
        connect(w, &Set_node::func2, this, [&] { signals_seen << QStringLiteral("func2"); });
        connect(w, &Set_node::func, this, [&] { signals_seen << QStringLiteral("func"); });
        QListWidgetItem *old_row = list()->item(1);
        child<QPushButton>("Scan")->click();
        QCOMPARE(signals_seen, QStringList({QStringLiteral("func2"), QStringLiteral("func")}));
        QCOMPARE(old_row->background().color(), QColor(Qt::white));
        QVERIFY(child<QLineEdit>("Firmware")->text().isEmpty());
        QVERIFY(child<QLineEdit>("cycle_period")->text().isEmpty());
        QCOMPARE(comm_cycle_us, 0);
        QCOMPARE(node_connected, 0);
        QVERIFY(QTest::qWaitFor([this] { return bar()->isHidden(); }, 60000));
        QCOMPARE(list()->count(), 2);

        // The adapter's error box runs an event loop in which the probe phase can finish; the
        // old connection must already be gone by then, not left behind with an empty list.
        list()->setCurrentRow(0);
        child<QPushButton>("Connect")->click();
        QCOMPARE(node_connected, 1);
        bus->fail_start = true;
        during_box = [this] { QVERIFY(QTest::qWaitFor([this] { return bar()->isHidden(); }, 60000)); };
        QVERIFY(scan(QStringLiteral("1"), QStringLiteral("2")));
        QCOMPARE(list()->count(), 0);
        QCOMPARE(node_connected, 0);
        QCOMPARE(custom_request_id, 0x640);
    }

    void hand_over_waits_for_the_control_window_of_the_chosen_protocol()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{4, 10231}}, &answering);
        QSignalSpy custom_spy(w, &Set_node::connect_);
        QSignalSpy canopen_spy(w, &Set_node::_connect);
        QVERIFY(scan(QStringLiteral("4"), QStringLiteral("4")));

        child<QComboBox>("comboBox")->setCurrentIndex(1);
        QVERIFY(QMetaObject::invokeMethod(child<QComboBox>("comboBox"), "activated",
                                          Q_ARG(QString, QStringLiteral("CANopen"))));
        QCOMPARE(protocol_name, QStringLiteral("CANopen"));
        custom_control_open = 1;
        child<QPushButton>("Connect")->click();
        QTimer *timer = w->findChild<QTimer *>(QStringLiteral("connect_timer"));
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));  // a retry tick
        QCOMPARE(custom_spy.count() + canopen_spy.count(), 0);

        canopen_control_open = 1;
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        QCOMPARE(canopen_spy.count(), 1);
        canopen_link_active = 1;
        w->off();
        QCOMPARE(canopen_spy.count(), 1);
        QCOMPARE(custom_spy.count(), 0);

        // The custom protocol with its window open is notified at once and retried until it links.
        child<QPushButton>("Disconnect")->click();
        child<QComboBox>("comboBox")->setCurrentIndex(0);
        child<QPushButton>("Connect")->click();
        QCOMPARE(custom_spy.count(), 1);
        w->off();
        QCOMPARE(custom_spy.count(), 2);
        custom_link_active = 1;
        w->off();
        QCOMPARE(custom_spy.count(), 2);
        QCOMPARE(canopen_spy.count(), 1);
    }

    void parameter_save_reports_what_the_drive_did()
    {
        auto bus = install_scripted_bus();
        bus->responder = drives({{5, 10231}}, &answering);
        w->save_pause_ms = 0;
        w->save2();  // not connected: nothing
        QVERIFY(bus->sent.empty());

        QVERIFY(scan(QStringLiteral("5"), QStringLiteral("5")));
        child<QPushButton>("Connect")->click();
        std::vector<int> values;
        bool bar_shown_throughout = true;
        connect(w, &Set_node::func3, this, [&](int v) {
            values.push_back(v);
            bar_shown_throughout = bar_shown_throughout && !bar()->isHidden();
        });
        bool hidden_at_end = false;
        connect(w, &Set_node::func4, this, [&] { hidden_at_end = bar()->isHidden(); });

        bus->sent.clear();
        child<QPushButton>("Save")->click();
        QCOMPARE(bus->sent.size(), size_t(1));
        QCOMPARE(bus->sent[0].id, 0x645u);
        QCOMPARE(bus->sent[0].len, uint8_t(2));
        QCOMPARE(bus->sent[0].data[1], uint8_t(0xE8));
        QVERIFY(!child<QPushButton>("Save")->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !boxes.empty(); }, 60000));
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::information);
        QCOMPARE(boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(boxes[0].text, QStringLiteral("保存成功，断电重连后生效"));
        QCOMPARE(int(values.size()), 101);
        QCOMPARE(values.back(), 100);
        QVERIFY(bar_shown_throughout);
        QVERIFY(hidden_at_end);
        QCOMPARE(save_status, 0);
        QVERIFY(child<QPushButton>("Save")->isEnabled());

        // A drive that does not answer is not reported as saved.
        answering = false;
        boxes.clear();
        child<QPushButton>("Save")->click();
        QVERIFY(QTest::qWaitFor([&] { return !boxes.empty(); }, 60000));
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::critical);
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(save_status, 0);
    }

    void window_setup_and_control_window_wiring()
    {
        delete w;
        custom_control = new control_CAN();
        canopen_control = new control_CANopen();
        w = new Set_node();
        QCOMPARE(w->windowTitle(), QStringLiteral("设备连接"));
        QCOMPARE(w->pos(), QPoint(400, 100));
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(bar()->isHidden());
        QCOMPARE(bar()->value(), 24);
        w->show();
        QCOMPARE(set_node_open, uint8_t(1));
        w->close();
        QCOMPARE(set_node_open, uint8_t(0));
        // The hand-over and disconnect notifications reach the two control windows.
        QVERIFY(QObject::disconnect(w, &Set_node::connect_, custom_control, &control_CAN::casual));
        QVERIFY(QObject::disconnect(w, &Set_node::func2, custom_control, &control_CAN::cut));
        QVERIFY(QObject::disconnect(w, &Set_node::_connect, canopen_control, &control_CANopen::casuals));
        QVERIFY(QObject::disconnect(w, &Set_node::func, canopen_control, &control_CANopen::disconnects));
        delete custom_control;
        delete canopen_control;
    }
};

QTEST_MAIN(test_node)
#include "test_node.moc"
