// The SDO client against the simulated joint (segmented transfers both ways, stored parameters
// across a reset node) and against a scripted server for the faults a good joint never shows:
// an abort mid-transfer, a wrong toggle bit, a wrong size, silence. Server frames are written
// out by hand from CiA 301.
#include "base/checksums.h"
#include "base/hex.h"
#include "canopen/sdo_abort.h"
#include "canopen/sdo_client.h"
#include "canopen/sdo_job.h"
#include "objects/dcf_watch.h"
#include "objects/firmware_job.h"
#include "objects/od_actions.h"
#include "canopen/value_codec.h"
#include "objects/standard_objects.h"
#include "sim/sim_clock.h"
#include "sim/sim_joint.h"

#include <QtTest>
#include <deque>

using namespace canopen;
using namespace objects;

namespace {

sdo_frame frame_of(const char *hex)
{
    sdo_frame f;
    const QByteArray b = QByteArray::fromHex(hex);
    for (int i = 0; i < 8 && i < b.size(); ++i)
        f.data[i] = static_cast<uint8_t>(b[i]);
    return f;
}

QByteArray bytes_of(const sdo_frame &f) { return QByteArray(reinterpret_cast<const char *>(f.data), 8); }

// Joint 1 on a wire of its own: requests go to 0x601, the answers on 0x581 are offered to the
// client's reply test in order.
class sim_wire {
public:
    explicit sim_wire(int node = 1) : joint(node, 10231), node_(node) {}
    sim::joint joint;
    int requests = 0;
    // Sees every frame on the wire (to_server: the client's) and may change it; false drops it.
    std::function<bool(vci::can_message &m, bool to_server)> tamper;
    // What the joint sent besides its SDO answers (boot-up messages, emergencies).
    std::vector<vci::can_message> heard;

    sdo_link link()
    {
        return {[this](const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply, sdo_frame *reply) {
                    ++requests;
                    for (const vci::can_message &m : deliver(0x600 + node_, request.data, 8))
                        if (m.id == 0x580u + node_) {
                            sdo_frame f;
                            std::copy(m.data, m.data + 8, f.data);
                            if (is_reply(f)) {
                                *reply = f;
                                return true;
                            }
                        }
                    return false;
                },
                [this](const sdo_frame &f) { deliver(0x600 + node_, f.data, 8); }};
    }
    void reset_node()
    {
        const uint8_t nmt[2] = {0x81, 0x01};
        deliver(0x000, nmt, 2);
    }
    uint32_t write_u32(uint16_t index, uint8_t sub, uint32_t v)
    {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<char>(v >> (8 * i));
        return write_object(link(), index, sub, b).abort;
    }

private:
    std::vector<vci::can_message> deliver(uint32_t id, const uint8_t *data, uint8_t len)
    {
        vci::can_message m;
        m.id = id;
        m.len = len;
        std::copy(data, data + len, m.data);
        std::vector<vci::can_message> out;
        if (tamper && !tamper(m, true))
            return out;
        joint.handle(m, out);
        if (tamper)
            out.erase(std::remove_if(out.begin(), out.end(), [this](vci::can_message &r) { return !tamper(r, false); }),
                      out.end());
        for (const vci::can_message &r : out)
            if (r.id != 0x580u + node_)
                heard.push_back(r);
        return out;
    }
    int node_;
};

// A server that answers from a list and records every request and every abort the client sends.
class scripted_wire {
public:
    std::deque<sdo_frame> replies;
    QList<QByteArray> requests;
    QList<QByteArray> aborts;

    sdo_link link()
    {
        return {[this](const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply, sdo_frame *reply) {
                    requests << bytes_of(request);
                    while (!replies.empty()) {
                        const sdo_frame f = replies.front();
                        replies.pop_front();
                        if (is_reply(f)) {
                            *reply = f;
                            return true;
                        }
                    }
                    return false;
                },
                [this](const sdo_frame &f) { aborts << bytes_of(f); }};
    }
};

}  // namespace

class test_sdo_client : public QObject {
    Q_OBJECT

private slots:
    void segmented_transfers_against_the_simulated_joint()
    {
        sim_wire wire;
        // 23 bytes: initiate, then segments of 7, 7, 7 and 2.
        sdo_outcome o = read_object(wire.link(), 0x1008, 0);
        QVERIFY(o.ok);
        QCOMPARE(o.data, QByteArray("Velmora simulated joint"));
        QCOMPARE(wire.requests, 5);
        QCOMPARE(format_value(0x0009, read_object(wire.link(), 0x100A, 0).data), QStringLiteral("SIM-FW 1.0.2"));

        // Download longer than 4 bytes (whole segments only, too), back by upload; then short
        // (expedited) and empty.
        for (const QByteArray &label : {QByteArray("Left elbow, joint 2 of 6"), QByteArray("seven 7"),
                                        QByteArray("fourteen bytes"), QByteArray("j1"), QByteArray()}) {
            wire.requests = 0;
            o = write_object(wire.link(), 0x2110, 0, label);
            QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
            QCOMPARE(read_object(wire.link(), 0x2110, 0).data, label);
        }
        // Longer than the object: refused by the server at the initiate step, and nothing changed.
        o = write_object(wire.link(), 0x2110, 0, QByteArray(33, 'x'));
        QVERIFY(!o.ok && o.server_aborted);
        QCOMPARE(o.abort, abort_code::length_too_high);
        QCOMPARE(read_object(wire.link(), 0x2110, 0).data, QByteArray());
        // Strings of the identity are read-only, also by a segmented download.
        o = write_object(wire.link(), 0x1008, 0, QByteArray("renamed joint"));
        QCOMPARE(o.abort, abort_code::read_only);
        // The expedited objects of the drive still answer as before.
        o = read_object(wire.link(), 0x1000, 0);
        QCOMPARE(o.data, QByteArray::fromHex("92010200"));
    }

    // Block transfers of 64 KiB both ways against the simulated joint, with the faults a bus
    // brings: a lost segment is sent again, a changed one fails the CRC on whichever end checks.
    void block_transfers_against_the_simulated_joint()
    {
        sim_wire wire;
        const QByteArray recorder = read_object(wire.link(), 0x2120, 0).data;
        QCOMPARE(recorder.size(), 65536);
        wire.requests = 0;
        sdo_outcome o = run_sdo(wire.link(), sdo_transfer::block_upload(0x2120, 0));
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        QCOMPARE(o.data, recorder);
        // 9363 segments in blocks of 127: the initiate, 74 blocks, the end's wait.
        QCOMPARE(wire.requests, 76);

        QByteArray image(65536, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
        wire.requests = 0;
        sdo_transfer down = sdo_transfer::large_download(0x2111, 0, image);
        QVERIFY(down.block());
        o = run_sdo(wire.link(), down);
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        QVERIFY(wire.requests < 80);
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x2111, 0)).data, image);

        // The fifth segment of the first block lost once, each way.
        int segment = 0;
        bool dropped = false;
        const auto drop_fifth = [&](bool from_client) {
            return [&, from_client](vci::can_message &m, bool to_server) {
                if (to_server != from_client || (m.id & 0x780) != (to_server ? 0x600u : 0x580u))
                    return true;
                if (!dropped && ++segment == (from_client ? 6 : 7))  // after the initiate (and A3)
                    return !(dropped = true);
                return true;
            };
        };
        wire.tamper = drop_fifth(false);
        o = run_sdo(wire.link(), sdo_transfer::block_upload(0x2120, 0));
        QVERIFY(dropped);
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        QCOMPARE(o.data, recorder);
        segment = 0;
        dropped = false;
        wire.tamper = drop_fifth(true);
        o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, recorder));
        QVERIFY(dropped);
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        wire.tamper = nullptr;
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x2111, 0)).data, recorder);

        // A byte changed on the way: the client refuses the upload, the joint the download and
        // keeps what it held.
        const auto change_a_segment = [&](bool from_client) {
            segment = 0;
            return [&, from_client](vci::can_message &m, bool to_server) {
                if (to_server == from_client && ++segment == 40)
                    m.data[3] ^= 0x01;
                return true;
            };
        };
        wire.tamper = change_a_segment(false);
        o = run_sdo(wire.link(), sdo_transfer::block_upload(0x2120, 0));
        QVERIFY(!o.ok && !o.server_aborted);
        QCOMPARE(o.abort, abort_code::crc_error);
        wire.tamper = change_a_segment(true);
        o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, image));
        QVERIFY(!o.ok && o.server_aborted);
        QCOMPARE(o.abort, abort_code::crc_error);
        wire.tamper = nullptr;
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x2111, 0)).data, recorder);

        // Small objects come back the ordinary way (the protocol switch), and a joint without
        // block transfers gets the same objects segmented.
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x1000, 0)).data, QByteArray::fromHex("92010200"));
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x1008, 0)).data, QByteArray("Velmora simulated joint"));
        wire.joint.canopen()->sdo().set_block_size(0);
        o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, image.left(1000)));
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        o = run_sdo(wire.link(), sdo_transfer::block_upload(0x2111, 0));
        QVERIFY(o.ok);
        QCOMPARE(o.data, image.left(1000));
        // Blocks of 5: every block is confirmed.
        wire.joint.canopen()->sdo().set_block_size(5);
        o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, image.left(999)));
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x2111, 0, 3)).data, image.left(999));
    }

    // The joint's bootloader: a program goes only into a stopped joint, takes its time to flash,
    // is identified by its CRC-32 and boots with its own version; a broken transfer keeps the old.
    void program_download_into_the_simulated_joint()
    {
        sim::clock::set_manual(true);
        sim_wire wire;
        const auto u32 = [&wire](uint16_t index) {
            const QByteArray b = read_object(wire.link(), index, 1).data;
            return b.size() == 4 ? uint32_t(uint8_t(b[0])) | uint32_t(uint8_t(b[1])) << 8 | uint32_t(uint8_t(b[2])) << 16 |
                                       uint32_t(uint8_t(b[3])) << 24
                                 : 0xFFFFFFFFu;
        };
        QByteArray image(100000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 7 + (i >> 9));
        image.replace(500, 21, "VERSION=SIM-FW 2.0.0\n");
        const uint32_t crc = checksums::crc32(image.constData(), static_cast<size_t>(image.size()));
        const uint32_t factory = u32(0x1F56);
        QVERIFY(factory != 0);

        // Running: nothing goes in, and a clear is refused too.
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_download(0x1F50, 1, image)).abort, abort_code::device_state);
        QCOMPARE(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\3')).abort, abort_code::device_state);
        QVERIFY(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\0')).ok);
        QCOMPARE(read_object(wire.link(), 0x1F51, 1).data, QByteArray(1, '\0'));
        QVERIFY(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\3')).ok);
        QCOMPARE(u32(0x1F56), 0u);
        QCOMPARE(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\1')).abort, abort_code::device_state);

        // A block end with a wrong CRC: refused, nothing flashed.
        int segment = 0;
        wire.tamper = [&segment](vci::can_message &m, bool to_server) {
            if (to_server && ++segment == 30)
                m.data[5] ^= 0x80;
            return true;
        };
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_download(0x1F50, 1, image)).abort, abort_code::crc_error);
        wire.tamper = nullptr;
        QCOMPARE(u32(0x1F57), 0u);

        sdo_outcome o = run_sdo(wire.link(), sdo_transfer::large_download(0x1F50, 1, image));
        QVERIFY2(o.ok, qPrintable(abort_text(o.abort)));
        QCOMPARE(u32(0x1F57), 1u);  // busy
        QCOMPARE(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\1')).abort, abort_code::device_state);
        sim::clock::advance_us(250000);  // 100000 bytes at 512 KiB/s
        QCOMPARE(u32(0x1F57), 0u);
        QCOMPARE(u32(0x1F56), crc);

        wire.heard.clear();
        QVERIFY(write_object(wire.link(), 0x1F51, 1, QByteArray(1, '\1')).ok);
        QCOMPARE(wire.heard.size(), size_t(1));
        QCOMPARE(wire.heard[0].id, 0x701u);
        QCOMPARE(read_object(wire.link(), 0x100A, 0).data, QByteArray("SIM-FW 2.0.0"));
        QCOMPARE(read_object(wire.link(), 0x1F51, 1).data, QByteArray(1, '\1'));
        // Flash outlives a reset.
        wire.reset_node();
        QCOMPARE(u32(0x1F56), crc);
        QCOMPARE(read_object(wire.link(), 0x100A, 0).data, QByteArray("SIM-FW 2.0.0"));
        sim::clock::set_manual(false);
    }

    // Two joints updated in one job, from the file and its sidecar; an image for another product
    // goes nowhere unless forced, and the report says what each node runs before and after.
    void firmware_update_of_two_joints()
    {
        sim::clock::set_manual(true);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("joint.bin"));
        QByteArray bytes(40000, 'x');
        bytes.replace(100, 19, "VERSION=SIM-FW 3.1\n");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        firmware_image image;
        QString error;
        QVERIFY(load_firmware_image(path, &image, &error));
        QVERIFY(!image.product_known);
        QFile side(path + QStringLiteral(".json"));
        QVERIFY(side.open(QIODevice::WriteOnly));
        side.write("{\"product\": \"0x00000402\", \"version\": \"SIM-FW 3.1\"}");
        side.close();
        QVERIFY2(load_firmware_image(path, &image, &error), qPrintable(error));
        QCOMPARE(image.product, 0x402u);
        QCOMPARE(image.crc, checksums::crc32(bytes.constData(), size_t(bytes.size())));
        QVERIFY(!parse_firmware_sidecar("{\"product\": \"0x1FFFFFFFF\"}", &image, &error));
        QVERIFY(!parse_firmware_sidecar("[1]", &image, &error));

        sim_wire one(1), two(2);
        const auto wire = [&] {
            dcf_wire w;
            w.link = [&](int n) { return (n == 1 ? one : two).link(); };
            w.pre_operational = [](int) {};
            w.watch = std::make_shared<reboot_watch>([&] {
                std::vector<error_control_frame> heard;
                for (sim_wire *s : {&one, &two}) {
                    for (const vci::can_message &m : s->heard)
                        if ((m.id & 0x780) == 0x700 && m.len == 1)
                            heard.push_back({int(m.id - 0x700), m.data[0]});
                    s->heard.clear();
                }
                return heard;
            });
            return w;
        };
        // The job paces its flash polls by the wall clock; the joints' clock runs meanwhile.
        const auto run = [](firmware_job &job) {
            QElapsedTimer t;
            t.start();
            while (job.step() && t.elapsed() < 30000)
                sim::clock::advance_us(20);
        };
        firmware_job job(image, {1, 2}, wire(), false);
        run(job);
        QCOMPARE(job.updated(), 2);
        for (const firmware_report &r : job.reports()) {
            QCOMPARE(r.before_version, QStringLiteral("SIM-FW 1.0.2"));
            QCOMPARE(r.after_version, QStringLiteral("SIM-FW 3.1"));
            QCOMPARE(r.after_id, hex::prefixed(image.crc, 8));
            QVERIFY(r.before_id != r.after_id);
        }
        QCOMPARE(read_object(two.link(), 0x1F51, 1).data, QByteArray(1, '\1'));
        const QString csv = firmware_report_csv(image, job.reports());
        QCOMPARE(csv.count(QLatin1Char('\n')), 4);
        QVERIFY(csv.contains(QStringLiteral("已更新/updated")));

        // For another product: refused before anything is sent to the program objects.
        image.product = 0x999;
        firmware_job other(image, {1, 2}, wire(), false);
        run(other);
        QCOMPARE(other.updated(), 0);
        QCOMPARE(other.reports()[1].outcome, firmware_report::result::refused);
        QCOMPARE(read_object(one.link(), 0x1F51, 1).data, QByteArray(1, '\1'));
        // Forced, it goes; a cancel mid-download says the node was left without a program.
        firmware_job forced(image, {1}, wire(), true);
        for (int i = 0; i < 12; ++i)
            QVERIFY(forced.step());
        forced.cancel();
        QCOMPARE(forced.reports()[0].outcome, firmware_report::result::cancelled);
        QVERIFY2(forced.reports()[0].note.contains(QLatin1String("without a program")), qPrintable(forced.reports()[0].note));
        QCOMPARE(read_object(one.link(), 0x1F56, 1).data, QByteArray(4, '\0'));
        sim::clock::set_manual(false);
    }

    // What a faulty server does in a block transfer, frame by frame.
    void faults_of_block_transfers()
    {
        // A block size outside 1..127 in the server's answer.
        scripted_wire wire;
        wire.replies = {frame_of("A411210000000000")};
        sdo_outcome o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, QByteArray(100, 'x')));
        QCOMPARE(o.abort, abort_code::invalid_block_size);
        QCOMPARE(wire.aborts, QList<QByteArray>{QByteArray::fromHex("8011210002000405")});
        // A segment numbered 0 in an upload's block.
        wire = scripted_wire();
        wire.replies = {frame_of("C620210064000000"), frame_of("0141424344454647"), frame_of("0048494a4b4c4d4e")};
        o = run_sdo(wire.link(), sdo_transfer::block_upload(0x2120, 0));
        QCOMPARE(o.abort, abort_code::invalid_sequence);
        // Confirms nothing, block after block: the download gives up instead of sending forever.
        wire = scripted_wire();
        wire.replies = {frame_of("A411210004000000"), frame_of("A200040000000000"), frame_of("A200040000000000"),
                        frame_of("A200040000000000"), frame_of("A200040000000000"), frame_of("A200040000000000")};
        o = run_sdo(wire.link(), sdo_transfer::block_download(0x2111, 0, QByteArray(100, 'x')));
        QCOMPARE(o.abort, abort_code::invalid_sequence);
        QVERIFY(wire.requests.size() <= 5);
        // An announced size the client does not take (over 1 MiB).
        wire = scripted_wire();
        wire.replies = {frame_of("C620210001001000")};
        QCOMPARE(run_sdo(wire.link(), sdo_transfer::block_upload(0x2120, 0)).abort, abort_code::out_of_memory);
    }

    void manufacturer_limits_and_stored_parameters()
    {
        sim_wire wire;
        QCOMPARE(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("0000")).abort, abort_code::value_too_low);
        QCOMPARE(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("1127")).abort, abort_code::value_too_high);  // 10001
        QCOMPARE(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("d2")).abort, abort_code::length_mismatch);
        // The lower position limit may not pass the upper one (1000000).
        QCOMPARE(write_object(wire.link(), 0x2103, 1, QByteArray::fromHex("40420f01")).abort, 0x06090036u);

        QVERIFY(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("d204")).ok);  // 1234
        QVERIFY(write_object(wire.link(), 0x2110, 0, QByteArray("stored label")).ok);
        // Not saved: a reset node brings the defaults back.
        wire.reset_node();
        QCOMPARE(read_object(wire.link(), 0x2100, 0).data, QByteArray::fromHex("6400"));

        QVERIFY(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("d204")).ok);
        QVERIFY(write_object(wire.link(), 0x2110, 0, QByteArray("stored label")).ok);
        QCOMPARE(wire.write_u32(0x1010, 1, 0x12345678), abort_code::cannot_store);  // no signature
        QCOMPARE(wire.write_u32(0x1010, 1, 0x65766173), 0u);                         // "save"
        QVERIFY(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("0900")).ok);
        wire.reset_node();
        QCOMPARE(read_object(wire.link(), 0x2100, 0).data, QByteArray::fromHex("d204"));
        QCOMPARE(read_object(wire.link(), 0x2110, 0).data, QByteArray("stored label"));

        // "load" restores the defaults at the next reset.
        QCOMPARE(wire.write_u32(0x1011, 1, 0x64616F6C), 0u);
        QCOMPARE(read_object(wire.link(), 0x2100, 0).data, QByteArray::fromHex("d204"));
        wire.reset_node();
        QCOMPARE(read_object(wire.link(), 0x2100, 0).data, QByteArray::fromHex("6400"));
        QCOMPARE(read_object(wire.link(), 0x1010, 1).data, QByteArray::fromHex("01000000"));
    }

    void faults_of_a_segmented_upload()
    {
        // An abort after the first segment ends the transfer with the server's code.
        scripted_wire wire;
        wire.replies = {frame_of("4108100010000000"), frame_of("0041424344454647"),
                        frame_of("8008100000000008")};
        sdo_outcome o = read_object(wire.link(), 0x1008, 0);
        QVERIFY(!o.ok && o.server_aborted);
        QCOMPARE(o.abort, abort_code::general_error);
        QCOMPARE(wire.requests, (QList<QByteArray>{QByteArray::fromHex("4008100000000000"),
                                                   QByteArray::fromHex("6000000000000000"),
                                                   QByteArray::fromHex("7000000000000000")}));
        QVERIFY(wire.aborts.isEmpty());

        // A second segment with the toggle bit of the first: the client aborts with 05030000.
        wire = scripted_wire();
        wire.replies = {frame_of("4108100010000000"), frame_of("0041424344454647"), frame_of("0048494a4b4c4d4e")};
        o = read_object(wire.link(), 0x1008, 0);
        QVERIFY(!o.ok && !o.server_aborted);
        QCOMPARE(o.abort, abort_code::toggle_bit);
        QCOMPARE(wire.aborts, QList<QByteArray>{QByteArray::fromHex("8008100000000305")});

        // More data than announced, and an announced size beyond what the client takes.
        wire = scripted_wire();
        wire.replies = {frame_of("4108100005000000"), frame_of("0041424344454647")};
        QCOMPARE(read_object(wire.link(), 0x1008, 0).abort, abort_code::length_too_high);
        wire = scripted_wire();
        wire.replies = {frame_of("4108100001000100")};
        QCOMPARE(read_object(wire.link(), 0x1008, 0).abort, abort_code::out_of_memory);

        // A server that answers every segment with an empty one that is not the last would never
        // end: the first such segment is refused, and the server told.
        int asked = 0;
        const sdo_link endless{[&asked](const sdo_frame &request, const std::function<bool(const sdo_frame &)> &is_reply,
                                        sdo_frame *reply) {
                                   ++asked;
                                   // Segmented without a size; then segments of no byte, not the last, toggled.
                                   *reply = frame_of(request.data[0] == 0x40 ? "4008100000000000" : "0e");
                                   if (request.data[0] != 0x40)
                                       reply->data[0] |= request.data[0] & sdo_toggle_bit;
                                   return is_reply(*reply);
                               },
                               [&wire](const sdo_frame &f) { wire.aborts << bytes_of(f); }};
        wire = scripted_wire();
        o = read_object(endless, 0x1008, 0);
        QCOMPARE(o.abort, abort_code::unknown_command);
        QCOMPARE(asked, 2);
        QCOMPARE(wire.aborts, QList<QByteArray>{QByteArray::fromHex("8008100001000405")});

        // Silence: the client gives up with the timeout code and tells the server.
        wire = scripted_wire();
        o = read_object(wire.link(), 0x1008, 0);
        QCOMPARE(o.abort, abort_code::timeout);
        QCOMPARE(wire.aborts, QList<QByteArray>{QByteArray::fromHex("8008100000000405")});

        // An answer about another object is not the reply; an abort about this one is.
        wire = scripted_wire();
        wire.replies = {frame_of("4300100092010200"), frame_of("8018100000000206")};
        o = read_object(wire.link(), 0x1018, 0);
        QCOMPARE(o.abort, abort_code::no_object);
        QVERIFY(o.server_aborted);
    }

    void a_transfer_goes_one_step_at_a_time()
    {
        // Driven by hand, as an event loop would: one answer a turn, with its progress.
        sdo_transfer t = sdo_transfer::upload(0x1008, 0);
        const sdo_frame initiate = frame_of("4108100010000000");
        QVERIFY(t.accepts(initiate));
        t.take(initiate);
        QCOMPARE(t.bytes_total(), 16);
        QCOMPARE(bytes_of(t.request()), QByteArray::fromHex("6000000000000000"));
        // A late copy of the initiate answer, or another object's abort, is not the segment's.
        QVERIFY(!t.accepts(initiate));
        QVERIFY(!t.accepts(frame_of("8018100000000206")));
        t.take(frame_of("0041424344454647"));
        QCOMPARE(t.bytes_done(), 7);
        // Cancelled: the transfer ends with the abort the server is owed.
        t.cancel();
        QVERIFY(t.done() && t.owes_abort() && !t.outcome().ok);
        QCOMPARE(bytes_of(t.abort_request()), QByteArray::fromHex("8008100000000008"));
    }

    void faults_of_a_segmented_download()
    {
        // The second segment answered with the first one's toggle bit.
        scripted_wire wire;
        wire.replies = {frame_of("6010210000000000"), frame_of("2000000000000000"), frame_of("2000000000000000")};
        sdo_outcome o = write_object(wire.link(), 0x2110, 0, QByteArray("fourteen bytes"));
        QCOMPARE(o.abort, abort_code::toggle_bit);
        QCOMPARE(wire.requests, (QList<QByteArray>{QByteArray::fromHex("211021000e000000"),
                                                   QByteArray("\x00" "fourtee", 8), QByteArray("\x11" "n bytes", 8)}));
        QCOMPARE(wire.aborts.size(), 1);

        // An abort in the middle stops the transfer at once.
        wire = scripted_wire();
        wire.replies = {frame_of("6010210000000000"), frame_of("2000000000000000"), frame_of("8010210000000206")};
        wire.replies.push_back(frame_of("3000000000000000"));
        o = write_object(wire.link(), 0x2110, 0, QByteArray("twenty-one characters"));
        QVERIFY(o.server_aborted);
        QCOMPARE(o.abort, abort_code::no_object);
        QCOMPARE(wire.requests.size(), 3);

        // Expedited: the size rides in the command byte.
        wire = scripted_wire();
        wire.replies = {frame_of("6000210000000000")};
        QVERIFY(write_object(wire.link(), 0x2100, 0, QByteArray::fromHex("d204")).ok);
        QCOMPARE(wire.requests.front(), QByteArray::fromHex("2b002100d2040000"));
    }

    void read_all_goes_step_by_step_and_stops_when_asked_or_when_the_node_falls_silent()
    {
        sim_wire wire;
        eds_document d = standard_objects();
        read_all_summary s;
        const auto run = [&d, &s](const sdo_link &link, int steps) {
            std::unique_ptr<sdo_job> job = read_all_job(d, link, 1, [&s](const read_all_summary &r) { s = r; });
            bool more = true;
            for (int i = 0; more && i < steps; ++i)
                more = job->step();
            if (more)
                job->cancel();
            job->ended(more);
        };
        // Four steps read four objects; the fifth, a segmented string, stops half way.
        run(wire.link(), 5);
        QVERIFY(s.cancelled);
        QCOMPARE(s.read, 4);
        QCOMPARE(find_entry(d, 0x1000, 0)->parameter_value, QStringLiteral("0x00020192"));
        QVERIFY(find_entry(d, 0x1008, 0)->parameter_value.isEmpty());

        run(wire.link(), 100000);
        QVERIFY(!s.cancelled && !s.no_answer);
        QCOMPARE(s.refused, 0);
        QCOMPARE(find_entry(d, 0x1014, 0)->parameter_value, QStringLiteral("0x00000081"));
        QVERIFY(!find_entry(d, 0x1014, 0)->differs);

        // Silence after the first object: one timeout ends the run instead of one per object.
        scripted_wire silent;
        silent.replies = {frame_of("4300100092010200")};
        run(silent.link(), 100000);
        QVERIFY(s.no_answer);
        QCOMPARE(s.read, 1);
        QCOMPARE(silent.requests.size(), 2);
    }
};

QTEST_GUILESS_MAIN(test_sdo_client)
#include "test_sdo_client.moc"
