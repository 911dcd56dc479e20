#pragma once
// SDO abort codes (CiA 301): every code the standard lists, with its text in both languages.
// The object dictionary, the bus trace and the CANopen control window all take their texts
// from here (the control window lets its error document speak first for the codes it lists).
#include <QString>
#include <cstdint>

namespace canopen {

namespace abort_code {
constexpr uint32_t toggle_bit = 0x05030000;
constexpr uint32_t timeout = 0x05040000;
constexpr uint32_t unknown_command = 0x05040001;
constexpr uint32_t invalid_block_size = 0x05040002;
constexpr uint32_t invalid_sequence = 0x05040003;
constexpr uint32_t crc_error = 0x05040004;
constexpr uint32_t out_of_memory = 0x05040005;
constexpr uint32_t unsupported_access = 0x06010000;
constexpr uint32_t write_only = 0x06010001;
constexpr uint32_t read_only = 0x06010002;
constexpr uint32_t no_object = 0x06020000;
constexpr uint32_t not_mappable = 0x06040041;
constexpr uint32_t pdo_too_long = 0x06040042;
constexpr uint32_t parameter_incompatible = 0x06040043;
constexpr uint32_t internal_incompatible = 0x06040047;
constexpr uint32_t hardware_error = 0x06060000;
constexpr uint32_t length_mismatch = 0x06070010;
constexpr uint32_t length_too_high = 0x06070012;
constexpr uint32_t length_too_low = 0x06070013;
constexpr uint32_t no_subindex = 0x06090011;
constexpr uint32_t invalid_value = 0x06090030;
constexpr uint32_t value_too_high = 0x06090031;
constexpr uint32_t value_too_low = 0x06090032;
constexpr uint32_t max_below_min = 0x06090036;
constexpr uint32_t resource_unavailable = 0x060A0023;
constexpr uint32_t general_error = 0x08000000;
constexpr uint32_t cannot_store = 0x08000020;
constexpr uint32_t local_control = 0x08000021;
constexpr uint32_t device_state = 0x08000022;
constexpr uint32_t no_dictionary = 0x08000023;
constexpr uint32_t no_data = 0x08000024;
}  // namespace abort_code

struct abort_entry {
    uint32_t code;
    const char *zh;  // UTF-8
    const char *en;
};

// The entry of a code the standard lists; nullptr for any other code.
const abort_entry *find_abort(uint32_t code);

// "参数值过大/value of parameter written too high"; "未知中止代码/unknown abort code" for a code
// the standard does not list.
QString abort_meaning(uint32_t code);
// The meaning with the code: "参数值过大/value of parameter written too high (0x06090031)".
QString abort_text(uint32_t code);

}  // namespace canopen
