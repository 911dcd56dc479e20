#include "sim/sim_backend.h"

#include "can/vci/bus_tap.h"
#include "sim/due_waker.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace sim {

namespace {
// A look at least this often, whatever the simulator says (a clock driven by a test).
constexpr int64_t longest_wait_us = 1000000;
}  // namespace

sim_backend::sim_backend(simulator &sim, QString iface) : sim_(sim), iface_(std::move(iface)) {}

sim_backend::~sim_backend() = default;

void sim_backend::deliver_spontaneous()
{
    if (!sink_ || sim_.cut())
        return;
    for (const vci::can_message &m : sim_.spontaneous())
        sink_->deliver(m);
}

void sim_backend::schedule()
{
    if (!due_timer_)
        return;
    if (QThread::currentThread() != due_timer_->thread()) {
        QMetaObject::invokeMethod(due_timer_.get(), [this] { schedule(); }, Qt::QueuedConnection);
        return;
    }
    const int64_t wait_us = sim_.next_due_us() - clock::now_us();
    due_timer_->arm_in_us(std::min(longest_wait_us, wait_us));
}

bool sim_backend::connect_bus(vci::frame_sink *sink, QString *error)
{
    if (sim_.cut()) {
        if (error)
            *error = QStringLiteral("simulated bus is cut");
        return false;
    }
    sink_ = sink;
    vci::bus_tap::report_bus_state(vci::bus_state::error_active, sink->bus_index());
    if (QCoreApplication::instance()) {
        due_timer_ = std::make_unique<due_waker>([this] {
            deliver_spontaneous();
            schedule();
        });
        schedule();
    }
    return true;
}

void sim_backend::disconnect_bus()
{
    due_timer_.reset();
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
    schedule();
    return true;
}

}  // namespace sim
