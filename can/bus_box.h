#pragma once
// The choice of bus in a newer window: a combo box named "bus" with one entry per bus of the
// selection ("0  sim0", "1  sim1"). A window with one bus shows none (the box exists, hidden).
#include <QString>

class QComboBox;
class QMainWindow;

// Made a child of window, in its status bar when there is more than one bus to choose from.
QComboBox *add_bus_box(QMainWindow *window);
// The bus the box names now (0 when there is none).
int chosen_bus(const QComboBox *box);
