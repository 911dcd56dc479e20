#pragma once
// Text lookup in the window's XML documents (error texts, mode descriptions). Free of widgets
// so that it can be tested and fuzzed on its own.
//
// Document format: a root element whose child elements are the entries; each entry carries
// a decimal attribute `id`, and its first child element holds the text. The first entry
// whose id equals the key wins; an entry without an id (or a comment among the entries)
// counts as id 0.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace canopen {

// Files above this size are not read: the documents are a few kilobytes, and the poll
// parses the error file every second on the GUI thread.
constexpr qint64 xml_document_size_limit = 1024 * 1024;

// Looks id up in the document text. Malformed documents, documents with a DTD (entity
// declarations could make a small file expand without bound) and absurdly deep nesting give
// an empty text.
QString xml_text_in(const QByteArray &document, int32_t id);

// Reads the file at path on every call. Writes "ReadOnly error" to the debug output when the
// file cannot be opened; returns an empty text then, and for a file over the size limit.
QString lookup_xml_text(const QString &path, int32_t id);

}  // namespace canopen
