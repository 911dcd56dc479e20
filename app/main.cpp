#include "app/bus_choice.h"
#include "app/startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(velmora_icon);  // the bundle lives in the static core library
    app.setWindowIcon(QIcon(QStringLiteral(":/velmora.png")));
    use_bus_from_environment();
    return run_velmora(app);
}
