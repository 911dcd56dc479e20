#pragma once
// The object dictionary of a simulated CANopen joint as one table: data type, access, PDO
// mapping, default and limits of every entry. The joint enforces exactly this table, and
// Document/velmora_joint.eds describes the same one (a test holds the two together).
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// CiA 301 data type codes, as an EDS writes them.
enum class od_type : uint16_t {
    boolean = 0x0001,
    integer8 = 0x0002,
    integer16 = 0x0003,
    integer32 = 0x0004,
    unsigned8 = 0x0005,
    unsigned16 = 0x0006,
    unsigned32 = 0x0007,
    visible_string = 0x0009,
    domain = 0x000F,
};

// rww: writable, and written by RPDOs too (process data towards the drive).
enum class od_access : uint8_t { ro, rw, rww, constant };

enum class od_default : uint8_t {
    none,      // a measured or per-joint value: the EDS gives no default
    number,    // initial
    node_id,   // initial + the node-ID ($NODEID+initial in the EDS)
    text,      // a string: default_text()
};

struct od_def {
    uint16_t index;
    uint8_t sub;
    od_type type;
    od_access access;
    bool pdo;
    od_default kind;
    int64_t initial;
    // Limits of the value; none when low > high.
    int64_t low = 1;
    int64_t high = 0;

    bool limited() const { return low <= high; }
    bool writable() const { return access == od_access::rw || access == od_access::rww; }
    uint32_t key() const { return uint32_t(index) << 8 | sub; }
};

// The homing methods the joint offers (0x60E3, 0x6098): limit switch and index pulse (1, 2),
// limit switch (17, 18), home switch (19-22), index pulse (33, 34), current position (35, 37).
const std::vector<int8_t> &homing_methods();
// Whose joint: ours (Document/velmora_joint.eds), or a standard CiA 402 drive of another make
// (Document/other_joint.eds), which has its own identity and strings and none of our
// manufacturer objects (0x2000-0x5FFF).
enum class joint_make : uint8_t { velmora, other };

// Every entry, by index and subindex.
const std::vector<od_def> &joint_dictionary(joint_make make = joint_make::velmora);
// The entry, or nullptr with the abort code (object or subindex does not exist).
const od_def *find_def(uint16_t index, uint8_t sub, uint32_t *abort, joint_make make = joint_make::velmora);
// The default of a string entry.
std::string default_text(uint16_t index, joint_make make = joint_make::velmora);
// The recorder buffer (0x2120), a read-only DOMAIN of recorder_bytes: as a drive offers its
// recordings, large enough that a master reads it in thousands of segments. It holds records
// of four bytes, each its own number (0, 1, 2, ... little-endian).
constexpr size_t recorder_bytes = 65536;
const std::string &recorder_buffer();
// The drive's recorder (0x2130-0x2137): up to recorder_channels objects sampled every cycle of
// recorder_cycle_us (or every n-th), recorder_max_samples samples at most.
constexpr int recorder_channels = 8;
constexpr int recorder_max_samples = 16384;
constexpr int recorder_cycle_us = 250;
// The default's bytes for a joint at node_id, little-endian in the type's size.
std::string default_bytes(const od_def &def, int node_id, joint_make make = joint_make::velmora);

// Bytes of a number type; 0 for strings.
int type_size(od_type type);
bool is_signed(od_type type);
// A number from its little-endian bytes, sign-extended for the signed types.
int64_t number_of(const std::string &bytes, od_type type);
std::string bytes_of(int64_t value, int size);

// The groups 0x1010/0x1011 save and restore, by subindex: 1 all, 2 communication
// (0x1000-0x1FFF), 3 application (0x6000-0x9FFF), 4 manufacturer (0x2000-0x5FFF).
constexpr uint8_t group_all = 1;
constexpr uint8_t group_communication = 2;
constexpr uint8_t group_application = 3;
constexpr uint8_t group_manufacturer = 4;
bool in_group(uint16_t index, uint8_t group);
// Kept by "save": a writable parameter, not a command and not process data the master sends
// with every command.
bool saved_by_store(const od_def &def);

// Longest value of the joint's writable string.
constexpr size_t string_max = 32;
// Longest value of its writable DOMAIN (0x2111): room for a block download of 64 KiB.
constexpr size_t domain_max = 65536;

}  // namespace sim
