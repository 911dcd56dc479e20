#pragma once
// Which received frame answers a CANopen request (CiA 301), free of widgets.
//
//   request                          | its answer
//   ---------------------------------|----------------------------------------------------------
//   SDO initiate on 0x600+n          | 0x580+n as the SDO client judges it (sdo_answer_verdict):
//     cs idx_lo idx_hi sub           |   upload request 0x40 -> upload response 0x4X
//                                    |   download 0x2F/0x2B/0x23 -> download response 0x6X
//                                    |   abort 0x80 of the object, code in bytes 4-7 -> refusal
//   NMT reset node/communication     | boot-up: 0x700+n, one byte 00 (any node when n is 0)
//   NMT start, stop, pre-operational | none awaited
//   SYNC 0x080                       | TPDO 1 of the node: 0x180+n
//   guarding request 0x700+n (RTR)   | 0x700+n, one byte (toggle and NMT state)
//   RPDO and anything else           | none awaited
#include "can/exchange.h"

#include <QString>
#include <cstdint>

namespace canopen {

// The decoder for a request to node (1..127) sent on id with these bytes; empty when the request
// awaits no answer. The SYNC is answered by node's TPDO 1.
reply_decoder reply_decoder_for(int32_t node, uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote);
// Takes node's boot-up (any node's when node is 0).
reply_decoder boot_up_decoder(int32_t node);

// The control window's text of an abort: its error document's for the codes the document
// lists, else the abort table's in the document's style ("SDO中止：内存不足(0x05040005)\nSDO
// abort: out of memory"), else "SDO中止(0x0BADC0DE)\nSDO abort (0x0BADC0DE)".
QString control_abort_text(uint32_t code);

}  // namespace canopen
