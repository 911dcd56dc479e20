#pragma once
// The run-time language switch's catalogues: ":/chinese" for 0, ":/english" for 1.
#include <QTranslator>
#include <cstdint>

// Loads the catalogue of language into translator; any other value loads nothing. True when
// a catalogue was loaded.
bool load_language(QTranslator &translator, int32_t language);

// What a window does on the switch when nothing else is asked of it: load, and install the
// translator when a catalogue was loaded (the install sends the windows their language change).
void switch_language(QTranslator &translator, int32_t language);
