#pragma once
// The run-time language switch's catalogues: ":/chinese" for 0, ":/english" for 1; 2 is the
// bilingual interface of the forms, with no catalogue at all.
#include <QString>
#include <QTranslator>
#include <cstdint>

constexpr int32_t language_chinese = 0;
constexpr int32_t language_english = 1;
constexpr int32_t language_both = 2;

// Loads the catalogue of language into translator; any other value loads nothing. True when
// a catalogue was loaded.
bool load_language(QTranslator &translator, int32_t language);

// What a window does on the switch: loads the catalogue and installs the translator (the
// install sends the windows their language change); for the bilingual interface it removes the
// translator instead. A translator is installed once, however often the language changes.
void switch_language(QTranslator &translator, int32_t language);

// The language the windows were last switched to (language_both until a switch).
int32_t current_language();
void set_current_language(int32_t language);

// The half of a bilingual text the current language shows: "连接\nConnect", a Chinese paragraph
// above an English one, "时间/Time" and "%1 帧/frames" give their Chinese or English half; a text
// in one language only goes through the catalogue's "documents" context (a document entry
// without an English line). Unchanged in the bilingual interface and when nothing splits.
QString in_language(const QString &text);
// The same for a given language.
QString in_language(const QString &text, int32_t language);
bool has_chinese(const QString &text);

// "both", "en", "zh" (as --lang and the settings file write them) and back; -1 for anything else.
int32_t language_from_name(const QString &name);
QString language_name(int32_t language);

// The choice kept in the settings file: language_both when none (or an unknown one) was kept.
int32_t saved_language();
void save_language(int32_t language);
