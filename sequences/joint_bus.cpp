#include "sequences/joint_bus.h"

#include "can/step_job.h"
#include "objects/bench.h"
#include "objects/bench_boot.h"
#include "sequences/gui_gate.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <mutex>

namespace sequences {

namespace {

// How often a pause looks whether the run was stopped.
constexpr int pause_step_ms = 5;

// The boot runs on the gate's thread as the job runner's job, so that its thread stays live
// between the steps; this thread only waits for its end (or the run's stop, which ends it).
bench_run boot_through(gui_gate &gate, const std::function<bool()> &stopped, const QString &path)
{
    struct shared {
        std::mutex m;
        bool ended = false;
        bench_run run;
    };
    auto s = std::make_shared<shared>();
    bool started = false;
    const bool ran = gate.run([&] {
        const objects::bench_result b = objects::read_bench(path);
        if (!b.ok) {
            s->run.error = b.error;
            return;
        }
        objects::keep_bench_names(b.bench, 0);
        auto job = std::make_unique<objects::bench_boot>(
            b.bench, objects::boot_options(), objects::adapter_boot_wire({}), nullptr,
            [s](const objects::bench_boot &boot, bool cancelled) {
                const objects::boot_outcome o = objects::outcome_of(boot, QDateTime::currentDateTime());
                std::lock_guard<std::mutex> lock(s->m);
                s->run.ran = !cancelled && !boot.bus_lost();
                if (boot.bus_lost())
                    s->run.error = objects::bus_lost_note();
                else if (cancelled)
                    s->run.error = QStringLiteral("bench boot cancelled");
                s->run.nodes = static_cast<int>(o.nodes.size());
                s->run.done = o.nodes_done();
                for (const objects::node_boot &n : o.nodes)
                    s->run.names << QStringLiteral("%1=%2").arg(n.name).arg(n.node);
                s->run.summary = objects::boot_summary(o);
                s->ended = true;
            });
        started = job_runner::instance().start(std::move(job));
        if (!started)
            s->run.error = QStringLiteral("another job runs on the bus");
    });
    if (!ran)
        return bench_run{false, QStringLiteral("stopped"), 0, 0, {}, {}};
    if (!started) {
        std::lock_guard<std::mutex> lock(s->m);
        return s->run;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(s->m);
            if (s->ended)
                return s->run;
        }
        if (stopped()) {
            // Between two steps, where the boot says what it left.
            gate.run([] { job_runner::instance().cancel(); });
            return bench_run{false, QStringLiteral("stopped during the bench boot"), 0, 0, {}, {}};
        }
        QThread::msleep(pause_step_ms);
    }
}

}  // namespace

joint_bus gated_bus(exchange_adapter &adapter, gui_gate &gate, std::function<bool()> stopped)
{
    joint_bus bus;
    bus.custom = [&adapter, &gate](int node, const custom_request &request, int32_t *value) {
        bool answered = false;
        gate.run([&] { answered = adapter.custom(node, request, value); });
        return answered;
    };
    bus.sdo = [&adapter, &gate](int node) {
        const canopen::sdo_link wire = adapter.sdo(node);
        canopen::sdo_link link;
        link.transact = [&gate, wire](const canopen::sdo_frame &request,
                                      const std::function<bool(const canopen::sdo_frame &)> &is_reply,
                                      canopen::sdo_frame *reply) {
            bool answered = false;
            gate.run([&] { answered = wire.transact(request, is_reply, reply); });
            return answered;
        };
        link.send = [&gate, wire](const canopen::sdo_frame &f) { gate.run([&] { wire.send(f); }); };
        return link;
    };
    bus.boot = [&gate, stopped](const QString &path) { return boot_through(gate, stopped, path); };
    bus.pause = [stopped](int ms) {
        QElapsedTimer waited;
        waited.start();
        while (!stopped() && waited.elapsed() < ms)
            QThread::msleep(static_cast<unsigned long>(qMin<qint64>(pause_step_ms, ms - waited.elapsed())));
        return !stopped();
    };
    return bus;
}

}  // namespace sequences
