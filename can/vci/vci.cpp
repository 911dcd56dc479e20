#include "can/vci/vci.h"

#include "can/vci/bus_backend.h"
#include "can/vci/bus_tap.h"
#include "can/vci/trace.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

const bit_timing bit_timing_table[15] = {
    {5, 0xBF, 0xFF},   {10, 0x31, 0x1C},  {20, 0x18, 0x1C},  {40, 0x87, 0xFF},  {50, 0x09, 0x1C},
    {80, 0x83, 0xFF},  {100, 0x04, 0x1C}, {125, 0x03, 0x1C}, {200, 0x81, 0xFA}, {250, 0x01, 0x1C},
    {400, 0x80, 0xFA}, {500, 0x00, 0x1C}, {666, 0x80, 0xB6}, {800, 0x00, 0x16}, {1000, 0x00, 0x14},
};

namespace vci {
namespace {

backend_factory &factory_override()
{
    static backend_factory f;
    return f;
}

// The one adapter of the process. The backend may deliver frames from its own thread, so the
// queue and the lost flag are guarded; everything else is touched by the caller's thread only.
class device final : public frame_sink {
public:
    static device &instance()
    {
        static device d;
        return d;
    }

    int32_t open(int32_t channel)
    {
        if (backend_)
            return 1;  // already open: the adapter stays as it is
        std::unique_ptr<bus_backend> b = factory_override() ? factory_override()(channel) : nullptr;
        if (!b)
            return 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.clear();
            lost_ = false;
            lost_reason_.clear();
            started_ = false;
        }
        iface_ = b->interface_name();
        bus_tap::set_interface(iface_);
        bus_tap::report_bus_state(bus_state::unknown);  // until the new bus reports one
        bus_tap::forget_received();
        QString error;
        if (!b->connect_bus(this, &error))
            return 0;
        backend_ = std::move(b);
        channel_ = channel;
        initialised_ = false;
        const QByteArray trace_path = qgetenv("VELMORA_CAN_TRACE");
        if (!trace_path.isEmpty())
            trace_.open(QString::fromLocal8Bit(trace_path));
        return 1;
    }

    int32_t close()
    {
        if (!backend_)
            return 0;
        backend_->disconnect_bus();
        backend_.reset();
        bus_tap::report_bus_state(bus_state::unknown);
        initialised_ = false;
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = false;
        queue_.clear();
        trace_.close();
        return 1;
    }

    int32_t init(int32_t channel, const vci_init_config *config)
    {
        if (!backend_ || channel != channel_ || !config)
            return 0;
        const int rate = bitrate_from_timing(config->timing0, config->timing1);
        if (rate <= 0)
            return 0;
        if (!backend_->set_bitrate(rate))
            return 0;
        initialised_ = true;
        return 1;
    }

    int32_t start(int32_t channel)
    {
        if (!backend_ || channel != channel_ || !initialised_)
            return 0;
        if (!backend_->start())
            return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        started_ = true;
        return 1;
    }

    bool usable(int32_t channel) const { return backend_ && channel == channel_; }

    int32_t clear(int32_t channel)
    {
        if (!usable(channel))
            return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.clear();
        return 1;
    }

    int32_t pending(int32_t channel)
    {
        if (!usable(channel))
            return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int32_t>(queue_.size());
    }

    int32_t transmit(int32_t channel, const vci_frame *frames, int32_t count)
    {
        if (!usable(channel) || !frames || count <= 0)
            return 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!started_ || lost_)
                return 0;
        }
        // One transmission at a time: the trace and the tap hold each frame until the bus took it.
        std::lock_guard<std::mutex> one_at_a_time(transmit_mutex_);
        int32_t sent = 0;
        for (int32_t i = 0; i < count; ++i) {
            const vci_frame &f = frames[i];
            // Only standard 11-bit frames of at most 8 bytes exist on this adapter.
            if (f.extern_flag != 0 || f.id > 0x7FF || f.data_len > 8)
                break;
            can_message msg;
            msg.id = f.id;
            msg.len = f.data_len;
            msg.remote = f.remote_flag != 0;
            if (!msg.remote)
                std::memcpy(msg.data, f.data, f.data_len);
            // Stamped before handing over (a simulated bus answers inside transmit()), recorded
            // only when the bus took the frame.
            trace_.begin_transmit(iface_, msg);
            bus_tap::begin_transmit(msg);
            const bool accepted = backend_->transmit(msg);
            bus_tap::end_transmit(accepted);
            trace_.end_transmit(accepted);
            if (!accepted)
                break;
            ++sent;
        }
        return sent;
    }

    int32_t receive(int32_t channel, vci_frame *frames, int32_t capacity, int32_t wait_ms)
    {
        if (!usable(channel) || !frames || capacity <= 0)
            return -1;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!started_)
            return -1;
        if (queue_.empty() && wait_ms > 0)
            cv_.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return !queue_.empty(); });
        int32_t n = 0;
        while (n < capacity && !queue_.empty()) {
            const can_message &msg = queue_.front();
            vci_frame &f = frames[n];
            std::memset(&f, 0, sizeof f);
            f.id = msg.id;
            f.remote_flag = msg.remote ? 1 : 0;
            f.extern_flag = msg.extended ? 1 : 0;
            f.data_len = msg.len;
            std::memcpy(f.data, msg.data, sizeof f.data);
            queue_.pop_front();
            ++n;
        }
        return n;
    }

    // Until a frame is queued (true) or ms have passed; woken by the frame's delivery.
    bool wait_pending(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms > 0 ? ms : 0), [this] { return !queue_.empty(); });
    }

    // frame_sink
    void deliver(const can_message &msg) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!started_)
                return;  // a stopped controller takes nothing off the bus
            if (msg.fd) {
                // This adapter is a classic one: an FD frame is traced and counted, and never
                // offered as a shortened classic frame.
                fd_ignored_.fetch_add(1, std::memory_order_relaxed);
            } else {
                if (static_cast<int>(queue_.size()) >= receive_queue_capacity)
                    queue_.pop_front();
                queue_.push_back(msg);
            }
            bus_tap::record(msg, false);  // under the queue lock: ClearBuffer cannot hide it
        }
        line_marks marks;
        marks.dir = direction::received;
        trace_.write(iface_, msg, marks);
        cv_.notify_all();
    }

    void error_frame(const can_message &msg) override
    {
        line_marks marks;
        marks.dir = direction::received;
        marks.error = true;
        trace_.write(iface_, msg, marks);
    }

    void bus_lost(const QString &why) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        lost_reason_ = why;
    }

    bool reset_controller() { return backend_ && backend_->reset_controller(); }
    uint64_t fd_ignored() const { return fd_ignored_.load(std::memory_order_relaxed); }

    bool is_lost()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lost_;
    }
    QString lost_reason()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lost_reason_;
    }

    static int bitrate_from_timing(uint8_t t0, uint8_t t1)
    {
        for (const bit_timing &r : bit_timing_table)
            if (r.timing0 == t0 && r.timing1 == t1)
                return r.kbps * 1000;
        return 0;
    }

private:
    std::mutex mutex_;
    std::mutex transmit_mutex_;
    std::condition_variable cv_;
    std::deque<can_message> queue_;
    std::atomic<uint64_t> fd_ignored_{0};
    bool started_ = false;
    bool lost_ = false;
    QString lost_reason_;

    std::unique_ptr<bus_backend> backend_;
    int32_t channel_ = 0;
    bool initialised_ = false;
    trace_writer trace_;
    QString iface_;  // written only while the device is closed
};

bool valid_device(int32_t dev_type, int32_t dev_index)
{
    // One single-channel adapter, addressed as device type 3 or 4, index 0.
    return (dev_type == 3 || dev_type == 4) && dev_index == 0;
}

}  // namespace

void set_backend_factory(backend_factory factory) { factory_override() = std::move(factory); }

bool bus_lost() { return device::instance().is_lost(); }
QString bus_lost_reason() { return device::instance().lost_reason(); }
bool reset_controller() { return device::instance().reset_controller(); }
uint64_t fd_frames_ignored() { return device::instance().fd_ignored(); }

bool wait_for_frame(int32_t dev_type, int32_t dev_index, int ms)
{
    if (!valid_device(dev_type, dev_index))
        return false;
    return device::instance().wait_pending(ms);
}

}  // namespace vci

using vci::device;

int32_t OpenDevice(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index) || channel < 0)
        return 0;
    return device::instance().open(channel);
}

int32_t CloseDevice(int32_t dev_type, int32_t dev_index)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().close();
}

int32_t InitCAN(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_init_config *config)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().init(channel, config);
}

int32_t StartCAN(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().start(channel);
}

int32_t ClearBuffer(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().clear(channel);
}

int32_t GetReceiveNum(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().pending(channel);
}

int32_t Transmit(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_frame *frames, int32_t count)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::instance().transmit(channel, frames, count);
}

int32_t Receive(int32_t dev_type, int32_t dev_index, int32_t channel, vci_frame *frames, int32_t capacity,
                int32_t wait_ms)
{
    if (!vci::valid_device(dev_type, dev_index))
        return -1;
    return device::instance().receive(channel, frames, capacity, wait_ms);
}
