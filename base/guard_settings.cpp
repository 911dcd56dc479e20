#include "base/guard_settings.h"

#include "base/desktop_seams.h"

#include <QSettings>

namespace guard {

namespace {

bool off_for_run = false;

}  // namespace

bool enabled()
{
    if (off_for_run)
        return false;
    return QSettings(desktop_seams::settings_file(), QSettings::IniFormat)
        .value(QStringLiteral("guard/enabled"), true)
        .toBool();
}

void disable_for_run() { off_for_run = true; }

}  // namespace guard
