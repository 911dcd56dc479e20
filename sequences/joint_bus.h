#pragma once
// The joint operations (motion/joints.h) as a test sequence reaches them: from the thread that
// serves the script engine, through the gate to the GUI thread where the exchange core lives.
#include "motion/joint_bus.h"
#include "motion/joints.h"

#include <functional>

namespace sequences {

class gui_gate;

// The script side names the joint operations as its own.
using motion::bench_run;
using motion::canopen_joint;
using motion::custom_joint;
using motion::default_homing_timeout_ms;
using motion::default_move_timeout_ms;
using motion::direct_bus;
using motion::emergency_stop;
using motion::exchange_adapter;
using motion::firmware_run;
using motion::homing_options;
using motion::joint;
using motion::joint_bus;
using motion::joint_failure;
using motion::joint_key;
using motion::joint_name;
using motion::joint_protocol;
using motion::move_poll_ms;
using motion::object_value;
using motion::stop_result;

// The adapter reached through the gate from another thread; stopped() ends pauses early. The
// adapter and the gate must outlive the bus.
joint_bus gated_bus(exchange_adapter &adapter, gui_gate &gate, std::function<bool()> stopped);

}  // namespace sequences
