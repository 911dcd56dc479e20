// The custom-protocol exchange over a scripted bus: what goes out, what is taken from the
// replies, what reaches the monitor and when nothing may change.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/custom_exchange.h"
#include "support/test_bus.h"
#include "tools/monitor.h"

#include <QTableWidget>
#include <QtTest>

using namespace test_support;

class test_custom_exchange : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<scripted_bus_state> bus;
    QStringList texts;

    monitor_emitter collector()
    {
        return [this](const QString &t) { texts << t; };
    }

    // Answers every request with the given frames.
    void reply_with(std::vector<vci::can_message> frames)
    {
        bus->responder = [frames](const vci::can_message &) { return frames; };
    }

    static const uint8_t *bytes(const char *s) { return reinterpret_cast<const uint8_t *>(s); }

private slots:
    void init()
    {
        fresh_process();
        bus = install_scripted_bus();
        QVERIFY(open_node_1(QStringLiteral("CAN自定义")));
        monitor_open = 1;
        texts.clear();
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void read_is_sent_and_logged_with_its_reply()
    {
        reply_with({make_message(0x5C1, {0x00, 0x00, 0x01, 0xF4})});
        const uint8_t request[2] = {0x00, 0x08};
        QVERIFY(custom_exchange(collector(), 0x641, request, 2, QStringLiteral("读取"), 1));

        QCOMPARE(bus->sent.size(), size_t(1));
        const vci::can_message &sent = bus->sent[0];
        QCOMPARE(sent.id, 0x641u);
        QCOMPARE(int(sent.len), 2);
        QVERIFY(!sent.remote);
        QCOMPARE(sent.data[0], uint8_t(0x00));
        QCOMPARE(sent.data[1], uint8_t(0x08));

        QCOMPARE(texts.size(), 12);
        QCOMPARE(texts.mid(0, 1), QStringList{QStringLiteral("1")});
        QVERIFY(QDateTime::fromString(texts[1], QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")).isValid());
        QCOMPARE(texts.mid(2, 4), (QStringList{QStringLiteral("发送成功\nSend"), QStringLiteral("641"),
                                               QStringLiteral("00 08 "), QStringLiteral("读取")}));
        QCOMPARE(texts[6], QStringLiteral("2"));
        QVERIFY(QDateTime::fromString(texts[7], QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")).isValid());
        QCOMPARE(texts.mid(8, 4), (QStringList{QStringLiteral("接收\nReceive"), QStringLiteral("5C1"),
                                               QStringLiteral("00 00 01 F4 "), QString()}));
        QCOMPARE(monitor_seq, 3);
        QCOMPARE(reply_value, 500);
        QCOMPARE(reply_length, 4);
    }

    void short_replies_count_missing_bytes_as_zero()
    {
        // The motion_mode acknowledgement: one byte, shifted into the top byte.
        reply_with({make_message(0x5C1, {0x01})});
        const custom_request r = write_motion_mode(1);
        QVERIFY(custom_exchange(collector(), 0x641, r));
        QCOMPARE(reply_length, 1);
        QCOMPARE(reply_value, 0x01000000);

        // An empty frame answers nothing; it is still logged, with an empty data text.
        texts.clear();
        reply_with({make_message(0x5C1, {})});
        QVERIFY(!custom_exchange(collector(), 0x641, r));
        QCOMPARE(reply_length, 1);
        QCOMPARE(reply_value, 0x01000000);
        QCOMPARE(texts.size(), 12);
        QCOMPARE(texts[10], QString());

        // A read wants its value: an acknowledgement-sized frame is no answer to it.
        reply_with({make_message(0x5C1, {0x07})});
        QVERIFY(!custom_exchange(collector(), 0x641, read_actual_position()));

        // Bytes beyond 3 do not count; negative values come back as such.
        reply_with({make_message(0x5C1, {0xFF, 0xFF, 0xFC, 0x18, 0x12, 0x34})});
        QVERIFY(custom_exchange(collector(), 0x641, read_actual_position()));
        QCOMPARE(reply_value, -1000);
        QCOMPARE(reply_length, 6);
    }

    void every_pending_frame_is_logged_and_the_first_reply_wins()
    {
        // NMT, SYNC, a heartbeat and a boot-up are never the drive's answer.
        reply_with({make_message(0x000, {0x01, 0x00}), make_message(0x080, {}), make_message(0x705, {0x05}),
                    make_message(0x706, {0x00}), make_message(0x5C1, {0x00, 0x00, 0x00, 0x07}),
                    make_message(0x5C2, {0x00, 0x00, 0x00, 0x09})});
        const custom_request r = read_actual_position();
        QVERIFY(custom_exchange(collector(), 0x641, r.data, r.length, QString(), 1));
        QCOMPARE(texts.size(), 42);
        QCOMPARE(texts[21], QStringLiteral("705"));
        QCOMPARE(texts[33], QStringLiteral("5C1"));
        QCOMPARE(texts[39], QStringLiteral("5C2"));
        QCOMPARE(reply_value, 7);
        QCOMPARE(monitor_seq, 8);

        // Once the reply identifier is known (learned at connect), only a frame on it answers.
        custom_reply_id = 0x5C2;
        QVERIFY(custom_exchange(collector(), 0x641, r.data, r.length, QString(), 0));
        QCOMPARE(reply_value, 9);
        custom_reply_id = 0x5C3;
        QVERIFY(!custom_exchange(collector(), 0x641, r.data, r.length, QString(), 0));
        QCOMPARE(reply_value, 9);
    }

    void unlogged_exchanges_still_set_the_reply()
    {
        // log = 0, capture off, monitor closed: each leaves the monitor alone.
        struct { int log, capture, open; } cases[] = {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}, {2, 1, 1}};
        int32_t value = 100;
        for (const auto &c : cases) {
            texts.clear();
            monitor_capture = c.capture;
            monitor_open = c.open;
            monitor_seq = 5;
            ++value;
            const uint8_t v = static_cast<uint8_t>(value);
            reply_with({make_message(0x5C1, {0x00, 0x00, 0x00, v, 0x00})});
            const custom_request r = write_enable_state(true);
            QVERIFY(custom_exchange(collector(), 0x641, r.data, r.length, r.description, c.log));
            QVERIFY(texts.isEmpty());
            QCOMPARE(monitor_seq, 5);
            QCOMPARE(reply_value, value);
            QCOMPARE(reply_length, 5);
        }
    }

    void failures_leave_everything_as_it_was()
    {
        reply_value = 77;
        reply_length = 3;
        bus->fail_transmit = true;
        reply_with({make_message(0x5C1, {0, 0, 0, 1})});
        QVERIFY(!custom_exchange(collector(), 0x641, write_enable_state(true)));
        QVERIFY(texts.isEmpty());
        QCOMPARE(monitor_seq, 1);
        QCOMPARE(reply_value, 77);
        QCOMPARE(reply_length, 3);

        // Sent but unanswered: the request shows, the reply values stay.
        bus->fail_transmit = false;
        bus->responder = nullptr;
        QVERIFY(!custom_exchange(collector(), 0x641, write_enable_state(true)));
        QCOMPARE(texts.size(), 6);
        QCOMPARE(texts[2], QStringLiteral("发送成功\nSend"));
        QCOMPARE(monitor_seq, 2);
        QCOMPARE(reply_value, 77);
        QCOMPARE(reply_length, 3);
    }

    void stale_frames_are_cleared_before_the_request()
    {
        bus->inject(make_message(0x5C1, {0, 0, 0, 42}));
        QCOMPARE(GetReceiveNum(3, 0, 0), 1);
        reply_with({make_message(0x5C1, {0, 0, 0, 5})});
        const custom_request r = read_actual_position();
        QVERIFY(custom_exchange(collector(), 0x641, r.data, r.length, QString(), 1));
        QCOMPARE(reply_value, 5);
        QCOMPARE(texts.size(), 12);
    }

    void at_most_one_batch_of_frames_is_processed()
    {
        std::vector<vci::can_message> flood;
        // The 64th frame is the first answer; what lies beyond the batch is never read.
        for (int i = 0; i < 70; ++i)
            flood.push_back(i < 63 ? make_message(0x701, {0x05}) : make_message(0x5C1, {0, 0, 0, static_cast<uint8_t>(i)}));
        reply_with(flood);
        monitor_open = 0;
        QVERIFY(custom_exchange(collector(), 0x641, read_actual_position()));
        QCOMPARE(reply_value, 63);
    }

    void negative_values_go_out_as_twos_complement()
    {
        reply_with({make_message(0x5C1, {0x01})});
        const custom_request r = write_relative_distance(QStringLiteral("1000"), true);
        QVERIFY(custom_exchange(collector(), 0x641, r));
        const vci::can_message &sent = bus->sent.back();
        QCOMPARE(int(sent.len), 6);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent.data), 6).toHex(' ').toUpper(),
                 QByteArray("00 87 FF FF FC 18"));
        QCOMPARE(texts[4], QStringLiteral("00 87 FF FF FC 18 "));
    }

    void the_control_window_feeds_its_own_monitor()
    {
        monitor mon;
        custom_monitor = &mon;
        control_CAN window;
        mon.show();
        reply_with({make_message(0x5C1, {0x01})});
        QVERIFY(custom_exchange(&window, 0x641, write_enable_state(true)));
        QTableWidget *table = mon.table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("641"));
        QCOMPARE(table->item(0, 4)->text(), QStringLiteral("01 00 00 00 00 01 "));
        QCOMPARE(table->item(0, 5)->text(), QStringLiteral("使能\nEnable"));
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("接收\nReceive"));
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("01 "));
        custom_monitor = nullptr;
    }
};

QTEST_MAIN(test_custom_exchange)
#include "test_custom_exchange.moc"
