#include "can/vci/bus_backend.h"

namespace vci {

QStringList selected_bus_descriptions(int channel)
{
    const QString env = QString::fromLocal8Bit(qgetenv("VELMORA_CAN")).trimmed();
    if (env.isEmpty())
        return {QStringLiteral("socketcan:can%1").arg(channel)};
    QStringList buses;
    for (const QString &part : env.split(QLatin1Char(',')))
        buses << part.trimmed();
    return buses;
}

QString selected_bus_description(int channel) { return selected_bus_descriptions(channel).value(0); }

bool simulated_bus_selected() { return selected_bus_description(0) == QLatin1String("sim"); }

}  // namespace vci
