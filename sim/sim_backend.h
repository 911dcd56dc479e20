#pragma once
#include "can/vci/bus_backend.h"

#include <memory>

namespace sim {

class due_waker;

class simulator;

// The adapter on the in-process simulated bus: every transmitted frame is handed to the
// simulated joints, and their answers are queued before transmit() returns, after what fell
// due since the previous frame. Between frames a timer on the opening thread delivers what
// falls due (heartbeats, TPDOs by event timer) at the time the simulator names, so a program
// that sends nothing still hears the joints on time, as it would on a real bus. The bus
// reports itself error active: nothing on it ever fails.
class sim_backend final : public vci::bus_backend {
public:
    // iface: the name traces give the bus ("sim0", "sim1" for a second simulated bus).
    explicit sim_backend(simulator &sim, QString iface = QStringLiteral("sim0"));
    ~sim_backend() override;
    QString interface_name() const override { return iface_; }
    bool connect_bus(vci::frame_sink *sink, QString *error) override;
    void disconnect_bus() override;
    bool transmit(const vci::can_message &msg) override;

private:
    void deliver_spontaneous();
    void schedule();

    simulator &sim_;
    QString iface_;
    vci::frame_sink *sink_ = nullptr;
    std::unique_ptr<due_waker> due_timer_;
};

}  // namespace sim
