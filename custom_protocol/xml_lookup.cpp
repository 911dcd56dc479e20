#include "custom_protocol/xml_lookup.h"

#include <QDebug>

namespace custom_xml {

QString lookup_xml_text_in(const QByteArray &content, int32_t id, bool *parsed)
{
    return document_lookup::text_for_id(content, id, limits, parsed);
}

QString lookup_xml_text(const QString &path, int32_t id)
{
    QByteArray content;
    if (!document_lookup::read_document(path, &content))
        return QString();
    bool parsed = false;
    const QString text = lookup_xml_text_in(content, id, &parsed);
    if (!parsed)
        qDebug() << "setContent error";
    return text;
}

}  // namespace custom_xml
