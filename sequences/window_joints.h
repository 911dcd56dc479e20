#pragma once
// A window run's joints() and stopAll() as the Joints window's list answers them: its joints
// with their names, and the stop of those it enabled or saw enabled, through the table's own
// stop (one batch, "stopped" only where the drive acknowledged).
#include "sequences/sequence_runner.h"

namespace joints {
class joint_table;
}

namespace sequences {

// The table must outlive the runner it is given to.
listed_joints listed_joints_of(joints::joint_table &table);

}  // namespace sequences
