#include "base/joint_names.h"

#include "base/desktop_seams.h"

#include <QSettings>

namespace joint_names {

namespace {

// Nodes a name may be kept for: every CANopen node-ID.
constexpr int last_node = 127;

}  // namespace

QString joint_name_key(int bus, int node) { return QStringLiteral("joints/name_%1_%2").arg(bus).arg(node); }

QString saved_joint_name(int bus, int node)
{
    const QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    return s.value(joint_name_key(bus, node)).toString();
}

void save_joint_name(int bus, int node, const QString &name)
{
    QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    if (name.isEmpty())
        s.remove(joint_name_key(bus, node));
    else
        s.setValue(joint_name_key(bus, node), name);
}

named_node find_saved_joint_name(const QString &name, int bus_count)
{
    named_node found;
    const QString wanted = name.trimmed();
    if (wanted.isEmpty())
        return found;
    const QSettings s(desktop_seams::settings_file(), QSettings::IniFormat);
    for (int bus = 0; bus < bus_count; ++bus)
        for (int node = 1; node <= last_node; ++node)
            if (s.value(joint_name_key(bus, node)).toString().compare(wanted, Qt::CaseInsensitive) == 0)
                return {true, bus, node};
    return found;
}

}  // namespace joint_names
