#include "app/shared_values.h"
#include "app/velmora.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Velmora window;
    window.show();  // the first show event opens the adapter
    if (app_running)
        return app.exec();
    return 0;
}
