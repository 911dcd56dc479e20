#pragma once
// Process-wide values owned by the custom-protocol control window. The node window reads
// custom_link_active (base/shared_values.h); everything here is read and written on the GUI thread.
#include <cstdint>

class QTimer;
class sss;

// Kind of the last motion prepared on the drive: 1 continuous, 2 relative, 3 absolute;
// 0 and 4 = none.
extern int32_t motion_kind;
// Sign of the profile speed last written for continuous motion: 1 positive, 2 negative;
// 0 and 4 = none.
extern int32_t continuous_direction;
// motion_mode known to be set for relative / absolute moves: 1 back and forth, 0 single,
// 3 undetermined.
extern int32_t relative_repeat_state;
extern int32_t absolute_repeat_state;

// The window's 1000 ms status poll and its language worker; null until the window exists.
extern QTimer *custom_poll_timer;
extern sss *custom_worker;

namespace custom_motion_kind {
constexpr int32_t continuous = 1;
constexpr int32_t relative = 2;
constexpr int32_t absolute = 3;
constexpr int32_t none = 4;
}  // namespace custom_motion_kind

namespace custom_direction {
constexpr int32_t forward = 1;
constexpr int32_t backwards = 2;
constexpr int32_t none = 4;
}  // namespace custom_direction

namespace custom_repeat_state {
constexpr int32_t single = 0;
constexpr int32_t repetitive = 1;
constexpr int32_t undetermined = 3;
}  // namespace custom_repeat_state

// Start-up values again (the two pointers are left alone: they belong to the live window).
void reset_control_can_state();
