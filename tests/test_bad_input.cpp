// Whatever is typed into the node window's range and cycle fields and the frame sender's
// identifier and data fields: never a crash, a message where the window gives one, and never a
// frame the bus cannot carry (identifier beyond 11 bits, more than 8 bytes) or a probe outside
// nodes 1..64.
#include "app/desktop_seams.h"
#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "node/node_state.h"
#include "node/set_node.h"
#include "support/test_bus.h"
#include "tools/custom_send.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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

}  // namespace

class test_bad_input : public QObject {
    Q_OBJECT

    std::shared_ptr<scripted_bus_state> bus;
    QStringList boxes;

private slots:
    void init()
    {
        CloseDevice(3, 0);
        reset_shared_values();
        reset_node_state();
        row_cursor = 0;
        boxes.clear();
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes << r.text;
            return QMessageBox::Ok;
        });
        bus = install_scripted_bus();
        // Every node number answers, so any probe outside 1..64 would also be listed.
        bus->responder = [](const vci::can_message &m) -> std::vector<vci::can_message> {
            return {make_message(m.id - 0x80, {0, 0, 0, 0})};
        };
    }
    void cleanup()
    {
        CloseDevice(3, 0);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void scan_range_fields()
    {
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
        bus->responder = nullptr;
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
};

QTEST_MAIN(test_bad_input)
#include "test_bad_input.moc"
