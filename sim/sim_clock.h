#pragma once
// Time base of the simulated joints: the real monotonic clock, or a manual clock that tests
// advance explicitly so motion is deterministic.
#include <cstdint>

namespace sim {

class clock {
public:
    static int64_t now_us();
    static void set_manual(bool manual);  // a manual clock starts at its last real reading
    static void advance_us(int64_t us);   // manual clock only
};

}  // namespace sim
