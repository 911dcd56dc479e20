#include "motion/joint_bus.h"

#include "custom_protocol/custom_exchange.h"
#include "canopen/sdo_bus_link.h"

#include <QThread>

namespace motion {

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

}  // namespace motion
