#pragma once
// Foreign traffic for flood tests: a bus that carries about 10,000 frames a second of RPDOs and
// TPDOs of nodes that are not there, beside the in-process simulated joints, and a reading of
// the process's resident memory.
#include "can/vci/bus_backend.h"
#include "sim/simulator.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace test_support {

constexpr int flood_frames_per_ms = 10;
// Foreign frames carry this in every byte, so a value taken from one is recognisable.
constexpr uint8_t foreign_byte = 0xEE;
constexpr int32_t foreign_value = int32_t(0xEEEEEEEEu);
#if defined(__SANITIZE_ADDRESS__)
constexpr long max_rss_growth_bytes = 512L * 1024 * 1024;  // the sanitizer's quarantine keeps freed memory
#else
constexpr long max_rss_growth_bytes = 50L * 1024 * 1024;
#endif

long rss_bytes();
vci::can_message foreign_frame(uint64_t n);

// Ten frames every millisecond from a thread of its own. Lost time is not caught up in a burst:
// the flood is a steady rate, not a measure of the scheduler.
class foreign_traffic {
public:
    explicit foreign_traffic(std::function<void(const vci::can_message &)> put) : put_(std::move(put)) {}
    ~foreign_traffic() { stop(); }
    void start()
    {
        if (thread_.joinable())
            return;
        running_ = true;
        thread_ = std::thread([this] {
            while (running_) {
                for (int i = 0; i < flood_frames_per_ms; ++i)
                    put_(foreign_frame(sent_++));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void stop()
    {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }
    uint64_t sent() const { return sent_; }

private:
    std::function<void(const vci::can_message &)> put_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> sent_{0};
    std::thread thread_;
};

// The in-process joints on a bus that also carries foreign traffic while it is connected.
class flooded_sim_backend final : public vci::bus_backend {
public:
    flooded_sim_backend()
        : traffic_([this](const vci::can_message &m) {
              std::lock_guard<std::mutex> lock(mutex_);
              if (sink_)
                  sink_->deliver(m);
          })
    {
    }
    ~flooded_sim_backend() override { disconnect_bus(); }
    QString interface_name() const override { return QStringLiteral("sim0"); }
    bool connect_bus(vci::frame_sink *sink, QString *) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sink_ = sink;
        }
        traffic_.start();
        return true;
    }
    void disconnect_bus() override
    {
        traffic_.stop();
        std::lock_guard<std::mutex> lock(mutex_);
        sink_ = nullptr;
    }
    bool transmit(const vci::can_message &m) override
    {
        const std::vector<vci::can_message> answers = sim::simulator::instance().process(m);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!sink_)
            return false;
        for (const vci::can_message &a : answers)
            sink_->deliver(a);
        return true;
    }
    uint64_t sent() const { return traffic_.sent(); }

private:
    std::mutex mutex_;
    vci::frame_sink *sink_ = nullptr;
    foreign_traffic traffic_;
};

}  // namespace test_support
