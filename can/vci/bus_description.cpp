#include "can/vci/bus_backend.h"

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

}  // namespace vci
