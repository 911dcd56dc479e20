// One request/reply round trip on the in-process simulated bus (clear, transmit, count,
// receive), as every exchange does it, without the exchange's fixed sleep. Prints the CPU
// time per round trip; the goal is under 0.2 ms.
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <cstdio>
#include <ctime>

static double cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    sim::simulator::instance().configure({{1, 10231}, {2, 10231}, {3, 10230}});
    open_adapter();
    if (adapter_error != 0) {
        std::fprintf(stderr, "adapter did not open (%d)\n", adapter_error);
        return 1;
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100000;
    const uint8_t probe[2] = {0x00, 0x02};
    uint32_t ids[64];
    uint8_t payloads[64][8];
    uint8_t lens[64];
    int answered = 0;
    const double start = cpu_seconds();
    for (int i = 0; i < rounds; ++i) {
        ClearBuffer(device_type, device_index, can_index);
        send_frame(0x641, probe, 2, 0);
        const int n = GetReceiveNum(device_type, device_index, can_index);
        if (n > 0 && receive_batch(ids, payloads, lens))
            ++answered;
    }
    const double per_trip_ms = (cpu_seconds() - start) * 1e3 / rounds;
    std::printf("round trips: %d, answered: %d\n", rounds, answered);
    std::printf("CPU per round trip: %.4f ms (goal < 0.2 ms) %s\n", per_trip_ms, per_trip_ms < 0.2 ? "OK" : "MISSED");
    close_adapter();
    return answered == rounds ? 0 : 1;
}
