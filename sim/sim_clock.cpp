#include "sim/sim_clock.h"

#include <atomic>
#include <chrono>

namespace sim {
namespace {
std::atomic<bool> manual_mode{false};
std::atomic<int64_t> manual_now{0};

int64_t real_now()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

int64_t clock::now_us() { return manual_mode ? manual_now.load() : real_now(); }

void clock::set_manual(bool manual)
{
    if (manual && !manual_mode)
        manual_now = real_now();
    manual_mode = manual;
}

void clock::advance_us(int64_t us)
{
    if (manual_mode && us > 0)
        manual_now += us;
}

}  // namespace sim
