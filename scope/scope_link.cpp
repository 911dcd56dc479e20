#include "scope/scope_link.h"

#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"

#include <QElapsedTimer>
#include <cstring>

namespace scope {
namespace {

class adapter_bus_link : public bus_link {
public:
    bool transact(const bus_frame &request, const reply_decoder &is_reply, int window_ms, bus_frame *reply) override
    {
        ClearBuffer(device_type, device_index, can_index);
        if (!send_frame(request.id, request.data, request.len, 0))
            return false;
        QElapsedTimer clock;
        clock.start();
        vci_frame batch[frame_batch_size];
        for (;;) {
            const qint64 left = window_ms - clock.elapsed();
            if (left < 0)
                return false;
            const int32_t n = Receive(device_type, device_index, can_index, batch, frame_batch_size,
                                      static_cast<int32_t>(left));
            if (n < 0)
                return false;
            for (int32_t i = 0; i < n; ++i) {
                if (decode(batch[i], is_reply, reply))
                    return true;
            }
        }
    }

private:
    static bool decode(const vci_frame &f, const reply_decoder &is_reply, bus_frame *reply)
    {
        bus_frame b;
        b.id = f.id;
        b.len = f.data_len > 8 ? 8 : f.data_len;
        std::memcpy(b.data, f.data, b.len);
        if (!is_reply(b))
            return false;
        *reply = b;
        return true;
    }
};

}  // namespace

bus_link &adapter_link()
{
    static adapter_bus_link link;
    return link;
}

}  // namespace scope
