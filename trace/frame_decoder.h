#pragma once
// Says what a frame on the bus means: CANopen (CiA 301 services, CiA 402 objects) and the
// drive maker's own request/reply protocol. Pure functions of the frame and a small context, so
// the trace can decode any row on demand.
//
// Identifiers (node n = 1..127; the maker's protocol takes 0x640 + n and 0x5C0 + n, which it
// shares with CANopen nodes 65..127: frames there are the maker's unless they are 8 bytes long)
//   0x000        NMT       [command, node]          0x01 start, 0x02 stop, 0x80 pre-operational,
//                                                   0x81 reset node, 0x82 reset communication
//   0x080        SYNC      [] or [counter]
//   0x080 + n    EMCY      [code lo, code hi, error register, 5 bytes maker specific]
//   0x180/0x280/0x380/0x480 + n   TPDO1..4 (node to master)
//   0x200/0x300/0x400/0x500 + n   RPDO1..4 (master to node)
//   0x580 + n    SDO response  [command, index lo, index hi, subindex, data 0..3]
//   0x600 + n    SDO request       0x40 read, 0x2F/0x2B/0x27/0x23 write 1..4 bytes, 0x22 write,
//                                  0x4F/0x4B/0x47/0x43 read reply, 0x60 write reply, 0x80 abort
//   0x700 + n    error control [state]  0x00 boot-up, 0x04 stopped, 0x05 operational,
//                                       0x7F pre-operational; bit 7 the guarding toggle;
//                                       a remote frame is a guarding request
//   0x640 + n    maker request  [register hi, register lo]                 read
//                               [register hi, register lo, 00, 01]         read (actual speed)
//                               [register hi, register lo, value, big-endian 4 bytes]   write
//   0x5C0 + n    maker reply    [value, big-endian 4 bytes] or [01] (accepted)
#include "custom_protocol/custom_commands.h"
#include "trace/trace_record.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <array>
#include <map>
#include <vector>

namespace trace {

enum class frame_kind : uint8_t { nmt, sync, emcy, pdo, sdo, error_control, maker, error_frame, other };
constexpr int frame_kind_count = 9;
inline uint16_t kind_bit(frame_kind k) { return static_cast<uint16_t>(1u << static_cast<unsigned>(k)); }
constexpr uint16_t all_kinds = (1u << frame_kind_count) - 1;

constexpr uint32_t maker_request_base = custom_id::request_base;
constexpr uint32_t maker_reply_base = custom_id::reply_base;

frame_kind classify(const trace_record &r);
// The node a frame comes from or goes to; 0 for broadcasts (NMT to all, SYNC) and for frames
// that name no node. An NMT command counts for its target node.
int node_of(const trace_record &r);

// One entry of a PDO mapping (the 0x1600/0x1A00 entry layout: index, subindex, length in bits).
struct pdo_entry {
    uint16_t index;
    uint8_t subindex;
    uint8_t bits;
};

// What is learned of the nodes is kept per interface (a frame log's interface number, see
// frame_log::interface_index): node 1 of one bus is not node 1 of another, and a mapping or mode
// set on one bus says nothing of the other. Interface 0 keys as the node or identifier alone.
inline uint64_t pdo_key(uint16_t iface, uint32_t cob_id) { return uint64_t(iface) << 32 | cob_id; }
inline int node_key(uint16_t iface, int node) { return int(iface) << 8 | node; }

struct decoder_context {
    // Text of an emergency/error code (the CANopen error document); may be empty.
    std::function<QString(uint16_t)> error_text;
    // Known PDO mappings by interface and identifier (pdo_key).
    std::map<uint64_t, std::vector<pdo_entry>> pdo_mappings;
    // The mode of operation each node was last set to or reported (0x6060 written, 0x6061
    // read), for the statusword's mode bits; by node_key.
    std::map<int, int8_t> modes;
};

// A frame seen on interface iface, in what context holds of that interface.
QString describe(const trace_record &r, const decoder_context &context, uint16_t iface = 0);

// Names for the texts above (also used by the node table).
QString nmt_state_name(uint8_t state);
QString maker_register_name(uint16_t reg);
QString object_name(uint16_t index);
// "generic, current" for the error register 0x03.
QString error_register_bits(uint8_t reg);
// What a value of a CiA 402 object says by name: the statusword's state and flags, the
// controlword's command, the mode, the error code, the digital inputs' switches; empty for
// other objects.
QString value_meaning(uint16_t index, uint32_t value, int node, const decoder_context &context, uint16_t iface = 0);

// For a maker reply, the register of the request it answers, if that request is the last one
// sent to the node on the same interface. The trace fills trace_record::aux through this as
// frames arrive.
class maker_request_tracker {
public:
    void observe(trace_record &r, uint16_t iface = 0);

private:
    std::vector<std::array<uint16_t, 128>> last_;  // by interface, then node
};

// Learns PDO mappings from the SDO writes that set them up (0x1400-0x1403 / 0x1800-0x1803
// sub 1 the COB-ID, 0x1600-0x1603 / 0x1A00-0x1A03 the entries and their count), so that the
// trace shows the mapped values of the PDOs that follow; and each node's mode of operation.
class pdo_mapping_tracker {
public:
    void observe(const trace_record &r, decoder_context &context, uint16_t iface = 0);

private:
    struct pdo {
        uint32_t cob_id = 0;
        uint8_t count = 0;
        uint32_t entries[8] = {};
    };
    void publish(const pdo &p, uint16_t iface, decoder_context &context) const;
    std::map<uint32_t, pdo> pdos_;  // by interface << 10 | node << 3 | transmit << 2 | pdo number - 1
};

}  // namespace trace
