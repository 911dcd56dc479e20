// The simulated CANopen joint checked against frames written out by hand from CiA 301/402
// (not with the program's own frame builders), so that a misunderstanding shared by the
// program and the simulator cannot pass both.
#include "canopen/cia402.h"
#include "objects/eds.h"
#include "canopen/value_codec.h"
#include "sim/sim_clock.h"
#include "sim/sim_joint.h"
#include "sim/simulator.h"

#include <QtTest>
#include <cmath>

namespace {

using frames = std::vector<vci::can_message>;

vci::can_message msg(uint32_t id, std::initializer_list<uint8_t> bytes, bool remote = false)
{
    vci::can_message m;
    m.id = id;
    m.remote = remote;
    int i = 0;
    for (uint8_t b : bytes)
        m.data[i++] = b;
    m.len = static_cast<uint8_t>(bytes.size());
    return m;
}

QByteArray payload(const vci::can_message &m) { return QByteArray(reinterpret_cast<const char *>(m.data), m.len); }

// CiA 301 expedited download: ccs 1, n = 4 - size in bits 2-3, e = 1, s = 1.
vci::can_message sdo_write(uint16_t index, uint8_t sub, uint32_t value, int size = 4)
{
    vci::can_message m;
    m.id = 0x601;
    m.len = 8;
    m.data[0] = static_cast<uint8_t>(0x20 | ((4 - size) << 2) | 0x03);
    m.data[1] = static_cast<uint8_t>(index);
    m.data[2] = static_cast<uint8_t>(index >> 8);
    m.data[3] = sub;
    for (int i = 0; i < size; ++i)
        m.data[4 + i] = static_cast<uint8_t>(value >> (8 * i));
    return m;
}

vci::can_message sdo_read(uint16_t index, uint8_t sub)
{
    return msg(0x601, {0x40, uint8_t(index), uint8_t(index >> 8), sub, 0, 0, 0, 0});
}

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

class bench {
public:
    // other_make: a standard drive of another make, as node:canopen lists it.
    explicit bench(bool other_make = false) : joint(1, 10231, 0x00010001u, !other_make) {}
    sim::joint joint;

    frames send(const vci::can_message &m)
    {
        frames out;
        joint.handle(m, out);
        return out;
    }
    // The single answer on identifier id (fails the test otherwise).
    vci::can_message only(const frames &out, uint32_t id)
    {
        vci::can_message found;
        int count = 0;
        for (const auto &m : out)
            if (m.id == id) {
                found = m;
                ++count;
            }
        if (count != 1)
            qWarning("expected one frame on %X, got %d of %d", id, count, int(out.size()));
        return found;
    }
    // Value of an upload; -1 with abort set when the server aborted.
    uint32_t read(uint16_t index, uint8_t sub = 0, uint32_t *abort = nullptr)
    {
        const vci::can_message r = only(send(sdo_read(index, sub)), 0x581);
        if (abort)
            *abort = r.data[0] == 0x80 ? le32(r.data + 4) : 0;
        return le32(r.data + 4);
    }
    // 0 when confirmed with 0x60, otherwise the abort code.
    uint32_t write(uint16_t index, uint8_t sub, uint32_t value, int size = 4)
    {
        const vci::can_message r = only(send(sdo_write(index, sub, value, size)), 0x581);
        if (r.data[0] == 0x60 && r.data[1] == uint8_t(index) && r.data[2] == uint8_t(index >> 8) && r.data[3] == sub)
            return 0;
        return r.data[0] == 0x80 ? le32(r.data + 4) : 0xFFFFFFFFu;
    }
    void nmt(uint8_t command, uint8_t node = 1) { send(msg(0x000, {command, node})); }
    uint8_t guard()
    {
        const frames out = send(msg(0x701, {}, true));
        return out.size() == 1 && out[0].len == 1 ? out[0].data[0] : 0xEE;
    }
    frames sync() { return send(msg(0x080, {})); }

    // TPDO and RPDO 1 the CiA 301 way: invalidate, clear, entries, count, validate.
    void map_pdos(std::initializer_list<uint32_t> tx, std::initializer_list<uint32_t> rx)
    {
        QCOMPARE(write(0x1800, 1, 0x80000181), 0u);
        QCOMPARE(write(0x1800, 2, 1, 1), 0u);
        QCOMPARE(write(0x1A00, 0, 0, 1), 0u);
        uint8_t sub = 1;
        for (uint32_t e : tx)
            QCOMPARE(write(0x1A00, sub++, e), 0u);
        QCOMPARE(write(0x1A00, 0, uint32_t(tx.size()), 1), 0u);
        QCOMPARE(write(0x1800, 1, 0x181), 0u);
        QCOMPARE(write(0x1400, 1, 0x80000201), 0u);
        QCOMPARE(write(0x1400, 2, 1, 1), 0u);
        QCOMPARE(write(0x1600, 0, 0, 1), 0u);
        sub = 1;
        for (uint32_t e : rx)
            QCOMPARE(write(0x1600, sub++, e), 0u);
        QCOMPARE(write(0x1600, 0, uint32_t(rx.size()), 1), 0u);
        QCOMPARE(write(0x1400, 1, 0x201), 0u);
    }
    // RPDO with control word and a 32-bit set-point.
    void rpdo(uint16_t cw, int32_t sp = 0)
    {
        const uint32_t v = static_cast<uint32_t>(sp);
        const frames out = send(msg(0x201, {uint8_t(cw), uint8_t(cw >> 8), uint8_t(v), uint8_t(v >> 8),
                                            uint8_t(v >> 16), uint8_t(v >> 24)}));
        QVERIFY(out.empty());  // an RPDO is never answered
    }
    uint16_t status() { return static_cast<uint16_t>(read(0x6041)); }
    // The four control words of an enable, each applied at a SYNC of its own.
    frames walk_to_enabled(int32_t sp = 0)
    {
        for (uint16_t cw : {0x80, 0x06, 0x07})
            rpdo(cw), sync();
        rpdo(0x0F, sp);
        return sync();
    }
    // Mode, mapping, operational, and enabled.
    void enable_in_mode(uint8_t mode, std::initializer_list<uint32_t> tx, std::initializer_list<uint32_t> rx,
                        int32_t sp = 0)
    {
        QCOMPARE(write(0x6060, 0, mode, 1), 0u);
        map_pdos(tx, rx);
        nmt(0x01);
        walk_to_enabled(sp);
        QCOMPARE(status() & 0x6F, 0x27);
    }
    void advance_s(double s)
    {
        sim::clock::advance_us(static_cast<int64_t>(s * 1e6));
        send(msg(0x123, {}));  // any frame brings the joint up to the clock
    }
    // Frames on id that fall due over ms milliseconds of the clock, looked at every millisecond.
    int count_over_ms(uint32_t id, int ms)
    {
        int count = 0;
        for (int i = 0; i < ms; ++i) {
            sim::clock::advance_us(1000);
            frames out;
            joint.tick(sim::clock::now_us(), out);
            count += int(std::count_if(out.begin(), out.end(), [id](const vci::can_message &m) { return m.id == id; }));
        }
        return count;
    }
    // Any value, expedited or segmented; empty with abort set when the server aborted.
    QByteArray upload(uint16_t index, uint8_t sub, uint32_t *abort)
    {
        vci::can_message r = only(send(sdo_read(index, sub)), 0x581);
        *abort = r.data[0] == 0x80 ? le32(r.data + 4) : 0;
        if ((r.data[0] & 0xE3) == 0x43)
            return payload(r).mid(4, 4 - ((r.data[0] >> 2) & 3));
        QByteArray value;
        for (uint8_t toggle = 0; (r.data[0] == 0x41 || (r.data[0] & 0xE1) == 0) && value.size() < 1000; toggle ^= 0x10) {
            r = only(send(msg(0x601, {uint8_t(0x60 | toggle), 0, 0, 0, 0, 0, 0, 0})), 0x581);
            value += payload(r).mid(1, 7 - ((r.data[0] >> 1) & 7));
        }
        return value;
    }
};

// A fast scan (CiA 305) as an LSS master runs it: the identity of one joint without node-ID,
// which is left in configuration; false when none answers.
bool fast_scan(sim::simulator &bus, uint32_t identity[4])
{
    const auto ask = [&bus](uint32_t id, uint8_t bit, uint8_t sub, uint8_t next) {
        const frames out = bus.process(msg(0x7E5, {0x51, uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16),
                                                   uint8_t(id >> 24), bit, sub, next}));
        return std::any_of(out.begin(), out.end(), [](const vci::can_message &m) {
            return m.id == 0x7E4 && m.len == 8 && payload(m) == QByteArray::fromHex("4F00000000000000");
        });
    };
    if (!ask(0, 0x80, 0, 0))
        return false;
    for (uint8_t sub = 0; sub < 4; ++sub) {
        uint32_t value = 0;
        for (int bit = 31; bit >= 0; --bit)
            if (!ask(value, uint8_t(bit), sub, sub))
                value |= 1u << bit;  // nobody has a 0 there
        if (!ask(value, 0, sub, sub == 3 ? 0 : sub + 1))
            return false;
        identity[sub] = value;
    }
    return true;
}

}  // namespace

class test_sim_canopen_node : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { sim::clock::set_manual(true); }

    void nmt_states_boot_up_and_guarding()
    {
        bench b;
        frames out;
        b.joint.power_on(out);
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].id, 0x701u);
        QCOMPARE(payload(out[0]), QByteArray::fromHex("00"));

        // Pre-operational, toggle bit alternating from 0.
        QCOMPARE(b.guard(), uint8_t(0x7F));
        QCOMPARE(b.guard(), uint8_t(0xFF));
        QCOMPARE(b.guard(), uint8_t(0x7F));
        b.nmt(0x01);
        QCOMPARE(b.guard(), uint8_t(0x85));
        b.nmt(0x02, 2);  // another node's stop
        QCOMPARE(b.guard(), uint8_t(0x05));
        b.nmt(0x02, 0);  // all nodes
        QCOMPARE(b.guard(), uint8_t(0x84));

        // Stopped: only guarding is answered.
        QVERIFY(b.send(sdo_read(0x1000, 0)).empty());
        QVERIFY(b.sync().empty());
        QVERIFY(b.send(sdo_write(0x1006, 0, 1000)).empty());

        // Reset communication answers with the boot-up and restores the communication
        // objects, but not the drive's.
        b.nmt(0x80);
        QCOMPARE(b.guard(), uint8_t(0x7F));
        QCOMPARE(b.write(0x1006, 0, 1000), 0u);
        QCOMPARE(b.write(0x1800, 1, 0x80000181), 0u);
        QCOMPARE(b.write(0x6060, 0, 3, 1), 0u);
        b.guard();
        out = b.send(msg(0x000, {0x82, 0x01}));
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].id, 0x701u);
        QCOMPARE(payload(out[0]), QByteArray::fromHex("00"));
        QCOMPARE(b.guard(), uint8_t(0x7F));  // toggle starts over
        QCOMPARE(b.read(0x1006), 0u);
        QCOMPARE(b.read(0x1800, 1), 0x181u);
        QCOMPARE(b.read(0x6061), 3u);

        // Reset node restores the drive objects too.
        out = b.send(msg(0x000, {0x81, 0x01}));
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].id, 0x701u);
        QCOMPARE(b.read(0x6061), 0u);
    }

    void sdo_server_objects_and_aborts()
    {
        bench b;
        // Device type of a CiA 402 servo drive, with a 4-byte upload response.
        vci::can_message r = b.only(b.send(sdo_read(0x1000, 0)), 0x581);
        QCOMPARE(payload(r), QByteArray::fromHex("4300100092010200"));
        // 1- and 2-byte objects: command 0x4F / 0x4B, unused bytes 0.
        r = b.only(b.send(sdo_read(0x1018, 0)), 0x581);
        QCOMPARE(payload(r), QByteArray::fromHex("4F18100004000000"));
        r = b.only(b.send(sdo_read(0x6041, 0)), 0x581);
        QCOMPARE(r.data[0], uint8_t(0x4B));
        QCOMPARE(r.data[6], uint8_t(0));
        QCOMPARE(r.data[7], uint8_t(0));
        QCOMPARE(b.read(0x6502), 0x3EDu);  // pp, pv, tq, hm, ip, csp, csv, cst
        QCOMPARE(b.read(0x6075), 3000u);
        QCOMPARE(b.read(0x603F), 0u);
        for (uint8_t sub = 1; sub <= 4; ++sub) {
            uint32_t abort = 1;
            b.read(0x1018, sub, &abort);
            QCOMPARE(abort, 0u);
        }

        uint32_t abort = 0;
        b.read(0x2000, 0, &abort);
        QCOMPARE(abort, 0x06020000u);
        r = b.only(b.send(sdo_read(0x2000, 0)), 0x581);
        QCOMPARE(payload(r), QByteArray::fromHex("8000200000000206"));
        b.read(0x1018, 9, &abort);
        QCOMPARE(abort, 0x06090011u);
        b.read(0x1800, 4, &abort);
        QCOMPARE(abort, 0x06090011u);

        QCOMPARE(b.write(0x6041, 0, 0x0F, 2), 0x06010002u);
        QCOMPARE(b.write(0x1000, 0, 0), 0x06010002u);
        QCOMPARE(b.write(0x6060, 0, 2, 1), 0x06090030u);   // velocity mode is not offered
        QCOMPARE(b.write(0x6060, 0, 1, 4), 0x06070010u);   // 4 bytes into an 8-bit object
        QCOMPARE(b.write(0x6075, 0, 0), 0x06090032u);      // would divide the per-mille values by 0
        QCOMPARE(b.write(0x6083, 0, 0), 0x06090032u);
        QCOMPARE(b.write(0x1005, 0, 0x40000080), 0x06090030u);  // the node is no SYNC producer
        QCOMPARE(b.read(0x6075), 3000u);
        QCOMPARE(b.read(0x6061), 0u);

        // Size not indicated (0x22) takes the object's own size.
        r = b.only(b.send(msg(0x601, {0x22, 0x60, 0x60, 0x00, 0x08, 0, 0, 0})), 0x581);
        QCOMPARE(payload(r), QByteArray::fromHex("6060600000000000"));
        QCOMPARE(b.read(0x6061), 8u);
        QCOMPARE(b.write(0x6081, 0, 2500), 0u);
        QCOMPARE(b.read(0x6081), 2500u);
        QCOMPARE(b.write(0x6071, 0, 0xFFF6, 2), 0u);
        QCOMPARE(b.read(0x6071), 0xFFF6u);

        // Not a command of the expedited server; a client abort is not answered.
        r = b.only(b.send(msg(0x601, {0xE0, 0x00, 0x10, 0x00, 0, 0, 0, 0})), 0x581);
        QCOMPARE(le32(r.data + 4), 0x05040001u);
        QVERIFY(b.send(msg(0x601, {0x80, 0x00, 0x10, 0x00, 0, 0, 0, 0})).empty());
        // Requests for another node are not ours.
        QVERIFY(b.send(msg(0x602, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0})).empty());
    }

    void pdo_mapping_rules()
    {
        bench b;
        // Valid TPDO: neither count nor entries may change.
        QCOMPARE(b.write(0x1A00, 0, 0, 1), 0x06040043u);
        QCOMPARE(b.write(0x1A00, 1, 0x60640020), 0x06040043u);
        // Only bit 31 may change while valid.
        QCOMPARE(b.write(0x1800, 1, 0x182), 0x06090030u);
        QCOMPARE(b.write(0x1800, 3, 100, 2), 0x06090030u);  // inhibit time too
        QCOMPARE(b.write(0x1800, 2, 241, 1), 0x06090030u);  // reserved transmission type
        QCOMPARE(b.write(0x1800, 1, 0x80000181), 0u);
        QCOMPARE(b.write(0x1800, 3, 300, 2), 0u);
        // Invalid but count not 0: entries still locked.
        QCOMPARE(b.write(0x1A00, 1, 0x60640020), 0x06040043u);
        QCOMPARE(b.write(0x1A00, 0, 0, 1), 0u);
        QCOMPARE(b.write(0x1A00, 1, 0x10000020), 0x06040041u);  // device type is not mappable
        QCOMPARE(b.write(0x1A00, 1, 0x60640010), 0x06040041u);  // wrong length
        QCOMPARE(b.write(0x1A00, 1, 0x20000020), 0x06020000u);  // no such object
        QCOMPARE(b.write(0x1A00, 1, 0x60640020), 0u);
        QCOMPARE(b.write(0x1A00, 2, 0x606C0020), 0u);
        QCOMPARE(b.write(0x1A00, 3, 0x60640020), 0u);
        QCOMPARE(b.write(0x1A00, 0, 3, 1), 0x06040042u);  // 96 bits
        QCOMPARE(b.write(0x1A00, 0, 9, 1), 0x06090031u);
        QCOMPARE(b.write(0x1A00, 0, 2, 1), 0u);
        QCOMPARE(b.read(0x1A00, 0), 2u);
        QCOMPARE(b.read(0x1A00, 2), 0x606C0020u);
        // RPDO: only writable objects.
        QCOMPARE(b.write(0x1400, 1, 0x80000201), 0u);
        QCOMPARE(b.write(0x1600, 0, 0, 1), 0u);
        QCOMPARE(b.write(0x1600, 1, 0x60410010), 0x06040041u);
        QCOMPARE(b.write(0x1600, 1, 0x60C10110), 0u);
    }

    void tpdo_on_sync_for_each_page_mapping()
    {
        struct page {
            uint8_t mode;
            std::vector<uint32_t> tx;
            int len;
        };
        const page pages[] = {
            {1, {0x60410010, 0x60640020}, 6}, {3, {0x60410010, 0x606C0020}, 6},
            {4, {0x60410010, 0x60770010}, 4}, {8, {0x60410010, 0x60640020}, 6},
            {9, {0x60410010, 0x606C0020}, 6}, {10, {0x60410010, 0x60770010, 0x60780010}, 6},
            {7, {0x60410010, 0x60640020}, 6},
        };
        for (const page &p : pages) {
            bench b;
            b.joint.motor().set_position(-5);
            QCOMPARE(b.write(0x6060, 0, p.mode, 1), 0u);
            QCOMPARE(b.write(0x1800, 1, 0x80000181), 0u);
            QCOMPARE(b.write(0x1800, 2, 1, 1), 0u);
            QCOMPARE(b.write(0x1A00, 0, 0, 1), 0u);
            for (size_t i = 0; i < p.tx.size(); ++i)
                QCOMPARE(b.write(0x1A00, uint8_t(i + 1), p.tx[i]), 0u);
            QCOMPARE(b.write(0x1A00, 0, uint32_t(p.tx.size()), 1), 0u);
            QCOMPARE(b.write(0x1800, 1, 0x181), 0u);
            QVERIFY(b.sync().empty());  // pre-operational: no PDOs
            b.nmt(0x01);
            const frames out = b.sync();
            QCOMPARE(out.size(), size_t(1));
            QCOMPARE(out[0].id, 0x181u);
            QCOMPARE(int(out[0].len), p.len);
            QCOMPARE(out[0].data[0] & 0x4F, 0x40);  // switch on disabled
            if (p.tx[1] == 0x60640020)
                QCOMPARE(int32_t(le32(out[0].data + 2)), -5);
        }

        // Every n-th SYNC for transmission type n; none while the PDO is invalid.
        bench b;
        QCOMPARE(b.write(0x1800, 1, 0x80000181), 0u);
        QCOMPARE(b.write(0x1800, 2, 2, 1), 0u);
        b.nmt(0x01);
        QVERIFY(b.sync().empty());
        QCOMPARE(b.write(0x1800, 1, 0x181), 0u);
        QVERIFY(b.sync().empty());
        QCOMPARE(b.sync().size(), size_t(1));
        QVERIFY(b.sync().empty());
        QCOMPARE(b.sync().size(), size_t(1));
    }

    void only_the_latest_synchronous_rpdo_is_applied_at_a_sync()
    {
        bench b;
        b.map_pdos({0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
        QCOMPARE(b.write(0x6060, 0, 1, 1), 0u);
        b.nmt(0x01);
        b.rpdo(0x80);
        b.rpdo(0x06);
        b.rpdo(0x07);
        b.rpdo(0x0F);
        QCOMPARE(b.status() & 0x4F, 0x40);  // nothing applied before the SYNC
        // Only 0x0F reaches the drive, and it is no command in "switch on disabled".
        frames out = b.sync();
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].data[0] & 0x4F, 0x40);
        QVERIFY(!b.joint.motor().enabled());

        // One control word per SYNC walks the machine; 0x0F from "ready to switch on" is
        // transitions 3 and 4 at once.
        b.rpdo(0x06);
        QCOMPARE(b.sync()[0].data[0] & 0x6F, 0x21);
        b.rpdo(0x0F);
        out = b.sync();
        QCOMPARE(out[0].data[0] & 0x6F, 0x27);  // the TPDO already shows operation enabled
        QVERIFY(b.joint.motor().enabled());
        QCOMPARE(b.read(0x6040), 0x0Fu);

        // Event-driven RPDOs (type 255) act on receipt.
        QCOMPARE(b.write(0x1400, 1, 0x80000201), 0u);
        QCOMPARE(b.write(0x1400, 2, 255, 1), 0u);
        QCOMPARE(b.write(0x1400, 1, 0x201), 0u);
        b.rpdo(0x07);
        QCOMPARE(b.status() & 0x6F, 0x23);
        b.rpdo(0x0F);
        QCOMPARE(b.status() & 0x6F, 0x27);

        // Each transition through the control word object as well.
        QCOMPARE(b.write(0x6040, 0, 0x07, 2), 0u);
        QCOMPARE(b.status() & 0x6F, 0x23);
        QVERIFY(!b.joint.motor().enabled());
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);
        QCOMPARE(b.write(0x6040, 0, 0x02, 2), 0u);  // quick stop
        QCOMPARE(b.status() & 0x6F, 0x07);
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);
        QCOMPARE(b.status() & 0x6F, 0x27);
        QCOMPARE(b.write(0x6040, 0, 0x06, 2), 0u);
        QCOMPARE(b.status() & 0x6F, 0x21);
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);  // ready -> enabled in one go
        QCOMPARE(b.status() & 0x6F, 0x27);
        QCOMPARE(b.write(0x6040, 0, 0x01, 2), 0u);  // voltage off
        QCOMPARE(b.status() & 0x4F, 0x40);
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);  // not without shutdown first
        QCOMPARE(b.status() & 0x4F, 0x40);
    }

    void profile_position_moves()
    {
        bench b;
        QCOMPARE(b.write(0x6081, 0, 2000), 0u);
        QCOMPARE(b.write(0x6083, 0, 20000), 0u);
        QCOMPARE(b.write(0x6084, 0, 20000), 0u);
        b.enable_in_mode(1, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
        b.rpdo(0x1F, 1000);
        b.sync();
        QVERIFY(b.status() & 0x1000);  // set-point acknowledged
        QVERIFY(b.joint.motor().moving());
        b.advance_s(0.1);
        const int32_t midway = int32_t(b.read(0x6064));
        QVERIFY(midway > 0 && midway < 1000);
        QVERIFY(!(b.status() & 0x0400));
        b.advance_s(2);
        QCOMPARE(int32_t(b.read(0x6064)), 1000);
        QVERIFY(b.status() & 0x0400);  // target reached

        // The same control word again is no new set-point.
        b.rpdo(0x1F, 3000);
        b.sync();
        b.advance_s(2);
        QCOMPARE(int32_t(b.read(0x6064)), 1000);
        // Bit 4 low, then high with bit 6: relative to where it stands. Each needs its SYNC:
        // sent back to back, only the later one would count, and there would be no edge.
        b.rpdo(0x0F, -400);
        b.rpdo(0x5F, -400);
        b.sync();
        b.advance_s(2);
        QCOMPARE(int32_t(b.read(0x6064)), 1000);
        b.rpdo(0x0F, -400);
        b.sync();
        b.rpdo(0x5F, -400);
        b.sync();
        QVERIFY(b.status() & 0x1000);
        b.advance_s(2);
        QCOMPARE(int32_t(b.read(0x6064)), 600);
        QCOMPARE(int32_t(b.read(0x607A)), -400);

        // A profile speed of 0 is "stop now": down to standstill with the deceleration.
        b.rpdo(0x0F, 5000);
        b.sync();
        b.rpdo(0x1F, 5000);
        b.sync();
        b.advance_s(0.3);
        const int32_t at_stop = int32_t(b.read(0x6064));
        QCOMPARE(b.write(0x6081, 0, 0), 0u);
        QCOMPARE(b.read(0x6081), 0u);
        b.advance_s(0.05);
        QVERIFY(b.joint.motor().moving());  // decelerating, not a jump to rest
        b.advance_s(2);
        const int32_t stopped_at = int32_t(b.read(0x6064));
        // 2000 cnt/s at 20000 cnt/s² takes 100 cnt to stop.
        QVERIFY2(stopped_at > at_stop && stopped_at <= at_stop + 110, qPrintable(QString::number(stopped_at - at_stop)));
        QVERIFY(!b.joint.motor().moving());

        // Halt stops a move as well.
        QCOMPARE(b.write(0x6081, 0, 2000), 0u);
        b.rpdo(0x0F, 9000);
        b.sync();
        b.rpdo(0x1F, 9000);
        b.sync();
        b.advance_s(0.3);
        QCOMPARE(b.write(0x6040, 0, 0x011F, 2), 0u);
        b.advance_s(2);
        const int32_t halted_at = int32_t(b.read(0x6064));
        QVERIFY(halted_at > stopped_at && halted_at < 9000);
        QVERIFY(!b.joint.motor().moving());
    }

    void velocity_torque_and_cyclic_modes()
    {
        {
            bench b;
            b.enable_in_mode(3, {0x60410010, 0x606C0020}, {0x60400010, 0x60FF0020});
            b.rpdo(0x2F, 800);
            b.sync();
            b.advance_s(1);
            QCOMPARE(int32_t(b.read(0x606C)), 800);
            QCOMPARE(b.read(0x60FF), 800u);
        }
        {
            bench b;
            b.enable_in_mode(10, {0x60410010, 0x60770010, 0x60780010}, {0x60400010, 0x60710010});
            b.rpdo(0x2F, 100);  // 10 % of rated torque
            QCOMPARE(b.read(0x6078), 0u);  // cyclic: nothing before the SYNC
            const frames out = b.sync();
            QCOMPARE(out.size(), size_t(1));
            QCOMPARE(int16_t(out[0].data[2] | out[0].data[3] << 8), int16_t(100));
            QCOMPARE(int16_t(out[0].data[4] | out[0].data[5] << 8), int16_t(100));
            QCOMPARE(b.joint.motor().current_ma(), 300);
            QCOMPARE(b.write(0x6075, 0, 6000), 0u);
            QCOMPARE(b.read(0x6078), 50u);  // per mille of the rated current
        }
        {
            bench b;
            b.joint.motor().set_position(5000);
            b.enable_in_mode(8, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020}, 5000);
            b.rpdo(0x2F, 5600);
            QCOMPARE(int32_t(b.read(0x6064)), 5000);
            b.sync();
            QCOMPARE(int32_t(b.read(0x6064)), 5600);
            // A set-point beyond the following error window is a fault, reported by EMCY.
            QCOMPARE(b.write(0x6065, 0, 1000), 0u);
            b.rpdo(0x2F, 7000);
            const frames out = b.sync();
            QVERIFY(out.size() >= 1);
            QCOMPARE(out[0].id, 0x081u);
            QCOMPARE(payload(out[0]).left(3), QByteArray::fromHex("118611"));
            QCOMPARE(b.status() & 0x4F, 0x08);
            QCOMPARE(b.read(0x603F), 0x8611u);
            QVERIFY(!b.joint.motor().enabled());
            QCOMPARE(int32_t(b.read(0x6064)), 5600);
        }
        {
            bench b;
            b.enable_in_mode(7, {0x60410010, 0x60640020}, {0x60400010, 0x60C10110, 0x60C10210});
            // Position 0x00012345 as low word 0x2345, high word 0x0001.
            b.rpdo(0x1F, 0x00012345);
            QCOMPARE(b.read(0x60C1, 1), 0u);
            b.sync();
            QCOMPARE(b.read(0x60C1, 1), 0x2345u);
            QCOMPARE(b.read(0x60C1, 2), 0x0001u);
            QVERIFY(b.status() & 0x1000);
            b.advance_s(120);
            QCOMPARE(int32_t(b.read(0x6064)), 0x12345);
        }
    }

    void faults_are_reported_and_reset()
    {
        bench b;
        b.enable_in_mode(1, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
        b.joint.canopen()->inject_fault(0x2310);
        QVERIFY(!b.joint.motor().enabled());
        // The emergency goes out ahead of the next answer.
        frames out = b.send(sdo_read(0x603F, 0));
        QCOMPARE(out.size(), size_t(2));
        QCOMPARE(out[0].id, 0x081u);
        QCOMPARE(payload(out[0]), QByteArray::fromHex("1023030000000000"));
        QCOMPARE(le32(out[1].data + 4), 0x2310u);
        QCOMPARE(b.read(0x1001), 0x03u);
        QCOMPARE(b.status() & 0x4F, 0x08);
        b.rpdo(0x0F);
        b.sync();
        QCOMPARE(b.status() & 0x4F, 0x08);  // no way out but a fault reset

        // The enable sequence starts with the fault reset, so it recovers the drive.
        b.rpdo(0x80);
        out = b.sync();
        QCOMPARE(out.front().id, 0x081u);  // error reset emergency
        QCOMPARE(payload(out.front()).left(3), QByteArray::fromHex("000000"));
        b.rpdo(0x06), b.sync(), b.rpdo(0x07), b.sync(), b.rpdo(0x0F), b.sync();
        QCOMPARE(b.status() & 0x6F, 0x27);
        QCOMPARE(b.read(0x603F), 0u);

        // A fault of the motor raised through the other protocol shows up here too.
        b.joint.motor().inject_fault(0x0010);
        QCOMPARE(b.read(0x603F), 0xFF00u);
        QCOMPARE(b.status() & 0x4F, 0x08);

        // The error history keeps both, newest first, until 0 is written to its count.
        QCOMPARE(b.read(0x1003, 0), 2u);
        QCOMPARE(b.read(0x1003, 1), 0xFF00u);
        QCOMPARE(b.read(0x1003, 2), 0x2310u);
        QCOMPARE(b.read(0x1003, 3), 0u);
        QCOMPARE(b.write(0x1003, 0, 1, 1), 0x06090030u);
        QCOMPARE(b.write(0x1003, 1, 0), 0x06010002u);
        QCOMPARE(b.read(0x1003, 0), 2u);
        QCOMPARE(b.write(0x1003, 0, 0, 1), 0u);
        QCOMPARE(b.read(0x1003, 0), 0u);
        QCOMPARE(b.read(0x1003, 1), 0u);
        QCOMPARE(b.read(0x603F), 0xFF00u);  // the fault itself stays

        // A stopped node sends no emergency.
        b.nmt(0x02);
        b.joint.canopen()->inject_fault(0x4200);
        QVERIFY(b.sync().empty());

        // Through the simulator a fault's emergency goes out at once, without waiting for a
        // frame; the drive's own protocol reads the same code.
        sim::simulator bus({{1, 10231}, {3, 10230}});
        const frames now = bus.inject_fault(1, 0x3210);
        QCOMPARE(now.size(), size_t(1));
        QCOMPARE(now[0].id, 0x081u);
        QCOMPARE(payload(now[0]), QByteArray::fromHex("1032050000000000"));  // voltage + generic
        QCOMPARE(bus.find(1)->motor().error_code(), 0x3210);
        QCOMPARE(bus.find(1)->canopen()->power(), sim::canopen_node::power_state::fault);
        QVERIFY(bus.inject_fault(3, 0x4200).empty());  // EtherCAT firmware: no CANopen
        QCOMPARE(bus.find(3)->motor().error_code(), 0x4200);
        QVERIFY(bus.inject_fault(9, 0x4200).empty() && bus.inject_fault(1, 0).empty());
        QVERIFY(bus.process(sdo_read(0x1001, 0)).size() == 1);  // nothing left queued

        // Every code the joint raises of itself is one the program names.
        using node = sim::canopen_node;
        for (uint16_t code : {node::error_following, node::error_device, node::error_pdo_length, node::error_heartbeat})
            QVERIFY2(canopen::error_code_known(code), qPrintable(QString::number(code, 16)));
    }

    void event_driven_tpdos()
    {
        bench b;
        // TPDO 1 as delivered: the statusword when the node starts and on every change.
        frames out = b.send(msg(0x000, {0x01, 0x01}));
        QCOMPARE(payload(b.only(out, 0x181)), QByteArray::fromHex("4006"));
        out = b.send(sdo_write(0x6040, 0, 0x06, 2));
        QCOMPARE(out.size(), size_t(2));
        QCOMPARE(payload(out[1]), QByteArray::fromHex("3106"));  // ready to switch on
        QCOMPARE(b.count_over_ms(0x181, 1000), 0);
        // Event timer 10 ms, counted on the simulator's clock.
        QCOMPARE(b.write(0x1800, 5, 10, 2), 0u);
        QCOMPARE(b.count_over_ms(0x181, 1000), 100);
        // An inhibit time of 5 ms (written while the PDO is invalid) spaces a 1 ms timer out.
        QCOMPARE(b.write(0x1800, 1, 0x80000181), 0u);
        QCOMPARE(b.write(0x1800, 3, 50, 2), 0u);
        QCOMPARE(b.write(0x1800, 5, 1, 2), 0u);
        QCOMPARE(b.write(0x1800, 1, 0x181), 0u);
        QCOMPARE(b.count_over_ms(0x181, 1000), 200);

        // TPDO 2 starts invalid; mapped to the position it follows a move every millisecond,
        // and answers a remote request.
        QCOMPARE(b.read(0x1801, 1), 0x80000281u);
        QCOMPARE(b.write(0x1A01, 1, 0x60640020), 0u);
        QCOMPARE(b.write(0x1A01, 0, 1, 1), 0u);
        QCOMPARE(b.write(0x1801, 1, 0x281), 0u);
        QCOMPARE(b.write(0x6060, 0, 1, 1), 0u);
        QCOMPARE(b.write(0x6083, 0, 0x7FFFFFFF), 0u);
        QCOMPARE(b.write(0x6081, 0, 100000), 0u);
        QCOMPARE(b.write(0x607A, 0, 10000000), 0u);
        for (uint16_t cw : {0x06, 0x0F, 0x1F})
            QCOMPARE(b.write(0x6040, 0, cw, 2), 0u);
        QCOMPARE(b.count_over_ms(0x281, 100), 100);
        QCOMPARE(int(b.only(b.send(msg(0x281, {}, true)), 0x281).len), 4);

        // Type 254, the maker's event, is the event timer alone: a 1 ms timer on the moving
        // joint with a 0.5 ms inhibit time sends once a millisecond. Its deadlines keep to the
        // grid of the first however late the joint is looked at; a look periods late sends each
        // period it missed, with the values of its deadline.
        QCOMPARE(b.write(0x1801, 1, 0x80000281), 0u);
        QCOMPARE(b.write(0x1801, 2, 254, 1), 0u);
        QCOMPARE(b.write(0x1801, 3, 5, 2), 0u);
        QCOMPARE(b.write(0x1801, 5, 1, 2), 0u);
        QCOMPARE(b.write(0x1801, 1, 0x281), 0u);  // sends at once, then by the timer
        const int64_t first = sim::clock::now_us();
        QCOMPARE(b.count_over_ms(0x281, 100), 100);
        for (int64_t late : {300, 1700, 300, 300, 5000, 300}) {
            const int64_t now = sim::clock::now_us();
            const int64_t due = first + ((now - first) / 1000 + 1) * 1000;
            sim::clock::advance_us(due + late - now);
            frames out;
            b.joint.tick(sim::clock::now_us(), out);
            std::vector<int32_t> positions;
            for (const vci::can_message &m : out)
                if (m.id == 0x281)
                    positions.push_back(int32_t(le32(m.data)));
            QCOMPARE(int(positions.size()), int(late / 1000 + 1));
            // 100000 cnt/s: 100 cnt from deadline to deadline.
            for (size_t k = 1; k < positions.size(); ++k)
                QCOMPARE(positions[k] - positions[k - 1], 100);
            QCOMPARE(b.joint.canopen()->next_due_us(sim::clock::now_us()), due + (late / 1000 + 1) * 1000);
        }
        // SDO traffic is no event of type 254.
        for (int i = 0; i < 5; ++i)
            QVERIFY(!b.send(sdo_read(0x6064, 0)).empty() && b.send(msg(0x123, {})).empty());
    }

    void the_recorder_samples_every_cycle_around_its_trigger()
    {
        bench b;
        // Four channels: position, velocity, current, statusword (12 bytes a sample); the
        // velocity rising through 5000 cnt/s triggers, 20 samples before it kept, 80 in all.
        const uint32_t channels[] = {0x60640020, 0x606C0020, 0x60780010, 0x60410010};
        for (uint8_t k = 1; k <= 4; ++k)
            QCOMPARE(b.write(0x2131, k, channels[k - 1]), 0u);
        QCOMPARE(b.write(0x2131, 5, 0x10080000), 0x06040041u);  // the name string is no channel
        QCOMPARE(b.write(0x2130, 0, 1, 1), 0x06040043u);         // none in use yet
        QCOMPARE(b.write(0x2131, 0, 4, 1), 0u);
        QCOMPARE(b.write(0x2132, 1, 2, 1), 0u);
        QCOMPARE(b.write(0x2132, 2, 5000), 0u);
        QCOMPARE(b.write(0x2132, 4, 80, 2), 0u);
        QCOMPARE(b.write(0x2133, 0, 80, 2), 0u);
        QCOMPARE(b.write(0x2130, 0, 1, 1), 0x06040043u);  // no room after the pre-trigger
        QCOMPARE(b.write(0x2132, 4, 20, 2), 0u);
        QCOMPARE(b.read(0x2137), 250u);

        QCOMPARE(b.write(0x6060, 0, 1, 1), 0u);
        for (uint16_t cw : {0x06, 0x07, 0x0F})
            QCOMPARE(b.write(0x6040, 0, cw, 2), 0u);
        QCOMPARE(b.write(0x6083, 0, 1000000), 0u);
        QCOMPARE(b.write(0x6081, 0, 50000), 0u);
        QCOMPARE(b.write(0x607A, 0, 100000), 0u);
        QCOMPARE(b.write(0x2130, 0, 1, 1), 0u);
        QCOMPARE(b.read(0x2130), 1u);  // armed
        QCOMPARE(b.write(0x2133, 0, 100, 2), 0x08000022u);  // not while it runs
        b.advance_s(0.01);
        QCOMPARE(b.read(0x2130), 1u);  // at rest: nothing crossed
        uint32_t abort = 0;
        QVERIFY(b.upload(0x2136, 0, &abort).isEmpty() && abort == 0);  // nothing until it is done
        QCOMPARE(b.write(0x6040, 0, 0x1F, 2), 0u);  // the move
        b.advance_s(0.008);
        QCOMPARE(b.read(0x2130), 2u);  // triggered at 5 ms, still recording
        b.advance_s(0.05);
        QCOMPARE(b.read(0x2130), 3u);
        QCOMPARE(b.read(0x2135), 20u);
        const QByteArray data = b.upload(0x2136, 0, &abort);
        QCOMPARE(abort, 0u);
        QCOMPARE(data.size(), 80 * 12);
        const auto at = [&data](int k, int offset, int bytes) {
            int64_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= int64_t(uint8_t(data[k * 12 + offset + i])) << (8 * i);
            return bytes == 4 ? int64_t(int32_t(v)) : int64_t(int16_t(v));
        };
        QVERIFY(at(19, 4, 4) < 5000 && at(20, 4, 4) >= 5000);  // the trigger at the pre-trigger's end
        for (int k = 0; k + 1 < 80; ++k) {
            // 250 us apart: the position moves by the mean velocity over a cycle.
            const double moved = double(at(k + 1, 0, 4) - at(k, 0, 4));
            const double expected = (at(k, 4, 4) + at(k + 1, 4, 4)) / 2.0 * 250e-6;
            QVERIFY2(std::fabs(moved - expected) <= 1.5, qPrintable(QString::number(k)));
            QCOMPARE(at(k, 10, 2) & 0x6F, 0x27);  // operation enabled throughout
        }
        QVERIFY(at(79, 4, 4) > at(20, 4, 4));
        // Arming again starts afresh; a stop leaves nothing to read.
        QCOMPARE(b.write(0x2130, 0, 1, 1), 0u);
        QCOMPARE(b.write(0x2130, 0, 0, 1), 0u);
        QCOMPARE(b.read(0x2130), 0u);
        QVERIFY(b.upload(0x2136, 0, &abort).isEmpty());
    }

    void segmented_transfers_of_any_size()
    {
        bench b;
        // Two bytes to 0x2100, size indicated, in one segment with 5 bytes unused.
        QCOMPARE(payload(b.only(b.send(msg(0x601, {0x21, 0x00, 0x21, 0x00, 0x02, 0, 0, 0})), 0x581)),
                 QByteArray::fromHex("6000210000000000"));
        QCOMPARE(payload(b.only(b.send(msg(0x601, {0x0B, 0x34, 0x12, 0, 0, 0, 0, 0})), 0x581)),
                 QByteArray::fromHex("2000000000000000"));
        QCOMPARE(b.read(0x2100), 0x1234u);
        // Four bytes to 0x6065 in two segments, size not indicated.
        QCOMPARE(b.only(b.send(msg(0x601, {0x20, 0x65, 0x60, 0x00, 0, 0, 0, 0})), 0x581).data[0], uint8_t(0x60));
        QCOMPARE(b.only(b.send(msg(0x601, {0x08, 0x39, 0x30, 0x00, 0, 0, 0, 0})), 0x581).data[0], uint8_t(0x20));
        QCOMPARE(b.only(b.send(msg(0x601, {0x1D, 0x00, 0, 0, 0, 0, 0, 0})), 0x581).data[0], uint8_t(0x30));
        QCOMPARE(b.read(0x6065), 12345u);
        // A size the object cannot take is refused at once; strings come back in segments.
        QCOMPARE(le32(b.only(b.send(msg(0x601, {0x21, 0x65, 0x60, 0x00, 0x02, 0, 0, 0})), 0x581).data + 4), 0x06070010u);
        uint32_t abort = 1;
        QCOMPARE(b.upload(0x1008, 0, &abort), QByteArray("Velmora simulated joint"));
        QCOMPARE(abort, 0u);
    }

    void store_and_restore_by_group()
    {
        bench b;
        const auto change = [&b] {
            QCOMPARE(b.write(0x6065, 0, 12345), 0u);
            QCOMPARE(b.write(0x1017, 0, 200, 2), 0u);
            QCOMPARE(b.write(0x2100, 0, 321, 2), 0u);
            QCOMPARE(b.write(0x1A01, 1, 0x60640020), 0u);
            QCOMPARE(b.write(0x1A01, 0, 1, 1), 0u);
        };
        const auto values = [&b] {
            return std::vector<uint32_t>{b.read(0x6065), b.read(0x1017), b.read(0x2100), b.read(0x1A01, 0), b.read(0x1A01, 1)};
        };
        const std::vector<uint32_t> defaults = values();
        change();
        const std::vector<uint32_t> changed = values();
        QCOMPARE(b.write(0x1010, 1, 0x12345678), 0x08000020u);  // no signature, nothing saved
        QCOMPARE(b.write(0x1010, 1, sim::canopen_node::save_signature), 0u);
        b.nmt(0x81);
        QCOMPARE(values(), changed);
        b.nmt(0x82);
        QCOMPARE(values(), changed);
        frames boot;
        b.joint.power_on(boot);
        QCOMPARE(values(), changed);
        // Restoring the defaults takes effect at the next reset.
        QCOMPARE(b.write(0x1011, 1, sim::canopen_node::load_signature), 0u);
        QCOMPARE(values(), changed);
        b.nmt(0x81);
        QCOMPARE(values(), defaults);
        // Saving the application parameters keeps nothing of the other groups.
        change();
        QCOMPARE(b.write(0x1010, 3, sim::canopen_node::save_signature), 0u);
        b.nmt(0x81);
        QCOMPARE(values(), std::vector<uint32_t>({12345, defaults[1], defaults[2], defaults[3], defaults[4]}));
    }

    // Ours and the drive of another make (node:canopen), each against its own data sheet.
    void every_object_as_the_data_sheet_says_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("other");
        QTest::newRow("ours") << QStringLiteral("velmora_joint.eds") << false;
        QTest::newRow("another make") << QStringLiteral("other_joint.eds") << true;
    }

    void every_object_as_the_data_sheet_says()
    {
        QFETCH(QString, file);
        QFETCH(bool, other);
        const sim::joint_make make = other ? sim::joint_make::other : sim::joint_make::velmora;
        QFile f(qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const objects::eds_result eds = objects::parse_eds(f.readAll());
        QVERIFY(eds.ok);
        QVERIFY(eds.document.device_info.end() != std::find(eds.document.device_info.begin(), eds.document.device_info.end(),
                                                            std::make_pair(QStringLiteral("LSS_Supported"), QStringLiteral("1"))));
        const char *const access[] = {"ro", "rw", "rww", "const"};
        const auto number = [](const QString &text) {
            canopen::number n;
            canopen::parse_number(text, &n);
            return n.negative ? -int64_t(n.magnitude) : int64_t(n.magnitude);
        };
        bench b(other);
        size_t entries = 0;
        for (const objects::od_object &o : eds.document.objects)
            for (const objects::od_entry &e : o.entries) {
                ++entries;
                const QByteArray where = QStringLiteral("0x%1 sub %2").arg(e.index, 4, 16).arg(e.sub).toLatin1();
                const sim::od_def *d = sim::find_def(e.index, e.sub, nullptr, make);
                QVERIFY2(d, where);
                QVERIFY2(e.type == uint16_t(d->type) && e.access == QLatin1String(access[int(d->access)])
                             && e.pdo_mapping == d->pdo && e.default_value.isEmpty() == (d->kind == sim::od_default::none)
                             && e.low_limit.isEmpty() == !d->limited(),
                         where);
                uint32_t abort = 0;
                const QByteArray value = b.upload(e.index, e.sub, &abort);
                QVERIFY2(abort == 0, where);
                const int size = canopen::type_size(e.type);
                QVERIFY2(size == 0 || value.size() == size, where);
                QString resolved;
                QVERIFY2(objects::resolve_node_id(e.default_value, 1, &resolved), where);
                if (!e.default_value.isEmpty())
                    QVERIFY2(canopen::encode_value(e.type, resolved).bytes == value, where);
                if (!objects::access_writable(e.access)) {
                    QVERIFY2(b.write(e.index, e.sub, 0, std::max(size, 1)) == 0x06010002u, where);
                    continue;
                }
                if (!d->limited())
                    continue;
                // The limits are the joint's: one beyond either is refused and changes nothing.
                QVERIFY2(number(e.low_limit) == d->low && number(e.high_limit) == d->high, where);
                const int64_t lowest = canopen::is_signed_integer(e.type) ? -(int64_t(1) << (8 * size - 1)) : 0;
                const int64_t highest = (int64_t(1) << (8 * size - int(lowest != 0))) - 1;
                if (d->low > lowest)
                    QVERIFY2(b.write(e.index, e.sub, uint32_t(d->low - 1), size) == 0x06090032u, where);
                if (d->high < highest)
                    QVERIFY2(b.write(e.index, e.sub, uint32_t(d->high + 1), size) == 0x06090031u, where);
                QVERIFY2(b.upload(e.index, e.sub, &abort) == value, where);
            }
        QCOMPARE(entries, sim::joint_dictionary(make).size());
        // Another make: an identity of its own and no manufacturer objects of ours.
        if (other) {
            QVERIFY(b.read(0x1018, 1) != 0u && b.read(0x1018, 2) != 0x402u);
            uint32_t abort = 0;
            QVERIFY(b.upload(0x1008, 0, &abort) != QByteArray("Velmora simulated joint"));
            for (uint16_t index : {0x2100, 0x2103, 0x2110, 0x2120, 0x2130, 0x2136}) {
                b.read(index, 0, &abort);
                QCOMPARE(abort, 0x06020000u);
            }
            QVERIFY(std::none_of(sim::joint_dictionary(make).begin(), sim::joint_dictionary(make).end(),
                                 [](const sim::od_def &d) { return d.index >= 0x2000 && d.index <= 0x5FFF; }));
        }
    }

    void a_lost_master_heartbeat_stops_the_joint()
    {
        // The master's heartbeat as Velmora produces it: node 0x7F, operational.
        const vci::can_message master = msg(0x77F, {0x05});
        const auto emcy_over_ms = [](bench &b, int ms) { return b.count_over_ms(0x081, ms); };
        bench b;
        b.enable_in_mode(3, {0x60410010, 0x606C0020}, {0x60400010, 0x60FF0020}, 20000);
        QCOMPARE(b.write(0x6007, 0, 3, 2), 0u);  // quick stop
        // Entries naming node 0 or giving time 0 watch nothing; reserved bits and a second
        // time for a node already watched are refused.
        QCOMPARE(b.write(0x1016, 2, 0x0000012C), 0u);
        QCOMPARE(b.write(0x1016, 3, 0x007F0000), 0u);
        QVERIFY(b.send(master).empty());
        QCOMPARE(emcy_over_ms(b, 1000), 0);
        QCOMPARE(b.write(0x1016, 1, 0x007F012C), 0u);  // 300 ms
        QCOMPARE(b.write(0x1016, 4, 0x007F0190), 0x06040043u);
        QCOMPARE(b.write(0x1016, 4, 0x0100012C), 0x06040043u);
        // Watching starts with the first heartbeat since the entry was set, and goes on
        // quietly while they come.
        QCOMPARE(emcy_over_ms(b, 1000), 0);
        for (int i = 0; i < 10; ++i) {
            QVERIFY(b.send(master).empty());
            QCOMPARE(emcy_over_ms(b, 100), 0);
        }
        QCOMPARE(b.status() & 0x6F, 0x27);
        QVERIFY(b.joint.motor().speed() > 0);

        // Silent for 300 ms on the joint's clock: one emergency, the quick stop, pre-operational.
        QCOMPARE(emcy_over_ms(b, 199), 0);
        frames out;
        sim::clock::advance_us(1000);
        b.joint.tick(sim::clock::now_us(), out);
        QCOMPARE(payload(b.only(out, 0x081)), QByteArray::fromHex("3081110000000000"));
        QCOMPARE(emcy_over_ms(b, 3000), 0);
        QCOMPARE(b.status() & 0x6F, 0x07);
        QCOMPARE(b.joint.motor().speed(), 0);
        QCOMPARE(b.read(0x1001), 0x11u);
        QCOMPARE(b.guard() & 0x7F, 0x7F);
        // Heard again: the error clears, and the next silence counts once more.
        QCOMPARE(payload(b.only(b.send(master), 0x081)), QByteArray::fromHex("0000000000000000"));
        QCOMPARE(b.read(0x1001), 0u);
        QCOMPARE(b.joint.next_due_us(sim::clock::now_us()), sim::clock::now_us() + 300000);

        // Disable voltage, and no change of the NMT state.
        QCOMPARE(b.write(0x6007, 0, 2, 2), 0u);
        QCOMPARE(b.write(0x1029, 1, 1, 1), 0u);
        b.nmt(0x01);
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);
        QCOMPARE(b.status() & 0x6F, 0x27);
        QCOMPARE(emcy_over_ms(b, 300), 1);
        QCOMPARE(b.status() & 0x4F, 0x40);
        QVERIFY(!b.joint.motor().enabled());
        QCOMPARE(b.guard() & 0x7F, 0x05);
        // Fault, and stopped: the emergency still goes out first.
        b.send(master);
        QCOMPARE(b.write(0x6007, 0, 1, 2), 0u);
        QCOMPARE(b.write(0x1029, 1, 2, 1), 0u);
        QCOMPARE(emcy_over_ms(b, 300), 1);
        QCOMPARE(b.guard() & 0x7F, 0x04);
        QCOMPARE(b.joint.canopen()->error_code(), 0x8130);
        QCOMPARE(b.joint.canopen()->power(), sim::canopen_node::power_state::fault);
    }

    void lss_gives_joints_without_node_id_one()
    {
        std::vector<sim::joint_config> joints;
        QVERIFY(sim::parse_nodes(QStringLiteral("1,lss:0x1002,lss:0x1001:10231"), &joints, nullptr));
        QVERIFY(!sim::parse_nodes(QStringLiteral("lss:7,lss:7"), &joints, nullptr));
        QVERIFY(sim::parse_nodes(QStringLiteral("1,lss:0x1002,lss:0x1001:10231"), &joints, nullptr));
        sim::simulator bus(joints);
        QCOMPARE(bus.power_on().size(), size_t(1));  // only node 1 boots
        QCOMPARE(bus.nodes(), std::vector<int>({1}));
        const auto lss = [&bus](std::initializer_list<uint8_t> bytes) {
            std::vector<uint8_t> padded(bytes);
            padded.resize(8);
            vci::can_message m = msg(0x7E5, {});
            std::copy(padded.begin(), padded.end(), m.data);
            m.len = 8;
            return bus.process(m);
        };
        // One joint at a time, the lower serial number first; each boots with its new node-ID.
        for (const uint8_t id : {uint8_t(5), uint8_t(6)}) {
            uint32_t identity[4] = {};
            QVERIFY(fast_scan(bus, identity));
            QCOMPARE(identity[3], id == 5 ? 0x1001u : 0x1002u);
            QCOMPARE(identity[2], 0x00010000u);
            QCOMPARE(payload(lss({0x5E}).at(0)), QByteArray::fromHex("5EFF000000000000"));  // inquire node-ID
            QCOMPARE(payload(lss({0x13, 0, 5}).at(0)), QByteArray::fromHex("1301000000000000"));  // no such bit rate
            QCOMPARE(payload(lss({0x13, 0, 2}).at(0)), QByteArray::fromHex("1300000000000000"));  // 500 kbit/s
            QCOMPARE(payload(lss({0x11, id}).at(0)), QByteArray::fromHex("1100000000000000"));
            QCOMPARE(payload(lss({0x17}).at(0)), QByteArray::fromHex("1700000000000000"));
            const frames boot = lss({0x04, 0x00});
            QCOMPARE(boot.size(), size_t(1));
            QCOMPARE(boot[0].id, 0x700u + id);
            QCOMPARE(payload(boot[0]), QByteArray::fromHex("00"));
        }
        uint32_t identity[4] = {};
        QVERIFY(!fast_scan(bus, identity));
        QCOMPARE(bus.nodes(), std::vector<int>({1, 5, 6}));
        const frames serial = bus.process(sdo_read(0x1018, 4));
        QCOMPARE(le32(serial.at(0).data + 4), 0x00010001u);
        vci::can_message read5 = sdo_read(0x1018, 4);
        read5.id = 0x605;
        QCOMPARE(le32(bus.process(read5).at(0).data + 4), 0x1001u);
        // The stored node-IDs come back at power-on.
        std::vector<uint32_t> booted;
        for (const vci::can_message &m : bus.power_on())
            booted.push_back(m.id);
        QCOMPARE(booted, std::vector<uint32_t>({0x701, 0x706, 0x705}));
    }

    // Each method from a place on the axis ends at its edge, which then reads the home offset;
    // a search for the home cam that finds no edge turns round at the limit switch.
    void homing_finds_each_methods_edge_on_the_clock()
    {
        struct run {
            int8_t method;
            int32_t from, home;  // mechanical positions
        };
        const run runs[] = {{17, 0, -50000}, {18, 0, 50000},  {1, 0, -49152},     {2, 0, 49152},   {33, 0, -4096},
                            {34, 0, 4096},   {19, 0, -500},   {20, 0, -500},      {21, 0, 500},    {22, 0, 500},
                            {19, 20000, -500}, {21, -30000, 500}, {17, -60000, -50000}, {35, 777, 777}};
        for (const run &r : runs) {
            const QByteArray where = QByteArray::number(r.method) + " from " + QByteArray::number(r.from);
            bench b;
            b.joint.motor().set_position(r.from);
            QCOMPARE(b.write(0x6098, 0, uint8_t(r.method), 1), 0u);
            QCOMPARE(b.write(0x6099, 1, 20000), 0u);
            QCOMPARE(b.write(0x6099, 2, 2000), 0u);
            QCOMPARE(b.write(0x609A, 0, 100000), 0u);
            QCOMPARE(b.write(0x607C, 0, uint32_t(-1234)), 0u);
            QCOMPARE(b.write(0x6060, 0, 6, 1), 0u);
            for (uint16_t cw : {0x06, 0x0F})
                QCOMPARE(b.write(0x6040, 0, cw, 2), 0u);
            QCOMPARE(b.status() & 0x3400, 0x0400);  // not started
            QCOMPARE(b.write(0x6040, 0, 0x1F, 2), 0u);
            int ms = 0;
            uint32_t inputs_seen = 0;
            for (; (b.status() & 0x3400) != 0x1400 && ms < 30000; ms += 50) {
                // Bit 10 is clear from the start on until the joint rests on the home position.
                QVERIFY2((b.status() & 0x3400) == 0, where);
                b.advance_s(0.05);
                inputs_seen |= b.read(0x60FD);
            }
            QVERIFY2((b.status() & 0x3400) == 0x1400, where);
            QVERIFY2(int32_t(b.read(0x6064)) == -1234, where);
            QVERIFY2(b.joint.motor().mechanical_position() == r.home, where);
            QVERIFY2(b.read(0x6061) == 6 && (b.status() & 0x6F) == 0x27, where);
            if (r.method == 17)
                QVERIFY2(inputs_seen & 1, where);
            if (r.method == 35)
                QVERIFY2(ms == 0, where);  // at once
            if (r.method == 19 && r.from == 20000)
                QVERIFY2(inputs_seen & 2, where);  // turned round at the positive limit
        }
    }

    void homing_refusals_halt_and_errors()
    {
        bench b;
        QCOMPARE(b.read(0x60E3, 0), 12u);
        QCOMPARE(b.read(0x60E3, 3), 17u);
        QCOMPARE(b.read(0x60E3, 12), 37u);
        QCOMPARE(b.read(0x60FD), 0x4u);  // inside the home cam at power-on
        for (int8_t m : {int8_t(0), int8_t(3), int8_t(36), int8_t(-1)})
            QCOMPARE(b.write(0x6098, 0, uint8_t(m), 1), 0x06090030u);
        QCOMPARE(b.read(0x6098), 35u);
        // A halt ends a search: at rest, not attained, no error; the next start goes again.
        QCOMPARE(b.write(0x6098, 0, 18, 1), 0u);
        QCOMPARE(b.write(0x6060, 0, 6, 1), 0u);
        for (uint16_t cw : {0x06, 0x0F, 0x1F})
            QCOMPARE(b.write(0x6040, 0, cw, 2), 0u);
        b.advance_s(0.2);
        QVERIFY(b.joint.motor().speed() > 0);
        QCOMPARE(b.write(0x6040, 0, 0x11F, 2), 0u);
        for (int i = 0; i < 10; ++i)
            b.advance_s(0.05);
        QCOMPARE(b.joint.motor().speed(), 0);
        QCOMPARE(b.status() & 0x3400, 0x0400);
        // An index search that runs into the limit switch is a homing error.
        b.joint.motor().set_position(-49500);  // the next index pulse below is beyond the switch
        QCOMPARE(b.write(0x6098, 0, 33, 1), 0u);
        QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);
        QCOMPARE(b.write(0x6040, 0, 0x1F, 2), 0u);
        for (int i = 0; i < 100 && !(b.status() & 0x2000); ++i)
            b.advance_s(0.05);
        for (int i = 0; i < 10; ++i)
            b.advance_s(0.05);
        QCOMPARE(b.status() & 0x3400, 0x2400);
        QCOMPARE(b.read(0x60FD) & 1, 1u);
        QCOMPARE(b.status() & 0x6F, 0x27);  // still enabled: a homing error is no fault
        // The program names what the joint reports with its own tables.
        const canopen::statusword_reading seen =
            canopen::read_statusword(uint16_t(b.status()), canopen::find_mode(int8_t(b.read(0x6061))));
        QCOMPARE(int(seen.state), int(canopen::drive_state::operation_enabled));
        QStringList flags;
        for (const canopen::named_bit &f : seen.flags)
            flags << QString::fromLatin1(f.en);
        QVERIFY2(flags.contains(QStringLiteral("homing error")) && flags.contains(QStringLiteral("target reached")),
                 qPrintable(flags.join(QStringLiteral(", "))));
    }

    // The stop options, the software position limits and the following error of a blocked load.
    void stop_options_limits_and_following_error()
    {
        {
            // Quick stop down 0x6085's ramp, then switched off (0x605A = 2).
            bench b;
            QCOMPARE(b.write(0x605A, 0, 3, 2), 0x06090030u);  // current limit: not offered
            QCOMPARE(b.write(0x605A, 0, 2, 2), 0u);
            QCOMPARE(b.write(0x6085, 0, 50000), 0u);
            b.enable_in_mode(3, {0x60410010, 0x606C0020}, {0x60400010, 0x60FF0020}, 10000);
            b.advance_s(1.2);
            QCOMPARE(b.joint.motor().speed(), 10000);
            QCOMPARE(b.write(0x6040, 0, 0x02, 2), 0u);
            QCOMPARE(b.status() & 0x6F, 0x07);  // quick stop active while ramping down
            b.advance_s(0.1);
            QVERIFY(std::abs(b.joint.motor().speed() - 5000) <= 100);  // 50,000 cnt/s², not 10,000
            b.advance_s(0.15);
            QCOMPARE(b.joint.motor().speed(), 0);
            QCOMPARE(b.status() & 0x4F, 0x40);
            QVERIFY(!b.joint.motor().enabled());
        }
        {
            // Shutdown down the slow-down ramp first (0x605B = 1); a fault down the quick stop
            // ramp with "fault reaction active" meanwhile (0x605E = 2).
            bench b;
            QCOMPARE(b.write(0x605B, 0, 1, 2), 0u);
            QCOMPARE(b.write(0x605E, 0, 2, 2), 0u);
            b.enable_in_mode(3, {0x60410010, 0x606C0020}, {0x60400010, 0x60FF0020}, 5000);
            b.advance_s(1.0);
            QCOMPARE(b.write(0x6040, 0, 0x06, 2), 0u);
            QCOMPARE(b.status() & 0x6F, 0x27);
            b.advance_s(1.0);
            QCOMPARE(b.status() & 0x6F, 0x21);
            QVERIFY(!b.joint.motor().enabled());
            QCOMPARE(b.write(0x6040, 0, 0x0F, 2), 0u);
            b.advance_s(1.0);
            b.joint.canopen()->inject_fault(0x7121);
            QCOMPARE(b.status() & 0x4F, 0x0F);
            QVERIFY(b.joint.motor().enabled());
            QCOMPARE(b.write(0x6040, 0, 0x80, 2), 0u);  // no fault reset before the reaction ends
            b.advance_s(0.06);  // 5000 cnt/s at 100,000 cnt/s²
            QCOMPARE(b.status() & 0x4F, 0x08);
            QVERIFY(!b.joint.motor().enabled());
            QCOMPARE(b.write(0x6040, 0, 0x00, 2), 0u);
            QCOMPARE(b.write(0x6040, 0, 0x80, 2), 0u);
            QCOMPARE(b.status() & 0x4F, 0x40);
        }
        {
            // A target beyond 0x607D stops at the limit, with "internal limit active".
            bench b;
            QCOMPARE(b.write(0x607D, 1, uint32_t(-3000)), 0u);
            QCOMPARE(b.write(0x607D, 2, 4000), 0u);
            QCOMPARE(b.write(0x607D, 1, 5000), 0x06090036u);
            QCOMPARE(b.write(0x607F, 0, 2000), 0u);  // above the profile's 3000 cnt/s
            QCOMPARE(b.write(0x6081, 0, 3000), 0u);
            b.enable_in_mode(1, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
            b.rpdo(0x1F, 9000);
            b.sync();
            b.advance_s(0.5);
            QVERIFY(b.joint.motor().speed() <= 2000);
            for (int i = 0; i < 40; ++i)
                b.advance_s(0.1);
            QCOMPARE(int32_t(b.read(0x6064)), 4000);
            QCOMPARE(b.status() & 0x0C00, 0x0C00);
            QCOMPARE(b.read(0x6081), 3000u);  // the profile keeps what was written
            b.rpdo(0x0F), b.sync(), b.rpdo(0x1F, -2000), b.sync();
            for (int i = 0; i < 40; ++i)
                b.advance_s(0.1);
            QCOMPARE(int32_t(b.read(0x6064)), -2000);
            QCOMPARE(b.status() & 0x0C00, 0x0400);
        }
        {
            // A blocked load: the demand runs away from the shaft; beyond 0x6065 for longer than
            // 0x6066 the drive faults with 0x8611.
            bench b;
            QCOMPARE(b.write(0x6065, 0, 500), 0u);
            QCOMPARE(b.write(0x6066, 0, 100, 2), 0u);
            b.enable_in_mode(1, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
            b.joint.motor().set_blocked(true);
            b.rpdo(0x1F, 5000);
            b.sync();
            int ms = 0;
            for (; b.read(0x603F) == 0 && ms < 3000; ms += 10)
                b.advance_s(0.01);
            QCOMPARE(b.read(0x603F), 0x8611u);
            QCOMPARE(b.status() & 0x4F, 0x08);
            QCOMPARE(b.read(0x6064), 0u);
            // 500 cnt at 1000 cnt/s after the ramp, then 100 ms more.
            QVERIFY2(ms >= 600 && ms <= 800, QByteArray::number(ms));
            QCOMPARE(b.read(0x1003, 1), 0x8611u);
        }
    }

    void short_rpdo_is_refused()
    {
        bench b;
        b.enable_in_mode(1, {0x60410010, 0x60640020}, {0x60400010, 0x607A0020});
        const frames out = b.send(msg(0x201, {0x06, 0x00}));
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].id, 0x081u);
        QCOMPARE(payload(out[0]), QByteArray::fromHex("1082110000000000"));
        b.sync();
        QCOMPARE(b.status() & 0x6F, 0x27);  // not applied
        // The error stands as the emergency said, until a PDO of the right length ends it.
        b.advance_s(0.15);
        QCOMPARE(b.read(0x1001), 0x11u);
        QCOMPARE(b.read(0x1003, 1), 0x8210u);
        const frames fine = b.send(msg(0x201, {0x0F, 0x00, 0, 0, 0, 0}));
        QCOMPARE(payload(b.only(fine, 0x081)), QByteArray::fromHex("0000000000000000"));
        QCOMPARE(b.read(0x1001), 0u);
        QVERIFY(b.send(msg(0x201, {0x0F, 0x00, 0, 0, 0, 0})).empty());  // said once
    }
};

QTEST_MAIN(test_sim_canopen_node)
#include "test_sim_canopen_node.moc"
