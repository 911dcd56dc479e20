#pragma once
// Texts looked up by number in the documents shipped beside the program (error texts, mode
// information). Widget-free, so it can be exercised on arbitrary input on its own.
//
// Document shape: a root element whose children carry a decimal attribute `id`; the first child
// node of the matching child is an element whose whole text is the message. Element names are
// not looked at. A root child without `id` (or one that is not an element, such as a comment)
// counts as id 0.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace custom_xml {

// Larger documents are refused like malformed ones: the file is read on every poll cycle on the
// GUI thread, and nothing this program ships comes near this size.
constexpr qint64 max_document_bytes = 1024 * 1024;

// Deeper element nesting is refused like malformed XML: the DOM is built and torn down
// recursively, and none of the documents needs more than a few levels.
constexpr int max_nesting_depth = 256;

// Looks id up in an XML text. *parsed (optional) tells whether the text was accepted as XML.
QString lookup_xml_text_in(const QByteArray &content, int32_t id, bool *parsed = nullptr);

// Reads the file at path afresh on every call and looks id up in it. A missing or unreadable
// file gives an empty text silently; a malformed or oversized one writes "setContent error" to
// the debug output and gives an empty text.
QString lookup_xml_text(const QString &path, int32_t id);

}  // namespace custom_xml
