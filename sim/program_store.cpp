#include "sim/program_store.h"

#include "base/checksums.h"
#include "sim/sdo_server.h"

#include <cstdio>

namespace sim {
namespace {

constexpr uint32_t device_state = 0x08000022;
constexpr uint32_t invalid_value = 0x06090030;
constexpr size_t version_max = 32;
constexpr uint8_t error_empty = 1;

std::string version_in(const std::string &image, uint32_t crc)
{
    const size_t at = image.find("VERSION=");
    if (at != std::string::npos) {
        std::string v;
        for (size_t i = at + 8; i < image.size() && v.size() < version_max; ++i) {
            const unsigned char c = static_cast<unsigned char>(image[i]);
            if (c < 0x20 || c > 0x7E)
                break;
            v += static_cast<char>(c);
        }
        if (!v.empty())
            return v;
    }
    char text[32];
    std::snprintf(text, sizeof text, "SIM-FW image %08X", crc);
    return text;
}

}  // namespace

program_store::program_store(std::string version) : version_(version), running_version_(std::move(version))
{
    crc_ = checksums::crc32(version_.data(), version_.size());
}

uint32_t program_store::flash_status(int64_t now_us) const
{
    return static_cast<uint32_t>(error_) << 1 | (busy(now_us) ? 1u : 0u);
}

uint32_t program_store::can_download(size_t size, bool pre_operational, int64_t now_us) const
{
    if (running_ || !pre_operational || busy(now_us))
        return device_state;
    if (size > max_image)
        return sdo_abort::too_long;
    return 0;
}

uint32_t program_store::download(const std::string &image, bool pre_operational, int64_t now_us)
{
    const uint32_t code = can_download(image.size(), pre_operational, now_us);
    if (code != 0)
        return code;
    // The flash takes its time, and says so in 0x1F57 meanwhile.
    flash_end_us_ = now_us + static_cast<int64_t>(image.size()) * 1000000 / flash_bytes_per_s;
    if (image.empty()) {
        error_ = error_empty;
        present_ = false;
        return 0;
    }
    error_ = 0;
    present_ = true;
    crc_ = checksums::crc32(image.data(), image.size());
    version_ = version_in(image, crc_);
    return 0;
}

uint32_t program_store::command(int64_t value, bool motor_enabled, int64_t now_us, bool *reboot)
{
    *reboot = false;
    if (busy(now_us))
        return device_state;
    switch (value) {
    case stop:
        if (motor_enabled)
            return device_state;
        running_ = false;
        return 0;
    case start:
    case reset:
        if (!present_)
            return device_state;
        running_ = true;
        running_version_ = version_;
        *reboot = true;
        return 0;
    case clear:
        if (running_)
            return device_state;
        present_ = false;
        crc_ = 0;
        error_ = 0;
        return 0;
    default: return invalid_value;
    }
}

}  // namespace sim
