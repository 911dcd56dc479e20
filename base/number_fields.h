#pragma once
// Numbers typed into the control windows' fields. A field whose text is not a base-10 signed
// 32-bit number must not reach the drive as 0: a typo such as "2OOO" would otherwise move the
// joint to the wrong place. Empty fields are left to each action (some send nothing, some 0).
#include <QList>
#include <QString>

class QLineEdit;
class QWidget;

// Blank (nothing but spaces) counts as empty, not as a bad number.
bool number_text_blank(const QString &text);
// True when the text is blank or a base-10 signed 32-bit number, spaces around it allowed.
bool number_text_acceptable(const QString &text);

// True when every field is blank or holds a number. Otherwise tells the user with the input
// error box (parent window) and returns false; the caller then sends nothing.
bool typed_numbers_ok(QWidget *window, const QList<const QLineEdit *> &fields);
