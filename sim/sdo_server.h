#pragma once
// The SDO server of a simulated joint (CiA 301): expedited, segmented and block transfers in
// both directions, with the size indicated or not. Block transfers check the CRC when the
// client does, offer blocks of up to block_size() segments (settable, 1..127; 0 refuses block
// transfers as unknown commands, as a server without them does), confirm only the segments of a
// block that came in order, and switch a block upload of an object no longer than the client's
// threshold to the ordinary upload answer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

namespace sdo_abort {
constexpr uint32_t toggle = 0x05030000;
constexpr uint32_t unknown_command = 0x05040001;
constexpr uint32_t invalid_block_size = 0x05040002;
constexpr uint32_t invalid_sequence = 0x05040003;
constexpr uint32_t crc_error = 0x05040004;
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
constexpr uint32_t device_state = 0x08000022;
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
    static constexpr size_t max_bytes = 1u << 20;

    using frame = std::array<uint8_t, 8>;

    explicit sdo_server(dictionary &d) : dictionary_(d) {}

    // One request (8 bytes) and what the server sends for it: nothing (a client's abort, a
    // segment inside a block), one answer, or a whole block of an upload.
    void handle(const uint8_t request[8], std::vector<frame> &replies);
    // A transfer in progress is dropped (reset communication).
    void reset() { session_ = session{}; }

    int block_size() const { return block_size_; }
    void set_block_size(int segments) { block_size_ = segments < 0 ? 0 : segments > 127 ? 127 : segments; }

private:
    enum class block_state { none, receiving, awaiting_end, upload_ready, upload_sent, upload_end_sent };

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
        // Block transfers.
        block_state block = block_state::none;
        bool crc = false;
        int block_size = 0;
        int expected = 1;           // download: the segment awaited next in the block
        int sent = 0;               // upload: segments of the block sent
        bool sent_last = false;     // upload: the block held the last segment
    };

    void begin(bool upload, uint16_t index, uint8_t sub);
    void initiate_upload(uint16_t index, uint8_t sub, uint8_t reply[8]);
    void initiate_download(const uint8_t request[8], uint8_t reply[8]);
    void upload_segment(uint8_t command, uint8_t reply[8]);
    void download_segment(const uint8_t request[8], uint8_t reply[8]);
    void abort(uint16_t index, uint8_t sub, uint32_t code, uint8_t reply[8]);
    void block_download(const uint8_t request[8], std::vector<frame> &replies);
    void block_segment(const uint8_t request[8], std::vector<frame> &replies);
    void block_upload(const uint8_t request[8], std::vector<frame> &replies);
    void send_block(std::vector<frame> &replies);

    dictionary &dictionary_;
    session session_;
    int block_size_ = 127;
};

}  // namespace sim
