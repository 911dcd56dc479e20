#include "sequences/joint_bus.h"

#include "can/step_job.h"
#include "custom_protocol/custom_exchange.h"
#include "canopen/sdo_bus_link.h"
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

}  // namespace

const exchange_bus &exchange_adapter::ops() const { return bus_ ? *bus_ : adapter_bus_ops(); }

bool exchange_adapter::custom(int node, const custom_request &request, int32_t *value) const
{
    const uint32_t request_id = custom_id::request_base + static_cast<uint32_t>(node);
    exchange_request frame(request_id, request.data, request.length, custom_reply_window_ms);
    frame.wait = wait_policy::until_reply;
    const bool unknown = custom_learned_reply_id(request_id) == 0;
    const exchange_outcome out = custom_transaction(
        ops(), frame, request.read ? custom_reply_shape::value : custom_reply_shape::value_or_ack,
        exchange_hooks(), unknown ? custom_other_traffic() : std::vector<uint32_t>());
    if (!out.answered)
        return false;
    // A node the script reaches without a scan is known by its first answer from then on.
    if (unknown)
        custom_learn_reply_id(request_id, out.reply.id);
    *value = custom_reply_value(out.reply.data, static_cast<uint8_t>(bus_frame_bytes(out.reply)));
    return true;
}

canopen::sdo_link exchange_adapter::sdo(int node) const
{
    return canopen::exchange_sdo_link(ops(), node, canopen::sdo_timeout_ms, monitor_sink());
}

namespace {

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

joint_bus direct_bus(exchange_adapter &adapter)
{
    joint_bus bus;
    bus.custom = [&adapter](int node, const custom_request &request, int32_t *value) {
        return adapter.custom(node, request, value);
    };
    bus.sdo = [&adapter](int node) { return adapter.sdo(node); };
    bus.pause = [](int ms) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return true;
    };
    return bus;
}

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
