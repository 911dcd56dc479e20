#include "scope/scope_sample.h"

#include "canopen/cia402.h"

namespace scope {

const char *unit_text(channel ch, setpoint_unit unit)
{
    switch (ch) {
    case position: return "cnt";
    case velocity: return "cnt/s";
    case current: return "mA";
    case state: return "";
    case setpoint:
        switch (unit) {
        case setpoint_unit::cnt: return "cnt";
        case setpoint_unit::cnt_per_s: return "cnt/s";
        case setpoint_unit::milliamps: return "mA";
        case setpoint_unit::per_mille: return "‰";
        }
        break;
    default: break;
    }
    return "";
}

const char *column_name(channel ch, setpoint_unit unit)
{
    switch (ch) {
    case position: return "position_cnt";
    case velocity: return "velocity_cnt_per_s";
    case current: return "current_mA";
    case state: return "state_cia402";
    case setpoint:
        switch (unit) {
        case setpoint_unit::cnt: return "setpoint_cnt";
        case setpoint_unit::cnt_per_s: return "setpoint_cnt_per_s";
        case setpoint_unit::milliamps: return "setpoint_mA";
        case setpoint_unit::per_mille: return "setpoint_per_mille";
        }
        break;
    default: break;
    }
    return "";
}

const char *channel_label(channel ch)
{
    switch (ch) {
    case position: return "位置/Position";
    case velocity: return "速度/Velocity";
    case current: return "电流/Current";
    case setpoint: return "设定值/Set-point";
    case state: return "状态/State";
    default: return "";
    }
}

const char *state_name(int32_t number)
{
    static const char *const names[] = {
        "未准备好接通/Not ready to switch on", "接通禁止/Switch on disabled", "准备接通/Ready to switch on",
        "已接通/Switched on",                 "操作使能/Operation enabled",  "快速停止/Quick stop active",
        "故障反应/Fault reaction active",     "故障/Fault",
    };
    return number >= 0 && number < 8 ? names[number] : "";
}

int32_t state_number(uint16_t sw)
{
    const canopen::drive_state state = canopen::state_of(sw);
    return state == canopen::drive_state::unknown ? -1 : static_cast<int32_t>(state);
}

}  // namespace scope
