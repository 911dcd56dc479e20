// The CANopen window's XML text lookup: the document format it accepts, what it refuses, and
// the two documents the program ships beside itself.
#include "canopen/canopen_replies.h"
#include "canopen/canopen_xml.h"
#include "canopen/cia402.h"
#include "canopen/sdo_abort.h"

#include <QRegularExpression>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <set>

class test_canopen_window_xml : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(content);
        return path;
    }
    static QString shipped(const char *name)
    {
        const QByteArray source = qgetenv("VELMORA_TEST_SOURCE_DIR");
        const QString base = source.isEmpty() ? QStringLiteral(".") : QString::fromLocal8Bit(source);
        return base + QStringLiteral("/Document/") + QLatin1String(name);
    }

private slots:
    void matching_rules()
    {
        const QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<root>\n"
                               "  <e id=\"5\"><t>first</t></e>\n"
                               "  <e id=\"5\"><t>second</t></e>\n"
                               "  <e id=\"7\">direct text</e>\n"
                               "  <e id=\"-3\"><t>a <b>nested</b> text</t><u>other</u></e>\n"
                               "  <e id=\"x\"><t>non-numeric</t></e>\n"
                               "  <e id=\"4096\"><t>line one\nline two</t></e>\n"
                               "</root>\n";
        QCOMPARE(canopen::xml_text_in(doc, 5), QStringLiteral("first"));  // first entry wins
        QCOMPARE(canopen::xml_text_in(doc, 7), QString());               // text not in a child element
        QCOMPARE(canopen::xml_text_in(doc, -3), QStringLiteral("a nested text"));
        QCOMPARE(canopen::xml_text_in(doc, 0), QStringLiteral("non-numeric"));  // id "x" reads as 0
        QCOMPARE(canopen::xml_text_in(doc, 4096), QStringLiteral("line one\nline two"));
        QCOMPARE(canopen::xml_text_in(doc, 8), QString());

        // A comment among the entries is an entry without id: it answers 0 with nothing.
        const QByteArray commented = "<root><!-- note --><e id=\"0\"><t>zero</t></e></root>";
        QCOMPARE(canopen::xml_text_in(commented, 0), QString());
        QCOMPARE(canopen::xml_text_in("<root/>", 0), QString());
    }

    void hostile_or_broken_documents_give_nothing()
    {
        QCOMPARE(canopen::xml_text_in("<root><e id=\"1\"><t>x</t></e>", 1), QString());  // unterminated
        QCOMPARE(canopen::xml_text_in("not xml at all", 0), QString());
        QCOMPARE(canopen::xml_text_in(QByteArray(), 0), QString());
        QCOMPARE(canopen::xml_text_in(QByteArray("\0\xff\xfe<", 4), 0), QString());

        const QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
                                  "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n"
                                  "<r><e id=\"1\"><t>&c;</t></e></r>";
        QCOMPARE(canopen::xml_text_in(laughs, 1), QString());
        const QByteArray external = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                                    "<r><e id=\"1\"><t>&x;</t></e></r>";
        QCOMPARE(canopen::xml_text_in(external, 1), QString());

        QByteArray deep = "<r><e id=\"1\"><t>";
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        for (int i = 0; i < 100000; ++i)
            deep += "</a>";
        deep += "</t></e></r>";
        QCOMPARE(canopen::xml_text_in(deep, 1), QString());

        // Over the size limit, even though well-formed.
        QByteArray big = "<r><e id=\"1\"><t>";
        big += QByteArray(int(canopen::xml_document_size_limit), 'x');
        big += "</t></e></r>";
        QCOMPARE(canopen::lookup_xml_text(write(QStringLiteral("big.xml"), big), 1), QString());
    }

    void missing_file_reports_read_only_error()
    {
        QTest::ignoreMessage(QtDebugMsg, "ReadOnly error");
        QCOMPARE(canopen::lookup_xml_text(dir.filePath(QStringLiteral("absent.xml")), 0), QString());
        // A parse failure says nothing.
        const QString broken = write(QStringLiteral("broken.xml"), "<r><e id=\"0\">");
        QCOMPARE(canopen::lookup_xml_text(broken, 0), QString());
    }

    void shipped_documents()
    {
        const QString errors = shipped("CANopen_Error.xml");
        QCOMPARE(canopen::lookup_xml_text(errors, 0), QStringLiteral("未检测到错误"));
        // Codes the simulated joint and common drives raise, and an abort read in their place.
        for (int32_t code : {0x1000, 0x2310, 0x3210, 0x3220, 0x4200, 0x7121, 0x8130, 0x8210, 0x8611, 0xFF00,
                             0x06020000, 0x08000022}) {
            const QString text = canopen::lookup_xml_text(errors, code);
            QVERIFY2(text.contains(QLatin1Char('\n')), qPrintable(QString::number(code, 16)));
            QVERIFY(text != QStringLiteral("未检测到错误"));
        }
        const QString modes = shipped("CANopen_information.xml");
        const char *names[] = {"Profile Position", "Profile Velocity", "Profile Torque", "Cyclic Synchronous Position",
                               "Cyclic Synchronous Velocity", "Cyclic Synchronous Torque", "Interpolated Position"};
        for (int i = 0; i < 7; ++i) {
            const QString text = canopen::lookup_xml_text(modes, i);
            QVERIFY2(text.contains(QLatin1String(names[i])), names[i]);
            QVERIFY(text.contains(QStringLiteral("Enable")));
        }
        QCOMPARE(canopen::lookup_xml_text(modes, 7), QString());
    }

    void aborts_of_the_error_document_are_in_the_abort_table()
    {
        QFile f(shipped("CANopen_Error.xml"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QRegularExpressionMatchIterator ids = QRegularExpression(QStringLiteral("id=\"(\\d+)\"")).globalMatch(text);
        int aborts = 0;
        while (ids.hasNext()) {
            const uint32_t code = ids.next().captured(1).toUInt();
            if (code <= 0xFFFF)
                continue;  // an emergency code
            ++aborts;
            QVERIFY2(canopen::find_abort(code), qPrintable(QString::number(code, 16)));
            // The document's text wins in the control window.
            QCOMPARE(canopen::control_abort_text(code), canopen::lookup_xml_text(f.fileName(), int32_t(code)));
        }
        QVERIFY(aborts >= 15);
        // A code the document leaves out speaks with the table's words, in the document's style.
        QCOMPARE(canopen::control_abort_text(canopen::abort_code::out_of_memory),
                 QStringLiteral("SDO中止：内存不足(0x05040005)\nSDO abort: out of memory"));
    }

    void emergency_codes_of_the_error_document_are_the_error_table()
    {
        // Both ways: the window (the document) and the trace (the table) say the same for a code.
        QFile f(shipped("CANopen_Error.xml"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QRegularExpressionMatchIterator ids = QRegularExpression(QStringLiteral("id=\"(\\d+)\"")).globalMatch(text);
        std::set<uint32_t> in_document;
        while (ids.hasNext()) {
            const uint32_t code = ids.next().captured(1).toUInt();
            if (code == 0 || code > 0xFFFF)
                continue;  // 0 reads the window's no-error text
            in_document.insert(code);
            QVERIFY2(canopen::error_code_known(static_cast<uint16_t>(code)), qPrintable(QString::number(code, 16)));
            QCOMPARE(canopen::error_code_text(static_cast<uint16_t>(code)), canopen::lookup_xml_text(f.fileName(), int32_t(code)));
        }
        for (auto *e = canopen::error_codes_begin(); e != canopen::error_codes_end(); ++e)
            QVERIFY2(e->code == 0 || in_document.count(e->code), qPrintable(QString::number(e->code, 16)));
    }
};

QTEST_MAIN(test_canopen_window_xml)
#include "test_canopen_window_xml.moc"
