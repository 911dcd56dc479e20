#pragma once
// The NMT states a CANopen node reports (CiA 301) in the one byte of its error-control frame on
// 0x700 + node: its boot-up, its heartbeat, or its answer to a guarding request (bit 7 then
// toggles).
//
//   00 boot-up   04 stopped   05 operational   7F pre-operational
#include <QString>
#include <cstdint>

namespace canopen {

constexpr uint32_t error_control_base = 0x700;
constexpr int nmt_boot_up = 0x00;
constexpr int nmt_stopped = 0x04;
constexpr int nmt_operational = 0x05;
constexpr int nmt_pre_operational = 0x7F;
// No error-control frame seen.
constexpr int nmt_unknown = -1;

// "运行/Operational" and so on; "未知/Unknown" for nmt_unknown, the byte in hex for anything else.
QString nmt_state_text(int state);

}  // namespace canopen
