// The frame sender: how typed text becomes a frame, what is refused, and what the table lists
// after a send on a scripted bus.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "support/test_bus.h"
#include "tools/custom_send.h"
#include "tools/custom_send_payload.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace test_support;

Q_DECLARE_METATYPE(payload_status)

class test_custom_send : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<scripted_bus_state> bus;
    custom_send *window = nullptr;
    QVector<desktop_seams::box_request> boxes;

    QLineEdit *cob_id() { return window->findChild<QLineEdit *>(QStringLiteral("COB_ID")); }
    QLineEdit *data() { return window->findChild<QLineEdit *>(QStringLiteral("data")); }
    QCheckBox *remote() { return window->findChild<QCheckBox *>(QStringLiteral("checkBox")); }
    QTableWidget *table() { return window->findChild<QTableWidget *>(QStringLiteral("tableWidget")); }

    void send(const QString &id, const QString &payload)
    {
        cob_id()->setText(id);
        data()->setText(payload);
        window->findChild<QPushButton *>(QStringLiteral("send"))->click();
    }

    QStringList row(int r)
    {
        QStringList texts;
        for (int c = 0; c < 3; ++c)
            texts << (table()->item(r, c) ? table()->item(r, c)->text() : QStringLiteral("<none>"));
        return texts;
    }

    static std::vector<vci::can_message> answer_with_sdo_reply(const vci::can_message &)
    {
        return {make_message(0x581, {0x60, 0x41, 0x60, 0, 0, 0, 0, 0})};
    }

    void expect_refused()
    {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, desktop_seams::box_kind::question);
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(boxes[0].text, QStringLiteral("输入数据格式错误"));
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(bus->sent.empty());
        QCOMPARE(table()->rowCount(), 0);
        QCOMPARE(row_cursor, 0);
        boxes.clear();
    }

private slots:
    void init()
    {
        fresh_process();
        row_cursor = 0;
        bus = install_scripted_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        boxes.clear();
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes << r;
            return QMessageBox::Ok;
        });
        window = new custom_send();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        desktop_seams::set_box_responder({});
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void payload_text_becomes_bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<payload_status>("status");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << "" << payload_status::ok << QByteArray();
        QTest::newRow("four bytes") << "40 41 60 00" << payload_status::ok << QByteArray("\x40\x41\x60\x00", 4);
        QTest::newRow("short pieces") << "1 a" << payload_status::ok << QByteArray("\x01\x0a", 2);
        QTest::newRow("mixed case") << "01 2 fF" << payload_status::ok << QByteArray("\x01\x02\xff", 3);
        QTest::newRow("trailing space") << "1 " << payload_status::ok << QByteArray("\x01\x00", 2);
        QTest::newRow("double space") << "1  2" << payload_status::ok << QByteArray("\x01\x00\x02", 3);
        QTest::newRow("lone space") << " " << payload_status::ok << QByteArray(2, '\0');
        QTest::newRow("not hex") << "zz 1 g" << payload_status::ok << QByteArray("\x00\x01\x00", 3);
        QTest::newRow("signed") << "-1 +f -f +0 -0" << payload_status::ok << QByteArray("\xff\x0f\xf1\x00\x00", 5);
        QTest::newRow("sign alone") << "- + -- +-" << payload_status::ok << QByteArray(4, '\0');
        QTest::newRow("eight") << "1 2 3 4 5 6 7 8" << payload_status::ok << QByteArray("\1\2\3\4\5\6\7\x08", 8);
        QTest::newRow("three digits") << "123" << payload_status::bad_piece << QByteArray();
        QTest::newRow("long piece later") << "01 02 0x3" << payload_status::bad_piece << QByteArray();
        QTest::newRow("nine") << "1 2 3 4 5 6 7 8 9" << payload_status::too_many << QByteArray();
        QTest::newRow("eight and a space") << "1 2 3 4 5 6 7 8 " << payload_status::too_many << QByteArray();
        QTest::newRow("many spaces") << QString(40, QLatin1Char(' ')) << payload_status::too_many << QByteArray();
    }
    void payload_text_becomes_bytes()
    {
        QFETCH(QString, text);
        QFETCH(payload_status, status);
        QFETCH(QByteArray, bytes);
        const parsed_payload p = parse_payload_text(text);
        QCOMPARE(p.status, status);
        if (status != payload_status::ok)
            return;
        QCOMPARE(p.count, bytes.size());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(p.bytes.data()), p.count), bytes);
        for (size_t i = size_t(p.count); i < p.bytes.size(); ++i)
            QCOMPARE(p.bytes[i], uint8_t(0));
    }

    void identifier_text()
    {
        const struct { const char *text; identifier_status status; uint32_t id; } cases[] = {
            {"601", identifier_status::ok, 0x601},
            {"7ff", identifier_status::ok, 0x7FF},
            {"0x581", identifier_status::ok, 0x581},
            {" 581h ", identifier_status::ok, 0x581},
            {"0x581h", identifier_status::not_hex, 0},
            {"h", identifier_status::not_hex, 0},
            {"", identifier_status::not_hex, 0},
            {"zz", identifier_status::not_hex, 0},
            {" 0x ", identifier_status::not_hex, 0},
            {"0", identifier_status::ok, 0},
            {"800", identifier_status::too_large, 0},
            {"1ABCD", identifier_status::too_large, 0},
            // Would wrap to 0x801 or 0x001 in 32 bits.
            {"100000801", identifier_status::too_large, 0},
            {"10000000000000001", identifier_status::too_large, 0},
        };
        for (const auto &c : cases) {
            uint32_t id = 0xDEAD;
            QCOMPARE(parse_identifier_text(QString::fromLatin1(c.text), &id), c.status);
            QCOMPARE(id, c.id);
        }
    }

    void sent_and_pending_frames_are_listed()
    {
        // A frame already waiting in the adapter is listed too: the buffer is not cleared first.
        bus->inject(make_message(0x123, {}));
        bus->responder = answer_with_sdo_reply;
        send(QStringLiteral("601"), QStringLiteral("40 41 60 00"));
        QCOMPARE(bus->sent.size(), size_t(1));
        const vci::can_message &m = bus->sent[0];
        QCOMPARE(m.id, 0x601u);
        QCOMPARE(m.len, uint8_t(4));
        QVERIFY(!m.remote);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(m.data), 4), QByteArray("\x40\x41\x60\x00", 4));
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(row(0), (QStringList{"601", "发送成功", "40 41 60 00"}));
        QCOMPARE(row(1), (QStringList{"123", "接收", ""}));
        QCOMPARE(row(2), (QStringList{"581", "接收", "60 41 60 00 00 00 00 00 "}));
        QCOMPARE(row_cursor, 3);
        QVERIFY(boxes.isEmpty());

        // The entry shows the text as typed, upper-cased, not the normalised bytes.
        bus->responder = nullptr;
        send(QStringLiteral("7e5"), QStringLiteral("1 a"));
        QCOMPARE(bus->sent[1].len, uint8_t(2));
        QCOMPARE(bus->sent[1].data[0], uint8_t(0x01));
        QCOMPARE(bus->sent[1].data[1], uint8_t(0x0A));
        QCOMPARE(table()->rowCount(), 4);
        QCOMPARE(row(3), (QStringList{"7e5", "发送成功", "1 A"}));
    }

    void remote_frame_with_empty_payload()
    {
        remote()->setChecked(true);
        send(QStringLiteral("701"), QString());
        QCOMPARE(bus->sent.size(), size_t(1));
        QVERIFY(bus->sent[0].remote);
        QCOMPARE(bus->sent[0].id, 0x701u);
        QCOMPARE(bus->sent[0].len, uint8_t(0));
        QCOMPARE(row(0), (QStringList{"701", "发送成功", ""}));
    }

    void malformed_oversized_and_out_of_range_input_is_refused()
    {
        send(QStringLiteral("601"), QStringLiteral("123"));
        expect_refused();
        send(QStringLiteral("601"), QStringLiteral("1 2 3 4 5 6 7 8 9"));
        expect_refused();
        // An 11-bit identifier cannot hold 0x800; the bus would otherwise deliver it elsewhere.
        send(QStringLiteral("800"), QStringLiteral("01"));
        expect_refused();
        send(QStringLiteral("FFFFFFFF"), QString());
        expect_refused();
    }

    void failed_send_changes_nothing()
    {
        bus->fail_transmit = true;
        send(QStringLiteral("601"), QStringLiteral("01"));
        QCOMPARE(table()->rowCount(), 0);
        QCOMPARE(row_cursor, 0);
        QVERIFY(boxes.isEmpty());
    }

    void clear_restarts_at_row_zero()
    {
        send(QStringLiteral("601"), QStringLiteral("01"));
        send(QStringLiteral("602"), QStringLiteral("02"));
        QCOMPARE(table()->rowCount(), 2);
        window->findChild<QPushButton *>(QStringLiteral("clear"))->click();
        QCOMPARE(table()->rowCount(), 0);
        QCOMPARE(row_cursor, 0);
        send(QStringLiteral("603"), QStringLiteral("03"));
        QCOMPARE(table()->rowCount(), 1);
        QCOMPARE(row(0), (QStringList{"603", "发送成功", "03"}));
    }

    void open_flag_follows_show_and_close()
    {
        window->show();
        QCOMPARE(custom_send_open, uint8_t(1));
        window->close();
        QCOMPARE(custom_send_open, uint8_t(0));
        QCOMPARE(window->size(), QSize(761, 553));
    }
};

QTEST_MAIN(test_custom_send)
#include "test_custom_send.moc"
