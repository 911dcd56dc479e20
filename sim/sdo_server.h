#pragma once
// The SDO server of a simulated joint (CiA 301): expedited and segmented transfers of any size
// in both directions, with the size indicated or not. Block transfers are not offered; their
// requests are refused as unknown commands, which lets a client fall back to segments.
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

namespace sdo_abort {
constexpr uint32_t toggle = 0x05030000;
constexpr uint32_t unknown_command = 0x05040001;
constexpr uint32_t unsupported_access = 0x06010000;
constexpr uint32_t read_only = 0x06010002;
constexpr uint32_t no_object = 0x06020000;
constexpr uint32_t not_mappable = 0x06040041;
constexpr uint32_t mapping_too_long = 0x06040042;
constexpr uint32_t incompatible = 0x06040043;
constexpr uint32_t length_mismatch = 0x06070010;
constexpr uint32_t too_long = 0x06070012;
constexpr uint32_t too_short = 0x06070013;
constexpr uint32_t no_subindex = 0x06090011;
constexpr uint32_t invalid_value = 0x06090030;
constexpr uint32_t too_high = 0x06090031;
constexpr uint32_t too_low = 0x06090032;
constexpr uint32_t max_below_min = 0x06090036;
constexpr uint32_t cannot_store = 0x08000020;
}  // namespace sdo_abort

class sdo_server {
public:
    // What the server reads and writes. Every call answers 0 or an abort code.
    class dictionary {
    public:
        virtual ~dictionary() = default;
        // The value's bytes, little-endian for numbers.
        virtual uint32_t read(uint16_t index, uint8_t sub, std::string &bytes) = 0;
        // Whether a download of size bytes can start (the object exists, is writable and can
        // hold that many bytes); size_known false when the client did not say.
        virtual uint32_t can_write(uint16_t index, uint8_t sub, size_t size, bool size_known) = 0;
        // exact false: an expedited transfer without size, whose value fills the object's size
        // from the first bytes.
        virtual uint32_t write(uint16_t index, uint8_t sub, const std::string &bytes, bool exact) = 0;
    };

    // Longest value one transfer may carry; a longer one is refused, never buffered.
    static constexpr size_t max_bytes = 256;

    explicit sdo_server(dictionary &d) : dictionary_(d) {}

    // One request (8 bytes); false when it gets no answer (a client's abort).
    bool handle(const uint8_t request[8], uint8_t reply[8]);
    // A transfer in progress is dropped (reset communication).
    void reset() { session_ = session{}; }

private:
    struct session {
        bool active = false;
        bool upload = false;
        uint16_t index = 0;
        uint8_t sub = 0;
        uint8_t toggle = 0;
        bool size_known = false;
        size_t size = 0;
        std::string data;
        size_t offset = 0;
    };

    void begin(bool upload, uint16_t index, uint8_t sub);
    void initiate_upload(uint16_t index, uint8_t sub, uint8_t reply[8]);
    void initiate_download(const uint8_t request[8], uint8_t reply[8]);
    void upload_segment(uint8_t command, uint8_t reply[8]);
    void download_segment(const uint8_t request[8], uint8_t reply[8]);
    void abort(uint16_t index, uint8_t sub, uint32_t code, uint8_t reply[8]);

    dictionary &dictionary_;
    session session_;
};

}  // namespace sim
