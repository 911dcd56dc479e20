#pragma once
class QApplication;

// Creates and shows the main window (whose first show opens the adapter) and runs the event
// loop, or returns 0 at once when the adapter could not be opened.
int run_velmora(QApplication &app);
