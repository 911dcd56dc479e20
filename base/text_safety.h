#pragma once
// Text from anywhere (a script's check names, strings read from a drive, values of a file)
// made fit for the files the program writes, so that every report, export and data sheet is
// well-formed whatever the text holds:
//
//   safe_text  unpaired UTF-16 surrogates, the control characters XML 1.0 forbids (U+0000 to
//              U+001F except tab, line feed and carriage return) and the non-characters U+FFFE
//              and U+FFFF become U+FFFD (REPLACEMENT CHARACTER); everything else, surrogate
//              pairs included, is kept.   "half \uD800 pair" -> "half \uFFFD pair"
//   csv_field  safe_text, then quoted as RFC 4180 asks when it holds a comma, a double quote,
//              a carriage return or a line feed, quotes doubled inside.
//                                          say "hi", twice  ->  "say ""hi"", twice"
//   ini_value  safe_text on one line, for a key=value line: carriage return, line feed, next
//              line (U+0085) and the Unicode line and paragraph separators become spaces.
//   word       one whitespace-free token of a line-oriented log (an interface name): whatever
//              is not printable ASCII becomes '_'.   "can 0\n" -> "can_0_"
#include <QString>

namespace text_safety {

QString safe_text(const QString &text);
QString csv_field(const QString &text);
QString ini_value(const QString &text);
QString word(const QString &text);

}  // namespace text_safety
