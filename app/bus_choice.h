#pragma once
// Which bus the adapter opens. The choice sits above both the adapter (can/vci) and the
// simulated joints (sim/), so that neither has to know the other.
#include "can/vci/bus_backend.h"

#include <memory>

// The bus selected by VELMORA_CAN: unset -> socketcan:can<channel>, "sim" -> the in-process
// simulator, "PLUGIN:INTERFACE" -> that QtSerialBus plugin. Null when the text is malformed.
std::unique_ptr<vci::bus_backend> backend_from_environment(int channel);
// Bus bus of the comma-separated VELMORA_CAN ("sim,sim", "virtualcan:can0,virtualcan:can1");
// null past its end.
std::unique_ptr<vci::bus_backend> backend_from_environment(int bus, int channel);

// Makes the adapter open the bus VELMORA_CAN selects (the program's start, and tests that
// leave a bus of their own).
void use_bus_from_environment();
