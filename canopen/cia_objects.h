#pragma once
// The CiA 301/402 objects this program knows without a data sheet: the communication objects
// and drive objects it reads and writes, with their names in both languages, standard types,
// access and the defaults and limits of the simulated joint's data sheet. The object
// dictionary's built-in list, the bus trace's names and the control window's mapping logs all
// read this one table.
//
//   object  1018 "Identity object", RECORD      entries  1018:00 "Highest sub-index supported"
//                                                        1018:01 "Vendor-ID" ...
//   object  6041 "Statusword", VAR             entry    6041:00 (a variable's entry bears the
//                                                        name of its object)
#include "canopen/data_types.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace canopen {

// Object codes of CiA 301 (ObjectType in EDS files).
constexpr uint8_t object_domain = 2;
constexpr uint8_t object_var = 7;
constexpr uint8_t object_array = 8;
constexpr uint8_t object_record = 9;

struct cia_object {
    uint16_t index;
    uint8_t object_type;
    const char *zh;  // UTF-8
    const char *en;
};

struct cia_entry {
    uint16_t index;
    uint8_t sub;
    const char *zh;  // UTF-8; nullptr for the entry of a variable, which is named as its object
    const char *en;
    data_type type;
    const char *access;  // as in EDS files: ro, rw, rww, const
    const char *default_value;
    const char *low;
    const char *high;
    bool pdo;  // may be mapped into a PDO
};

// A table as a range for loops.
template <typename T>
struct table_view {
    const T *first;
    const T *last;
    const T *begin() const { return first; }
    const T *end() const { return last; }
};

// In index order; the entries of each object in subindex order.
table_view<cia_object> cia_objects();
table_view<cia_entry> cia_entries();

const cia_object *find_cia_object(uint16_t index);
const cia_entry *find_cia_entry(uint16_t index, uint8_t sub);

// An entry's names, its object's for the entry of a variable.
QString entry_name_zh(const cia_entry &e);
QString entry_name_en(const cia_entry &e);

// The identity object: vendor-ID, product code, revision number, serial number (subs 1-4).
constexpr uint16_t identity_index = 0x1018;
constexpr uint8_t identity_vendor = 1;
constexpr uint8_t identity_product = 2;
constexpr uint8_t identity_revision = 3;
constexpr uint8_t identity_serial = 4;
bool is_identity_entry(uint16_t index, uint8_t sub);
// A part of an identity as every table, report and file shows it: "0x00010001".
QString identity_text(uint32_t value);
// The same of the object's bytes as read (little-endian, up to 4).
QString identity_text(const QByteArray &bytes);

}  // namespace canopen
