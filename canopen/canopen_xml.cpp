#include "canopen/canopen_xml.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QXmlStreamReader>

namespace canopen {
namespace {

// Nesting beyond this is no document of ours; refusing it keeps the recursive DOM teardown
// away from deep trees.
constexpr int max_depth = 64;

// A streaming pass first: it never recurses and never expands entities, so it can refuse
// what the DOM parser should not see.
bool acceptable(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return false;
        case QXmlStreamReader::StartElement:
            if (++depth > max_depth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

}  // namespace

QString xml_text_in(const QByteArray &document, int32_t id)
{
    if (document.size() > xml_document_size_limit || !acceptable(document))
        return QString();
    QDomDocument doc;
    if (!doc.setContent(document))
        return QString();
    const QDomElement root = doc.documentElement();
    if (!root.hasChildNodes())
        return QString();
    for (QDomNode n = root.firstChild(); !n.isNull(); n = n.nextSibling()) {
        // A node that is not an element has no attributes: its id reads as empty, that is 0.
        const int32_t entry_id = n.toElement().attribute(QStringLiteral("id")).toInt(nullptr, 10);
        if (entry_id == id)
            return n.firstChild().toElement().text();
    }
    return QString();
}

QString lookup_xml_text(const QString &path, int32_t id)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "ReadOnly error";
        return QString();
    }
    if (file.size() > xml_document_size_limit)
        return QString();
    // read() with a cap: a file that grows (or is not a regular file) cannot make us read more.
    const QByteArray content = file.read(xml_document_size_limit + 1);
    file.close();
    return xml_text_in(content, id);
}

}  // namespace canopen
