#pragma once
// State the CANopen window's slots share with one another. Process-wide plain values, read
// and written on the GUI thread only (the worker thread never touches them).
#include <cstdint>

class control_CANopen;

// 1 while the node is expected to answer SDO requests; a failed poll read then means the
// node is gone. The NMT stop and every sequence reset put it to 0.
extern int32_t sdo_expected;
// The profile parameters were read from the node once; the page buttons act only after that.
extern int32_t params_loaded;
// The last Enable succeeded and nothing has disabled the drive since.
extern int32_t power_enabled;
// Page (0-6) the command column configures the node for.
extern int32_t canopen_page;
// Position set-point the cyclic position pages hold: the actual position when SYNC was
// started, then the last target accepted by the CSP move.
extern int32_t hold_position;

// The window, for the worker thread's queued signal.
extern control_CANopen *canopen_self;

// Start-up values, for tests that run several windows in one process.
void reset_canopen_state();
