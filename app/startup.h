#pragma once
class QApplication;

// Creates and shows the main window (whose first show opens the adapter, or offers the
// simulated bus when it cannot) and runs the event loop, or returns 1 at once when no bus was
// opened.
int run_velmora(QApplication &app);
