#pragma once
// The CANopen frames the control window sends. Identifiers come from sdo_request_id
// (0x600 + node) the way the window derives them, so that every frame follows the node the
// connection window handed over.
#include <cstdint>

namespace canopen {

struct frame {
    uint32_t id = 0;
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t len = 0;
    uint8_t remote = 0;  // informational: the exchange takes the flag from remote_request
};

// SDO requests go to sdo_request_base + node, responses come from sdo_response_base + node.
constexpr uint32_t sdo_request_base = 0x600;
constexpr uint32_t sdo_response_base = 0x580;

// NMT commands.
constexpr uint8_t nmt_start = 0x01;
constexpr uint8_t nmt_stop = 0x02;
constexpr uint8_t nmt_enter_pre_operational = 0x80;
constexpr uint8_t nmt_reset_node = 0x81;
constexpr uint8_t nmt_reset_communication = 0x82;

constexpr uint32_t nmt_id = 0x000;
constexpr uint32_t sync_id = 0x080;

inline uint32_t rpdo1_id(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id - 0x400); }
inline uint32_t guarding_id(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id + 0x100); }
// TPDO/RPDO 1 COB-ID values for the mapping sequences: bit 31 set = PDO not valid.
inline uint32_t tpdo1_cob_invalid(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id) + 0x7FFFFB80u; }
inline uint32_t tpdo1_cob_valid(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id - 0x480); }
inline uint32_t rpdo1_cob_invalid(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id) + 0x7FFFFC00u; }
inline uint32_t rpdo1_cob_valid(int32_t sdo_request_id) { return static_cast<uint32_t>(sdo_request_id - 0x400); }

// The SDO client's requests (sdo_client.h) on the node's identifier.
// Read request: 40 lo hi sub 00 00 00 00.
frame sdo_upload(int32_t sdo_request_id, uint16_t index, uint8_t subindex);
// Expedited write request of size 1, 2 or 4 bytes (0x2F, 0x2B, 0x23); the value little-endian
// in bytes 4.., the bytes the size does not cover 0. Any other size is taken as 4.
frame sdo_download(int32_t sdo_request_id, uint16_t index, uint8_t subindex, uint32_t value, int size);
// Byte 1 is the low byte of sdo_request_id, which is the node number for nodes up to 127.
frame nmt(uint8_t command, int32_t sdo_request_id);
frame sync();
frame guarding_request(int32_t sdo_request_id);
// DLC 6: control word, then the 32-bit set-point, both little-endian.
frame rpdo1(int32_t sdo_request_id, uint16_t control_word, int32_t set_point);

}  // namespace canopen
