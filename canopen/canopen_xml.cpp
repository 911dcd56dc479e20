#include "canopen/canopen_xml.h"

#include <QDebug>

namespace canopen {

QString xml_text_in(const QByteArray &document, int32_t id)
{
    return document_lookup::text_for_id(document, id, xml_limits);
}

QString lookup_xml_text(const QString &path, int32_t id)
{
    QByteArray content;
    if (!document_lookup::read_document(path, &content)) {
        qDebug() << "ReadOnly error";
        return QString();
    }
    return xml_text_in(content, id);
}

}  // namespace canopen
