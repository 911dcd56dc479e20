#include "base/document_lookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace document_lookup {
namespace {

// A streaming pass first: it keeps its own stack and sees the same elements as the DOM would,
// so it measures the real depth without recursing. Whatever it cannot read is not handed to
// the DOM either.
bool passes(const QByteArray &content, const guard &limits)
{
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            if (limits.refuse_dtd)
                return false;
            break;
        case QXmlStreamReader::StartElement:
            if (++depth > limits.max_depth)
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

QString text_for_id(const QByteArray &content, int32_t id, const guard &limits, bool *accepted)
{
    QDomDocument doc;
    const bool ok = content.size() <= max_document_bytes && passes(content, limits) && doc.setContent(content);
    if (accepted)
        *accepted = ok;
    if (!ok)
        return QString();
    const QDomElement root = doc.documentElement();
    for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling()) {
        // toElement() of a comment or text node is null and its attribute reads as empty, which
        // converts to 0 like a missing or non-numeric id.
        const int32_t key = child.toElement().attribute(QStringLiteral("id")).toInt(nullptr, 10);
        if (key == id)
            return child.firstChild().toElement().text();
    }
    return QString();
}

bool read_document(const QString &path, QByteArray *content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *content = file.read(max_document_bytes + 1);
    return true;
}

QString locate(const QString &relative, const QString &program_dir)
{
    const QString bases[] = {program_dir, program_dir + QStringLiteral("/../share/velmora"),
                             QStringLiteral("/usr/share/velmora")};
    for (const QString &base : bases) {
        const QString candidate = QDir::cleanPath(base + QLatin1Char('/') + relative);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QDir::cleanPath(program_dir + QLatin1Char('/') + relative);
}

QString locate(const QString &relative) { return locate(relative, QCoreApplication::applicationDirPath()); }

}  // namespace document_lookup
