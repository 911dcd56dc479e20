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
}  // namespace record_flag

// aux for a frame that answers nothing known.
constexpr uint16_t no_request = 0xFFFF;

struct trace_record {
    int64_t t_us = 0;  // microseconds since the trace's start
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
};
static_assert(sizeof(trace_record) == 24, "a trace record stays compact");

}  // namespace trace
