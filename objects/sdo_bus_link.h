#pragma once
// The SDO client's wire on the exchange core: requests to 0x600 + node, each step one
// transaction that waits until its reply from 0x580 + node has arrived (at most
// sdo_timeout_ms). Every frame sent and received is logged into the CANopen monitor when
// logging is on; an abort's row carries its text. The bus must outlive the link.
#include "can/exchange.h"
#include "objects/sdo_client.h"

namespace objects {

sdo_link exchange_sdo_link(const exchange_bus &bus, int node, const monitor_sink &emit_text);

}  // namespace objects
