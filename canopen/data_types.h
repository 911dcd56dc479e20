#pragma once
// CANopen basic data types (CiA 301): their codes as written in object dictionaries and EDS
// files, their names ("UNSIGNED32") and sizes.
#include <QString>
#include <cstdint>

namespace canopen {

enum class data_type : uint16_t {
    boolean = 0x0001,
    integer8 = 0x0002,
    integer16 = 0x0003,
    integer32 = 0x0004,
    unsigned8 = 0x0005,
    unsigned16 = 0x0006,
    unsigned32 = 0x0007,
    real32 = 0x0008,
    visible_string = 0x0009,
    octet_string = 0x000A,
    domain = 0x000F,
    real64 = 0x0011,
    integer64 = 0x0015,
    unsigned64 = 0x001B,
};

// The types the program reads and writes, in the order of the window's type selector.
constexpr data_type known_types[] = {
    data_type::boolean,    data_type::integer8,    data_type::integer16,  data_type::integer32,
    data_type::integer64,  data_type::unsigned8,   data_type::unsigned16, data_type::unsigned32,
    data_type::unsigned64, data_type::real32,      data_type::real64,     data_type::visible_string,
    data_type::octet_string, data_type::domain,
};

// False for a code outside known_types (the value then travels as raw bytes).
bool is_known_type(uint16_t code);
// "UNSIGNED16"; for an unknown code "0x0010".
QString type_name(uint16_t code);
bool type_from_name(const QString &name, data_type *type);
// Bytes of a fixed-size type; 0 for strings and domains.
int type_size(uint16_t code);
bool is_signed_integer(uint16_t code);
bool is_unsigned_integer(uint16_t code);
bool is_real(uint16_t code);

}  // namespace canopen
