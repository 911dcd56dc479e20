// The CANopen exchange against a scripted adapter: what goes out, what lands in reply_value,
// the monitor record and its three switches, and every way the exchange can fail. Also the
// frame layouts the control window builds, which frames answer an LSS request, and the LSS
// master's services against the simulated slaves.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/canopen_replies.h"
#include "canopen/control_canopen.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/lss_exchange.h"
#include "sim/simulator.h"
#include "support/test_bus.h"

#include <QSignalSpy>
#include <QtTest>
#include <cstring>

using namespace test_support;

namespace {

QStringList texts_of(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toString();
    return out;
}

QByteArray bytes_of(const canopen::frame &f) { return QByteArray(reinterpret_cast<const char *>(f.data), f.len); }

// Adapter steps driven by the test, for the paths a real adapter shows only by timing luck.
struct fake_bus {
    int sleeps = 0;
    int slept_ms = 0;
    bool send_ok = true;
    bool receive_ok = true;
    int32_t pending = 0;
    std::vector<vci::can_message> frames;

    canopen_bus_ops ops()
    {
        canopen_bus_ops o;
        o.clear_buffer = [] {};
        o.send = [this](uint32_t, const uint8_t *, uint8_t, uint8_t) { return send_ok; };
        o.sleep_ms = [this](int ms) {
            ++sleeps;
            slept_ms += ms;
        };
        o.pending = [this] { return pending; };
        o.receive = [this](uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens, uint8_t *flags) {
            for (size_t i = 0; i < frames.size() && i < 64; ++i) {
                ids[i] = frames[i].id;
                lens[i] = frames[i].len;
                flags[i] = frames[i].extended ? batch_flag::extended : 0;
                std::memcpy(payloads[i], frames[i].data, 8);  // stale bytes past the length too
            }
            return receive_ok;
        };
        return o;
    }
};

// The simulated joints as the exchange's bus: what a request makes them send waits to be read.
struct sim_wire {
    sim::simulator &sim;
    std::vector<vci::can_message> queued;

    exchange_bus ops()
    {
        exchange_bus o;
        o.clear_buffer = [this] { queued.clear(); };
        o.send = [this](uint32_t id, const uint8_t *data, uint8_t len, uint8_t) {
            vci::can_message m;
            m.id = id;
            m.len = len;
            std::memcpy(m.data, data, len);
            for (const vci::can_message &out : sim.process(m))
                queued.push_back(out);
            return true;
        };
        o.sleep_ms = [](int) {};
        o.pending = [this] { return int32_t(queued.size()); };
        o.receive = [this](uint32_t *ids, uint8_t (*payloads)[8], uint8_t *lens, uint8_t *) {
            for (size_t i = 0; i < queued.size(); ++i) {
                ids[i] = queued[i].id;
                lens[i] = queued[i].len;
                std::memcpy(payloads[i], queued[i].data, 8);
            }
            queued.clear();
            return true;
        };
        return o;
    }
};

}  // namespace

class test_canopen_exchange : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<scripted_bus_state> bus;

private slots:
    void init()
    {
        fresh_process();
        remote_request = 0;
        bus = install_scripted_bus();
        QVERIFY(open_canopen_node_1());
        monitor_open = 1;
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void sdo_read_is_logged_and_its_value_taken_little_endian()
    {
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x10, 0x27, 0x00, 0x00})};
        };
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);
        QVERIFY(window.canopen_exchange(f.id, f.data, f.len, QStringLiteral("获取实际位置\nGet position"), 1));
        QCOMPARE(reply_value, 10000);
        QCOMPARE(reply_length, 0);  // the CANopen exchange leaves it alone

        const QStringList t = texts_of(spy);
        QCOMPARE(t.size(), 12);
        QCOMPARE(t[0], QStringLiteral("1"));
        QVERIFY(QDateTime::fromString(t[1], QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")).isValid());
        QCOMPARE(t[2], QStringLiteral("发送成功\nSend"));
        QCOMPARE(t[3], QStringLiteral("601"));
        QCOMPARE(t[4], QStringLiteral("40 64 60 00 00 00 00 00 "));
        QCOMPARE(t[5], QStringLiteral("获取实际位置\nGet position"));
        QCOMPARE(t[6], QStringLiteral("2"));
        QCOMPARE(t[8], QStringLiteral("接收\nReceive"));
        QCOMPARE(t[9], QStringLiteral("581"));
        QCOMPARE(t[10], QStringLiteral("43 64 60 00 10 27 00 00 "));
        QCOMPARE(t[11], QString());
        QCOMPARE(monitor_seq, 3);

        QCOMPARE(bus->sent.size(), size_t(1));
        QCOMPARE(bus->sent[0].id, 0x601u);
        QCOMPARE(bus->sent[0].len, uint8_t(8));
        QVERIFY(!bus->sent[0].remote);

        // Negative values come back as two's complement.
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x18, 0xFC, 0xFF, 0xFF})};
        };
        QVERIFY(window.canopen_exchange(f.id, f.data, f.len, QString(), 0));
        QCOMPARE(reply_value, -1000);
    }

    void nmt_sync_and_guarding_frames_go_out_as_built()
    {
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        bus->responder = [](const vci::can_message &m) {
            std::vector<vci::can_message> r;
            if (m.id == 0x705 && m.remote)
                r.push_back(make_message(0x705, {0x05}));
            return r;
        };
        sdo_request_id = 0x605;
        const canopen::frame stop = canopen::nmt(canopen::nmt_stop, sdo_request_id);
        QVERIFY(!window.canopen_exchange(stop.id, stop.data, stop.len, QStringLiteral("关闭节点\nStop remote node"), 1));
        QCOMPARE(bus->sent.back().id, 0u);
        QCOMPARE(bus->sent.back().len, uint8_t(2));
        QCOMPARE(bus->sent.back().data[0], uint8_t(0x02));
        QCOMPARE(bus->sent.back().data[1], uint8_t(0x05));
        QStringList t = texts_of(spy);
        QCOMPARE(t.size(), 6);  // silence: only the sent record
        QCOMPARE(t[3], QStringLiteral("0"));
        QCOMPARE(t[4], QStringLiteral("02 05 "));

        spy.clear();
        const canopen::frame sync = canopen::sync();
        window.canopen_exchange(sync.id, sync.data, sync.len, QString(), 1);
        t = texts_of(spy);
        QCOMPARE(t[3], QStringLiteral("80"));
        QCOMPARE(t[4], QString());
        QCOMPARE(bus->sent.back().len, uint8_t(0));

        // The guarding request is the one remote frame; the flag is the window's.
        const canopen::frame guard = canopen::guarding_request(sdo_request_id);
        remote_request = 1;
        QVERIFY(window.canopen_exchange(guard.id, guard.data, guard.len, QString(), 1));
        remote_request = 0;
        QCOMPARE(bus->sent.back().id, 0x705u);
        QVERIFY(bus->sent.back().remote);
        QCOMPARE(reply_value, 0);  // one data byte: bytes 4-7 count as 0
        const canopen::frame read = canopen::sdo_upload(sdo_request_id, 0x6041, 0);
        window.canopen_exchange(read.id, read.data, read.len, QString(), 0);
        QVERIFY(!bus->sent.back().remote);
    }

    void every_pending_frame_is_logged_and_the_matching_response_wins()
    {
        // Another node's heartbeat, another node's SDO response, a response to another object,
        // then the answer and a TPDO: all are logged, only the answer sets the value.
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x705, {0x05}),
                                                 make_message(0x582, {0x43, 0x64, 0x60, 0x00, 0x09, 0x00, 0x00, 0x00}),
                                                 make_message(0x581, {0x43, 0x6C, 0x60, 0x00, 0x08, 0x00, 0x00, 0x00}),
                                                 make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x01, 0x00, 0x00, 0x00}),
                                                 make_message(0x181, {0x37, 0x02, 0x00, 0x00, 0x02, 0x00})};
        };
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);
        QVERIFY(window.canopen_exchange(f.id, f.data, f.len, QString(), 1));
        const QStringList t = texts_of(spy);
        QCOMPARE(t.size(), 36);
        QCOMPARE(t[9], QStringLiteral("705"));
        QCOMPARE(t[27], QStringLiteral("581"));
        QCOMPARE(t[33], QStringLiteral("181"));
        QCOMPARE(t[34], QStringLiteral("37 02 00 00 02 00 "));
        QCOMPARE(reply_value, 1);
        QCOMPARE(monitor_seq, 7);

        // Without its answer the read fails and the value stays, whatever else came.
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x705, {0x05}),
                                                 make_message(0x581, {0x60, 0x64, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00})};
        };
        QVERIFY(!window.canopen_exchange(f.id, f.data, f.len, QString(), 1));
        QCOMPARE(reply_value, 1);

        // An extended and a remote frame on 0x581 are no answer, however they look; both are logged.
        vci::can_message extended = make_message(0x581, {0x43, 0x45, 0x23, 0x00, 0x78, 0x56, 0x34, 0x12});
        extended.extended = true;
        const vci::can_message remote = make_message(0x581, {0x43, 0x45, 0x23, 0x00, 0, 0, 0, 0}, true);
        bus->responder = [&](const vci::can_message &) { return std::vector<vci::can_message>{extended, remote}; };
        spy.clear();
        const canopen::frame g = canopen::sdo_upload(sdo_request_id, 0x2345, 0);
        QVERIFY(!window.canopen_exchange(g.id, g.data, g.len, QString(), 1));
        QCOMPARE(reply_value, 1);
        const QStringList logged = texts_of(spy);
        QCOMPARE(logged.size(), 18);
        // Logged as what they are, never as the node's 0x581 answer.
        QCOMPARE(logged[9], QStringLiteral("00000581"));
        QCOMPARE(logged[15], QStringLiteral("581"));
        QCOMPARE(logged[16], QString());
        QVERIFY2(logged[17].contains(QLatin1String("remote frame")), qPrintable(logged[17]));
    }

    void an_abort_is_a_refusal_with_its_text_in_the_monitor()
    {
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x581, {0x80, 0x84, 0x60, 0x00, 0x32, 0x00, 0x09, 0x06})};
        };
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        reply_value = 5;
        const canopen::frame f = canopen::sdo_download(sdo_request_id, 0x6084, 0, 0, 4);
        const exchange_outcome out =
            canopen_transaction(adapter_bus_ops(), f.id, f.data, f.len, 0, QStringLiteral("减速度"), 1,
                                [&window](const QString &text) { emit window.senddata(text); });
        QVERIFY(out.answered && out.refused);
        QCOMPARE(out.abort_code, 0x06090032u);
        QCOMPARE(reply_value, 5);
        const QStringList t = texts_of(spy);
        QCOMPARE(t.size(), 12);
        QCOMPARE(t[5], QStringLiteral("减速度"));
        QVERIFY2(t[11].contains(QStringLiteral("06090032")), qPrintable(t[11]));
        QVERIFY(!window.canopen_exchange(f.id, f.data, f.len, QString(), 0));

        // A code the error document does not list still shows as a number.
        QCOMPARE(canopen::control_abort_text(0x0BADC0DE), QStringLiteral("SDO中止(0x0BADC0DE)\nSDO abort (0x0BADC0DE)"));
    }

    void bytes_beyond_the_length_count_as_zero()
    {
        fake_bus fake;
        vci::can_message m = make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x33, 0x44, 0x55, 0x66});
        m.len = 5;  // the payload buffer still holds old bytes past the length
        fake.frames = {m};
        fake.pending = 1;
        reply_value = 77;
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);
        QVERIFY(run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), 0, nullptr));
        QCOMPARE(reply_value, 0x33);

        m.len = 6;
        fake.frames = {m};
        QVERIFY(run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), 0, nullptr));
        QCOMPARE(reply_value, 0x4433);

        // Too short to name its object: no answer at all.
        m.len = 2;
        fake.frames = {m};
        QVERIFY(!run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), 0, nullptr));
        QCOMPARE(reply_value, 0x4433);
    }

    void logging_needs_log_capture_and_an_open_monitor()
    {
        bus->responder = [](const vci::can_message &) {
            return std::vector<vci::can_message>{make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x05, 0x00, 0x00, 0x00})};
        };
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);
        struct { int log, capture, open; } cases[] = {{0, 1, 1}, {2, 1, 1}, {1, 0, 1}, {1, 1, 0}};
        for (const auto &c : cases) {
            monitor_capture = c.capture;
            monitor_open = c.open;
            reply_value = 0;
            QVERIFY(window.canopen_exchange(f.id, f.data, f.len, QStringLiteral("x"), c.log));
            QCOMPARE(reply_value, 5);
        }
        QCOMPARE(spy.count(), 0);
        QCOMPARE(monitor_seq, 1);
    }

    void failures_leave_the_reply_and_report_false()
    {
        control_CANopen window;
        QSignalSpy spy(&window, &control_CANopen::senddata);
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);

        // Transmit refused: nothing logged, no wait.
        fake_bus fake;
        fake.send_ok = false;
        reply_value = 42;
        QVERIFY(!run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), 1, nullptr));
        QCOMPARE(fake.sleeps, 0);
        QCOMPARE(reply_value, 42);
        QCOMPARE(monitor_seq, 1);
        bus->fail_transmit = true;
        QVERIFY(!window.canopen_exchange(f.id, f.data, f.len, QString(), 1));
        QCOMPARE(spy.count(), 0);
        bus->fail_transmit = false;

        // Silence: the request is in the monitor, the old value stays.
        QVERIFY(!window.canopen_exchange(f.id, f.data, f.len, QString(), 1));
        QCOMPARE(spy.count(), 6);
        QCOMPARE(reply_value, 42);
        QCOMPARE(monitor_seq, 2);

        // Frames delivered after the count was taken are not processed.
        fake_bus late;
        late.pending = 0;
        late.frames = {make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x01, 0x00, 0x00, 0x00})};
        int texts = 0;
        QVERIFY(!run_canopen_exchange(late.ops(), f.id, f.data, f.len, 0, QString(), 1,
                                      [&](const QString &) { ++texts; }));
        QCOMPARE(late.sleeps, 1);
        QCOMPARE(reply_value, 42);
        QCOMPARE(texts, 6);

        // A receive that fails after a positive count still counts as silence.
        fake_bus broken;
        broken.pending = 3;
        broken.receive_ok = false;
        QVERIFY(!run_canopen_exchange(broken.ops(), f.id, f.data, f.len, 0, QString(), 0, nullptr));
        QCOMPARE(reply_value, 42);
    }

    void at_most_one_batch_is_processed()
    {
        fake_bus fake;
        fake.pending = 70;
        // Only the 64th frame is node 1's TPDO: the answer to the SYNC is still found.
        for (int i = 0; i < 64; ++i)
            fake.frames.push_back(make_message(i == 63 ? 0x181 : 0x182, {0, 0, 0, 0, uint8_t(i), 0, 0, 0}));
        int texts = 0;
        const canopen::frame f = canopen::sync();
        QVERIFY(run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), 1,
                                     [&](const QString &) { ++texts; }));
        QCOMPARE(texts, 6 * 65);
        QCOMPARE(reply_value, 63);
    }

    void until_reply_returns_with_the_answer_or_after_the_window()
    {
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, 0x6064, 0);
        exchange_request request(f.id, f.data, f.len, canopen_reply_window_ms);
        request.wait = wait_policy::until_reply;
        request.decoder = canopen::reply_decoder_for(1, f.id, f.data, f.len, 0);
        fake_bus fake;
        fake.pending = 1;
        fake.frames = {make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x2A, 0x00, 0x00, 0x00})};
        exchange_outcome out = run_exchange(fake.ops(), request);
        QVERIFY(out.succeeded());
        QCOMPARE(fake.sleeps, 1);
        QCOMPARE(canopen_reply_value(out.reply.data, out.reply.len), 42);

        // Only foreign traffic: every poll of the window is read, then the wait gives up.
        fake.sleeps = 0;
        fake.frames = {make_message(0x705, {0x05})};
        out = run_exchange(fake.ops(), request);
        QVERIFY(out.sent && out.received && !out.answered);
        QCOMPARE(fake.sleeps, canopen_reply_window_ms);
        QCOMPARE(out.frames, canopen_reply_window_ms);

        // A read nobody logs (the poll) ends at its answer; a logged one reads the whole window.
        monitor_capture = 1;
        monitor_open = 1;
        fake.frames = {make_message(0x581, {0x43, 0x64, 0x60, 0x00, 0x2A, 0x00, 0x00, 0x00})};
        for (int log : {0, 1}) {
            fake.slept_ms = 0;
            QVERIFY(run_canopen_exchange(fake.ops(), f.id, f.data, f.len, 0, QString(), log, [](const QString &) {}));
            QCOMPARE(fake.slept_ms, log == 0 ? 1 : canopen_reply_window_ms);
        }
    }

    void a_sweep_asks_every_node_in_one_transaction()
    {
        // Of nodes 1..6, node 2 answers the device type and node 5 refuses it; a 29-bit frame
        // shaped like node 3's answer is none, and node 2's second answer is other traffic.
        fake_bus fake;
        fake.pending = 4;
        fake.frames = {make_message(0x582, {0x43, 0x00, 0x10, 0x00, 0x92, 0x01, 0x02, 0x00}),
                       make_message(0x583, {0x43, 0x00, 0x10, 0x00, 0x92, 0x01, 0x02, 0x00}),
                       make_message(0x585, {0x80, 0x00, 0x10, 0x00, 0x00, 0x00, 0x02, 0x06}),
                       make_message(0x582, {0x43, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00})};
        fake.frames[1].extended = true;
        QStringList texts;
        const auto answers = canopen::sdo_sweep(fake.ops(), 1, 6, 0x1000, 0, 300, [&](const QString &t) { texts << t; });
        QCOMPARE(answers.size(), size_t(6));
        QCOMPARE(texts.count(QStringLiteral("SDO读 1000:00/SDO upload 1000:00")), 6);
        QVERIFY(answers[1].answered && !answers[1].refused);
        QCOMPARE(answers[1].data, QByteArray::fromHex("92010200"));
        QVERIFY(!answers[2].answered);
        QVERIFY(answers[4].refused);
        QCOMPARE(answers[4].abort, 0x06020000u);
        QCOMPARE(fake.sleeps, 300);  // the unused node-IDs keep the window open to its end

        // Once every request has its answer the window closes.
        fake.sleeps = 0;
        fake.frames.resize(1);
        QVERIFY(canopen::sdo_sweep(fake.ops(), 2, 2, 0x1000, 0, 300, {}).front().answered);
        QCOMPARE(fake.sleeps, 1);
    }

    void lss_answers_are_whole_frames_on_7e4_with_their_specifier()
    {
        fake_bus fake;
        fake.pending = 1;
        canopen::lss_fast_scan scan;
        // A short frame, another identifier, another answer's specifier: nobody answered.
        fake.frames = {make_message(0x7E4, {0x4F, 0, 0, 0, 0, 0, 0}), make_message(0x7E3, {0x4F, 0, 0, 0, 0, 0, 0, 0}),
                       make_message(0x7E4, {0x44, 0, 0, 0, 0, 0, 0, 0})};
        QVERIFY(!canopen::lss_exchange(fake.ops(), scan.request(), canopen::lss_scan_window_ms, {}).answered);
        fake.frames.push_back(make_message(0x7E4, {0x4F, 0, 0, 0, 0, 0, 0, 0}));
        QVERIFY(canopen::lss_exchange(fake.ops(), scan.request(), canopen::lss_scan_window_ms, {}).answered);

        fake.frames = {make_message(0x7E4, {0x17, 0x01, 0, 0, 0, 0, 0, 0})};
        const canopen::lss_outcome store = canopen::lss_exchange(fake.ops(), canopen::lss_store_configuration(), 1000, {});
        QVERIFY(store.answered && !store.ok());
        QCOMPARE(canopen::lss_error_text(canopen::lss_cs::store, store.error(), store.specific_error()),
                 QStringLiteral("不支持保存/storing not supported"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(canopen::lss_configure_bit_timing(2).data), 8),
                 QByteArray::fromHex("1300020000000000"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(canopen::lss_activate_bit_timing(300).data), 8),
                 QByteArray::fromHex("152C010000000000"));
    }

    // The master's services against the simulated slaves: the fast scan finds the lowest
    // identity among the joints without node-ID (bit 31 included), switch state selective
    // reaches only the joint of the identity it names, and a node-ID given there is the one the
    // joint boots with.
    void lss_master_against_the_simulated_slaves()
    {
        std::vector<sim::joint_config> joints;
        QVERIFY(sim::parse_nodes(QStringLiteral("1,lss:0x80000001,lss:0x1002,lss:0x1001"), &joints, nullptr));
        sim::simulator sim(joints);
        sim.power_on();
        sim_wire wire{sim, {}};
        const exchange_bus bus = wire.ops();
        const auto scan = [&bus] {
            canopen::lss_fast_scan s;
            while (s.state() == canopen::lss_fast_scan::result::running)
                s.take(canopen::lss_exchange(bus, s.request(), canopen::lss_scan_window_ms, {}).answered);
            return s;
        };
        const canopen::lss_fast_scan first = scan();
        QVERIFY(first.state() == canopen::lss_fast_scan::result::found);
        QCOMPARE(first.step(), canopen::lss_fast_scan::step_count);
        QCOMPARE(first.identity().part[3], 0x1001u);
        const canopen::lss_outcome node = canopen::lss_exchange(bus, canopen::lss_inquire(4), 1000, {});
        QVERIFY(node.answered);
        QCOMPARE(canopen::lss_answer_value(node.answer), 0xFFu);
        QVERIFY(canopen::lss_back_to_waiting(bus, 0, {}));

        canopen::lss_identity other = first.identity();
        other.part[3] = 0x1003;
        QVERIFY(!canopen::lss_select(bus, other, {}));
        other.part[3] = 0x1002;
        QVERIFY(canopen::lss_select(bus, other, {}));
        const canopen::lss_outcome serial = canopen::lss_exchange(bus, canopen::lss_inquire(3), 1000, {});
        QCOMPARE(canopen::lss_answer_value(serial.answer), 0x1002u);
        QVERIFY(canopen::lss_exchange(bus, canopen::lss_configure_node(9), 1000, {}).ok());
        QVERIFY(canopen::lss_back_to_waiting(bus, 9, {}));
        QCOMPARE(sim.nodes(), std::vector<int>({1, 9}));

        // The two left, lower serial first; then none waits.
        for (const uint8_t id : {uint8_t(10), uint8_t(11)}) {
            const canopen::lss_fast_scan next = scan();
            QVERIFY(next.state() == canopen::lss_fast_scan::result::found);
            QCOMPARE(next.identity().part[3], id == 10 ? 0x1001u : 0x80000001u);
            QVERIFY(canopen::lss_exchange(bus, canopen::lss_configure_node(id), 1000, {}).ok());
            QVERIFY(canopen::lss_back_to_waiting(bus, id, {}));
        }
        const canopen::lss_fast_scan none = scan();
        QVERIFY(none.state() == canopen::lss_fast_scan::result::none);
        QCOMPARE(none.step(), 1);
    }

    void frame_layouts()
    {
        // SDO writes of each size, little-endian, unused bytes zero.
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x6060, 0, 1, 1)), QByteArray::fromHex("2F60600001000000"));
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x1800, 3, 300, 2)), QByteArray::fromHex("2B0018032C010000"));
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x1006, 0, 1000, 4)), QByteArray::fromHex("23061000E8030000"));
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x1600, 2, 0x60C10110, 4)), QByteArray::fromHex("23001602" "1001C160"));
        // A 1-byte write of a wide value carries only its low byte.
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x6060, 0, 0x1234, 1)), QByteArray::fromHex("2F60600034000000"));
        QCOMPARE(bytes_of(canopen::sdo_upload(0x601, 0x6064, 0)), QByteArray::fromHex("4064600000000000"));

        // COB-IDs computed from the SDO request identifier.
        QCOMPARE(bytes_of(canopen::sdo_download(0x601, 0x1800, 1, canopen::tpdo1_cob_invalid(0x601), 4)),
                 QByteArray::fromHex("2300180181010080"));
        QCOMPARE(canopen::tpdo1_cob_valid(0x601), 0x181u);
        QCOMPARE(canopen::rpdo1_cob_invalid(0x601), 0x80000201u);
        QCOMPARE(canopen::rpdo1_cob_valid(0x601), 0x201u);

        const canopen::frame rpdo = canopen::rpdo1(0x601, 0x000F, 5000);
        QCOMPARE(rpdo.id, 0x201u);
        QCOMPARE(bytes_of(rpdo), QByteArray::fromHex("0F0088130000"));
        QCOMPARE(bytes_of(canopen::rpdo1(0x601, 0x001F, -1)), QByteArray::fromHex("1F00FFFFFFFF"));

        const canopen::frame guard = canopen::guarding_request(0x603);
        QCOMPARE(guard.id, 0x703u);
        QCOMPARE(guard.len, uint8_t(0));
        QCOMPARE(guard.remote, uint8_t(1));
        const canopen::frame reset = canopen::nmt(canopen::nmt_reset_communication, 0x640);
        QCOMPARE(reset.id, 0u);
        QCOMPARE(bytes_of(reset), QByteArray::fromHex("8240"));
        QCOMPARE(canopen::sync().id, 0x80u);
        QCOMPARE(canopen::sync().len, uint8_t(0));
    }
};

QTEST_MAIN(test_canopen_exchange)
#include "test_canopen_exchange.moc"
