#include "support/flood.h"

#include "sim/simulator.h"

#include <cstring>
#include <fstream>
#include <unistd.h>

namespace test_support {

long rss_bytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

vci::can_message foreign_frame(uint64_t n)
{
    vci::can_message m;
    // TPDOs and RPDOs of nodes that are not on the bus.
    m.id = (n % 2 ? 0x190u : 0x2A0u) + uint32_t(n % 16);
    m.len = 8;
    std::memset(m.data, foreign_byte, sizeof m.data);
    return m;
}

}  // namespace test_support
