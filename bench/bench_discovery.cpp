// Wall time of a discovery of nodes 1..127 on the simulated bus (the default joints plus a
// drive of another make), and the longest single step, which is how long the window's event
// loop is held at most. The sweep is one transaction; its window ends only by its clock when a
// node-ID is unused, so it costs the sweep window whatever the bus.
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "canopen/sdo_bus_link.h"
#include "objects/node_discovery.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("VELMORA_CAN", "sim");
    qputenv("VELMORA_SIM_NODES", "1:10231,2:10231,3:10230,4:canopen");
    use_bus_from_environment();
    QCoreApplication app(argc, argv);
    open_adapter();
    if (adapter_error != 0) {
        std::fprintf(stderr, "the simulated bus did not open\n");
        return 1;
    }
    objects::discovery_bus wire;
    wire.bus = &adapter_bus_ops();
    wire.link = [](int node) { return canopen::exchange_sdo_link(adapter_bus_ops(), node, canopen::sdo_timeout_ms, {}); };

    const int runs = 5;
    std::vector<double> totals, longest_steps;
    size_t found = 0;
    int steps = 0;
    for (int run = 0; run < runs; ++run) {
        objects::node_discovery discovery(wire);
        QElapsedTimer total, step;
        total.start();
        double longest = 0;
        while (!discovery.finished()) {
            step.start();
            discovery.step();
            longest = std::max(longest, double(step.nsecsElapsed()) / 1e6);
        }
        totals.push_back(double(total.nsecsElapsed()) / 1e6);
        longest_steps.push_back(longest);
        found = discovery.nodes().size();
        steps = discovery.done();
    }
    std::sort(totals.begin(), totals.end());
    std::sort(longest_steps.begin(), longest_steps.end());
    std::printf("discovery 1..127 on the simulated bus: %zu nodes found, %d steps, %d runs\n", found, steps, runs);
    std::printf("  total         median %7.1f ms  (sweep window %d ms)\n", totals[runs / 2], objects::sweep_window_ms);
    std::printf("  longest step  median %7.1f ms  max %7.1f ms\n", longest_steps[runs / 2], longest_steps.back());
    close_adapter();
    return 0;
}
