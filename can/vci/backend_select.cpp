#include "can/vci/bus_backend.h"
#include "can/vci/qt_backend.h"
#include "can/vci/sim_backend.h"
#include "sim/simulator.h"

namespace vci {

QString selected_bus_description(int channel)
{
    const QString env = QString::fromLocal8Bit(qgetenv("VELMORA_CAN")).trimmed();
    if (env.isEmpty())
        return QStringLiteral("socketcan:can%1").arg(channel);
    return env;
}

bool simulated_bus_selected()
{
    return QString::fromLocal8Bit(qgetenv("VELMORA_CAN")).trimmed() == QLatin1String("sim");
}

std::unique_ptr<bus_backend> backend_from_environment(int channel)
{
    const QString choice = selected_bus_description(channel);
    if (choice == QLatin1String("sim"))
        return std::make_unique<sim_backend>(sim::simulator::instance());
    const int colon = choice.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == choice.size() - 1)
        return nullptr;
    return std::make_unique<qt_backend>(choice.left(colon), choice.mid(colon + 1));
}

}  // namespace vci
