// Typed values and EDS/DCF files without a bus: what the window refuses before sending, how a
// vendor-style data sheet reads, where a broken one fails, that an exported DCF reads back
// with the same values, and what a DCF download writes (against a table of objects).
#include "base/text_safety.h"
#include "can/vci/bus_tap.h"
#include "objects/bench.h"
#include "objects/dcf_job.h"
#include "objects/dcf_watch.h"
#include "objects/eds.h"
#include "objects/od_tree_model.h"
#include "canopen/value_codec.h"
#include "objects/standard_objects.h"

#include <QAbstractItemModelTester>
#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <QFile>
#include <QtTest>

using namespace canopen;
using namespace objects;

namespace {

QByteArray fixture(const char *name)
{
    QFile f(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/tests/data/eds/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", name);
    return f.readAll();
}

uint16_t code(data_type t) { return static_cast<uint16_t>(t); }

void add_value(eds_document &d, uint16_t index, uint8_t sub, data_type type, const char *value, const char *access = "rw")
{
    od_object o;
    o.index = index;
    od_entry e;
    e.index = index;
    e.sub = sub;
    e.type = code(type);
    e.access = QLatin1String(access);
    e.parameter_value = QLatin1String(value);
    o.entries.push_back(e);
    d.objects.push_back(o);
}

// A drive as a table of objects behind expedited SDO, keeping every write in order as
// "1800:01=80000181" (value in hex, most significant byte first).
struct table_drive {
    std::map<int, QByteArray> objects;
    std::set<int> refused;  // writes aborted with "value too high"
    QStringList writes;

    canopen::sdo_link link()
    {
        canopen::sdo_link l;
        l.transact = [this](const canopen::sdo_frame &request, const std::function<bool(const canopen::sdo_frame &)> &,
                            canopen::sdo_frame *reply) {
            const uint16_t index = uint16_t(request.data[1] | request.data[2] << 8);
            const int key = index << 8 | request.data[3];
            *reply = canopen::sdo_frame();
            std::copy(request.data + 1, request.data + 4, reply->data + 1);
            if ((request.data[0] & canopen::sdo_command_mask) == canopen::sdo_upload_initiate) {
                if (!objects.count(key)) {
                    *reply = canopen::sdo_abort_frame(index, request.data[3], 0x06010001);  // write only
                    return true;
                }
                const QByteArray v = objects[key];
                reply->data[0] = uint8_t(0x43 | (4 - v.size()) << 2);
                std::copy(v.begin(), v.end(), reply->data + 4);
                return true;
            }
            const QByteArray v(reinterpret_cast<const char *>(request.data + 4), canopen::sdo_expedited_size(request.data[0]));
            QByteArray shown = v;
            std::reverse(shown.begin(), shown.end());
            writes << QStringLiteral("%1:%2=%3").arg(index, 4, 16, QLatin1Char('0')).arg(request.data[3], 2, 16, QLatin1Char('0')).arg(QLatin1String(shown.toHex())).toUpper();
            if (refused.count(key)) {
                *reply = canopen::sdo_abort_frame(index, request.data[3], 0x06090031);
                return true;
            }
            objects[key] = v;
            reply->data[0] = 0x60;
            return true;
        };
        return l;
    }
};

}  // namespace

class test_object_dictionary_data : public QObject {
    Q_OBJECT

private slots:
    void values_are_checked_against_type_and_limits_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QByteArray>("bytes");  // empty: refused
        using T = data_type;
        QTest::newRow("u8 max") << int(code(T::unsigned8)) << "255" << "" << "" << QByteArray::fromHex("ff");
        QTest::newRow("u8 over") << int(code(T::unsigned8)) << "256" << "" << "" << QByteArray();
        QTest::newRow("u16 negative") << int(code(T::unsigned16)) << "-1" << "" << "" << QByteArray();
        QTest::newRow("u32 hex") << int(code(T::unsigned32)) << "0x00020192" << "" << "" << QByteArray::fromHex("92010200");
        QTest::newRow("i8 min") << int(code(T::integer8)) << "-128" << "" << "" << QByteArray::fromHex("80");
        QTest::newRow("i8 under") << int(code(T::integer8)) << "-129" << "" << "" << QByteArray();
        QTest::newRow("i16 hex pattern") << int(code(T::integer16)) << "0xFFFF" << "" << "" << QByteArray::fromHex("ffff");
        QTest::newRow("i32 text") << int(code(T::integer32)) << "12abc" << "" << "" << QByteArray();
        QTest::newRow("i64 min") << int(code(T::integer64)) << "-9223372036854775808" << "" << "" << QByteArray::fromHex("0000000000000080");
        QTest::newRow("u64 over") << int(code(T::unsigned64)) << "18446744073709551616" << "" << "" << QByteArray();
        QTest::newRow("bool") << int(code(T::boolean)) << "true" << "" << "" << QByteArray::fromHex("01");
        QTest::newRow("bool 2") << int(code(T::boolean)) << "2" << "" << "" << QByteArray();
        QTest::newRow("real32") << int(code(T::real32)) << "1.5" << "" << "" << QByteArray::fromHex("0000c03f");
        QTest::newRow("real32 huge") << int(code(T::real32)) << "1e39" << "" << "" << QByteArray();
        QTest::newRow("empty") << int(code(T::unsigned16)) << " " << "" << "" << QByteArray();
        QTest::newRow("within limits") << int(code(T::unsigned16)) << "10000" << "1" << "10000" << QByteArray::fromHex("1027");
        QTest::newRow("above high") << int(code(T::unsigned16)) << "10001" << "1" << "10000" << QByteArray();
        QTest::newRow("below low") << int(code(T::unsigned16)) << "0" << "1" << "10000" << QByteArray();
        // EDS limits of signed objects are often written as bit patterns.
        QTest::newRow("i32 hex limits") << int(code(T::integer32)) << "-5" << "0xFFFFFFF6" << "0x0000000A" << QByteArray::fromHex("fbffffff");
        QTest::newRow("i32 below hex low") << int(code(T::integer32)) << "-11" << "0xFFFFFFF6" << "0x0000000A" << QByteArray();
        QTest::newRow("string") << int(code(T::visible_string)) << "joint 2" << "" << "" << QByteArray("joint 2");
        QTest::newRow("octets") << int(code(T::octet_string)) << "01 0a FF" << "" << "" << QByteArray::fromHex("010aff");
        QTest::newRow("octets odd") << int(code(T::octet_string)) << "01 0" << "" << "" << QByteArray();
    }
    void values_are_checked_against_type_and_limits()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QByteArray, bytes);
        const encoded e = encode_value(static_cast<uint16_t>(type), text, value_limits{low, high});
        QCOMPARE(e.ok, !bytes.isEmpty());
        QCOMPARE(e.error.isEmpty(), e.ok);
        if (e.ok) {
            QCOMPARE(e.bytes, bytes);
            // What is shown reads back to the same bytes.
            QCOMPARE(encode_value(static_cast<uint16_t>(type), format_value(static_cast<uint16_t>(type), e.bytes)).bytes, bytes);
        }
    }

    void formatting()
    {
        QCOMPARE(format_value(code(data_type::integer16), QByteArray::fromHex("feff")), QStringLiteral("-2"));
        QCOMPARE(format_value(code(data_type::unsigned32), QByteArray::fromHex("92010200"), true), QStringLiteral("0x00020192"));
        // A reply of the wrong size is shown as it came, not forced into the type.
        QCOMPARE(format_value(code(data_type::unsigned32), QByteArray::fromHex("9201")), QStringLiteral("92 01"));
        QCOMPARE(format_value(code(data_type::visible_string), QByteArray("abc\0\0", 5)), QStringLiteral("abc"));

        // Register values of the drive's protocol: signed decimal or a 32-bit hex pattern.
        int32_t v = 0;
        QVERIFY(parse_register_value(QStringLiteral("-2147483648"), &v) && v == INT32_MIN);
        QVERIFY(parse_register_value(QStringLiteral("0xFFFFFFFF"), &v) && v == -1);
        QVERIFY(!parse_register_value(QStringLiteral("2147483648"), &v));
        QVERIFY(!parse_register_value(QStringLiteral("0x100000000"), &v));
        QVERIFY(parse_register_value(QStringLiteral("-0x10"), &v) && v == -16);
        QCOMPARE(register_value_text(-1, true), QStringLiteral("0xFFFFFFFF"));
        QCOMPARE(register_value_text(1500, true), QStringLiteral("0x000005DC"));
    }

    void vendor_style_data_sheet()
    {
        const eds_result r = parse_eds(fixture("vendor_style.eds"));
        QVERIFY2(r.ok, qPrintable(QStringLiteral("line %1: %2").arg(r.error_line).arg(r.error)));
        const eds_document &d = r.document;
        QCOMPARE(int(d.objects.size()), 7);
        QCOMPARE(d.device_info.front().first, QStringLiteral("VendorName"));

        const od_entry *e = find_entry(d, 0x1001, 0);
        QVERIFY(e);
        QCOMPARE(e->type, uint16_t(5));  // decimal
        QVERIFY(e->pdo_mapping);
        QVERIFY(e->default_value.isEmpty());  // optional key left out
        // Compact array: sub 0 counts, names from the [1003Name] section.
        QCOMPARE(int(d.objects[2].entries.size()), 4);
        QCOMPARE(find_entry(d, 0x1003, 0)->default_value, QStringLiteral("3"));
        QCOMPARE(find_entry(d, 0x1003, 2)->name, QStringLiteral("Older error"));
        QCOMPARE(find_entry(d, 0x1003, 3)->name, QStringLiteral("Pre-defined error field3"));
        // Keys in any case and spacing.
        e = find_entry(d, 0x1017, 0);
        QCOMPARE(e->high_limit, QStringLiteral("0xFFFF"));
        QCOMPARE(e->access, QStringLiteral("rw"));
        QCOMPARE(find_entry(d, 0x1018, 0)->access, QStringLiteral("const"));
        QCOMPARE(find_entry(d, 0x1018, 2)->default_value, QStringLiteral("0100"));
        QVERIFY(access_writable(find_entry(d, 0x2100, 0)->access));
        QCOMPARE(find_entry(d, 0x2100, 0)->line, 124);  // CRLF ends count as one line each

        QString v;
        QVERIFY(resolve_node_id(find_entry(d, 0x1400, 1)->default_value, 5, &v));
        QCOMPARE(v, QStringLiteral("0x205"));
        QVERIFY(resolve_node_id(QStringLiteral("0x180+$NODEID"), 1, &v));
        QCOMPARE(v, QStringLiteral("0x181"));
        QVERIFY(resolve_node_id(QStringLiteral("$NODEID"), 7, &v));
        QCOMPARE(v, QStringLiteral("7"));
        QVERIFY(!resolve_node_id(QStringLiteral("$NODEID*2"), 7, &v));
        // Beyond 64 bits a formula does not wrap round to a plausible value.
        QVERIFY(!resolve_node_id(QStringLiteral("$NODEID+0xFFFFFFFFFFFFFFFF"), 1, &v));

        // A key given twice: the same value again is noted, another value refused; both name
        // the two lines.
        const QByteArray twice("[1000]\nParameterName=Device type\nDataType=0x0007\nAccessType=ro\nDataType=0x0007\n");
        const eds_result same = parse_eds(twice);
        QVERIFY(same.ok);
        QCOMPARE(same.warnings.size(), 1);
        QVERIFY(same.warnings.front().contains(QStringLiteral("lines 3 and 5")));
        const eds_result other = parse_eds(twice + "accesstype = rw\n");
        QCOMPARE(other.error_line, 6);
        QVERIFY(other.error.contains(QStringLiteral("lines 4 and 6")));

        // A Latin-1 file reads as Latin-1, a UTF-8 one as UTF-8.
        const QByteArray var("[2000]\nParameterName=Cycle in \xB5s\nDataType=7\nAccessType=rw\n");
        QCOMPARE(parse_eds(var).document.objects.front().name, QStringLiteral("Cycle in \u00B5s"));
        QCOMPARE(parse_eds(QString::fromLatin1(var).toUtf8()).document.objects.front().name, QStringLiteral("Cycle in \u00B5s"));
    }

    void broken_files_name_their_line_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        const QByteArray head = "[1000]\nParameterName=Device type\nDataType=0x0007\nAccessType=ro\n";
        QTest::newRow("no equals") << head + "[1001]\nParameterName Error register\n" << 6;
        QTest::newRow("key before section") << QByteArray("; c\nParameterName=x\n") << 2;
        QTest::newRow("unclosed section") << head + "[1001\n" << 5;
        QTest::newRow("unknown access") << head + "[1001]\nParameterName=E\nDataType=5\nAccessType=readwrite\n" << 8;
        QTest::newRow("missing data type") << head + "[1001]\nParameterName=E\nAccessType=ro\n" << 5;
        QTest::newRow("data type not a number") << head + "[1001]\nParameterName=E\nDataType=0x1G\nAccessType=ro\n" << 7;
        QTest::newRow("sub without object") << head + "\n[2000sub1]\nParameterName=E\nDataType=5\nAccessType=ro\n" << 6;
        QTest::newRow("repeated section") << head + "[1000]\n" << 5;
        QTest::newRow("compact count") << head + "[1003]\nParameterName=E\nObjectType=8\nDataType=7\nAccessType=ro\nCompactSubObj=300\n" << 10;
        QTest::newRow("long line") << head + "Description=" + QByteArray(5000, 'x') + "\n" << 5;
        QTest::newRow("node id") << head + "[DeviceComissioning]\nNodeId=200\n" << 6;
        const QByteArray emcy = "[1014]\nParameterName=E\nDataType=7\nAccessType=ro\n";
        QTest::newRow("$NODEID past 64 bits") << head + emcy + "DefaultValue=$NODEID+0xFFFFFFFFFFFFFFFF\n" << 9;
        QTest::newRow("$NODEID past the type") << head + emcy + "DefaultValue=$NODEID+0xFFFFFFFF\n" << 9;
        QTest::newRow("$NODEID past the type for the file's node")
            << head + "[DeviceComissioning]\nNodeId=16\n" + emcy + "ParameterValue=$NODEID+0xFFFFFFF0\n" << 11;
        QTest::newRow("signed $NODEID past the type") << head + "[2000]\nParameterName=E\nDataType=3\nAccessType=rw\n"
                                                             "LowLimit=$NODEID+32767\n" << 9;
    }
    void broken_files_name_their_line()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        const eds_result r = parse_eds(text);
        QVERIFY(!r.ok);
        QCOMPARE(r.error_line, line);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(r.document.objects.empty());
        QVERIFY(!parse_eds(QByteArray(eds_max_bytes + 1, ';')).ok);
    }

    // The node list of a bench: what the format allows reads, what it does not is refused with
    // its line, and a list written reads back the same.
    void bench_node_lists_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");  // 0: accepted
        const QByteArray two = "[Topology]\nNetName=arm\nNodes=2\nNode2Present=0x01\nNode2Name=J2\nNode2DCFName=J2.dcf\n"
                               "Node5Present=1\nNode5DCFName=J5.dcf\n";
        QTest::newRow("two nodes, unknown keys and sections ignored")
            << two + "NetRefd=0\nNode5Refd=0\nEDSBaseName=.\nFutureKey=1\n[Other]\nx=y\n" << 0;
        QTest::newRow("an absent node needs no DCF") << two + "Node9Present=0x00\nNode9Name=spare\n" << 0;
        QTest::newRow("no topology") << QByteArray("[Other]\nNodes=1\n") << -1;  // refused as a whole: line 0
        QTest::newRow("count disagrees") << QByteArray("[Topology]\nNodes=3\nNode2Present=1\nNode2DCFName=a.dcf\n") << 2;
        QTest::newRow("node 128") << two + "Node128Present=1\n" << 9;
        QTest::newRow("present neither 0 nor 1") << two + "Node7Present=0x02\n" << 9;
        QTest::newRow("name without present") << two + "Node7Name=J7\n" << 9;
        QTest::newRow("present without DCF") << QByteArray("[Topology]\nNodes=1\nNode3Present=1\nNode3Name=J3\n") << 3;
        QTest::newRow("DCF out of the folder") << two + "Node7Present=1\nNode7DCFName=../x.dcf\n" << 10;
        QTest::newRow("key repeated") << two + "Node2Name=J9\n" << 9;
        QTest::newRow("name twice") << QByteArray("[Topology]\nNodes=2\nNode1Present=1\nNode1Name=J\nNode1DCFName=a\n"
                                                  "Node2Present=1\nNode2Name=j\nNode2DCFName=b\n") << 6;
        QTest::newRow("no equals") << two + "Node7Present\n" << 9;
        QTest::newRow("long line") << two + "NetName=" + QByteArray(2000, 'x') + "\n" << 9;
        QTest::newRow("control character in a DCF name (found by fuzz_bench)")
            << two + "Node7Present=1\nNode7DCFName=J7\x03.dcf\n" << 10;
        QTest::newRow("line separator in a name") << two + "Node7Present=1\nNode7Name=J\xe2\x80\xa8" "7\n" << 10;
    }
    void bench_node_lists()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        const cpj_result r = parse_cpj(text);
        QCOMPARE(r.ok, line == 0);
        if (!r.ok) {
            QCOMPARE(r.error_line, qMax(line, 0));
            QVERIFY(!r.error.isEmpty());
            QVERIFY(r.network.nodes.empty());
            return;
        }
        const cpj_result back = parse_cpj(write_cpj(r.network));
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(back.network.net_name, r.network.net_name);
        QCOMPARE(back.network.nodes.size(), r.network.nodes.size());
        for (size_t i = 0; i < r.network.nodes.size(); ++i) {
            QCOMPARE(back.network.nodes[i].node, r.network.nodes[i].node);
            QCOMPARE(back.network.nodes[i].present, r.network.nodes[i].present);
            QCOMPARE(back.network.nodes[i].name, r.network.nodes[i].name);
            QCOMPARE(back.network.nodes[i].dcf_name, r.network.nodes[i].dcf_name);
        }
    }

    // What a bench reads from each node's DCF: the identity from [DeviceInfo] over 0x1018, the
    // serial from [DeviceComissioning], the heartbeat and the store; a fault names the DCF's line.
    void bench_reads_each_nodes_dcf()
    {
        const QByteArray cpj = "[Topology]\nNodes=2\nNode2Present=1\nNode2DCFName=a.dcf\nNode3Present=1\nNode3Name=J3\n"
                               "Node3DCFName=b.dcf\n";
        const QByteArray objects_text = "[1017]\nParameterName=Heartbeat\nDataType=0x0006\nAccessType=rw\nParameterValue=150\n"
                                        "[1018]\nParameterName=Identity\nObjectType=0x9\nSubNumber=3\n"
                                        "[1018sub1]\nParameterName=Vendor\nDataType=0x0007\nAccessType=ro\nParameterValue=0x11\n"
                                        "[1018sub2]\nParameterName=Product\nDataType=0x0007\nAccessType=ro\nParameterValue=0x22\n"
                                        "[1010]\nParameterName=Store\nObjectType=0x9\nSubNumber=2\n"
                                        "[1010sub1]\nParameterName=Save all\nDataType=0x0007\nAccessType=rw\n";
        std::map<QString, QByteArray> files;
        files["a.dcf"] = "[DeviceInfo]\nProductNumber=0x2402\nRevisionNumber=7\n[DeviceComissioning]\nNodeID=2\n"
                         "NodeName=left\nLSS_SerialNumber=0x1001\n" + objects_text + "ParameterValue=0x65766173\n";
        files["b.dcf"] = "[DeviceComissioning]\nNodeID=3\n" + objects_text;
        const auto dcf_of = [&files](const QString &name, QByteArray *text) {
            if (!files.count(name))
                return false;
            *text = files[name];
            return true;
        };
        bench_result r = read_bench_texts(cpj, QStringLiteral("b.cpj"), dcf_of);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.bench.nodes.size(), size_t(2));
        const bench_node &a = r.bench.nodes[0];
        QCOMPARE(a.name, QStringLiteral("left"));
        const bool all[4] = {true, true, true, true};
        QCOMPARE(identity_parts_text(a.expected.id, a.expected.known),
                 identity_parts_text(canopen::lss_identity{{0x11, 0x2402, 7, 0x1001}}, all));
        QCOMPARE(a.heartbeat_ms, 150);
        QVERIFY(a.store);
        const bench_node &b = r.bench.nodes[1];
        QCOMPARE(b.name, QStringLiteral("J3"));
        QVERIFY(b.expected.known[0] && b.expected.known[1] && !b.expected.known[2] && !b.expected.known[3]);
        QVERIFY(!b.store);

        files["a.dcf"].replace("RevisionNumber=7", "RevisionNumber=seven");
        r = read_bench_texts(cpj, QStringLiteral("b.cpj"), dcf_of);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.startsWith(QStringLiteral("a.dcf: 第3行/line 3:")), qPrintable(r.error));
        files["a.dcf"].replace("RevisionNumber=seven", "RevisionNumber=7");
        files["a.dcf"].replace("NodeID=2", "NodeID=4");
        r = read_bench_texts(cpj, QStringLiteral("b.cpj"), dcf_of);
        QVERIFY2(!r.ok && r.error.startsWith(QStringLiteral("b.cpj: 第3行/line 3:")), qPrintable(r.error));
        files.erase("b.dcf");
        files["a.dcf"].replace("NodeID=4", "NodeID=2");
        r = read_bench_texts(cpj, QStringLiteral("b.cpj"), dcf_of);
        QVERIFY2(!r.ok && r.error.contains(QLatin1String("line 5")) && r.error.contains(QLatin1String("b.dcf")), qPrintable(r.error));
    }

    void dcf_round_trip()
    {
        eds_document d = parse_eds(fixture("vendor_style.eds")).document;
        // The values a Read all would leave, strings and numbers alike.
        for (od_object &o : d.objects)
            for (od_entry &e : o.entries)
                e.parameter_value = QStringLiteral("0x%1").arg(e.index + e.sub, 0, 16);
        d.objects[0].entries[0].parameter_value = QStringLiteral("text ; with = signs");
        const QByteArray dcf = write_dcf(d, 5, QStringLiteral("joint5.dcf"));
        const eds_result back = parse_eds(dcf);
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(back.document.node_id, 5);
        QCOMPARE(back.document.objects.size(), d.objects.size());
        for (size_t i = 0; i < d.objects.size(); ++i) {
            const od_object &a = d.objects[i], &b = back.document.objects[i];
            QCOMPARE(b.name, a.name);
            QCOMPARE(b.entries.size(), a.entries.size());
            for (size_t j = 0; j < a.entries.size(); ++j) {
                QCOMPARE(b.entries[j].parameter_value, a.entries[j].parameter_value);
                QCOMPARE(b.entries[j].type, a.entries[j].type);
                QCOMPARE(b.entries[j].access, a.entries[j].access);
                QCOMPARE(b.entries[j].default_value, a.entries[j].default_value);
                QCOMPARE(b.entries[j].high_limit, a.entries[j].high_limit);
            }
        }
        QVERIFY(dcf.contains("FileName=joint5.dcf\n"));
        QVERIFY(dcf.contains("[ManufacturerObjects]\nSupportedObjects=1\n1=0x2100\n"));

        // A name or value with line breaks, a lone surrogate or a control character stays one
        // readable line.
        d.objects[0].name = QStringLiteral("two\r\nlines, half ") + QChar(0xD800) + QStringLiteral(" bell\x07");
        d.objects[0].entries[0].parameter_value = QStringLiteral("a\nb");
        const eds_result odd = parse_eds(write_dcf(d, 5, QStringLiteral("odd\n.dcf")));
        QVERIFY2(odd.ok, qPrintable(odd.error));
        QCOMPARE(odd.document.objects[0].name, QStringLiteral("two  lines, half \uFFFD bell\uFFFD"));
        QCOMPARE(odd.document.objects[0].entries[0].parameter_value, QStringLiteral("a b"));
        QCOMPARE(text_safety::csv_field(QStringLiteral("say \"hi\"\r")), QStringLiteral("\"say \"\"hi\"\"\r\""));
        QCOMPARE(text_safety::csv_field(QStringLiteral("plain ") + QChar(0xDC00)), QStringLiteral("plain \uFFFD"));
    }

    void node_lists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("nodes");  // empty: refused
        QTest::newRow("range") << "1-6" << "1,2,3,4,5,6";
        QTest::newRow("list") << "2,4,5" << "2,4,5";
        QTest::newRow("mixed, spaced, repeated") << " 7 , 1-2,2 " << "7,1,2";
        QTest::newRow("node 0") << "0-3" << "";
        QTest::newRow("node 128") << "127,128" << "";
        QTest::newRow("backwards") << "6-1" << "";
        QTest::newRow("two dashes") << "1--2" << "";
        QTest::newRow("empty item") << "1,,2" << "";
        QTest::newRow("text") << "all" << "";
    }

    void node_lists()
    {
        QFETCH(QString, text);
        QFETCH(QString, nodes);
        std::vector<int> parsed;
        QString error;
        QCOMPARE(parse_node_list(text, &parsed, &error), !nodes.isEmpty());
        QStringList shown;
        for (const int n : parsed)
            shown << QString::number(n);
        QCOMPARE(shown.join(QLatin1Char(',')), nodes);
        QCOMPARE(error.isEmpty(), !nodes.isEmpty());
    }

    void pdo_written_by_its_procedure_and_cancel_waits_for_it()
    {
        // TPDO 1 of node 3 gets an event timer and a second mapped object; its COB-ID stays.
        eds_document dcf;
        add_value(dcf, 0x1800, 1, data_type::unsigned32, "$NODEID+0x180");
        add_value(dcf, 0x1800, 5, data_type::unsigned16, "50");
        add_value(dcf, 0x1A00, 0, data_type::unsigned8, "2");
        add_value(dcf, 0x1A00, 1, data_type::unsigned32, "0x60410010");
        add_value(dcf, 0x1A00, 2, data_type::unsigned32, "0x60640020");
        add_value(dcf, 0x2100, 0, data_type::unsigned16, "300");
        add_value(dcf, 0x6041, 0, data_type::unsigned16, "0x0237", "ro");
        table_drive drive;
        drive.objects = {{0x180001, QByteArray::fromHex("83010000")}, {0x180005, QByteArray::fromHex("0000")},
                         {0x1A0000, QByteArray::fromHex("01")},       {0x1A0001, QByteArray::fromHex("10004160")},
                         {0x1A0002, QByteArray::fromHex("00000000")}, {0x210000, QByteArray::fromHex("6400")},
                         {0x604100, QByteArray::fromHex("4002")}};
        std::vector<int> pre_operational;
        dcf_wire wire{[&drive](int) { return drive.link(); }, [&pre_operational](int n) { pre_operational.push_back(n); }, {}, {}};

        dcf_job compare(dcf_job::mode::compare, dcf, {3}, wire);
        while (compare.step()) {
        }
        QCOMPARE(int(compare.rows()[6].state), int(dcf_state::read_only_differs));
        QCOMPARE(compare.totals().differing, 5);
        QVERIFY(drive.writes.isEmpty() && pre_operational.empty());

        dcf_job download(dcf_job::mode::download, dcf, {3}, wire);
        while (drive.writes.isEmpty())
            download.step();
        download.stop_between_objects();  // taken after the PDO's group, before 0x2100
        while (download.step()) {
        }
        QCOMPARE(pre_operational, std::vector<int>{3});
        QCOMPARE(drive.writes, QStringList({"1800:01=80000183", "1800:05=0032", "1A00:00=00", "1A00:02=60640020",
                                            "1A00:00=02", "1800:01=00000183"}));
        QVERIFY(download.totals().cancelled);
        QCOMPARE(download.totals().written, 3);
        QCOMPARE(download.report().size(), size_t(3));
        QVERIFY(download.report()[2].verified);

        // A refused step of the procedure is told on the objects it was for, and the rest goes on.
        drive.objects[0x1A0002] = QByteArray::fromHex("00000000");
        drive.refused = {0x1A0000};
        drive.writes.clear();
        dcf_job refused(dcf_job::mode::download, dcf, {3}, wire);
        while (refused.step()) {
        }
        QCOMPARE(drive.writes.size(), 5 + 1);  // the group as far as the drive lets it, then 0x2100
        QCOMPARE(refused.report().size(), size_t(2));
        QVERIFY(refused.report()[0].note.contains(QLatin1String("PDO step 0x1A00:00: ")));
        QCOMPARE(refused.report()[1].index, uint16_t(0x2100));

        // A Stop clicked meanwhile ends the job at once: the group it cut short is told as it is.
        drive.objects[0x180005] = QByteArray::fromHex("0000");
        drive.refused.clear();
        drive.writes.clear();
        dcf_job stopped(dcf_job::mode::download, dcf, {3}, wire);
        while (drive.writes.size() < 2)
            stopped.step();
        stopped.cancel();
        QVERIFY(stopped.finished() && stopped.totals().cancelled);
        QCOMPARE(stopped.report().size(), size_t(1));
        QVERIFY(stopped.report()[0].note.contains(QLatin1String("interrupted: not read back")));
        QVERIFY(!stopped.report()[0].verified);
    }

    // Only what differs is written: commands (store, controlword), read-only objects and values
    // that are no value of their type never; a write-only object always. A PDO's group is
    // written even to enable a PDO the drive has disabled, and leaves its mapping alone when
    // that is the same.
    void download_writes_only_what_it_should()
    {
        eds_document dcf;
        add_value(dcf, 0x1010, 1, data_type::unsigned32, "0x65766173");
        add_value(dcf, 0x1017, 0, data_type::unsigned16, "100");
        add_value(dcf, 0x1400, 1, data_type::unsigned32, "$NODEID+0x200");
        add_value(dcf, 0x1400, 2, data_type::unsigned8, "1");
        add_value(dcf, 0x1600, 1, data_type::unsigned32, "0x60400010");
        add_value(dcf, 0x2100, 0, data_type::unsigned16, "70000");
        add_value(dcf, 0x2101, 0, data_type::unsigned16, "7", "wo");
        add_value(dcf, 0x6040, 0, data_type::unsigned16, "0x000F");
        add_value(dcf, 0x6041, 0, data_type::unsigned16, "0x0237", "ro");
        table_drive drive;
        drive.objects = {{0x101001, QByteArray::fromHex("01000000")}, {0x101700, QByteArray::fromHex("0000")},
                         {0x140001, QByteArray::fromHex("03020080")}, {0x140002, QByteArray::fromHex("FF")},
                         {0x160001, QByteArray::fromHex("10004060")}, {0x210000, QByteArray::fromHex("0000")},
                         {0x604000, QByteArray::fromHex("0600")},     {0x604100, QByteArray::fromHex("4002")}};
        dcf_wire wire{[&drive](int) { return drive.link(); }, [](int) {}, {}, {}};
        dcf_job compare(dcf_job::mode::compare, dcf, {3}, wire);
        while (compare.step()) {
        }
        QList<int> states;
        for (const dcf_row &r : compare.rows())
            states << int(r.state);
        QCOMPARE(states, QList<int>({int(dcf_state::command_differs), int(dcf_state::differs), int(dcf_state::differs),
                                     int(dcf_state::differs), int(dcf_state::same), int(dcf_state::invalid),
                                     int(dcf_state::not_readable), int(dcf_state::command_differs),
                                     int(dcf_state::read_only_differs)}));
        QVERIFY(drive.writes.isEmpty());
        dcf_job download(dcf_job::mode::download, dcf, {3}, wire);
        while (download.step()) {
        }
        QCOMPARE(drive.writes, QStringList({"1017:00=0064", "1400:01=80000203", "1400:02=01", "1400:01=00000203",
                                            "2101:00=0007"}));
        QCOMPARE(download.totals().written, 4);
    }

    // A reboot shows as a boot-up, or as a heartbeat turning pre-operational that no NMT command
    // of ours explains.
    void reboots_from_boot_ups_and_heartbeats()
    {
        std::vector<error_control_frame> heard;
        reboot_watch watch([&heard] { return std::exchange(heard, {}); });
        heard = {{3, 0x05}, {4, 0x05}};
        watch.look();
        watch.commanded_pre_operational(3);
        // Node 3's late heartbeat from before the command, then its answer to it.
        heard = {{3, 0x05}, {3, 0x7F}, {4, 0x7F}, {5, 0x7F}, {6, 0x00}};
        watch.look();
        QCOMPARE(watch.reboots(3), 0);
        QCOMPARE(watch.reboots(4), 1);
        QCOMPARE(watch.reboots(5), 0);  // first heard pre-operational: nothing changed
        QCOMPARE(watch.reboots(6), 1);
        // Guarding answers carry a toggle bit: started by someone, then back with no command.
        heard = {{3, 0x85}, {3, 0xFF}};
        watch.look();
        QCOMPARE(watch.reboots(3), 1);
    }

    // The tap's watch of a bus hears that bus: node 3 booting on bus 0 is no reboot of node 3 on
    // bus 1, and the reverse.
    void the_tapped_watch_hears_its_own_bus_only()
    {
        const auto heard = [](int bus, uint8_t state) {
            vci::can_message m;
            m.id = 0x703;
            m.len = 1;
            m.data[0] = state;
            vci::bus_tap::record(m, false, false, bus);
        };
        reboot_watch on0(tapped_error_control({3}));
        reboot_watch on1(tapped_error_control({3}, 1));
        heard(0, 0x05);
        heard(1, 0x05);
        heard(0, 0x00);  // bus 0's node 3 reboots
        on0.look();
        on1.look();
        QCOMPARE(on0.reboots(3), 1);
        QCOMPARE(on1.reboots(3), 0);
        heard(1, 0x00);
        heard(1, 0x05);
        heard(1, 0x7F);  // and bus 1's twice: a boot-up, then a heartbeat back to pre-operational
        on0.look();
        on1.look();
        QCOMPARE(on0.reboots(3), 1);
        QCOMPARE(on1.reboots(3), 2);
    }

    void tree_model()
    {
        od_tree_model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        eds_document d = parse_eds(fixture("vendor_style.eds")).document;
        model.set_document(d);
        // Variables are single rows, arrays and records have their entries below.
        QCOMPARE(model.rowCount(), 7);
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QCOMPARE(model.rowCount(model.index(4, 0)), 3);  // 0x1018
        QVERIFY(!model.entry_at(model.index(4, 0)));
        for (const od_object &o : d.objects)
            for (const od_entry &e : o.entries) {
                const od_entry *found = model.entry_at(model.index_of(e.index, e.sub));
                QVERIFY(found && found->index == e.index && found->sub == e.sub);
            }
        model.document().objects[6].entries[0].parameter_value = QStringLiteral("1234");
        model.document().objects[6].entries[0].differs = true;
        model.values_changed();
        const QModelIndex value = model.index(6, od_tree_model::col_value);
        QCOMPARE(model.data(value, Qt::DisplayRole).toString(), QStringLiteral("1234"));
        QVERIFY(model.data(value, Qt::FontRole).value<QFont>().bold());
        model.set_document(standard_objects());
    }

    void shipped_and_built_in_dictionaries()
    {
        // The simulated joint's data sheet and the built-in list both parse and agree on the
        // standard objects the program uses.
        QFile f(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/velmora_joint.eds"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const eds_result shipped = parse_eds(f.readAll());
        QVERIFY2(shipped.ok, qPrintable(QStringLiteral("line %1: %2").arg(shipped.error_line).arg(shipped.error)));
        const eds_document standard = standard_objects();
        QVERIFY(standard.objects.size() > 20);
        for (const od_object &o : standard.objects)
            for (const od_entry &e : o.entries) {
                const od_entry *s = find_entry(shipped.document, e.index, e.sub);
                QVERIFY2(s, qPrintable(QStringLiteral("%1sub%2").arg(e.index, 4, 16).arg(e.sub)));
                QCOMPARE(s->type, e.type);
            }
        QVERIFY(find_entry(shipped.document, 0x2110, 0));
    }
};

QTEST_GUILESS_MAIN(test_object_dictionary_data)
#include "test_object_dictionary_data.moc"
