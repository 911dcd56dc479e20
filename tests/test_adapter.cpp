// Adapter operations over a scripted bus: record layouts, bit timing, the open sequence and
// its failure codes, close, transmit and the batch receive.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/exchange.h"
#include "can/vci/bus_backend.h"
#include "can/vci/vci.h"
#include "support/test_bus.h"

#include <QDeadlineTimer>
#include <QtTest>
#include <cstring>
#include <numeric>
#include <thread>

using namespace test_support;

class test_adapter : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<scripted_bus_state> bus;

    void open_ok()
    {
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
    }

private slots:
    void init()
    {
        fresh_process();
        bus = install_scripted_bus();
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void timing_table_covers_every_rate()
    {
        const struct { int kbps; uint8_t t0, t1; } expected[] = {
            {5, 0xBF, 0xFF},   {10, 0x31, 0x1C},  {20, 0x18, 0x1C},  {40, 0x87, 0xFF},  {50, 0x09, 0x1C},
            {80, 0x83, 0xFF},  {100, 0x04, 0x1C}, {125, 0x03, 0x1C}, {200, 0x81, 0xFA}, {250, 0x01, 0x1C},
            {400, 0x80, 0xFA}, {500, 0x00, 0x1C}, {666, 0x80, 0xB6}, {800, 0x00, 0x16}, {1000, 0x00, 0x14},
        };
        for (const auto &row : expected) {
            uint8_t t0 = 0xEE, t1 = 0xEE;
            QVERIFY2(timing_for_rate(row.kbps, &t0, &t1), qPrintable(QString::number(row.kbps)));
            QCOMPARE(t0, row.t0);
            QCOMPARE(t1, row.t1);
        }
        uint8_t t0 = 0, t1 = 0;
        QVERIFY(!timing_for_rate(1001, &t0, &t1));
    }

    void each_rate_reaches_the_bus_and_unknown_rates_are_refused()
    {
        for (int kbps : {125, 500, 1000}) {
            CloseDevice(3, 0);
            adapter_error = 0;
            baud_kbps = kbps;
            open_adapter();
            QCOMPARE(adapter_error, 0);
            QCOMPARE(bus->last_bitrate, kbps * 1000);
        }
        CloseDevice(3, 0);
        baud_kbps = 300;  // not in the table
        open_adapter();
        QCOMPARE(adapter_error, 2);
    }

    void open_failures_set_their_codes()
    {
        bus->fail_connect = true;
        open_adapter();
        QCOMPARE(adapter_error, 1);
        QCOMPARE(bus->bitrate_calls, 0);  // nothing after a failed open
        QCOMPARE(bus->start_calls, 0);

        bus->fail_connect = false;
        bus->fail_bitrate = true;
        adapter_error = 0;
        open_adapter();
        QCOMPARE(adapter_error, 2);
        QCOMPARE(bus->start_calls, 0);

        bus->fail_bitrate = false;
        bus->fail_start = true;
        adapter_error = 0;
        open_adapter();  // the device stayed open, so this continues on it
        QCOMPARE(adapter_error, 3);
        QCOMPARE(device_open, 0);  // open_adapter never sets it
    }

    void open_is_idempotent_on_an_open_device()
    {
        open_ok();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        QCOMPARE(bus->connect_calls, 1);
    }

    void close_success_and_failure()
    {
        open_ok();
        QCOMPARE(close_adapter(), 1);
        QCOMPARE(device_open, 0);
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        QVERIFY(close_adapter() != 1);  // already closed
        QCOMPARE(adapter_error, 4);
        QCOMPARE(device_open, 1);
    }

    void send_frame_builds_the_record()
    {
        open_ok();
        const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        QVERIFY(send_frame(0x641, data, 2, 0));
        QVERIFY(send_frame(0x123, data, 0, 0));
        QVERIFY(send_frame(0x705, nullptr, 0, 1));
        QCOMPARE(bus->sent.size(), size_t(3));
        QCOMPARE(bus->sent[0].id, 0x641u);
        QCOMPARE(bus->sent[0].len, uint8_t(2));
        QCOMPARE(bus->sent[0].data[0], uint8_t(1));
        QCOMPARE(bus->sent[0].data[2], uint8_t(0));  // bytes beyond the length are 0
        QCOMPARE(bus->sent[1].len, uint8_t(0));
        for (uint8_t b : bus->sent[1].data)
            QCOMPARE(b, uint8_t(0));
        QVERIFY(bus->sent[2].remote);
        QVERIFY(!bus->sent[0].remote);

        bus->fail_transmit = true;
        QVERIFY(!send_frame(0x641, data, 2, 0));
    }

    void transmit_refuses_what_a_standard_frame_cannot_carry()
    {
        open_ok();
        vci_frame f;
        std::memset(&f, 0, sizeof f);
        f.id = 0x800;
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        f.id = 0x7FF;
        f.data_len = 9;
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        f.data_len = 8;
        f.extern_flag = 1;
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        QVERIFY(bus->sent.empty());
    }

    void nothing_works_before_the_adapter_is_started()
    {
        const uint8_t data[2] = {0, 2};
        QVERIFY(!send_frame(0x641, data, 2, 0));
        uint32_t ids[64];
        uint8_t payloads[64][8];
        uint8_t lens[64];
        QVERIFY(!receive_batch(ids, payloads, lens));  // the library's -1 is not a batch
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);
    }

    void receive_batch_with_nothing_pending_leaves_the_arrays_alone()
    {
        open_ok();
        uint32_t ids[64];
        uint8_t payloads[64][8];
        uint8_t lens[64];
        std::memset(ids, 0xAB, sizeof ids);
        std::memset(payloads, 0xAB, sizeof payloads);
        std::memset(lens, 0xAB, sizeof lens);
        QVERIFY(!receive_batch(ids, payloads, lens));
        QCOMPARE(ids[0], 0xABABABABu);
        QCOMPARE(payloads[0][0], uint8_t(0xAB));
        QCOMPARE(lens[0], uint8_t(0xAB));
    }

    void receive_batch_copies_at_most_64_and_keeps_the_rest()
    {
        open_ok();
        for (int i = 0; i < 70; ++i)
            bus->inject(make_message(0x100 + i, {uint8_t(i), 0xAA}));
        QCOMPARE(GetReceiveNum(3, 0, 0), 70);
        uint32_t ids[64];
        uint8_t payloads[64][8];
        uint8_t lens[64];
        std::memset(payloads, 0xCC, sizeof payloads);
        QVERIFY(receive_batch(ids, payloads, lens));
        QCOMPARE(ids[0], 0x100u);
        QCOMPARE(ids[63], 0x100u + 63);
        QCOMPARE(lens[5], uint8_t(2));
        QCOMPARE(payloads[5][0], uint8_t(5));
        QCOMPARE(payloads[5][1], uint8_t(0xAA));
        QCOMPARE(payloads[5][2], uint8_t(0xCC));  // beyond the length: previous content stays
        QCOMPARE(GetReceiveNum(3, 0, 0), 6);
        QVERIFY(receive_batch(ids, payloads, lens));
        QCOMPARE(ids[0], 0x100u + 64);
    }

    void a_burst_read_through_the_batch_loses_no_frame()
    {
        open_ok();
        std::thread sender([this] {
            for (int i = 0; i < 1000; ++i)
                bus->inject(make_message(0x181, {uint8_t(i), uint8_t(i >> 8)}));
        });
        QVector<int> seen, expected(1000);
        std::iota(expected.begin(), expected.end(), 0);
        exchange_hooks hooks;
        hooks.received = [&seen](const bus_frame &f, const reply_verdict &) { seen << (f.data[0] | f.data[1] << 8); };
        for (QDeadlineTimer ceiling(10000); seen.size() < 1000 && !ceiling.hasExpired();)
            await_frame(adapter_bus_ops(), reply_decoder(), 5, hooks);
        sender.join();
        QCOMPARE(seen, expected);
    }

    // A wait for a frame ends when one is queued, from whichever thread, and not before: an
    // answer that came at once is never held for the rest of the reply window.
    void a_wait_for_a_frame_ends_with_its_arrival()
    {
        open_ok();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!vci::wait_for_frame(3, 0, 20));
        QVERIFY(clock.elapsed() >= 19);
        std::thread answer([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            bus->inject(make_message(0x581, {0x43, 0x41, 0x60, 0, 1, 2, 3, 4}));
        });
        clock.restart();
        exchange_request request(0x601, nullptr, 0, 3000);
        request.wait = wait_policy::until_reply;
        request.decoder = [](const bus_frame &f) {
            reply_verdict v;
            v.kind = f.id == 0x581 ? reply_kind::reply : reply_kind::other;
            return v;
        };
        const exchange_outcome out = run_exchange(adapter_bus_ops(), request, exchange_hooks());
        answer.join();
        QVERIFY(out.answered);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        bus->inject(make_message(0x181, {1}));
        QVERIFY(vci::wait_for_frame(3, 0, 0));
        QVERIFY(!vci::wait_for_frame(2, 0, 0));  // another device type is no device of ours
    }

    void own_frames_are_not_looped_back_and_clear_empties_the_queue()
    {
        open_ok();
        const uint8_t data[2] = {0, 2};
        QVERIFY(send_frame(0x641, data, 2, 0));
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);
        bus->inject(make_message(0x5C1, {1}));
        QCOMPARE(GetReceiveNum(3, 0, 0), 1);
        ClearBuffer(3, 0, 0);
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);
    }

    void receive_queue_is_bounded()
    {
        open_ok();
        for (int i = 0; i < vci::receive_queue_capacity + 100; ++i)
            bus->inject(make_message(0x100, {uint8_t(i & 0xFF), uint8_t(i >> 8)}));
        QCOMPARE(GetReceiveNum(3, 0, 0), vci::receive_queue_capacity);
        vci_frame f[1];
        QCOMPARE(Receive(3, 0, 0, f, 1, 0), 1);
        QCOMPARE(int(f[0].data[0] | f[0].data[1] << 8), 100);  // the oldest were dropped
    }

    void payload_byte_helpers_touch_only_their_bytes()
    {
        uint8_t p[8];
        std::memset(p, 0x55, sizeof p);
        put_be32(0x11223344u, p);
        const uint8_t be[8] = {0x55, 0x55, 0x11, 0x22, 0x33, 0x44, 0x55, 0x55};
        QVERIFY(std::memcmp(p, be, 8) == 0);
        put_be32(static_cast<uint32_t>(-1000), p);
        QCOMPARE(p[2], uint8_t(0xFF));
        QCOMPARE(p[5], uint8_t(0x18));

        std::memset(p, 0x55, sizeof p);
        put_le_bytes(0x11223344u, p, 4, 2);
        const uint8_t le[8] = {0x55, 0x55, 0x55, 0x55, 0x44, 0x33, 0x55, 0x55};
        QVERIFY(std::memcmp(p, le, 8) == 0);
        put_le_bytes(0x11223344u, p, 0, 0);
        put_le_bytes(0x11223344u, p, 0, -3);
        QCOMPARE(p[0], uint8_t(0x55));
        put_le_bytes(0x11223344u, p, 4, 4);
        QCOMPARE(p[7], uint8_t(0x11));
    }
};

QTEST_GUILESS_MAIN(test_adapter)
#include "test_adapter.moc"
