// Linked into every test program: before any test runs, the adapter opens the bus VELMORA_CAN
// selects, as the program arranges in main(). Tests that want another bus
// install it (support/test_bus.h). The settings start empty in each test program, so that the
// folders and window places one suite or an earlier run left never reach another.
#include "../support/widgets.h"
#include "app/bus_choice.h"

namespace {
const bool program_bus_installed = (use_bus_from_environment(), true);
const bool settings_fresh = (test_support::fresh_settings(), true);
}  // namespace
