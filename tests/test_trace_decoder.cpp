// The bus trace's protocol-free core on hand-written frames: what each CiA 301/402 and maker's
// frame decodes to, candump lines in and out, node health, replay timing, filters.
#include "trace/candump.h"
#include "trace/frame_decoder.h"
#include "trace/node_health.h"
#include "trace/replay.h"
#include "trace/trace_model.h"

#include <QBuffer>
#include <QtTest>

Q_DECLARE_METATYPE(trace::trace_record)

using namespace trace;

namespace {

trace_record frame(uint32_t id, std::initializer_list<uint8_t> bytes, int64_t t_us = 0, uint8_t flags = 0)
{
    trace_record r;
    r.id = id;
    r.t_us = t_us;
    r.flags = flags;
    r.len = static_cast<uint8_t>(bytes.size());
    int i = 0;
    for (uint8_t b : bytes)
        r.data[i++] = b;
    return r;
}

QString decoded(const trace_record &r)
{
    decoder_context context;
    context.error_text = [](uint16_t code) {
        return code == 0x2310 ? QStringLiteral("持续过流(0x2310)\nContinuous over-current") : QString();
    };
    context.pdo_mappings[0x181] = {{0x6041, 0, 16}, {0x6064, 0, 32}};
    return describe(r, context);
}

}  // namespace

class test_trace_decoder : public QObject {
    Q_OBJECT

private slots:
    void canopen_frames_data()
    {
        QTest::addColumn<trace_record>("record");
        QTest::addColumn<QString>("meaning");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("node");
        const int nmt = int(frame_kind::nmt), sdo = int(frame_kind::sdo), ec = int(frame_kind::error_control);
        QTest::newRow("nmt start one") << frame(0x000, {0x01, 0x05}) << "NMT start → node 5" << nmt << 5;
        QTest::newRow("nmt reset comm all")
            << frame(0x000, {0x82, 0x00}) << "NMT reset communication → all nodes" << nmt << 0;
        QTest::newRow("nmt to no node") << frame(0x000, {0x01, 0x83}) << "NMT start → node 131" << nmt << 0;
        QTest::newRow("nmt pre-op") << frame(0x000, {0x80, 0x01}) << "NMT enter pre-operational → node 1" << nmt << 1;
        QTest::newRow("sync") << frame(0x080, {}) << "SYNC" << int(frame_kind::sync) << 0;
        QTest::newRow("sync counter") << frame(0x080, {7}) << "SYNC counter 7" << int(frame_kind::sync) << 0;
        QTest::newRow("emcy with text")
            << frame(0x081, {0x10, 0x23, 0x03, 0, 0, 0, 0, 0})
            << "EMCY node 1: 0x2310 持续过流(0x2310) / Continuous over-current; register 0x03 (generic, current)"
            << int(frame_kind::emcy) << 1;
        QTest::newRow("emcy unknown code")
            << frame(0x082, {0x00, 0xFF, 0x81, 0, 0, 0, 0, 0})
            << "EMCY node 2: 0xFF00; register 0x81 (generic, manufacturer)" << int(frame_kind::emcy) << 2;
        QTest::newRow("emcy reset") << frame(0x081, {0, 0, 0, 0, 0, 0, 0, 0})
                                    << "EMCY node 1: error reset, register 0x00" << int(frame_kind::emcy) << 1;
        QTest::newRow("tpdo1 mapped")
            << frame(0x181, {0x37, 0x02, 0xE8, 0x03, 0, 0})
            << "TPDO1 node 1: statusword=567 (0x0237), position actual value=1000 (0x000003E8)" << int(frame_kind::pdo)
            << 1;
        QTest::newRow("rpdo4 unmapped") << frame(0x505, {1, 2}) << "RPDO4 node 5" << int(frame_kind::pdo) << 5;
        QTest::newRow("tpdo2") << frame(0x282, {1}) << "TPDO2 node 2" << int(frame_kind::pdo) << 2;
        QTest::newRow("sdo read") << frame(0x601, {0x40, 0x41, 0x60, 0x00, 0, 0, 0, 0})
                                  << "SDO read 6041:00 statusword node 1" << sdo << 1;
        QTest::newRow("sdo read reply 2 bytes")
            << frame(0x581, {0x4B, 0x41, 0x60, 0x00, 0x37, 0x02, 0xAA, 0xBB})
            << "SDO read reply 6041:00 statusword = 567 (0x0237) node 1" << sdo << 1;
        QTest::newRow("sdo write 1 byte") << frame(0x601, {0x2F, 0x60, 0x60, 0x00, 0x03, 0, 0, 0})
                                          << "SDO write 6060:00 modes of operation = 3 (0x03) node 1" << sdo << 1;
        QTest::newRow("sdo write 4 bytes")
            << frame(0x603, {0x23, 0x7A, 0x60, 0x00, 0x18, 0xFC, 0xFF, 0xFF})
            << "SDO write 607A:00 target position = 4294966296 (0xFFFFFC18) node 3" << sdo << 3;
        QTest::newRow("sdo write confirmed") << frame(0x581, {0x60, 0x40, 0x60, 0x00, 0, 0, 0, 0})
                                             << "SDO write confirmed 6040:00 controlword node 1" << sdo << 1;
        QTest::newRow("sdo abort")
            << frame(0x581, {0x80, 0x00, 0x20, 0x00, 0x00, 0x00, 0x02, 0x06})
            << "SDO abort 2000:00 node 1: 0x06020000 对象不存在/object does not exist in the object dictionary" << sdo << 1;
        QTest::newRow("sdo mapping object")
            << frame(0x601, {0x40, 0x00, 0x1A, 0x01, 0, 0, 0, 0}) << "SDO read 1A00:01 TPDO mapping node 1" << sdo << 1;
        QTest::newRow("sdo segmented") << frame(0x601, {0x21, 0x08, 0x10, 0x00, 9, 0, 0, 0})
                                       << "SDO 1008:00 manufacturer device name node 1 command 0x21" << sdo << 1;
        QTest::newRow("sdo short") << frame(0x601, {0x40, 0x41}) << "node 1 read register 0x4041"
                                   << int(frame_kind::maker) << 1;
        QTest::newRow("boot-up") << frame(0x701, {0x00}) << "boot-up node 1" << ec << 1;
        QTest::newRow("heartbeat op") << frame(0x77F, {0x05}) << "heartbeat node 127: operational" << ec << 127;
        QTest::newRow("guarding pre-op") << frame(0x702, {0xFF}) << "guarding node 2: pre-operational (toggle 1)" << ec
                                         << 2;
        QTest::newRow("guarding request")
            << frame(0x701, {}, 0, record_flag::remote) << "guarding request node 1" << ec << 1;
        QTest::newRow("other") << frame(0x7E5, {1}) << "" << int(frame_kind::other) << 0;
        QTest::newRow("extended") << frame(0x18FF0001, {1}, 0, record_flag::extended) << "" << int(frame_kind::other)
                                  << 0;
        QTest::newRow("error frame") << frame(0x044, {0, 0x20, 0, 0, 0, 0, 0, 0}, 0, record_flag::error)
                                     << "error frame: controller, bus-off, error passive"
                                     << int(frame_kind::error_frame) << 0;
    }

    void canopen_frames()
    {
        QFETCH(trace_record, record);
        QFETCH(QString, meaning);
        QFETCH(int, kind);
        QFETCH(int, node);
        if (QByteArray(QTest::currentDataTag()) == "sdo short")
            record.id = 0x641;  // a 2-byte frame on the maker's request identifier
        QCOMPARE(decoded(record), meaning);
        QCOMPARE(int(classify(record)), kind);
        QCOMPARE(node_of(record), node);
    }

    void makers_protocol()
    {
        // Requests name their register; a reply takes the register of the request before it.
        maker_request_tracker tracker;
        trace_record read = frame(0x641, {0x00, 0x02});
        trace_record speed = frame(0x642, {0x00, 0x05, 0x00, 0x01});
        trace_record write = frame(0x641, {0x00, 0x86, 0xFF, 0xFF, 0xFC, 0x18});
        trace_record value = frame(0x5C1, {0x00, 0x00, 0x04, 0xD2});
        trace_record ack = frame(0x5C1, {0x01});
        trace_record stray = frame(0x5C3, {0x01});
        trace_record sdo_of_node_65 = frame(0x5C1, {0x43, 0x00, 0x10, 0x00, 0x92, 0x01, 0x02, 0x00});
        for (trace_record *r : {&read, &value, &speed, &write, &ack, &stray, &sdo_of_node_65})
            tracker.observe(*r);
        QCOMPARE(decoded(read), QStringLiteral("node 1 read actual_position"));
        QCOMPARE(decoded(value), QStringLiteral("node 1 reply actual_position = 1234"));
        QCOMPARE(decoded(speed), QStringLiteral("node 2 read actual_speed"));
        QCOMPARE(decoded(write), QStringLiteral("node 1 write target_position = -1000"));
        QCOMPARE(decoded(ack), QStringLiteral("node 1 accepted target_position"));
        QCOMPARE(decoded(stray), QStringLiteral("node 3 accepted"));
        QCOMPARE(classify(sdo_of_node_65), frame_kind::sdo);
        QCOMPARE(node_of(sdo_of_node_65), 65);
        QCOMPARE(decoded(frame(0x641, {0x00, 0x83})), QStringLiteral("node 1 read start_motion"));
    }

    void pdo_mappings_learnt_from_the_sdo_writes()
    {
        trace_model model(0);
        // RPDO1 of node 2 moved to 0x302, mapped to the controlword and the target position;
        // TPDO1 of node 2 keeps its identifier and maps the statusword.
        model.append(std::vector<trace_record>{
            frame(0x602, {0x23, 0x00, 0x14, 0x01, 0x02, 0x03, 0x00, 0x80}),  // invalid while mapping
            frame(0x602, {0x2F, 0x00, 0x16, 0x00, 0x00, 0, 0, 0}),
            frame(0x602, {0x23, 0x00, 0x16, 0x01, 0x10, 0x00, 0x40, 0x60}),
            frame(0x602, {0x23, 0x00, 0x16, 0x02, 0x20, 0x00, 0x7A, 0x60}),
            frame(0x602, {0x2F, 0x00, 0x16, 0x00, 0x02, 0, 0, 0}),
            frame(0x602, {0x23, 0x00, 0x14, 0x01, 0x02, 0x03, 0x00, 0x00}),
            frame(0x602, {0x23, 0x00, 0x1A, 0x01, 0x10, 0x00, 0x41, 0x60}),
            frame(0x602, {0x2F, 0x00, 0x1A, 0x00, 0x01, 0, 0, 0}), frame(0x302, {0x0F, 0x00, 0xE8, 0x03, 0x00, 0x00}),
            frame(0x182, {0x37, 0x02}), frame(0x202, {0x0F, 0x00}),  // the old identifier maps nothing now
        });
        const auto meaning = [&](int row) {
            return model.data(model.index(row, trace_model::meaning_column)).toString();
        };
        QCOMPARE(meaning(8),
                 QStringLiteral("RPDO2 node 2: controlword=15 (0x000F), target position=1000 (0x000003E8)"));
        QCOMPARE(meaning(9), QStringLiteral("TPDO1 node 2: statusword=567 (0x0237)"));
        QCOMPARE(meaning(10), QStringLiteral("RPDO1 node 2"));
        QCOMPARE(model.data(model.index(8, trace_model::meaning_column), Qt::ToolTipRole).toString(), meaning(8));
        QVERIFY(!model.data(model.index(8, trace_model::data_column), Qt::ToolTipRole).isValid());
        model.clear();
        model.append(std::vector<trace_record>{frame(0x182, {0x37, 0x02})});
        QCOMPARE(meaning(0), QStringLiteral("TPDO1 node 2"));
    }

    void candump_lines()
    {
        trace_record r;
        QVERIFY(parse_candump_line("(1733650000.123456) can0 601#4064600000000000", &r));
        QCOMPARE(r.t_us, 1733650000123456LL);
        QCOMPARE(r.id, 0x601u);
        QCOMPARE(int(r.len), 8);
        QCOMPARE(int(r.data[0]), 0x40);
        QCOMPARE(int(r.flags), 0);
        QVERIFY(parse_candump_line("(0.5) vcan0 12345678#DEAD T", &r));
        QCOMPARE(r.t_us, 500000LL);
        QCOMPARE(r.id, 0x12345678u);
        QVERIFY(r.extended() && r.transmitted());
        QVERIFY(parse_candump_line("(1.000001) can0 701#R", &r));
        QVERIFY(r.remote() && r.len == 0);
        QVERIFY(parse_candump_line("(1.000001) can0 701#R1 R", &r));
        QVERIFY(r.remote() && r.len == 1 && !r.transmitted());
        QVERIFY(parse_candump_line("(1.0) can0 20000044#0020000000000000", &r));
        QVERIFY(r.error() && r.id == 0x44);
        QVERIFY(parse_candump_line("(1.0) can0 080#", &r));
        QCOMPARE(int(r.len), 0);
        for (const char *bad : {"", "(1.0) can0", "1.0 can0 601#00", "(1.0) can0 601#0", "(1.0) can0 801#00",
                                "(1.0) can0 601#001122334455667788", "(1.0) can0 601##100", "(1.0) can0 60#00",
                                "(1.0) can0 601#GG", "(x.0) can0 601#00", "(1.0) can0 601#00 X",
                                "(1234567890123.0) can0 601#00", "(1.0) can0 601#R9", "(1.0) can0 3FFFFFFFF#00"})
            QVERIFY2(!parse_candump_line(bad, &r), bad);
    }

    void candump_round_trip_and_bounds()
    {
        std::vector<trace_record> written = {frame(0x601, {0x40, 0x41, 0x60, 0, 0, 0, 0, 0}, 0),
                                             frame(0x701, {}, 1500, record_flag::remote),
                                             frame(0x1ABCDEF0, {1, 2}, 2000, record_flag::extended),
                                             frame(0x000, {}, 2500, record_flag::extended | record_flag::remote),
                                             frame(0x044, {0, 0x10}, 3000, record_flag::error)};
        std::vector<const trace_record *> rows;
        for (const trace_record &r : written)
            rows.push_back(&r);
        QBuffer file;
        file.open(QIODevice::ReadWrite);
        QVERIFY(write_candump(file, rows, 1733650000000000LL, QStringLiteral("can0")));
        const QList<QByteArray> lines = file.data().split('\n');
        QCOMPARE(lines.value(0), QByteArray("(1733650000.000000) can0 601#4041600000000000"));
        QCOMPARE(lines.value(3), QByteArray("(1733650000.002500) can0 00000000#R"));
        QCOMPARE(lines.value(4), QByteArray("(1733650000.003000) can0 20000044#0010"));
        // Junk between the frames, an overlong line, a line without an end: skipped, counted.
        file.write(QByteArray(5000, 'x') + "\nnot a frame\n(1733650000.004000) can0 123#01");
        file.seek(0);
        const read_result back = read_candump(file, 100);
        QCOMPARE(back.records.size(), size_t(6));
        QCOMPARE(back.skipped_lines, size_t(2));
        for (size_t i = 0; i < written.size(); ++i) {
            QCOMPARE(back.records[i].id, written[i].id);
            QCOMPARE(back.records[i].t_us, written[i].t_us);
            QCOMPARE(int(back.records[i].flags), int(written[i].flags));
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(back.records[i].data), back.records[i].len),
                     QByteArray(reinterpret_cast<const char *>(written[i].data), written[i].len));
        }
        file.seek(0);
        const read_result cut = read_candump(file, 2);
        QCOMPARE(cut.records.size(), size_t(2));
        QVERIFY(cut.truncated);
    }

    void node_lost_after_three_missed_heartbeats()
    {
        node_health health;
        health.observe(frame(0x702, {0x00}, 0));  // boot-up: pre-operational
        QCOMPARE(health.rows(0).at(0).nmt_state, 0x7F);
        health.observe(frame(0x702, {0x7F}, 100000));
        health.observe(frame(0x702, {0x05}, 200000));  // 100 ms heartbeat, operational
        health.observe(frame(0x082, {0x10, 0x23, 0x03, 0, 0, 0, 0, 0}, 250000));
        health.observe(frame(0x602, {0x40, 0x41, 0x60, 0, 0, 0, 0, 0}, 260000));  // to the node: not its own
        health.observe(frame(0x701, {}, 270000, record_flag::remote));            // guarding request: idem
        const node_health_row row = health.rows(500000).at(0);
        QCOMPARE(health.rows(500000).size(), size_t(1));
        QCOMPARE(row.node, 2);
        QCOMPARE(row.nmt_state, 0x05);
        QCOMPARE(row.heartbeat_period_us, 100000LL);
        QCOMPARE(row.last_seen_us, 250000LL);
        QCOMPARE(row.emcy_count, 1u);
        QCOMPARE(row.last_error, 0x2310);
        QVERIFY(!row.lost);  // three periods: not yet
        QVERIFY(health.rows(500001).at(0).lost);
        health.observe(frame(0x702, {0x05}, 600000));  // back
        QVERIFY(!health.rows(600000).at(0).lost);
        health.observe(frame(0x702, {0x00}, 700000));  // rebooted: no period until two more
        QVERIFY(!health.rows(10000000).at(0).lost);
    }

    void replay_keeps_timing_scaled()
    {
        replay_scheduler replay;
        std::vector<trace_record> log = {frame(0x601, {1}, 1000000), frame(0x044, {}, 1050000, record_flag::error),
                                         frame(0x602, {2}, 1100000), frame(0x603, {3}, 1300000)};
        replay.start(log, 2.0, 5000);
        QCOMPARE(replay.total(), size_t(3));  // error frames are not sent
        QCOMPARE(replay.due(5000).size(), size_t(1));
        QCOMPARE(replay.next_due_us(), 55000LL);
        QVERIFY(replay.due(54999).empty());
        QCOMPARE(replay.due(55000).at(0).id, 0x602u);
        QCOMPARE(replay.due(1000000).at(0).id, 0x603u);
        QVERIFY(replay.finished());
        QCOMPARE(replay.next_due_us(), -1LL);
        replay.start(log, 100.0, 0);
        QCOMPARE(replay.speed(), 10.0);
        replay.start(log, 0.0, 0);
        QCOMPARE(replay.speed(), 0.1);
        QCOMPARE(replay.due(2999999).size(), size_t(2));
    }

    void filters_and_pause()
    {
        trace_model model(0);
        std::vector<trace_record> batch;
        for (int i = 0; i < 10; ++i) {
            batch.push_back(frame(0x601 + i % 2, {0x40, 0x41, 0x60, 0, 0, 0, 0, 0}, i));
            batch.push_back(frame(0x080, {}, i));
        }
        model.append(batch);
        QCOMPARE(model.rowCount(), 20);
        trace_filter f;
        f.kinds = kind_bit(frame_kind::sdo);
        model.set_filter(f);
        QCOMPARE(model.rowCount(), 10);
        f.node = 2;
        model.set_filter(f);
        QCOMPARE(model.rowCount(), 5);
        f = trace_filter();
        f.id = 0x600;
        f.mask = 0x780;
        model.set_filter(f);
        QCOMPARE(model.rowCount(), 10);
        model.set_paused(true);
        model.append(batch);
        QCOMPARE(model.rowCount(), 10);
        QCOMPARE(model.frame_count(), size_t(40));
        model.set_paused(false);
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(model.data(model.index(0, trace_model::data_column)).toString(),
                 QStringLiteral("40 41 60 00 00 00 00 00"));
        QCOMPARE(model.data(model.index(1, trace_model::id_column)).toString(), QStringLiteral("602"));
        QCOMPARE(model.identifiers().size(), size_t(3));
    }

    void oldest_frames_go_at_the_limit()
    {
        trace_model model(2 * record_store::chunk_size);
        std::vector<trace_record> batch(record_store::chunk_size, frame(0x181, {1}));
        for (int i = 0; i < 3; ++i) {
            for (trace_record &r : batch)
                r.t_us = i;
            model.append(batch);
        }
        QCOMPARE(model.frame_count(), 2 * record_store::chunk_size);
        QCOMPARE(size_t(model.rowCount()), 2 * record_store::chunk_size);
        QCOMPARE(model.row_record(0).t_us, 1LL);
    }
};

QTEST_GUILESS_MAIN(test_trace_decoder)
#include "test_trace_decoder.moc"
