#pragma once
// The SDO client's wire on the process's adapter: requests to 0x600 + node, replies from
// 0x580 + node, each step waiting until its reply has arrived (at most sdo_timeout_ms). Every
// frame sent and received is logged into the CANopen monitor when logging is on.
#include "objects/sdo_client.h"

#include <QString>
#include <functional>

namespace objects {

// Receives the six monitor texts of each logged frame, one at a time.
using monitor_sink = std::function<void(const QString &)>;

sdo_link adapter_sdo_link(int node, const monitor_sink &emit_text);

}  // namespace objects
