#pragma once
// SDO abort codes (CiA 301) with their texts, for every code a server or this client can give.
#include <QString>
#include <cstdint>

namespace objects {

namespace abort_code {
constexpr uint32_t toggle_bit = 0x05030000;
constexpr uint32_t timeout = 0x05040000;
constexpr uint32_t unknown_command = 0x05040001;
constexpr uint32_t out_of_memory = 0x05040005;
constexpr uint32_t unsupported_access = 0x06010000;
constexpr uint32_t write_only = 0x06010001;
constexpr uint32_t read_only = 0x06010002;
constexpr uint32_t no_object = 0x06020000;
constexpr uint32_t length_mismatch = 0x06070010;
constexpr uint32_t length_too_high = 0x06070012;
constexpr uint32_t length_too_low = 0x06070013;
constexpr uint32_t no_subindex = 0x06090011;
constexpr uint32_t invalid_value = 0x06090030;
constexpr uint32_t value_too_high = 0x06090031;
constexpr uint32_t value_too_low = 0x06090032;
constexpr uint32_t general_error = 0x08000000;
constexpr uint32_t cannot_store = 0x08000020;
constexpr uint32_t device_state = 0x08000022;
}  // namespace abort_code

// "中文/English (0x06090031)"; an unlisted code gives a generic text with the code.
QString abort_text(uint32_t code);

}  // namespace objects
