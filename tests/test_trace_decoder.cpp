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
        if (code == 0xFF17)  // a maker's code, known to its document only
            return QStringLiteral("驱动器过载(0xFF17)\nDrive overload");
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
        QTest::newRow("emcy device specific")
            << frame(0x082, {0x00, 0xFF, 0x81, 0, 0, 0, 0, 0})
            << "EMCY node 2: 0xFF00 驱动器自定义错误(0xFF00) / Device specific error; register 0x81 (generic, manufacturer)"
            << int(frame_kind::emcy) << 2;
        QTest::newRow("emcy following error, from the table")
            << frame(0x081, {0x11, 0x86, 0x20, 0, 0, 0, 0, 0})
            << "EMCY node 1: 0x8611 位置跟随误差过大(0x8611) / Following error; register 0x20 (device profile)"
            << int(frame_kind::emcy) << 1;
        QTest::newRow("emcy by its family")
            << frame(0x081, {0x11, 0x23, 0x03, 0, 0, 0, 0, 0})
            << "EMCY node 1: 0x2311 持续过流(0x2311) / Continuous over-current; register 0x03 (generic, current)"
            << int(frame_kind::emcy) << 1;
        QTest::newRow("emcy maker code: the document before the family")
            << frame(0x081, {0x17, 0xFF, 0x80, 0, 0, 0, 0, 0})
            << "EMCY node 1: 0xFF17 驱动器过载(0xFF17) / Drive overload; register 0x80 (manufacturer)"
            << int(frame_kind::emcy) << 1;
        QTest::newRow("emcy unknown code")
            << frame(0x082, {0x01, 0x0F, 0x01, 0, 0, 0, 0, 0}) << "EMCY node 2: 0x0F01; register 0x01 (generic)"
            << int(frame_kind::emcy) << 2;
        QTest::newRow("emcy reset") << frame(0x081, {0, 0, 0, 0, 0, 0, 0, 0})
                                    << "EMCY node 1: error reset, register 0x00" << int(frame_kind::emcy) << 1;
        QTest::newRow("tpdo1 mapped")
            << frame(0x181, {0x37, 0x02, 0xE8, 0x03, 0, 0})
            << "TPDO1 node 1: statusword=567 (0x0237: operation enabled; remote), position actual value=1000 (0x000003E8)"
            << int(frame_kind::pdo)
            << 1;
        QTest::newRow("rpdo4 unmapped") << frame(0x505, {1, 2}) << "RPDO4 node 5" << int(frame_kind::pdo) << 5;
        QTest::newRow("tpdo2") << frame(0x282, {1}) << "TPDO2 node 2" << int(frame_kind::pdo) << 2;
        QTest::newRow("sdo read") << frame(0x601, {0x40, 0x41, 0x60, 0x00, 0, 0, 0, 0})
                                  << "SDO read 6041:00 statusword node 1" << sdo << 1;
        QTest::newRow("sdo read reply 2 bytes")
            << frame(0x581, {0x4B, 0x41, 0x60, 0x00, 0x37, 0x02, 0xAA, 0xBB})
            << "SDO read reply 6041:00 statusword = 567 (0x0237: operation enabled; remote) node 1" << sdo << 1;
        QTest::newRow("sdo write 1 byte") << frame(0x601, {0x2F, 0x60, 0x60, 0x00, 0x03, 0, 0, 0})
                                          << "SDO write 6060:00 modes of operation = 3 (0x03: profile velocity) node 1"
                                          << sdo << 1;
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
                 QStringLiteral("RPDO2 node 2: controlword=15 (0x000F: enable operation), target position=1000 (0x000003E8)"));
        QCOMPARE(meaning(9), QStringLiteral("TPDO1 node 2: statusword=567 (0x0237: operation enabled; remote)"));
        QCOMPARE(meaning(10), QStringLiteral("RPDO1 node 2"));
        QCOMPARE(model.data(model.index(8, trace_model::meaning_column), Qt::ToolTipRole).toString(), meaning(8));
        QVERIFY(!model.data(model.index(8, trace_model::data_column), Qt::ToolTipRole).isValid());
        model.clear();
        model.append(std::vector<trace_record>{frame(0x182, {0x37, 0x02})});
        QCOMPARE(meaning(0), QStringLiteral("TPDO1 node 2"));
    }

    void cia402_values_by_name_with_the_mode_learnt()
    {
        trace_model model(0);
        model.append(std::vector<trace_record>{
            frame(0x601, {0x2F, 0x60, 0x60, 0x00, 0x06, 0, 0, 0}),                 // node 1: homing
            frame(0x582, {0x4F, 0x61, 0x60, 0x00, 0x01, 0, 0, 0}),                 // node 2 reports pp
            frame(0x581, {0x4B, 0x41, 0x60, 0x00, 0x37, 0x16, 0, 0}),
            frame(0x582, {0x4B, 0x41, 0x60, 0x00, 0x37, 0x36, 0, 0}),
            frame(0x581, {0x43, 0xFD, 0x60, 0x00, 0x05, 0, 0, 0}),
            frame(0x581, {0x43, 0xFD, 0x60, 0x00, 0x00, 0, 0, 0}),
            frame(0x601, {0x2B, 0x40, 0x60, 0x00, 0x1F, 0x01, 0, 0}),
            frame(0x601, {0x2B, 0x40, 0x60, 0x00, 0x04, 0x00, 0, 0}),
            frame(0x581, {0x4B, 0x3F, 0x60, 0x00, 0x11, 0x86, 0, 0}),
        });
        const auto meaning = [&](int row) {
            return model.data(model.index(row, trace_model::meaning_column)).toString();
        };
        QCOMPARE(meaning(2), QStringLiteral("SDO read reply 6041:00 statusword = 5687 (0x1637: operation enabled; remote, "
                                            "target reached, homing attained) node 1"));
        QCOMPARE(meaning(1), QStringLiteral("SDO read reply 6061:00 modes of operation display = 1 (0x01: profile position) node 2"));
        QCOMPARE(meaning(3), QStringLiteral("SDO read reply 6041:00 statusword = 13879 (0x3637: operation enabled; remote, "
                                            "target reached, set-point acknowledge, following error) node 2"));
        QCOMPARE(meaning(4), QStringLiteral("SDO read reply 60FD:00 digital inputs = 5 (0x00000005: negative limit switch, "
                                            "home switch) node 1"));
        QCOMPARE(meaning(5), QStringLiteral("SDO read reply 60FD:00 digital inputs = 0 (0x00000000: no switch) node 1"));
        QCOMPARE(meaning(6), QStringLiteral("SDO write 6040:00 controlword = 287 (0x011F: enable operation, halt) node 1"));
        QCOMPARE(meaning(7), QStringLiteral("SDO write 6040:00 controlword = 4 (0x0004: disable voltage) node 1"));
        QCOMPARE(meaning(8), QStringLiteral("SDO read reply 603F:00 error code = 34321 (0x8611: 位置跟随误差过大(0x8611) / "
                                            "Following error) node 1"));
        model.clear();  // forgets the modes with the mappings
        model.append(std::vector<trace_record>{frame(0x581, {0x4B, 0x41, 0x60, 0x00, 0x37, 0x16, 0, 0})});
        QVERIFY(meaning(0).contains(QStringLiteral("mode bit 12")));
    }

    void candump_lines()
    {
        parsed_line p;
        const trace_record &r = p.record;
        QVERIFY(parse_candump_line("(1733650000.123456) can0 601#4064600000000000", &p));
        QCOMPARE(r.t_us, 1733650000123456LL);
        QCOMPARE(r.id, 0x601u);
        QCOMPARE(int(r.len), 8);
        QCOMPARE(int(r.data[0]), 0x40);
        QCOMPARE(int(r.flags), 0);
        QVERIFY(parse_candump_line("(0.5) vcan0 12345678#DEAD T", &p));
        QCOMPARE(r.t_us, 500000LL);
        QCOMPARE(r.id, 0x12345678u);
        QVERIFY(r.extended() && r.transmitted());
        QCOMPARE(p.iface, QByteArray("vcan0"));
        QVERIFY(parse_candump_line("(1.000001) can0 701#R", &p));
        QVERIFY(r.remote() && r.len == 0);
        QVERIFY(parse_candump_line("(1.000001) can0 701#r1 R", &p));
        QVERIFY(r.remote() && r.len == 1 && !r.transmitted());
        QVERIFY(parse_candump_line("(1.0) can0 20000044#0020000000000000", &p));
        QVERIFY(r.error() && r.id == 0x44);
        QVERIFY(parse_candump_line("(1.0) can0 080#", &p));
        QCOMPARE(int(r.len), 0);
        // Raw length codes of classic frames, and CAN FD kept as FD.
        QVERIFY(parse_candump_line("(1.0) can0 123#1122334455667788_E", &p));
        QVERIFY((r.flags & record_flag::detail) && p.detail.code == 0xE && r.len == 8);
        QVERIFY(parse_candump_line("(1.0) can0 701#R8_9", &p));
        QVERIFY(r.remote() && r.len == 8 && p.detail.code == 9);
        QVERIFY(parse_candump_line("(1.0) can0 123##1000102030405060708090A0B", &p));
        QVERIFY(r.fd() && r.len == 12 && p.detail.code == 1 && r.data[7] == 7 && p.detail.tail[3] == 0x0B);
        line_fault why = line_fault::fields;
        const struct {
            const char *line;
            line_fault why;
        } bad[] = {{"", line_fault::fields},
                   {"(1.0) can0", line_fault::fields},
                   {"(1.0) \x01" "can0 601#00", line_fault::fields},
                   {"(1.0) vca\xff" "n0 601#00", line_fault::fields},
                   {"1.0 can0 601#00", line_fault::time},
                   {"(x.0) can0 601#00", line_fault::time},
                   {"(1234567890123.0) can0 601#00", line_fault::time},
                   {"(1.0) can0 601#0", line_fault::data},
                   {"(1.0) can0 601#001122334455667788", line_fault::data},
                   {"(1.0) can0 601#GG", line_fault::data},
                   {"(1.0) can0 601##", line_fault::data},
                   {"(1.0) can0 801#00", line_fault::identifier},
                   {"(1.0) can0 60#00", line_fault::identifier},
                   {"(1.0) can0 3FFFFFFFF#00", line_fault::identifier},
                   {"(1.0) can0 601#R9", line_fault::length},
                   {"(1.0) can0 601#0011_E", line_fault::length},
                   {"(1.0) can0 601#1122334455667788_3", line_fault::length},
                   {"(1.0) can0 601#00 X", line_fault::direction}};
        for (const auto &b : bad) {
            QVERIFY2(!parse_candump_line(b.line, &p, &why), b.line);
            QVERIFY2(why == b.why, b.line);
        }
    }

    void candump_round_trip_and_bounds()
    {
        frame_log written;
        written.epoch_us = 1733650000000000LL;
        for (const trace_record &r : {frame(0x601, {0x40, 0x41, 0x60, 0, 0, 0, 0, 0}, 0),
                                      frame(0x701, {}, 1500, record_flag::remote),
                                      frame(0x1ABCDEF0, {1, 2}, 2000, record_flag::extended),
                                      frame(0x000, {}, 2500, record_flag::extended | record_flag::remote),
                                      frame(0x044, {0, 0x10}, 3000, record_flag::error)})
            written.push(r);
        QBuffer file;
        file.open(QIODevice::ReadWrite);
        QVERIFY(write_candump(file, written, {0, 1, 2, 3, 4}));
        const QList<QByteArray> lines = file.data().split('\n');
        QCOMPARE(lines.value(0), QByteArray("(1733650000.000000) can0 601#4041600000000000 R"));
        QCOMPARE(lines.value(3), QByteArray("(1733650000.002500) can0 00000000#R R"));
        QCOMPARE(lines.value(4), QByteArray("(1733650000.003000) can0 20000044#0010 R"));
        // Junk between the frames, an overlong line, a line without an end: skipped, counted.
        file.write(QByteArray(5000, 'x') + "\nnot a frame\n(1733650000.004000) can0 123#01");
        file.seek(0);
        const read_result back = read_candump(file, 100);
        QCOMPARE(back.log.size(), size_t(6));
        QCOMPARE(back.refused_lines, size_t(2));
        QCOMPARE(back.refused.at(0).line, size_t(6));
        QVERIFY(back.refused.at(0).why == line_fault::too_long);
        QCOMPARE(back.refused.at(1).line, size_t(7));
        QCOMPARE(back.log.epoch_us, written.epoch_us);
        for (size_t i = 0; i < written.size(); ++i) {
            QCOMPARE(back.log.at(i).id, written.at(i).id);
            QCOMPARE(back.log.at(i).t_us, written.at(i).t_us);
            QCOMPARE(int(back.log.at(i).flags), int(written.at(i).flags));
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(back.log.at(i).data), back.log.at(i).len),
                     QByteArray(reinterpret_cast<const char *>(written.at(i).data), written.at(i).len));
        }
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

    // A log of two buses with node 1 on each: two rows in the node table, and what the trace
    // learns from one bus (a mode written, a PDO mapped, a maker's request) is not applied to the
    // other's frames.
    void node_1_of_two_buses_is_two_nodes()
    {
        QByteArray text = "(1733650000.000000) can0 701#00 R\n"
                          "(1733650000.000100) can1 701#00 R\n"
                          "(1733650000.100000) can0 701#05 R\n"
                          "(1733650000.200000) can0 701#05 R\n"
                          "(1733650000.250000) can1 081#1023030000000000 R\n"
                          // bus 0's node 1 is set to homing and its TPDO 1 mapped to the statusword
                          "(1733650000.300000) can0 601#2F60600006000000 T\n"
                          "(1733650000.300100) can0 601#23001A0110004160 T\n"
                          "(1733650000.300200) can0 601#2F001A0001000000 T\n"
                          // bus 0 asks its node 1 for the position, bus 1's node 1 answers a write
                          "(1733650000.400000) can0 641#0002 T\n"
                          "(1733650000.400100) can1 5C1#01 R\n"
                          "(1733650000.400200) can0 5C1#000004D2 R\n"
                          // bus 1's answers: a statusword, and its TPDO 1
                          "(1733650000.500000) can1 581#4B41600037160000 R\n"
                          "(1733650000.500100) can1 181#3716 R\n"
                          "(1733650000.500200) can0 581#4B41600037160000 R\n"
                          "(1733650000.500300) can0 181#3716 R\n";
        QBuffer in(&text);
        QVERIFY(in.open(QIODevice::ReadOnly));
        read_result read = read_candump(in, frame_log::default_cap);
        QVERIFY(read.refused.empty());
        trace_model model(0);
        model.load(std::move(read.log));

        QVERIFY(model.nodes().several_interfaces());
        const std::vector<node_health_row> rows = model.nodes().rows(300000);
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(model.log().interface_name(rows[0].iface), QStringLiteral("can0"));
        QCOMPARE(model.log().interface_name(rows[1].iface), QStringLiteral("can1"));
        QCOMPARE(rows[0].node, 1);
        QCOMPARE(rows[1].node, 1);
        QCOMPARE(rows[0].heartbeat_period_us, 100000LL);
        QCOMPARE(rows[0].nmt_state, 0x05);
        QCOMPARE(rows[0].emcy_count, 0u);
        QCOMPARE(rows[1].heartbeat_period_us, 0LL);
        QCOMPARE(rows[1].nmt_state, 0x7F);
        QCOMPARE(rows[1].emcy_count, 1u);

        const auto meaning = [&](int row) {
            return model.data(model.index(row, trace_model::meaning_column)).toString();
        };
        QCOMPARE(meaning(9), QStringLiteral("node 1 accepted"));  // not "accepted actual_position"
        QCOMPARE(meaning(10), QStringLiteral("node 1 reply actual_position = 1234"));
        QVERIFY2(!meaning(11).contains(QStringLiteral("homing")), qPrintable(meaning(11)));
        QCOMPARE(meaning(12), QStringLiteral("TPDO1 node 1"));
        QVERIFY2(meaning(13).contains(QStringLiteral("homing")), qPrintable(meaning(13)));
        QVERIFY2(meaning(14).startsWith(QStringLiteral("TPDO1 node 1: statusword=5687")), qPrintable(meaning(14)));

        // One interface: one row per node, as before.
        node_health one;
        one.observe(frame(0x701, {0x05}, 0));
        one.observe(frame(0x702, {0x05}, 0));
        QVERIFY(!one.several_interfaces());
        QCOMPARE(one.rows(0).size(), size_t(2));
    }

    void replay_shortens_gaps_and_never_stalls()
    {
        frame_log log;
        for (const trace_record &r :
             {frame(0x601, {1}, 1000000), frame(0x044, {}, 1050000, record_flag::error), frame(0x602, {2}, 1100000),
              frame(0x603, {3}, 44100000), frame(0x604, {4}, 500), frame(0x605, {5}, 44200000),
              frame(0x606, {6}, int64_t(1) << 50)})
            log.push(r);
        replay_scheduler replay;
        replay.start(log, 2.0, replay_scheduler::default_gap_limit_us, 5000);
        // 50 + 50 ms, the 43 s gap as 1 s, the frame stamped in the past at once, 100 ms, and
        // the one far in the future after 1 s.
        QCOMPARE(replay.total_us(), 2200000LL);
        QCOMPARE(replay.due(5000), std::vector<size_t>{0});
        QCOMPARE(replay.next_due_us(), 30000LL);
        QVERIFY(replay.due(29999).empty());
        QCOMPARE(replay.due(55000), (std::vector<size_t>{1, 2}));
        QCOMPARE(replay.next_due_us(), 555000LL);  // 1 s of play at 2x
        replay.set_speed(1.0, 305000);             // half way: the rest at 1x
        QCOMPARE(replay.next_due_us(), 805000LL);
        QCOMPARE(replay.played_us(), 600000LL);
        QCOMPARE(replay.due(805000), (std::vector<size_t>{3, 4}));
        QCOMPARE(replay.due(905000), std::vector<size_t>{5});
        QCOMPARE(replay.due(1905000), std::vector<size_t>{6});
        QVERIFY(replay.finished());
        QCOMPARE(replay.next_due_us(), -1LL);
        QCOMPARE(replay.played_us(), replay.total_us());
        replay.start(log, 100.0, 0, 0);
        QCOMPARE(replay.speed(), 10.0);
        QCOMPARE(replay.due(0).size(), log.size());  // no gap at all

        // A new gap limit holds from the next gap on; the gap already under way keeps its length.
        replay.start(log, 1.0, replay_scheduler::default_gap_limit_us, 0);
        QCOMPARE(replay.due(100000), (std::vector<size_t>{0, 1, 2}));
        replay.set_gap_limit(200000);
        QCOMPARE(replay.total_us(), 1400000LL);
        QCOMPARE(replay.due(1100000), (std::vector<size_t>{3, 4}));
        QCOMPARE(replay.next_due_us(), 1200000LL);
        QCOMPARE(replay.due(1200000), std::vector<size_t>{5});
        QCOMPARE(replay.next_due_us(), 1400000LL);
    }

    void send_plan_sends_what_the_log_sent_and_holds_back_the_nodes_side()
    {
        frame_log log;
        for (const trace_record &r :
             {frame(0x000, {0x82, 0x01}, 0, record_flag::transmitted), frame(0x601, {0x40}, 1, record_flag::transmitted),
              frame(0x581, {0x43}, 2, record_flag::transmitted), frame(0x581, {0x43}, 3),
              frame(0x201, {1}, 4), frame(0x123, {}, 5, record_flag::transmitted | record_flag::fd),
              frame(0x181, {1}, 6, record_flag::transmitted | record_flag::extended),
              frame(0x004, {}, 7, record_flag::error)})
            log.push(r);
        send_plan plan(log);
        QCOMPARE(plan.choices().size(), size_t(7));  // error frames are never listed
        QVERIFY(!plan.sends(log.at(0)) && !plan.sends(log.at(2)) && !plan.sends(log.at(3)) && !plan.sends(log.at(4)));
        QVERIFY(plan.sends(log.at(1)));
        QVERIFY(plan.skips(log.at(5)) && plan.skips(log.at(6)));
        QCOMPARE(plan.frames_to_send(), size_t(1));
        QCOMPARE(plan.frames_skipped(), size_t(2));
        for (uint32_t id : {0x000u, 0x081u, 0x1FFu, 0x281u, 0x3FFu, 0x481u, 0x581u, 0x5FFu, 0x701u, 0x77Fu, 0x7E4u})
            QVERIFY(held_back_by_default(id));
        for (uint32_t id : {0x080u, 0x100u, 0x201u, 0x601u, 0x641u, 0x700u, 0x7E5u})
            QVERIFY(!held_back_by_default(id));
        plan.tick(0, true);  // the user ticks NMT
        QVERIFY(plan.sends(log.at(0)));
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
        QCOMPARE(model.identifiers().size(), size_t(2));  // those the filter shows
    }

    void oldest_frames_go_at_the_limit()
    {
        trace_model model(frame_log::min_cap);
        std::vector<trace_record> batch(frame_log::chunk_size, frame(0x181, {1}));
        for (int i = 0; i < 3; ++i) {
            for (trace_record &r : batch)
                r.t_us = i;
            model.append(batch);
        }
        QCOMPARE(model.frame_count(), frame_log::min_cap);
        QCOMPARE(size_t(model.rowCount()), frame_log::min_cap);
        QCOMPARE(model.row_record(0).t_us, 1LL);
        QCOMPARE(model.log().dropped(), uint64_t(frame_log::chunk_size));
        QCOMPARE(model.log().dropped_last_us(), 0LL);
    }
};

QTEST_GUILESS_MAIN(test_trace_decoder)
#include "test_trace_decoder.moc"
