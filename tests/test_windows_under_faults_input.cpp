// Whatever is typed into the control windows' fields: every button of both windows pressed with
// every field full of nonsense never crashes and never puts a frame on the bus that the bus
// cannot carry, and a field's number reaches the drive by one rule: a plain decimal within 32
// bits is that number, a blank field is an empty one, and anything else sends nothing and tells
// the user.
#include "app/desktop_seams.h"
#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/control_can_state.h"
#include "support/test_bus.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace test_support;

namespace {

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

class test_windows_under_faults_input : public QObject {
    Q_OBJECT

    std::shared_ptr<scripted_bus_state> bus;
    int boxes = 0;

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
        CloseDevice(3, 0);
        reset_shared_values();
        reset_control_can_state();
        reset_canopen_state();
        bus = install_scripted_bus();
        bus->responder = answer;
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        node_connected = 1;
        node_id = 1;
        custom_request_id = 0x641;
        sdo_request_id = 0x601;
        canopen_supported = 1;
        comm_cycle_us = 1000;
        boxes = 0;
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &) {
            ++boxes;
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        desktop_seams::set_box_responder(nullptr);
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void custom_protocol_window()
    {
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
                const int boxes_before = boxes;
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
                    QVERIFY2(boxes == boxes_before + (blank ? 0 : 1), qPrintable(which));
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
                const int boxes_before = boxes;
                w.findChild<QPushButton *>(QLatin1String(c.button))->click();
                int32_t v = 0;
                const bool sent =
                    c.sdo ? last_value(c.id, c.head, sdo_value, &v) : last_value(c.id, c.head, set_point, &v);
                int32_t expected = 0;
                // A move with no target typed sends nothing and needs no box.
                const bool move = QByteArray(c.button).startsWith("Move_to");
                if (move && text.trimmed().isEmpty()) {
                    QVERIFY2(bus->sent.empty() && boxes == boxes_before, qPrintable(which));
                    continue;
                }
                if (!typed_number(text, &expected) && !text.trimmed().isEmpty()) {
                    QVERIFY2(!sent && bus->sent.empty(), qPrintable(which));
                    QVERIFY2(boxes == boxes_before + 1, qPrintable(which));
                    continue;
                }
                QVERIFY2(sent, qPrintable(which));
                QVERIFY2(v == expected, qPrintable(which + QStringLiteral(" sent %1").arg(v)));
            }
        }
    }
};

QTEST_MAIN(test_windows_under_faults_input)
#include "test_windows_under_faults_input.moc"
