#include "app/startup.h"

#include "base/shared_values.h"
#include "app/velmora.h"

#include <QApplication>
#include <cstdio>

int run_velmora(QApplication &app)
{
    Velmora window;
    window.show();  // the first show event opens the adapter
    if (app_running)
        return app.exec();
    // No bus and no simulated one chosen: the program did not do what it was started for.
    std::fputs("velmora: no CAN bus was opened\n", stderr);
    return 1;
}
