#pragma once
// The custom-protocol window's document lookup (error texts, mode information): silent when the
// file is missing, "setContent error" when it is not a document it accepts.
#include "base/document_lookup.h"

namespace custom_xml {

constexpr qint64 max_document_bytes = document_lookup::max_document_bytes;
// Documents with a DTD are parsed; Qt's DOM does not expand entities into elements.
constexpr document_lookup::guard limits{256, false};

// Looks id up in an XML text. *parsed (optional) tells whether the text was accepted as XML.
QString lookup_xml_text_in(const QByteArray &content, int32_t id, bool *parsed = nullptr);

// Reads the file at path afresh on every call and looks id up in it. A missing or unreadable
// file gives an empty text silently; a malformed or oversized one writes "setContent error" to
// the debug output and gives an empty text.
QString lookup_xml_text(const QString &path, int32_t id);

}  // namespace custom_xml
