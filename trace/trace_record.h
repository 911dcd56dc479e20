#pragma once
// One frame of the bus trace as it is kept in memory: 24 bytes, so that a million frames fit in
// a few tens of megabytes. Texts (decoded meaning, hex data) are made only for rows on screen.
#include <cstdint>

namespace trace {

namespace record_flag {
constexpr uint8_t transmitted = 0x01;  // sent by this program
constexpr uint8_t remote = 0x02;
constexpr uint8_t error = 0x04;     // an error frame: id holds the error class bits
constexpr uint8_t extended = 0x08;  // 29-bit identifier
constexpr uint8_t fd = 0x10;        // CAN FD: len up to 64, data the first 8 bytes
constexpr uint8_t detail = 0x20;    // more of it lives beside the record (frame_log::detail)
}  // namespace record_flag

// aux for a frame that answers nothing known.
constexpr uint16_t no_request = 0xFFFF;

struct trace_record {
    // Microseconds since the trace's epoch (frame_log::epoch_us); a log's lines out of time
    // order keep their times, so this may be negative.
    int64_t t_us = 0;
    uint32_t id = 0;
    // For a reply of the maker's protocol: the register of the request it answers (the reply
    // itself does not carry it); no_request otherwise.
    uint16_t aux = no_request;
    uint8_t len = 0;
    uint8_t flags = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    bool transmitted() const { return (flags & record_flag::transmitted) != 0; }
    bool remote() const { return (flags & record_flag::remote) != 0; }
    bool error() const { return (flags & record_flag::error) != 0; }
    bool extended() const { return (flags & record_flag::extended) != 0; }
    bool fd() const { return (flags & record_flag::fd) != 0; }
};
static_assert(sizeof(trace_record) == 24, "a trace record stays compact");

}  // namespace trace
