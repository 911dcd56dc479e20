#include "canopen/canopen_state.h"

#include "canopen/canopen_exchange.h"

int32_t sdo_expected = 1;
int32_t params_loaded = 0;
int32_t power_enabled = 0;
int32_t canopen_page = 0;
int32_t hold_position = 0;
control_CANopen *canopen_self = nullptr;

void reset_canopen_state()
{
    sdo_expected = 1;
    params_loaded = 0;
    power_enabled = 0;
    canopen_page = 0;
    hold_position = 0;
    remote_request = 0;
}
