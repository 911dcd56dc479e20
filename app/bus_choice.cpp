#include "app/bus_choice.h"

#include "can/vci/qt_backend.h"
#include "sim/sim_backend.h"
#include "sim/simulator.h"

std::unique_ptr<vci::bus_backend> backend_from_environment(int channel)
{
    const QString choice = vci::selected_bus_description(channel);
    if (choice == QLatin1String("sim"))
        return std::make_unique<sim::sim_backend>(sim::simulator::instance());
    const int colon = choice.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == choice.size() - 1)
        return nullptr;
    return std::make_unique<vci::qt_backend>(choice.left(colon), choice.mid(colon + 1));
}

void use_bus_from_environment() { vci::set_backend_factory(backend_from_environment); }
