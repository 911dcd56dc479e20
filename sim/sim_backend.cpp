#include "sim/sim_backend.h"

#include "can/vci/bus_tap.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace sim {

namespace {
// A look at least this often, whatever the simulator says (a clock driven by a test).
constexpr int64_t longest_wait_ms = 1000;
}  // namespace

sim_backend::sim_backend(simulator &sim) : sim_(sim) {}

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
    // Rounded up, so that the timer never fires before the simulator's time.
    const int64_t wait_ms = std::min(longest_wait_ms, std::max<int64_t>(0, (wait_us + 999) / 1000));
    due_timer_->start(static_cast<int>(wait_ms));
}

bool sim_backend::connect_bus(vci::frame_sink *sink, QString *error)
{
    if (sim_.cut()) {
        if (error)
            *error = QStringLiteral("simulated bus is cut");
        return false;
    }
    sink_ = sink;
    vci::bus_tap::report_bus_state(vci::bus_state::error_active);
    if (QCoreApplication::instance()) {
        due_timer_ = std::make_unique<QTimer>();
        due_timer_->setSingleShot(true);
        due_timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(due_timer_.get(), &QTimer::timeout, [this] {
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
