#include "sequences/joint_bus.h"

#include "custom_protocol/custom_exchange.h"
#include "canopen/sdo_bus_link.h"
#include "sequences/gui_gate.h"

#include <QElapsedTimer>
#include <QThread>

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
