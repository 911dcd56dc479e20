#pragma once
#include <QString>

class QApplication;
class Velmora;

// Switches the windows to language (--lang's both, en or zh; empty: the choice kept in the
// settings file) before the main window is first shown; the command line's is for this run only.
void apply_start_language(Velmora &window, const QString &language);

// Creates and shows the main window (whose first show opens the adapter, or offers the
// simulated bus when it cannot) and runs the event loop, or returns 1 at once when no bus was
// opened.
// language as apply_start_language() takes it.
int run_velmora(QApplication &app, const QString &language = QString());
