#pragma once
#include "can/vci/bus_backend.h"

namespace sim { class simulator; }

namespace vci {

// The adapter on the in-process simulated bus: every transmitted frame is handed to the
// simulated joints, and their answers are queued before transmit() returns, after the
// heartbeats that fell due since the previous frame.
class sim_backend final : public bus_backend {
public:
    explicit sim_backend(sim::simulator &sim);
    QString interface_name() const override { return QStringLiteral("sim0"); }
    bool connect_bus(frame_sink *sink, QString *error) override;
    void disconnect_bus() override;
    bool transmit(const can_message &msg) override;

private:
    sim::simulator &sim_;
    frame_sink *sink_ = nullptr;
};

}  // namespace vci
