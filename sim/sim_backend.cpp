#include "sim/sim_backend.h"

#include "sim/simulator.h"

#include <QCoreApplication>
#include <QTimer>

namespace sim {

namespace {
// Fine enough for heartbeat periods of 100 ms and more.
constexpr int beat_tick_ms = 10;
}  // namespace

sim_backend::sim_backend(simulator &sim) : sim_(sim) {}

sim_backend::~sim_backend() = default;

void sim_backend::deliver_spontaneous()
{
    if (!sink_ || sim_.cut())
        return;
    for (const vci::can_message &beat : sim_.spontaneous())
        sink_->deliver(beat);
}

bool sim_backend::connect_bus(vci::frame_sink *sink, QString *error)
{
    if (sim_.cut()) {
        if (error)
            *error = QStringLiteral("simulated bus is cut");
        return false;
    }
    sink_ = sink;
    if (QCoreApplication::instance()) {
        beat_timer_ = std::make_unique<QTimer>();
        QObject::connect(beat_timer_.get(), &QTimer::timeout, [this] { deliver_spontaneous(); });
        beat_timer_->start(beat_tick_ms);
    }
    return true;
}

void sim_backend::disconnect_bus()
{
    beat_timer_.reset();
    sink_ = nullptr;
}

bool sim_backend::transmit(const vci::can_message &msg)
{
    if (!sink_)
        return false;
    if (sim_.cut()) {
        sink_->bus_lost(QStringLiteral("simulated bus cut"));
        return false;
    }
    // What other devices said since the last frame reaches the queue first, as it would
    // have arrived on a real bus before this frame's answers.
    deliver_spontaneous();
    for (const vci::can_message &answer : sim_.process(msg))
        sink_->deliver(answer);
    return true;
}

}  // namespace sim
