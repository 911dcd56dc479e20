#include "can/bus_box.h"

#include "can/bus.h"

#include <QComboBox>
#include <QMainWindow>
#include <QStatusBar>

QComboBox *add_bus_box(QMainWindow *window)
{
    auto *box = new QComboBox(window);
    box->setObjectName(QStringLiteral("bus"));
    const int buses = can::bus::selected();
    for (int i = 0; i < buses; ++i)
        box->addItem(QStringLiteral("%1  %2").arg(i).arg(can::bus::at(i).name()), i);
    if (buses > 1)
        window->statusBar()->addPermanentWidget(box);
    else
        box->hide();
    return box;
}

int chosen_bus(const QComboBox *box)
{
    if (!box || box->currentIndex() < 0)
        return 0;
    return box->currentData().toInt();
}
