#include "canopen/cia402.h"

#include <QStringList>

namespace canopen {

drive_state state_of(uint16_t sw)
{
    switch (sw & 0x6F) {
    case 0x21: return drive_state::ready_to_switch_on;
    case 0x23: return drive_state::switched_on;
    case 0x27: return drive_state::operation_enabled;
    case 0x07: return drive_state::quick_stop_active;
    default: break;
    }
    switch (sw & 0x4F) {
    case 0x00: return drive_state::not_ready;
    case 0x40: return drive_state::switch_on_disabled;
    case 0x0F: return drive_state::fault_reaction_active;
    case 0x08: return drive_state::fault;
    default: return drive_state::unknown;
    }
}

QString state_text(drive_state state)
{
    switch (state) {
    case drive_state::not_ready: return QStringLiteral("未准备好\nNot ready to switch on");
    case drive_state::switch_on_disabled: return QStringLiteral("禁止开启\nSwitch on disabled");
    case drive_state::ready_to_switch_on: return QStringLiteral("准备开启\nReady to switch on");
    case drive_state::switched_on: return QStringLiteral("已开启\nSwitched on");
    case drive_state::operation_enabled: return QStringLiteral("运行使能\nOperation enabled");
    case drive_state::quick_stop_active: return QStringLiteral("快速停止\nQuick stop active");
    case drive_state::fault_reaction_active: return QStringLiteral("故障响应\nFault reaction active");
    case drive_state::fault: return QStringLiteral("故障\nFault");
    case drive_state::unknown: break;
    }
    return QStringLiteral("未知状态\nUnknown state");
}

QString enable_failed_text(bool known, uint16_t statusword)
{
    if (!known)
        return QStringLiteral("使能失败，驱动器无应答\nEnable failed, no answer from the drive");
    const QStringList state = state_text(state_of(statusword)).split(QLatin1Char('\n'));
    return QStringLiteral("使能失败，驱动器状态：%1\nEnable failed, drive state: %2").arg(state.value(0), state.value(1));
}

}  // namespace canopen
