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

bus_backend_factory &factory_override()
{
    static bus_backend_factory f;
    return f;
}

// One adapter per bus: device index k is bus k. The backend may deliver frames from its own
// thread, so the queue and the lost flag are guarded; everything else is touched by the caller's
// thread only.
class device final : public frame_sink {
public:
    static device &at(int32_t bus)
    {
        static device devices[max_buses];
        static const bool numbered = [] {
            for (int i = 0; i < max_buses; ++i)
                devices[i].bus_ = i;
            return true;
        }();
        (void)numbered;
        return devices[bus];
    }

    int bus_index() const override { return bus_; }
    bool is_open() const { return backend_ != nullptr; }
    QString interface() const { return iface_; }

    int32_t open(int32_t channel)
    {
        if (backend_)
            return 1;  // already open: the adapter stays as it is
        std::unique_ptr<bus_backend> b = factory_override() ? factory_override()(bus_, channel) : nullptr;
        if (!b)
            return 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.clear();
            lost_ = false;
            lost_reason_.clear();
            started_ = false;
        }
        iface_ = distinct_interface(b->interface_name());
        bus_tap::set_interface(iface_, bus_);
        bus_tap::report_bus_state(bus_state::unknown, bus_);  // until the new bus reports one
        bus_tap::forget_received(bus_);
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
        bus_tap::report_bus_state(bus_state::unknown, bus_);
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
            bus_tap::begin_transmit(msg, bus_);
            const bool accepted = backend_->transmit(msg);
            bus_tap::end_transmit(accepted, bus_);
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
            const can_message &msg = queue_.front().msg;
            vci_frame &f = frames[n];
            std::memset(&f, 0, sizeof f);
            // The adapter's time of arrival, in its 0.1 ms units.
            f.time_stamp = static_cast<uint32_t>(queue_.front().t_us / 100);
            f.time_flag = 1;
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
                queue_.push_back(queued{msg, bus_tap::now_us()});
            }
            bus_tap::record(msg, false, false, bus_);  // under the queue lock: ClearBuffer cannot hide it
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
    // Two open buses on one channel name (socketcan:can0 and virtualcan:can0) would read alike in
    // a trace: the later one is told apart by its bus number ("can0.1").
    QString distinct_interface(const QString &name) const
    {
        for (int i = 0; i < max_buses; ++i) {
            const device &other = at(i);
            if (i != bus_ && other.backend_ && other.iface_ == name)
                return QStringLiteral("%1.%2").arg(name).arg(bus_);
        }
        return name;
    }

    int bus_ = 0;
    std::mutex mutex_;
    std::mutex transmit_mutex_;
    std::condition_variable cv_;
    struct queued {
        can_message msg;
        int64_t t_us;
    };
    std::deque<queued> queue_;
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
    // Single-channel adapters addressed as device type 3 or 4, one index per bus.
    return (dev_type == 3 || dev_type == 4) && dev_index >= 0 && dev_index < max_buses;
}

bool valid_bus(int bus) { return bus >= 0 && bus < max_buses; }

}  // namespace

void set_bus_backend_factory(bus_backend_factory factory) { factory_override() = std::move(factory); }

void set_backend_factory(backend_factory factory)
{
    if (!factory) {
        factory_override() = nullptr;
        return;
    }
    factory_override() = [factory](int bus, int channel) -> std::unique_ptr<bus_backend> {
        return bus == 0 ? factory(channel) : nullptr;
    };
}

bool bus_lost(int bus) { return valid_bus(bus) && device::at(bus).is_lost(); }
QString bus_lost_reason(int bus) { return valid_bus(bus) ? device::at(bus).lost_reason() : QString(); }
bool reset_controller(int bus) { return valid_bus(bus) && device::at(bus).reset_controller(); }
bool bus_open(int bus) { return valid_bus(bus) && device::at(bus).is_open(); }
QString bus_interface(int bus) { return valid_bus(bus) ? device::at(bus).interface() : QString(); }

uint64_t fd_frames_ignored()
{
    uint64_t n = 0;
    for (int i = 0; i < max_buses; ++i)
        n += device::at(i).fd_ignored();
    return n;
}

bool wait_for_frame(int32_t dev_type, int32_t dev_index, int ms)
{
    if (!valid_device(dev_type, dev_index))
        return false;
    return device::at(dev_index).wait_pending(ms);
}

}  // namespace vci

using vci::device;

int32_t OpenDevice(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index) || channel < 0)
        return 0;
    return device::at(dev_index).open(channel);
}

int32_t CloseDevice(int32_t dev_type, int32_t dev_index)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).close();
}

int32_t InitCAN(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_init_config *config)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).init(channel, config);
}

int32_t StartCAN(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).start(channel);
}

int32_t ClearBuffer(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).clear(channel);
}

int32_t GetReceiveNum(int32_t dev_type, int32_t dev_index, int32_t channel)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).pending(channel);
}

int32_t Transmit(int32_t dev_type, int32_t dev_index, int32_t channel, const vci_frame *frames, int32_t count)
{
    if (!vci::valid_device(dev_type, dev_index))
        return 0;
    return device::at(dev_index).transmit(channel, frames, count);
}

int32_t Receive(int32_t dev_type, int32_t dev_index, int32_t channel, vci_frame *frames, int32_t capacity,
                int32_t wait_ms)
{
    if (!vci::valid_device(dev_type, dev_index))
        return -1;
    return device::at(dev_index).receive(channel, frames, capacity, wait_ms);
}
