#pragma once
// Finding the windows' widgets in tests.
#include <QWidget>
#include <QtGlobal>

namespace test_support {

// The named child widget; a test that asks for a widget the form does not have stops at once.
template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

// The CANopen window's command column, in the order the guided sequence runs.
constexpr const char *canopen_column_names[] = {
    "Stop_remote_node", "Reset_communication", "Operating_mode",    "Set_velocity", "Disable_Sync", "Set_cycle_period",
    "TPDO_MAP",         "RPDO_MAP",            "Start_remote_node", "Enable_Sync",  "Enable"};

}  // namespace test_support
