#include "can/vci/sim_backend.h"

#include "sim/simulator.h"

namespace vci {

sim_backend::sim_backend(sim::simulator &sim) : sim_(sim) {}

bool sim_backend::connect_bus(frame_sink *sink, QString *error)
{
    if (sim_.cut()) {
        if (error)
            *error = QStringLiteral("simulated bus is cut");
        return false;
    }
    sink_ = sink;
    return true;
}

void sim_backend::disconnect_bus() { sink_ = nullptr; }

bool sim_backend::transmit(const can_message &msg)
{
    if (!sink_)
        return false;
    if (sim_.cut()) {
        sink_->bus_lost(QStringLiteral("simulated bus cut"));
        return false;
    }
    // What other devices said since the last frame reaches the queue first, as it would
    // have arrived on a real bus before this frame's answers.
    for (const can_message &beat : sim_.spontaneous())
        sink_->deliver(beat);
    for (const can_message &answer : sim_.process(msg))
        sink_->deliver(answer);
    return true;
}

}  // namespace vci
