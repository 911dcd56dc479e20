#include "sequences/junit_report.h"

#include "base/text_safety.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace sequences {

namespace {

QString seconds(double s) { return QString::number(s, 'f', 3); }

// Scripts name their checks freely; the report stays well-formed XML whatever they hold.
QString xml_text(const QString &text) { return text_safety::safe_text(text); }

void write_failure(QXmlStreamWriter &xml, const check_result &r, const QString &message)
{
    xml.writeStartElement(QStringLiteral("failure"));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("check"));
    xml.writeAttribute(QStringLiteral("message"), xml_text(message));
    xml.writeCharacters(xml_text(QStringLiteral("actual: %1\nexpected: %2\ntolerance: %3\ntime: %4 s\n")
                                     .arg(r.actual, r.expected, check_number_text(r.tolerance), seconds(r.time_s))));
    xml.writeEndElement();
}

QString failure_message(const check_result &r)
{
    return r.numeric
        ? QStringLiteral("actual %1, expected %2 ± %3").arg(r.actual, r.expected, check_number_text(r.tolerance))
        : QStringLiteral("actual \"%1\", expected \"%2\"").arg(r.actual, r.expected);
}

}  // namespace

QString no_checks_text() { return QStringLiteral("没有检查/no checks"); }

QByteArray junit_report(const check_book &book, const report_run &run)
{
    const QString suite = run.script.isEmpty() ? QStringLiteral("sequence") : QFileInfo(run.script).completeBaseName();
    const int errors = run.error.isEmpty() ? 0 : 1;
    const int tests = static_cast<int>(book.rows().size() + book.summaries().size()) + errors;
    int failures = 0;
    for (const check_result &r : book.rows())
        failures += r.passed ? 0 : 1;
    for (const check_summary &s : book.summaries())
        failures += s.failed ? 1 : 0;

    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("velmora"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    xml.writeAttribute(QStringLiteral("time"), seconds(run.duration_s));

    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), xml_text(suite));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    xml.writeAttribute(QStringLiteral("skipped"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), seconds(run.duration_s));
    if (run.started.isValid())
        xml.writeAttribute(QStringLiteral("timestamp"), run.started.toString(Qt::ISODate));
    // A script that checked nothing has proved nothing: a CI server shows it, not a bare pass.
    if (book.total() == 0) {
        xml.writeStartElement(QStringLiteral("properties"));
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("checks"));
        xml.writeAttribute(QStringLiteral("value"), QStringLiteral("0"));
        xml.writeEndElement();
    }

    double previous = 0;
    for (const check_result &r : book.rows()) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), xml_text(suite));
        xml.writeAttribute(QStringLiteral("name"), xml_text(r.name));
        // A check takes the time since the one before it.
        xml.writeAttribute(QStringLiteral("time"), seconds(qMax(0.0, r.time_s - previous)));
        previous = r.time_s;
        if (!r.passed)
            write_failure(xml, r, failure_message(r));
        xml.writeEndElement();
    }
    for (const check_summary &s : book.summaries()) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), xml_text(suite));
        const QString name = s.name.isEmpty() ? QStringLiteral("other checks") : s.name;
        xml.writeAttribute(QStringLiteral("name"),
                           xml_text(QStringLiteral("%1 (%2 more checks)").arg(name).arg(s.count)));
        xml.writeAttribute(QStringLiteral("time"), QStringLiteral("0.000"));
        if (s.failed) {
            QString message = QStringLiteral("%1 of %2 failed, first: %3")
                                  .arg(s.failed)
                                  .arg(s.count)
                                  .arg(failure_message(s.first_failure));
            if (s.numeric)
                message += QStringLiteral("; actual min %1, mean %2, max %3")
                               .arg(check_number_text(s.min), check_number_text(s.mean()), check_number_text(s.max));
            write_failure(xml, s.first_failure, message);
        } else if (s.numeric) {
            xml.writeTextElement(
                QStringLiteral("system-out"),
                QStringLiteral("%1 checks passed; actual min %2, mean %3, max %4\n")
                    .arg(s.count)
                    .arg(check_number_text(s.min), check_number_text(s.mean()), check_number_text(s.max)));
        }
        xml.writeEndElement();
    }
    if (errors) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), xml_text(suite));
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("script"));
        xml.writeStartElement(QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), xml_text(run.error));
        xml.writeCharacters(xml_text(run.error));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    if (book.total() == 0)
        xml.writeTextElement(QStringLiteral("system-out"), no_checks_text() + QLatin1Char('\n'));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

bool save_junit_report(const QString &path, const check_book &book, const report_run &run, QString *why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(junit_report(book, run)) < 0 || !file.commit()) {
        if (why)
            *why = file.errorString();
        return false;
    }
    return true;
}

}  // namespace sequences
