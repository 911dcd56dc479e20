#pragma once
// The one place where the Joints window and its logic reach a bus (can/bus.h). A joint is
// (bus, node); a bus that is not open is refused here and nowhere else.
#include "can/exchange.h"

#include <cstdint>

namespace joints {

struct joint_address {
    int bus = 0;
    int node = 0;
    bool operator==(const joint_address &o) const { return bus == o.bus && node == o.node; }
    bool operator<(const joint_address &o) const { return bus != o.bus ? bus < o.bus : node < o.node; }
};

// Buses open now, numbered from 0.
int bus_count();
// The exchange core of bus; nullptr for a bus that is not open.
const exchange_bus *ops_for_bus(int bus);

// The last data frame heard on a standard identifier of bus, and when (microseconds on the tap's
// clock, -1 while none was heard).
struct heard_frame {
    int64_t t_us = -1;
    uint8_t len = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
heard_frame last_heard(int bus, uint32_t id);
// A job of steps runs on bus (a segmented transfer that a poll's SDO to the same drive would end).
bool job_busy(int bus);
// Ends the job of every bus, with what each one owes its drive, so that a stop goes out next.
void end_jobs_for_stop();
int64_t bus_clock_us();

}  // namespace joints
