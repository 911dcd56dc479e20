// Looking texts up by number in the shipped documents: which child matches, what a broken,
// missing, oversized or hostile document gives, and that the shipped documents hold what the
// control window asks for.
#include "custom_protocol/xml_lookup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using custom_xml::lookup_xml_text;
using custom_xml::lookup_xml_text_in;

class test_xml_lookup : public QObject {
    Q_OBJECT

    static QString in(const char *xml, int32_t id, bool *parsed = nullptr)
    {
        return lookup_xml_text_in(QByteArray(xml), id, parsed);
    }

private slots:
    void first_matching_child_gives_its_first_element_text()
    {
        const char *doc = "<r><e id='5'><t>five<b>!</b></t><u>no</u></e><e id='5'><t>second</t></e>"
                          "<e id='-3'><t>minus</t></e><e id='07'><t>seven</t></e><e id='x'><t>x</t></e></r>";
        QCOMPARE(in(doc, 5), QStringLiteral("five!"));  // whole text, first of duplicates
        QCOMPARE(in(doc, -3), QStringLiteral("minus"));
        QCOMPARE(in(doc, 7), QStringLiteral("seven"));
        QCOMPARE(in(doc, 0), QStringLiteral("x"));  // a non-numeric id counts as 0
        QCOMPARE(in(doc, 6), QString());

        // A child without id, or a comment, is taken for id 0 and shadows a later id 0.
        QCOMPARE(in("<r><e><t>no id</t></e><e id='0'><t>zero</t></e></r>", 0), QStringLiteral("no id"));
        QCOMPARE(in("<r><!-- note --><e id='0'><t>zero</t></e></r>", 0), QString());
        QCOMPARE(in("<!-- outside the root --><r><e id='0'><t>zero</t></e></r>", 0), QStringLiteral("zero"));
        // A first child that is text, not an element, gives nothing.
        QCOMPARE(in("<r><e id='1'>bare<t>inner</t></e></r>", 1), QString());
        QCOMPARE(in("<r/>", 0), QString());
    }

    void files_are_read_afresh_and_failures_give_empty_texts()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("doc.xml"));
        auto write = [&path](const QByteArray &content) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        };

        // Count the "setContent error" lines: a missing file gives none, a broken one one per call.
        int setcontent_lines = 0;
        static int *counter = nullptr;
        counter = &setcontent_lines;
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
            if (m.contains(QStringLiteral("setContent error")))
                ++*counter;
        });
        QCOMPARE(lookup_xml_text(path, 0), QString());
        QCOMPARE(setcontent_lines, 0);

        write("<r><e id='1'><t>one</t></e></r>");
        QCOMPARE(lookup_xml_text(path, 1), QStringLiteral("one"));
        write("<r><e id='1'><t>changed</t></e></r>");
        QCOMPARE(lookup_xml_text(path, 1), QStringLiteral("changed"));

        write("<r><e id='1'><t>one</t></e>");  // unterminated
        QCOMPARE(lookup_xml_text(path, 1), QString());
        QCOMPARE(setcontent_lines, 1);
        write("");
        QCOMPARE(lookup_xml_text(path, 0), QString());
        QCOMPARE(setcontent_lines, 2);

        // Well-formed but beyond the size limit: refused like a broken document.
        QByteArray big = "<r><e id='1'><t>one</t></e><pad>";
        big += QByteArray(int(custom_xml::max_document_bytes), 'p');
        big += "</pad></r>";
        write(big);
        QCOMPARE(lookup_xml_text(path, 1), QString());
        QCOMPARE(setcontent_lines, 3);
        qInstallMessageHandler(previous);
    }

    void hostile_documents_are_refused_without_harm()
    {
        bool parsed = true;
        // Nesting deep enough to exhaust the stack of a recursive tree.
        const int depth = 200000;
        QByteArray deep = "<r><e id='1'><t>one</t></e>";
        for (int i = 0; i < depth; ++i)
            deep += "<a>";
        for (int i = 0; i < depth; ++i)
            deep += "</a>";
        deep += "</r>";
        QCOMPARE(lookup_xml_text_in(deep, 1, &parsed), QString());
        QVERIFY(!parsed);

        // Depth hidden in an entity: short enough for the parser's expansion limit, deeper than
        // the guard allows. Asked for the entry that exists, so only the refusal empties the answer.
        QByteArray open, close;
        for (int i = 0; i < 300; ++i) {
            open += "<a>";
            close += "</a>";
        }
        const QByteArray entity = "<!DOCTYPE r [<!ENTITY deep '" + open + "x" + close + "'>]><r><e id='1'><t>&deep;</t></e></r>";
        parsed = true;
        QCOMPARE(lookup_xml_text_in(entity, 1, &parsed), QString());
        QVERIFY(!parsed);
        // The same depth written out is refused the same way; shallow, the entity is read.
        QCOMPARE(lookup_xml_text_in("<r><e id='1'><t>" + open + "x" + close + "</t></e></r>", 1, &parsed), QString());
        QVERIFY(!parsed);
        QCOMPARE(lookup_xml_text_in("<!DOCTYPE r [<!ENTITY deep '<a>x</a>'>]><r><e id='1'><t>&deep;</t></e></r>", 1,
                                    &parsed),
                 QStringLiteral("x"));
        QVERIFY(parsed);

        // Exponential text expansion.
        QByteArray bomb = "<!DOCTYPE r [<!ENTITY a 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'>";
        for (char c = 'b'; c <= 'j'; ++c) {
            bomb += QByteArray("<!ENTITY ") + c + " '";
            for (int i = 0; i < 10; ++i)
                bomb += QByteArray("&") + char(c - 1) + ";";
            bomb += "'>";
        }
        bomb += "]><r><e id='1'><t>&j;</t></e></r>";
        QVERIFY(lookup_xml_text_in(bomb, 1, &parsed).size() < 1024 * 1024);

        // Garbage, binary, truncated markup, stray ids of every kind.
        const struct {
            QByteArray doc;
            int32_t id;
            const char *text;
            bool parsed;
        } junk[] = {
            {QByteArray("\0\xff\xfe<r>", 6), 0, "", false},
            {"<<<>>>", 0, "", false},
            {"<?xml version='9'?><r/>", 0, "", false},
            {"<r id='1'><e id='99999999999'/></r>", 0, "", true},  // out of range counts as 0; no inner element
            {"<r><e id=''/><e id=' 1 '><t>sp</t></e></r>", 1, "sp", true},  // spaces around the id are allowed
            {"<r><e id='1'><![CDATA[<t>not an element</t>]]></e></r>", 1, "", true},
        };
        for (const auto &j : junk) {
            parsed = !j.parsed;
            QCOMPARE(lookup_xml_text_in(j.doc, j.id, &parsed), QString::fromUtf8(j.text));
            QCOMPARE(parsed, j.parsed);
        }
    }

    void shipped_documents_answer_what_the_window_asks()
    {
        // Tests run in build/bin, where the build puts the documents.
        const QString err = QStringLiteral("./Document/Err.xml");
        const QString info = QStringLiteral("./Document/CAN_information.xml");
        QCOMPARE(lookup_xml_text(err, 0), QStringLiteral("无错误\nNo error"));
        for (int code : {0x0010, 0x0021}) {
            const QStringList lines = lookup_xml_text(err, code).split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 2);  // Chinese line, English line
            QVERIFY(lines[1].contains(QStringLiteral("0x%1").arg(code, 4, 16, QLatin1Char('0'))));
        }
        for (int item = 0; item < 3; ++item)
            QVERIFY(lookup_xml_text(info, item).size() > 100);
        QVERIFY(lookup_xml_text(info, 0) != lookup_xml_text(info, 1));
        QVERIFY(lookup_xml_text(info, 3).isEmpty());
    }
};

QTEST_GUILESS_MAIN(test_xml_lookup)
#include "test_xml_lookup.moc"
