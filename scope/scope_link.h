#pragma once
// The scope's way onto the bus: one request and its awaited reply, returning as soon as the
// reply arrived (the reply window is only the time-out). A decoder says which received frame is
// the reply; everything else that arrives meanwhile is passed over. Runs on the GUI thread, so
// the control windows' exchanges and the sampler's never overlap.
#include <cstdint>
#include <functional>

namespace scope {

struct bus_frame {
    uint32_t id = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t len = 0;
};

using reply_decoder = std::function<bool(const bus_frame &)>;

class bus_link {
public:
    virtual ~bus_link() = default;
    // False when the request did not go out or no accepted reply came within window_ms.
    virtual bool transact(const bus_frame &request, const reply_decoder &is_reply, int window_ms,
                          bus_frame *reply) = 0;
};

// The process's adapter, with the device coordinates of the shared settings.
bus_link &adapter_link();

}  // namespace scope
