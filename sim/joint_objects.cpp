#include "sim/joint_objects.h"

#include "sim/sdo_server.h"

#include <algorithm>

namespace sim {
namespace {

constexpr od_type b8 = od_type::unsigned8;
constexpr od_type b16 = od_type::unsigned16;
constexpr od_type b32 = od_type::unsigned32;
constexpr od_type i8 = od_type::integer8;
constexpr od_type i16 = od_type::integer16;
constexpr od_type i32 = od_type::integer32;
constexpr od_type str = od_type::visible_string;
constexpr od_type dom = od_type::domain;
constexpr od_access ro = od_access::ro;
constexpr od_access rw = od_access::rw;
constexpr od_access rww = od_access::rww;
constexpr od_access cst = od_access::constant;
constexpr od_default none = od_default::none;
constexpr od_default num = od_default::number;
constexpr od_default nid = od_default::node_id;
constexpr od_default txt = od_default::text;
constexpr int64_t i32_top = 0x7FFFFFFFLL;

constexpr uint32_t device_type_servo = 0x00020192;  // CiA 402, servo drive
// pp, pv, tq, hm, ip, csp, csv, cst
constexpr uint32_t supported_modes =
    (1u << 0) | (1u << 2) | (1u << 3) | (1u << 5) | (1u << 6) | (1u << 7) | (1u << 8) | (1u << 9);
constexpr uint32_t product_code = 0x00000402;
constexpr uint32_t revision = 0x00010000;
// The drive of another make: a vendor-ID, product and revision of its own.
constexpr uint32_t other_vendor = 0x0A5E1000;
constexpr uint32_t other_product_code = 0x00002402;
constexpr uint32_t other_revision = 0x00020003;
constexpr uint32_t pdo_invalid = 0x80000000u;

std::vector<od_def> build(joint_make make)
{
    const bool other = make == joint_make::other;
    std::vector<od_def> t = {
        {0x1000, 0, b32, ro, false, num, device_type_servo},
        {0x1001, 0, b8, ro, true, num, 0},
        {0x1005, 0, b32, rw, false, num, 0x80},
        {0x1006, 0, b32, rw, false, num, 0},
        {0x1008, 0, str, cst, false, txt, 0},
        {0x1009, 0, str, cst, false, txt, 0},
        {0x100A, 0, str, cst, false, txt, 0},
        {0x100C, 0, b16, rw, false, num, 0},
        {0x100D, 0, b8, rw, false, num, 0},
    };
    // Error history: sub 0 the number of errors (writing 0 clears them), then the newest first.
    t.push_back({0x1003, 0, b8, rw, false, num, 0});
    for (uint8_t s = 1; s <= 8; ++s)
        t.push_back({0x1003, s, b32, ro, false, none, 0});
    // Store and restore: sub 0 the highest group, reading a group gives 1 ("on command").
    for (uint16_t index : {uint16_t(0x1010), uint16_t(0x1011)}) {
        t.push_back({index, 0, b8, ro, false, num, group_manufacturer});
        for (uint8_t g = group_all; g <= group_manufacturer; ++g)
            t.push_back({index, g, b32, rw, false, num, 1});
    }
    t.push_back({0x1014, 0, b32, ro, false, nid, 0x80});
    // Heartbeat consumer: four producers, each node-ID << 16 | time in ms; none watched at first.
    t.push_back({0x1016, 0, b8, ro, false, num, 4});
    for (uint8_t s = 1; s <= 4; ++s)
        t.push_back({0x1016, s, b32, rw, false, num, 0});
    t.push_back({0x1017, 0, b16, rw, false, num, 0});
    t.push_back({0x1018, 0, b8, ro, false, num, 4});
    t.push_back({0x1018, 1, b32, ro, false, num, other ? other_vendor : 0});  // ours: none assigned
    t.push_back({0x1018, 2, b32, ro, false, num, other ? other_product_code : product_code});
    t.push_back({0x1018, 3, b32, ro, false, num, other ? other_revision : revision});
    t.push_back({0x1018, 4, b32, ro, false, none, 0});  // serial number, one per joint
    // Error behaviour: on a communication error 0 to pre-operational, 1 no change, 2 stopped.
    t.push_back({0x1029, 0, b8, ro, false, num, 1});
    t.push_back({0x1029, 1, b8, rw, false, num, 0, 0, 2});

    // Four RPDOs and four TPDOs. RPDO 1 takes the controlword and TPDO 1 sends the statusword
    // on every change, as CiA 402 predefines them; the others start invalid and empty.
    for (uint16_t n = 0; n < 4; ++n) {
        const int64_t off = n == 0 ? 0 : pdo_invalid;
        t.push_back({uint16_t(0x1400 + n), 0, b8, ro, false, num, 2});
        t.push_back({uint16_t(0x1400 + n), 1, b32, rw, false, nid, off + 0x200 + 0x100 * n});
        t.push_back({uint16_t(0x1400 + n), 2, b8, rw, false, num, 255});
    }
    for (uint16_t n = 0; n < 4; ++n) {
        t.push_back({uint16_t(0x1600 + n), 0, b8, rw, false, num, n == 0 ? 1 : 0, 0, 8});
        for (uint8_t s = 1; s <= 8; ++s)
            t.push_back({uint16_t(0x1600 + n), s, b32, rw, false, num, n == 0 && s == 1 ? 0x60400010 : 0});
    }
    for (uint16_t n = 0; n < 4; ++n) {
        const int64_t off = n == 0 ? 0 : pdo_invalid;
        t.push_back({uint16_t(0x1800 + n), 0, b8, ro, false, num, 5});
        t.push_back({uint16_t(0x1800 + n), 1, b32, rw, false, nid, off + 0x180 + 0x100 * n});
        t.push_back({uint16_t(0x1800 + n), 2, b8, rw, false, num, 255});
        t.push_back({uint16_t(0x1800 + n), 3, b16, rw, false, num, 0});
        t.push_back({uint16_t(0x1800 + n), 5, b16, rw, false, num, 0});
    }
    for (uint16_t n = 0; n < 4; ++n) {
        t.push_back({uint16_t(0x1A00 + n), 0, b8, rw, false, num, n == 0 ? 1 : 0, 0, 8});
        for (uint8_t s = 1; s <= 8; ++s)
            t.push_back({uint16_t(0x1A00 + n), s, b32, rw, false, num, n == 0 && s == 1 ? 0x60410010 : 0});
    }

    // The program (CiA 302-3), number 1: data, control, identification, flash status.
    t.push_back({0x1F50, 0, b8, ro, false, num, 1});
    t.push_back({0x1F50, 1, dom, rw, false, none, 0});
    t.push_back({0x1F51, 0, b8, ro, false, num, 1});
    t.push_back({0x1F51, 1, b8, rw, false, none, 0, 0, 3});
    t.push_back({0x1F56, 0, b8, ro, false, num, 1});
    t.push_back({0x1F56, 1, b32, ro, false, none, 0});
    t.push_back({0x1F57, 0, b8, ro, false, num, 1});
    t.push_back({0x1F57, 1, b32, ro, false, none, 0});

    const std::vector<od_def> rest = {
        // Manufacturer parameters.
        {0x2100, 0, b16, rw, false, num, 100, 1, 10000},    // position loop gain
        {0x2101, 0, b16, rw, false, num, 200, 1, 10000},    // velocity loop gain
        {0x2102, 0, b16, rw, false, num, 100, 1, 2000},     // velocity integral time, 0.1 ms
        {0x2103, 0, b8, ro, false, num, 2},
        {0x2103, 1, i32, rw, false, num, -1000000},        // lower position limit, inc
        {0x2103, 2, i32, rw, false, num, 1000000},         // upper position limit, inc
        {0x2104, 0, i16, rw, false, num, 0, -500, 500},     // current offset, mA
        {0x2110, 0, str, rw, false, txt, 0},                // joint label
        {0x2111, 0, dom, rw, false, none, 0},               // scratch data, up to domain_max bytes
        {0x2120, 0, dom, ro, false, none, 0},               // recorder buffer
        // The drive's recorder (canopen_recorder.cpp).
        {0x2130, 0, b8, rw, false, num, 0, 0, 1},           // control: 1 arms, 0 stops; reads the state
        {0x2131, 0, b8, rw, false, num, 0, 0, recorder_channels},  // channels in use
        {0x2132, 0, b8, ro, false, num, 4},
        {0x2132, 1, b8, rw, false, num, 0, 0, recorder_channels},  // trigger channel, 0: at once
        {0x2132, 2, i32, rw, false, num, 0},                // trigger level, the channel's raw value
        {0x2132, 3, b8, rw, false, num, 0, 0, 1},           // edge: 0 rising, 1 falling
        {0x2132, 4, b16, rw, false, num, 0, 0, recorder_max_samples - 1},  // pre-trigger samples
        {0x2133, 0, b16, rw, false, num, 4096, 1, recorder_max_samples},   // length in samples
        {0x2134, 0, b16, rw, false, num, 1, 1, 1000},       // a sample every n cycles
        {0x2135, 0, b16, ro, false, none, 0},               // the trigger's sample in the recording
        {0x2136, 0, dom, ro, false, none, 0},               // the recording
        {0x2137, 0, b32, cst, false, num, recorder_cycle_us},  // the cycle, us
        // CiA 402.
        {0x6007, 0, i16, rw, false, num, 1, 0, 3},          // abort connection: fault
        {0x603F, 0, b16, ro, true, num, 0},
        {0x6040, 0, b16, rww, true, num, 0},
        {0x6041, 0, b16, ro, true, none, 0},
        {0x6060, 0, i8, rww, true, num, 0},
        {0x6061, 0, i8, ro, true, num, 0},
        // Quick stop, shutdown, disable operation and fault reaction option codes: by default a
        // quick stop ramps down and stays, the others switch the power stage off at once.
        {0x605A, 0, i16, rw, false, num, 5},
        {0x605B, 0, i16, rw, false, num, 0, 0, 1},
        {0x605C, 0, i16, rw, false, num, 0, 0, 1},
        {0x605E, 0, i16, rw, false, num, 0, 0, 2},
        {0x6062, 0, i32, ro, true, none, 0},               // position demand value
        {0x6064, 0, i32, ro, true, none, 0},
        {0x6065, 0, b32, rw, false, num, 20000},
        {0x6066, 0, b16, rw, false, num, 10},               // following error time out, ms
        {0x606B, 0, i32, ro, true, none, 0},               // velocity demand value
        {0x606C, 0, i32, ro, true, none, 0},
        {0x6071, 0, i16, rww, true, num, 0},
        {0x6075, 0, b32, rw, false, num, 3000, 1, i32_top},  // the per-mille values divide by it
        {0x6077, 0, i16, ro, true, none, 0},
        {0x6078, 0, i16, ro, true, none, 0},
        {0x607A, 0, i32, rww, true, num, 0},
        {0x607C, 0, i32, rw, false, num, 0},                 // home offset
        {0x607D, 0, b8, ro, false, num, 2},                  // software position limit
        {0x607D, 1, i32, rw, false, num, -i32_top - 1},
        {0x607D, 2, i32, rw, false, num, i32_top},
        {0x607F, 0, b32, rw, false, num, i32_top, 1, i32_top},  // max profile velocity
        {0x6080, 0, b32, rw, false, num, 5000, 0, i32_top},
        {0x6081, 0, b32, rww, true, num, 1000, 0, i32_top},
        {0x6083, 0, b32, rw, false, num, 10000, 1, i32_top},
        {0x6084, 0, b32, rw, false, num, 10000, 1, i32_top},
        {0x6085, 0, b32, rw, false, num, 100000, 1, i32_top}, // quick stop deceleration
        {0x6098, 0, i8, rw, false, num, 35},                 // homing method: current position
        {0x6099, 0, b8, ro, false, num, 2},
        {0x6099, 1, b32, rw, false, num, 10000, 1, i32_top}, // speed searching for a switch
        {0x6099, 2, b32, rw, false, num, 1000, 1, i32_top},  // speed searching for zero
        {0x609A, 0, b32, rw, false, num, 50000, 1, i32_top}, // homing acceleration
        {0x60C1, 0, b8, ro, false, num, 2},
        {0x60C1, 1, b16, rww, true, num, 0},
        {0x60C1, 2, b16, rww, true, num, 0},
    };
    t.insert(t.end(), rest.begin(), rest.end());
    for (uint8_t s = 1; s <= recorder_channels; ++s)
        t.push_back({0x2131, s, b32, rw, false, num, 0});  // index << 16 | sub << 8 | bits, as a PDO maps it
    const std::vector<int8_t> &methods = homing_methods();
    t.push_back({0x60E3, 0, b8, ro, false, num, int64_t(methods.size())});
    for (size_t i = 0; i < methods.size(); ++i)
        t.push_back({0x60E3, uint8_t(i + 1), i16, ro, false, num, methods[i]});
    t.push_back({0x60F4, 0, i32, ro, true, none, 0});  // following error actual value
    t.push_back({0x60FD, 0, b32, ro, true, none, 0});  // digital inputs: the switches
    t.push_back({0x60FF, 0, i32, rww, true, num, 0});
    t.push_back({0x6502, 0, b32, ro, false, num, supported_modes});
    // A standard drive of another make has no manufacturer objects of ours.
    if (other)
        t.erase(std::remove_if(t.begin(), t.end(), [](const od_def &d) { return in_group(d.index, group_manufacturer); }),
                t.end());
    // find_def() searches by index and subindex.
    std::sort(t.begin(), t.end(), [](const od_def &a, const od_def &b) { return a.key() < b.key(); });
    return t;
}

}  // namespace

const std::vector<int8_t> &homing_methods()
{
    static const std::vector<int8_t> methods = {1, 2, 17, 18, 19, 20, 21, 22, 33, 34, 35, 37};
    return methods;
}

const std::vector<od_def> &joint_dictionary(joint_make make)
{
    static const std::vector<od_def> ours = build(joint_make::velmora);
    static const std::vector<od_def> other = build(joint_make::other);
    return make == joint_make::other ? other : ours;
}

const od_def *find_def(uint16_t index, uint8_t sub, uint32_t *abort, joint_make make)
{
    // The table is in the order of index and subindex.
    const std::vector<od_def> &table = joint_dictionary(make);
    const auto at = [&table](uint32_t key) {
        return std::lower_bound(table.begin(), table.end(), key, [](const od_def &d, uint32_t k) { return d.key() < k; });
    };
    const auto found = at(uint32_t(index) << 8 | sub);
    if (found != table.end() && found->index == index && found->sub == sub)
        return &*found;
    if (abort) {
        const auto first = at(uint32_t(index) << 8);
        *abort = first != table.end() && first->index == index ? sdo_abort::no_subindex : sdo_abort::no_object;
    }
    return nullptr;
}

std::string default_text(uint16_t index, joint_make make)
{
    if (make == joint_make::other) {
        switch (index) {
        case 0x1008: return "Simulated third-party servo drive";
        case 0x1009: return "TP-HW 2";
        case 0x100A: return "TP-FW 3.1.0";
        default: return std::string();
        }
    }
    switch (index) {
    case 0x1008: return "Velmora simulated joint";
    case 0x1009: return "SIM-HW 1.0";
    case 0x100A: return "SIM-FW 1.0.2";
    case 0x2110: return "joint";
    default: return std::string();
    }
}

const std::string &recorder_buffer()
{
    static const std::string buffer = [] {
        std::string b;
        b.reserve(recorder_bytes);
        for (uint32_t record = 0; b.size() < recorder_bytes; ++record)
            b += bytes_of(record, 4);
        return b;
    }();
    return buffer;
}

int type_size(od_type type)
{
    switch (type) {
    case od_type::boolean:
    case od_type::integer8:
    case od_type::unsigned8: return 1;
    case od_type::integer16:
    case od_type::unsigned16: return 2;
    case od_type::integer32:
    case od_type::unsigned32: return 4;
    default: return 0;
    }
}

bool is_signed(od_type type)
{
    return type == od_type::integer8 || type == od_type::integer16 || type == od_type::integer32;
}

int64_t number_of(const std::string &bytes, od_type type)
{
    uint64_t v = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        v |= uint64_t(uint8_t(bytes[i])) << (8 * i);
    if (is_signed(type) && !bytes.empty() && bytes.size() < 8) {
        const int shift = 64 - 8 * static_cast<int>(bytes.size());
        return static_cast<int64_t>(v << shift) >> shift;
    }
    return static_cast<int64_t>(v);
}

std::string bytes_of(int64_t value, int size)
{
    std::string s(static_cast<size_t>(size), '\0');
    for (int i = 0; i < size; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
    return s;
}

std::string default_bytes(const od_def &def, int node_id, joint_make make)
{
    switch (def.kind) {
    case od_default::text: return default_text(def.index, make);
    case od_default::node_id: return bytes_of(def.initial + node_id, type_size(def.type));
    default: return bytes_of(def.initial, type_size(def.type));
    }
}

bool in_group(uint16_t index, uint8_t group)
{
    switch (group) {
    case group_all: return true;
    case group_communication: return index >= 0x1000 && index <= 0x1FFF;
    case group_application: return index >= 0x6000 && index <= 0x9FFF;
    case group_manufacturer: return index >= 0x2000 && index <= 0x5FFF;
    default: return false;
    }
}

bool saved_by_store(const od_def &def)
{
    if (!def.writable() || def.index == 0x1003 || def.index == 0x1010 || def.index == 0x1011 || def.index == 0x1F50 ||
        def.index == 0x1F51 || def.index == 0x2130)
        return false;
    switch (def.index) {
    case 0x6040:  // controlword
    case 0x6060:  // modes of operation
    case 0x6071:  // target torque
    case 0x607A:  // target position
    case 0x60C1:  // interpolation data
    case 0x60FF:  // target velocity
        return false;
    default:
        return true;
    }
}

}  // namespace sim
