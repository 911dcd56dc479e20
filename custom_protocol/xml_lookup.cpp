#include "custom_protocol/xml_lookup.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QXmlStreamReader>

namespace custom_xml {

namespace {

// The DOM is built and torn down recursively, so a hostile document nested a few ten thousand
// levels deep would overflow the stack. The streaming reader keeps its own stack and sees the
// same elements (entities included), so it measures the real depth first.
bool well_formed_and_shallow(const QByteArray &content)
{
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > max_nesting_depth)
                return false;
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    // Whatever the streaming reader cannot read is not handed to the DOM either: only then is the
    // depth measured above known to be the depth the DOM would build.
    return !reader.hasError();
}

}  // namespace

QString lookup_xml_text_in(const QByteArray &content, int32_t id, bool *parsed)
{
    QDomDocument doc;
    const bool ok = content.size() <= max_document_bytes && well_formed_and_shallow(content) && doc.setContent(content);
    if (parsed)
        *parsed = ok;
    if (!ok)
        return QString();

    const QDomElement root = doc.documentElement();
    if (root.isNull() || !root.hasChildNodes())
        return QString();
    for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling()) {
        // toElement() of a comment or text node is null, and its attribute reads as empty: such
        // a child counts as id 0, like an element without the attribute.
        bool number = false;
        int32_t key = child.toElement().attribute(QStringLiteral("id")).toInt(&number, 10);
        if (!number)
            key = 0;
        if (key == id)
            return child.firstChild().toElement().text();
    }
    return QString();
}

QString lookup_xml_text(const QString &path, int32_t id)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // One byte more than allowed is enough to tell an oversized file without reading it all.
    const QByteArray content = file.read(max_document_bytes + 1);
    file.close();
    bool parsed = false;
    const QString text = lookup_xml_text_in(content, id, &parsed);
    if (!parsed)
        qDebug() << "setContent error";
    return text;
}

}  // namespace custom_xml
