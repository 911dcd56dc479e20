#include "joints/joint_bus_seam.h"

#include "can/bus.h"
#include "can/step_job.h"
#include "can/vci/bus_tap.h"

#include <cstring>

namespace joints {

int bus_count()
{
    // The open ones of the selection; bus 0 counts even while its adapter is shut, as the
    // original windows have it.
    int n = 1;
    while (n < can::bus::selected() && can::bus::at(n).is_open())
        ++n;
    return n;
}

const exchange_bus *ops_for_bus(int bus)
{
    if (bus == 0)
        return &adapter_bus_ops();
    if (bus < 0 || bus >= can::bus::selected() || !can::bus::at(bus).is_open())
        return nullptr;
    return &can::bus::at(bus).ops();
}

heard_frame last_heard(int bus, uint32_t id)
{
    heard_frame h;
    const vci::bus_tap::seen_frame seen = vci::bus_tap::last_received(bus, id);
    h.t_us = seen.t_us;
    h.len = seen.msg.len > 8 ? 8 : seen.msg.len;
    std::memcpy(h.data, seen.msg.data, h.len);
    return h;
}

bool job_busy(int bus) { return can::bus::exists(bus) && can::bus::at(bus).jobs().busy(); }

void end_jobs_for_stop()
{
    for (int bus = 0; bus < can::bus::selected(); ++bus)
        can::bus::at(bus).jobs().cancel();
}

int64_t bus_clock_us() { return vci::bus_tap::now_us(); }

}  // namespace joints
