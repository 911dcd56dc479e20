#pragma once
// The names joints are given (in the Joints window, or by a bench file's node list), kept in
// the settings per bus and node, so that a script finds a joint by the name the window shows ("J3").
#include <QString>

namespace joint_names {

// The settings key of the name of node on bus.
QString joint_name_key(int bus, int node);
// The name kept for node on bus; empty when none.
QString saved_joint_name(int bus, int node);
// Keeps name for node on bus; an empty name forgets it.
void save_joint_name(int bus, int node, const QString &name);

struct named_node {
    bool found = false;
    int bus = 0;
    int node = 0;
};
// The node kept under name (compared without regard to case, buses in order, then nodes), on
// a bus below bus_count.
named_node find_saved_joint_name(const QString &name, int bus_count);

}  // namespace joint_names
