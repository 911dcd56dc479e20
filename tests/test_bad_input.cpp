// Whatever is typed into the fields: never a crash, never a frame the bus cannot carry
// (identifier beyond 11 bits, more than 8 bytes), a message where the window gives one. The node
// window probes no node outside 1..64; the frame sender sends a frame or says why not; in the
// control windows, with every button of both pressed with every field full of nonsense, a field's
// number reaches the drive by one rule: a plain decimal within 32 bits is that number, a blank
// field is an empty one, and anything else sends nothing and tells the user.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/control_can_state.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "support/test_bus.h"
#include "tools/custom_send.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace test_support;

namespace {

constexpr int generous_ms = 60000;

// Texts nobody should type but somebody will.
const QStringList nasty_numbers = {
    QString(),
    QStringLiteral("   "),
    QStringLiteral("99999999999999999999"),
    QStringLiteral("2147483648"),
    QStringLiteral("-2147483649"),
    QStringLiteral("-1"),
    QStringLiteral("0x10"),
    QStringLiteral("+3"),
    QStringLiteral(" 5 "),
    QStringLiteral("1e2"),
    QStringLiteral("１０"),                     // full-width digits
    QStringLiteral("١٠"),                       // Arabic-Indic digits
    QString::fromUtf8("\xF0\x9D\x9F\x99"),      // mathematical digit one, a surrogate pair
    QString(QChar(0xD800)),                     // a lone surrogate
    QString(5000, QLatin1Char('9')),
};

bool frames_fit_the_bus(const scripted_bus_state &bus, QString *why)
{
    for (const vci::can_message &m : bus.sent) {
        if (m.id > 0x7FF || m.len > 8) {
            *why = QStringLiteral("frame %1 with %2 bytes").arg(m.id, 0, 16).arg(m.len);
            return false;
        }
    }
    return true;
}

// Texts typed into the control windows' number fields.
const QStringList hostile_texts = {
    QString(),
    QStringLiteral("   "),
    QStringLiteral("abc"),
    QStringLiteral("-"),
    QStringLiteral("99999999999999999999"),
    QStringLiteral("2147483647"),
    QStringLiteral("-2147483648"),
    QStringLiteral("-2147483649"),
    QStringLiteral("0x10"),
    QStringLiteral("1e9"),
    QStringLiteral(" -12 "),
    QStringLiteral("+7"),
    QStringLiteral("１２"),                 // full-width digits
    QStringLiteral("٣"),                    // Arabic-Indic digit
    QString::fromUtf8("\xF0\x9D\x9F\x99"),  // mathematical digit one, a surrogate pair
    QString(QChar(0xD800)),                 // a lone surrogate
    QString(10000, QLatin1Char('7')),
    QString(10000, QChar(0x4E00)),
};

// Every button pressed with every field full: the texts most likely to hurt (each press waits
// for its answers, so the whole list here would make the test slow without finding more).
const QStringList sweep_texts = {
    QString(), QStringLiteral("-"), QStringLiteral("99999999999999999999"), QStringLiteral("-2147483649"),
    QStringLiteral("0x10"), QString(QChar(0xD800)), QString(10000, QChar(0x4E00)),
};

// The rule, written out independently of the windows' own conversion: true for a number, with
// its value; false for anything else, blank included.
bool typed_number(const QString &text, int32_t *value)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    *value = 0;
    if (!decimal.match(t).hasMatch())
        return false;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = int32_t(v);
    return true;
}

int32_t be32(const uint8_t *p) { return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]); }
int32_t le32(const uint8_t *p) { return int32_t(uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]); }

// A custom-protocol drive on node 1 and a CANopen node 1 in one: reads answer 0 (at rest,
// no error), writes are acknowledged, guarding and SYNC answered.
std::vector<vci::can_message> answer(const vci::can_message &m)
{
    if (m.id == 0x641 && m.len >= 6)
        return {make_message(0x5C1, {0x01})};
    if (m.id == 0x641)
        return {make_message(0x5C1, {0, 0, 0, 0})};
    if (m.id == 0x601 && m.len == 8)
        return {make_message(0x581, {m.data[0] == 0x40 ? uint8_t(0x43) : uint8_t(0x60), m.data[1], m.data[2], m.data[3],
                                     0, 0, 0, 0})};
    if (m.id == 0x701 && m.remote)
        return {make_message(0x701, {0x05})};
    if (m.id == 0x080)
        return {make_message(0x181, {0x37, 0x02, 0, 0, 0, 0})};
    return {};
}

}  // namespace

class test_bad_input : public QObject {
    Q_OBJECT

    std::shared_ptr<scripted_bus_state> bus;
    QStringList boxes;

    // Node 1 answering as both a custom-protocol drive and a CANopen node.
    bool connect_node_1()
    {
        bus->responder = answer;
        return open_canopen_node_1();
    }

    void press_everything(QWidget *w, const QString &text)
    {
        const QList<QLineEdit *> fields = w->findChildren<QLineEdit *>();
        QVERIFY(fields.size() > 5);
        const QList<QPushButton *> buttons = w->findChildren<QPushButton *>();
        for (QLineEdit *f : fields)
            f->setText(text);
        bus->sent.clear();
        for (QPushButton *b : buttons) {
            if (!b->isEnabled())
                continue;
            // Link-up and the poll may refill fields from the drive: keep them hostile.
            for (QLineEdit *f : fields)
                f->setText(text);
            b->click();
        }
        QString why;
        QVERIFY2(frames_fit_the_bus(*bus, &why), qPrintable(text.left(20) + QLatin1Char(' ') + why));
    }

    // The value of the last frame to `id` whose first bytes are `head`, decoded by `decode`.
    template <typename F>
    bool last_value(uint32_t id, const std::vector<uint8_t> &head, F decode, int32_t *value)
    {
        for (auto it = bus->sent.rbegin(); it != bus->sent.rend(); ++it) {
            if (it->id != id || it->len < head.size())
                continue;
            if (!std::equal(head.begin(), head.end(), it->data))
                continue;
            *value = decode(*it);
            return true;
        }
        return false;
    }

private slots:
    void init()
    {
        fresh_process();
        row_cursor = 0;
        collect_box_texts(&boxes);
        bus = install_scripted_bus();
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void scan_range_fields()
    {
        // Every node number answers, so any probe outside 1..64 would also be listed.
        bus->responder = [](const vci::can_message &m) -> std::vector<vci::can_message> {
            return {make_message(m.id - 0x80, {0, 0, 0, 0})};
        };
        Set_node w;
        QLineEdit *min = w.findChild<QLineEdit *>(QStringLiteral("Min"));
        QLineEdit *max = w.findChild<QLineEdit *>(QStringLiteral("Max"));
        QProgressBar *bar = w.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QPushButton *scan = w.findChild<QPushButton *>(QStringLiteral("Scan"));
        QVERIFY(min && max && bar && scan);

        QStringList pairs_min, pairs_max;
        for (const QString &t : nasty_numbers) {
            pairs_min << t << QStringLiteral("1");
            pairs_max << QStringLiteral("64") << t;
        }
        for (int i = 0; i < pairs_min.size(); ++i) {
            bus->sent.clear();
            boxes.clear();
            min->setText(pairs_min[i]);
            max->setText(pairs_max[i]);
            scan->click();
            QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
            const QString which = QStringLiteral("Min '%1' Max '%2'").arg(pairs_min[i].left(20), pairs_max[i].left(20));
            QString why;
            QVERIFY2(frames_fit_the_bus(*bus, &why), qPrintable(which + QLatin1Char(' ') + why));
            for (const vci::can_message &m : bus->sent)
                QVERIFY2(m.id >= 0x641 && m.id <= 0x680, qPrintable(which));
            QVERIFY(found_node_count >= 0 && found_node_count <= max_found_nodes);
            // A refused range says so and probes nothing; an accepted one says nothing.
            if (!boxes.isEmpty()) {
                QCOMPARE(boxes, QStringList{QStringLiteral("输入范围错误！\n")});
                QVERIFY2(bus->sent.empty(), qPrintable(which));
            }
        }

        // The conversion rules at the edges: no number is 0, which Min refuses and which as Max
        // leaves nothing to probe; surrounding spaces are no part of the number.
        const struct { const char *min, *max; bool refused; int probes; } cases[] = {
            {"", "64", true, 0},
            {"0x10", "64", true, 0},
            {"99999999999999999999", "64", true, 0},
            {"1", "99999999999999999999", false, 0},
            {"1", "-1", false, 0},
            {" 5 ", " 6 ", false, 2},
        };
        for (const auto &c : cases) {
            bus->sent.clear();
            boxes.clear();
            min->setText(QString::fromLatin1(c.min));
            max->setText(QString::fromLatin1(c.max));
            scan->click();
            QVERIFY(QTest::qWaitFor([bar] { return bar->isHidden(); }, generous_ms));
            QCOMPARE(boxes.isEmpty(), !c.refused);
            QCOMPARE(int(bus->sent.size()), c.probes);
        }
    }

    void cycle_field()
    {
        Set_node w;
        QLineEdit *cycle = w.findChild<QLineEdit *>(QStringLiteral("cycle_period"));
        QVERIFY(cycle);
        // Only plain decimal numbers within 32 bits count; everything else is 0, never a value
        // wrapped around or read from other digits.
        const QMap<QString, int> numbers = {{QStringLiteral("-1"), -1}, {QStringLiteral("+3"), 3},
                                            {QStringLiteral(" 5 "), 5}};
        for (const QString &t : nasty_numbers) {
            cycle->setText(t);
            QVERIFY2(comm_cycle_us == numbers.value(t, 0), qPrintable(t.left(20)));
        }
        QVERIFY(boxes.isEmpty());
    }

    void frame_sender_fields()
    {
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        custom_send w;
        QLineEdit *id = w.findChild<QLineEdit *>(QStringLiteral("COB_ID"));
        QLineEdit *data = w.findChild<QLineEdit *>(QStringLiteral("data"));
        QPushButton *send = w.findChild<QPushButton *>(QStringLiteral("send"));
        QVERIFY(id && data && send);

        QStringList texts = nasty_numbers;
        texts << QStringLiteral("7FF") << QStringLiteral("800") << QStringLiteral("0x800") << QStringLiteral("01\t02")
              << QStringLiteral("1 2 3 4 5 6 7 8 9") << QString(9, QLatin1Char(' ')) << QStringLiteral("zz yy")
              << QString(100000, QLatin1Char('a')) << QStringLiteral("ａｂ ｃｄ");
        for (const QString &id_text : texts) {
            for (const QString &data_text : texts) {
                const size_t sent_before = bus->sent.size();
                boxes.clear();
                id->setText(id_text);
                data->setText(data_text);
                send->click();
                const bool went_out = bus->sent.size() == sent_before + 1;
                // Exactly one of: the frame went out, or the window said why not.
                QVERIFY2(went_out != !boxes.isEmpty(),
                         qPrintable(QStringLiteral("id '%1' data '%2'").arg(id_text.left(20), data_text.left(20))));
                if (!went_out)
                    QCOMPARE(boxes, QStringList{QStringLiteral("输入数据格式错误")});
            }
        }
        QString why;
        QVERIFY2(frames_fit_the_bus(*bus, &why), qPrintable(why));

        // The edges of the conversion: surrounding spaces are no part of the identifier, a blank
        // identifier is refused rather than sent as 0, and one of 12 bits is refused, not cut
        // down to 11.
        const struct { const char *id, *data; bool sent; uint32_t frame_id; int len; } cases[] = {
            {" 7FF ", "01", true, 0x7FF, 1},
            {"   ", "", false, 0, 0},
            {"0", "", true, 0, 0},
            {"800", "01", false, 0, 0},
            {"0x7ff", "       ", true, 0x7FF, 8},
            {"601", "         ", false, 0, 0},
        };
        for (const auto &c : cases) {
            bus->sent.clear();
            id->setText(QString::fromLatin1(c.id));
            data->setText(QString::fromLatin1(c.data));
            send->click();
            QCOMPARE(bus->sent.size(), size_t(c.sent ? 1 : 0));
            if (c.sent) {
                QCOMPARE(bus->sent[0].id, c.frame_id);
                QCOMPARE(int(bus->sent[0].len), c.len);
            }
        }
    }

    void custom_protocol_window()
    {
        QVERIFY(connect_node_1());
        control_CAN w;
        w.casual();
        QCOMPARE(custom_link_active, 1);
        for (const QString &text : sweep_texts)
            press_everything(&w, text);

        // Field, button, register it writes.
        const struct { const char *field, *button; uint16_t reg; } writes[] = {
            {"speed", "apply", 0x008A},           {"acceleration", "apply", 0x0088},
            {"deceleration", "apply", 0x0089},    {"relative_position", "forward", 0x0087},
            {"absolute_position", "move_to", 0x0086}, {"analog_value", "set_parameter", 0x01FE},
            {"max_speed", "set_parameter", 0x0204},   {"analog_value_2", "set_parameter_2", 0x01FE},
        };
        for (const auto &c : writes) {
            for (const QString &text : hostile_texts) {
                const QString which = QStringLiteral("%1 '%2'").arg(QLatin1String(c.field), text.left(20));
                for (QLineEdit *other : w.findChildren<QLineEdit *>())
                    other->setText(QStringLiteral("1"));  // only the field under test is hostile
                w.findChild<QLineEdit *>(QLatin1String(c.field))->setText(text);
                bus->sent.clear();
                const int boxes_before = boxes.size();
                w.findChild<QPushButton *>(QLatin1String(c.button))->click();
                int32_t v = 0;
                const bool sent = last_value(0x641, {uint8_t(c.reg >> 8), uint8_t(c.reg)},
                                             [](const vci::can_message &m) { return be32(m.data + 2); }, &v);
                int32_t expected = 0;
                const bool number = typed_number(text, &expected);
                const bool blank = text.trimmed().isEmpty();
                // Not a number: nothing goes out and the user is told. An empty distance or
                // target is no move at all.
                if ((!number && !blank) || (blank && (c.reg == 0x0087 || c.reg == 0x0086))) {
                    QVERIFY2(!sent, qPrintable(which));
                    QVERIFY2(boxes.size() == boxes_before + (blank ? 0 : 1), qPrintable(which));
                    continue;
                }
                QVERIFY2(sent, qPrintable(which));
                QVERIFY2(v == expected, qPrintable(which + QStringLiteral(" sent %1").arg(v)));
            }
        }
        QCOMPARE(custom_link_active, 1);
    }

    void canopen_window()
    {
        QVERIFY(connect_node_1());
        control_CANopen w;
        w.casuals();
        QCOMPARE(params_loaded, 1);
        for (const QString &text : sweep_texts)
            press_everything(&w, text);

        auto sdo_value = [](const vci::can_message &m) { return le32(m.data + 4); };
        auto set_point = [](const vci::can_message &m) { return le32(m.data + 2); };
        const struct {
            const char *field, *button;
            uint32_t id;
            std::vector<uint8_t> head;
            bool sdo;
        } writes[] = {
            {"PP_Acceleration", "sure", 0x601, {0x23, 0x83, 0x60}, true},
            {"PP_Velocity", "sure", 0x601, {0x23, 0x81, 0x60}, true},
            {"PV_Deceleration", "PV_Vel_Sure", 0x601, {0x23, 0x84, 0x60}, true},
            {"Target_position", "Move_to", 0x201, {0x1F, 0x00}, false},
            {"PV_Velocity", "Start_run", 0x201, {0x2F, 0x00}, false},
            {"lineEdit", "pushButton_2", 0x201, {0x2F, 0x00}, false},
            {"CST_torque", "pushButton_5", 0x201, {0x2F, 0x00}, false},
            {"Target_position_3", "Move_to_2", 0x201, {0x1F, 0x00}, false},
            {"CSP_Velocity", "sure_3", 0x601, {0x23, 0x81, 0x60}, true},
            {"CSV_Acceleration", "PV_Vel_Sure_2", 0x601, {0x23, 0x83, 0x60}, true},
            {"IP_Deceleration", "sure_4", 0x601, {0x23, 0x84, 0x60}, true},
            {"CSV_Velocity", "Start_run_2", 0x201, {0x2F, 0x00}, false},
        };
        for (const auto &c : writes) {
            for (const QString &text : hostile_texts) {
                const QString which = QStringLiteral("%1 '%2'").arg(QLatin1String(c.field), text.left(20));
                for (QLineEdit *other : w.findChildren<QLineEdit *>())
                    other->setText(QStringLiteral("1"));  // only the field under test is hostile
                w.findChild<QLineEdit *>(QLatin1String(c.field))->setText(text);
                bus->sent.clear();
                const int boxes_before = boxes.size();
                w.findChild<QPushButton *>(QLatin1String(c.button))->click();
                int32_t v = 0;
                const bool sent =
                    c.sdo ? last_value(c.id, c.head, sdo_value, &v) : last_value(c.id, c.head, set_point, &v);
                int32_t expected = 0;
                // A move with no target typed sends nothing and needs no box.
                const bool move = QByteArray(c.button).startsWith("Move_to");
                if (move && text.trimmed().isEmpty()) {
                    QVERIFY2(bus->sent.empty() && int(boxes.size()) == boxes_before, qPrintable(which));
                    continue;
                }
                if (!typed_number(text, &expected) && !text.trimmed().isEmpty()) {
                    QVERIFY2(!sent && bus->sent.empty(), qPrintable(which));
                    QVERIFY2(boxes.size() == boxes_before + 1, qPrintable(which));
                    continue;
                }
                QVERIFY2(sent, qPrintable(which));
                QVERIFY2(v == expected, qPrintable(which + QStringLiteral(" sent %1").arg(v)));
            }
        }
    }
};

QTEST_MAIN(test_bad_input)
#include "test_bad_input.moc"
