#pragma once
// The CANopen window's document lookup (error texts, mode descriptions): "ReadOnly error" when
// the file cannot be opened, an empty text for anything it does not accept.
#include "base/document_lookup.h"

namespace canopen {

constexpr qint64 xml_document_size_limit = document_lookup::max_document_bytes;
// Documents with a DTD are refused outright, and no document of ours nests deeper than this.
constexpr document_lookup::guard xml_limits{64, true};

// Looks id up in the document text; malformed, oversized, DTD-carrying or absurdly deep
// documents give an empty text.
QString xml_text_in(const QByteArray &document, int32_t id);

// Reads the file at path on every call. Writes "ReadOnly error" to the debug output when the
// file cannot be opened; returns an empty text then, and for a file over the size limit.
QString lookup_xml_text(const QString &path, int32_t id);

}  // namespace canopen
