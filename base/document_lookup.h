#pragma once
// Texts looked up by number in the XML documents shipped beside the program (error texts, mode
// information), shared by both control windows. Widget-free, so it can be exercised (and
// fuzzed) on arbitrary input.
//
// Document shape: a root element whose children carry a decimal attribute `id`; the first child
// node of the first matching child is an element whose whole text is the answer. Element names
// are not looked at. A root child without `id` (or one that is not an element, such as a
// comment) counts as id 0.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace document_lookup {

// Larger documents are refused like malformed ones: the polls read their document every second
// on the GUI thread, and nothing this program ships comes near this size.
constexpr qint64 max_document_bytes = 1024 * 1024;

// What a document must pass before the DOM sees it. The DOM is built and torn down
// recursively, so deep nesting is refused; a DTD can declare entities that make a small file
// expand without bound.
struct guard {
    int max_depth;
    bool refuse_dtd;
};

// Looks id up in an XML text. *accepted (optional) tells whether the text passed the guard and
// parsed as XML; when it did not, the answer is empty.
QString text_for_id(const QByteArray &content, int32_t id, const guard &limits, bool *accepted = nullptr);

// Reads a document afresh, never more than one byte beyond the size limit (enough to tell an
// oversized file). False when the file cannot be opened.
bool read_document(const QString &path, QByteArray *content);

// Where a file shipped with the program is, given its path below the program's data folder
// (e.g. "Document/Err.xml"). The first of these that holds it wins: the program's own folder
// (the build tree, bin/ of an older install), <prefix>/share/velmora for a program in
// <prefix>/bin (an installed or unpacked tree), /usr/share/velmora. When none does, the path
// beside the program, so that a missing document reads as missing. Never relative to the
// working folder: the desktop menu starts the program in $HOME.
QString locate(const QString &relative, const QString &program_dir);
// The same for the running program.
QString locate(const QString &relative);

}  // namespace document_lookup
