#include "custom_protocol/control_can_state.h"

int32_t motion_kind = 0;
int32_t continuous_direction = 0;
int32_t relative_repeat_state = 3;
int32_t absolute_repeat_state = 3;

QTimer *custom_poll_timer = nullptr;
sss *custom_worker = nullptr;

void reset_control_can_state()
{
    motion_kind = 0;
    continuous_direction = 0;
    relative_repeat_state = 3;
    absolute_repeat_state = 3;
}
