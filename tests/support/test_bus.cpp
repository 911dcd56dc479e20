#include "support/test_bus.h"

#include "app/bus_choice.h"
#include "base/desktop_seams.h"
#include "base/hex.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_state.h"
#include "canopen/joint_guard.h"
#include "custom_protocol/control_can_state.h"
#include "objects/node_discovery.h"
#include "custom_protocol/custom_exchange.h"
#include "node/node_state.h"
#include "sim/sim_backend.h"
#include "sim/simulator.h"
#include "support/widgets.h"

namespace test_support {
namespace {

class scripted_backend final : public vci::bus_backend {
public:
    explicit scripted_backend(std::shared_ptr<scripted_bus_state> s) : state_(std::move(s)) {}
    QString interface_name() const override { return QStringLiteral("test0"); }
    bool connect_bus(vci::frame_sink *sink, QString *error) override
    {
        ++state_->connect_calls;
        if (state_->fail_connect) {
            if (error)
                *error = QStringLiteral("scripted failure");
            return false;
        }
        state_->sink = sink;
        return true;
    }
    bool set_bitrate(int bps) override
    {
        ++state_->bitrate_calls;
        state_->last_bitrate = bps;
        return !state_->fail_bitrate;
    }
    bool start() override
    {
        ++state_->start_calls;
        return !state_->fail_start;
    }
    void disconnect_bus() override
    {
        ++state_->disconnect_calls;
        state_->sink = nullptr;
    }
    bool transmit(const vci::can_message &m) override
    {
        if (state_->fail_transmit)
            return false;
        state_->sent.push_back(m);
        if (state_->responder && state_->sink)
            for (const vci::can_message &r : state_->responder(m))
                state_->sink->deliver(r);
        return true;
    }

private:
    std::shared_ptr<scripted_bus_state> state_;
};

}  // namespace

std::shared_ptr<scripted_bus_state> install_scripted_bus()
{
    auto state = std::make_shared<scripted_bus_state>();
    vci::set_backend_factory([state](int) { return std::make_unique<scripted_backend>(state); });
    return state;
}

void install_simulated_bus()
{
    vci::set_backend_factory([](int) { return std::make_unique<sim::sim_backend>(sim::simulator::instance()); });
}

void uninstall_bus() { use_bus_from_environment(); }

void fresh_process()
{
    fresh_settings();
    CloseDevice(3, 0);
    reset_shared_values();
    reset_canopen_state();
    canopen::forget_guards();
    reset_control_can_state();
    custom_forget_reply_ids();
    reset_node_state();
    objects::forget_discovered_nodes();
}

bool open_node_1(const QString &protocol)
{
    open_adapter();
    if (adapter_error != 0)
        return false;
    device_open = 1;
    node_connected = 1;
    node_id = 1;
    sdo_request_id = 0x601;
    custom_request_id = 0x641;
    protocol_name = protocol;
    if (protocol == QLatin1String("CANopen")) {
        canopen_supported = 1;
        comm_cycle_us = 1000;
    }
    return true;
}

bool open_canopen_node_1() { return open_node_1(QStringLiteral("CANopen")); }

void collect_box_texts(QStringList *texts)
{
    texts->clear();
    desktop_seams::set_box_responder([texts](const desktop_seams::box_request &r) {
        *texts << r.text;
        return QMessageBox::Ok;
    });
}

vci::can_message make_message(uint32_t id, std::initializer_list<uint8_t> bytes, bool remote)
{
    vci::can_message m;
    m.id = id;
    m.remote = remote;
    m.len = static_cast<uint8_t>(bytes.size() > 8 ? 8 : bytes.size());
    int i = 0;
    for (uint8_t b : bytes) {
        if (i >= 8)
            break;
        m.data[i++] = b;
    }
    return m;
}

QString frame_text(const vci::can_message &m)
{
    QString s = hex::digits(m.id) + QLatin1Char(':');
    if (m.len)
        s += QLatin1Char(' ') + hex::bytes(m.data, m.len > 8 ? 8 : m.len);
    if (m.remote)
        s += QStringLiteral(" R");
    return s;
}

}  // namespace test_support
