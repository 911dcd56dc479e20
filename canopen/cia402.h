#pragma once
// The CiA 402 power state machine as the window sees it: the control words it sends and the
// states it reads back from the statusword (0x6041).
//
//   state                   statusword mask  value
//   not ready to switch on  0x4F             0x00
//   switch on disabled      0x4F             0x40
//   ready to switch on      0x6F             0x21
//   switched on             0x6F             0x23
//   operation enabled       0x6F             0x27
//   quick stop active       0x6F             0x07
//   fault reaction active   0x4F             0x0F
//   fault                   0x4F             0x08
#include <QString>
#include <cstdint>

namespace canopen {

constexpr uint16_t cw_fault_reset = 0x0080;
constexpr uint16_t cw_shutdown = 0x0006;
constexpr uint16_t cw_switch_on = 0x0007;
constexpr uint16_t cw_enable_operation = 0x000F;
// Profile position: enable operation with the new set-point bit (4).
constexpr uint16_t cw_new_setpoint = 0x001F;

enum class drive_state {
    not_ready,
    switch_on_disabled,
    ready_to_switch_on,
    switched_on,
    operation_enabled,
    quick_stop_active,
    fault_reaction_active,
    fault,
    unknown,
};

drive_state state_of(uint16_t statusword);
// "运行使能\nOperation enabled", ... as the window shows it.
QString state_text(drive_state state);
// What the window says when Enable did not reach "operation enabled": the state found, or that
// the drive did not answer (known false).
QString enable_failed_text(bool known, uint16_t statusword);

}  // namespace canopen
