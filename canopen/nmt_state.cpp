#include "canopen/nmt_state.h"

#include <QCoreApplication>

namespace canopen {

QString nmt_state_text(int state)
{
    switch (state) {
    case nmt_boot_up: return QCoreApplication::translate("nmt_state", "启动/Boot-up");
    case nmt_stopped: return QCoreApplication::translate("nmt_state", "停止/Stopped");
    case nmt_operational: return QCoreApplication::translate("nmt_state", "运行/Operational");
    case nmt_pre_operational: return QCoreApplication::translate("nmt_state", "预运行/Pre-operational");
    case nmt_unknown: return QCoreApplication::translate("nmt_state", "未知/Unknown");
    default: return QStringLiteral("0x%1").arg(state, 2, 16, QLatin1Char('0'));
    }
}

}  // namespace canopen
