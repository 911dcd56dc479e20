// Linked into every test program: before any test runs, the adapter opens the bus VELMORA_CAN
// selects, as the program arranges in main(). Tests that want another bus
// install it (support/test_bus.h).
#include "app/bus_choice.h"

namespace {
const bool program_bus_installed = (use_bus_from_environment(), true);
}  // namespace
