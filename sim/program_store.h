#pragma once
// The simulated joint's bootloader for its one program (CiA 302-3, program number 1):
//
//   0x1F50:1  program data (DOMAIN): an image of 1 to max_image bytes, taken only while the
//             program is stopped and the node pre-operational (else 0x08000022)
//   0x1F51:1  program control: write 0 stop, 1 start, 2 reset, 3 clear; reads 0 stopped,
//             1 running. Stop is refused while the motor is enabled, start without a program,
//             every command while the image is still being flashed (all 0x08000022)
//   0x1F56:1  program software identification: the CRC-32 of the image (0 once cleared)
//   0x1F57:1  flash status: bit 0 busy while an image is flashed (flash_bytes_per_s), bits 1-7
//             an error code (1: the image is empty); 0 when done
//
// Start and reset boot the joint (its boot-up message) into the program; its software version
// (0x100A) is then the text after "VERSION=" in the image (up to 32 printable bytes), or
// "SIM-FW image XXXXXXXX" (the CRC) for an image without one. The program and its version
// outlive NMT resets and power cycles for the life of the process; an image whose transfer
// failed (a CRC error in the block end) never reaches the store and the old one stays.
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class program_store {
public:
    static constexpr size_t max_image = 1u << 20;
    static constexpr int64_t flash_bytes_per_s = 512 * 1024;
    static constexpr uint8_t stop = 0, start = 1, reset = 2, clear = 3;

    // The factory program: running, with the joint's first software version.
    explicit program_store(std::string version);

    bool running() const { return running_; }
    bool present() const { return present_; }
    bool busy(int64_t now_us) const { return now_us < flash_end_us_; }
    uint32_t identification(int64_t now_us) const { return present_ && !busy(now_us) ? crc_ : 0; }
    uint32_t flash_status(int64_t now_us) const;
    const std::string &version() const { return running_version_; }

    // 0 or the abort code.
    uint32_t can_download(size_t size, bool pre_operational, int64_t now_us) const;
    uint32_t download(const std::string &image, bool pre_operational, int64_t now_us);
    // reboot: the joint boots now (start, reset).
    uint32_t command(int64_t value, bool motor_enabled, int64_t now_us, bool *reboot);

private:
    bool running_ = true;
    bool present_ = true;
    uint32_t crc_ = 0;
    uint8_t error_ = 0;
    int64_t flash_end_us_ = 0;
    std::string version_;          // of the stored image
    std::string running_version_;  // of the program that runs or ran last
};

}  // namespace sim
