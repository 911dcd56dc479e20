#include "app/bus_choice.h"

#include "can/vci/qt_backend.h"
#include "sim/sim_backend.h"
#include "sim/simulator.h"

std::unique_ptr<vci::bus_backend> backend_from_environment(int bus, int channel)
{
    const QStringList choices = vci::selected_bus_descriptions(channel);
    if (bus < 0 || bus >= choices.size())
        return nullptr;
    const QString &choice = choices[bus];
    if (choice == QLatin1String("sim")) {
        // Simulated buses are numbered among themselves: sim,can,sim has sim0 and sim1.
        const int index = static_cast<int>(choices.mid(0, bus).count(QStringLiteral("sim")));
        return std::make_unique<sim::sim_backend>(sim::simulator::instance(index), QStringLiteral("sim%1").arg(index));
    }
    const int colon = choice.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == choice.size() - 1)
        return nullptr;
    return std::make_unique<vci::qt_backend>(choice.left(colon), choice.mid(colon + 1));
}

std::unique_ptr<vci::bus_backend> backend_from_environment(int channel) { return backend_from_environment(0, channel); }

void use_bus_from_environment()
{
    vci::set_bus_backend_factory([](int bus, int channel) { return backend_from_environment(bus, channel); });
}
