#pragma once
// The heartbeat guard of an enabled CANopen joint: while Velmora has the joint enabled, the
// drive watches Velmora's heartbeat (can/heartbeat_producer.h) and quick-stops when it falls
// silent, whether Velmora was killed, hangs or lost the adapter.
//
//   engage (before the enable)                       release (at disable or disconnect)
//   heartbeat starts                                 0x1016:k = found
//   read 0x1016:0..n, 0x6007, 0x1029:1               0x6007   = found
//   journal the values found (base/drive_journal.h)  0x1029:1 = found
//   0x1016:k = Velmora's node-ID << 16 | 350 ms      journal entry removed
//   0x6007   = 3 (quick stop)                        heartbeat stops when no joint is guarded
//   0x1029:1 = 0 (pre-operational)
//
// k is the sub already watching Velmora's node-ID, else the first unused one (time or node 0).
// A drive that lacks 0x6007 or 0x1029 is guarded without it; one without 0x1016 (or without a
// free sub) is not guarded. Both sides say so in their result. A change a killed program left
// (the journal's entry) is taken over: its values found stay the ones put back.
#include "canopen/sdo_client.h"

#include <QString>
#include <QStringList>

namespace canopen {

constexpr int guard_timeout_ms = 350;
constexpr uint16_t quick_stop_on_abort_connection = 3;
constexpr uint8_t pre_operational_on_error = 0;

constexpr uint32_t consumer_entry(int node, int ms)
{
    return (static_cast<uint32_t>(node) & 0xFF) << 16 | (static_cast<uint32_t>(ms) & 0xFFFF);
}

struct guard_result {
    bool guarded = false;
    // One line for the user: what was set or put back, and what was skipped.
    QString text;
};

// Both are no-ops when guard::enabled() is false. engage does nothing for a joint already guarded,
// release nothing for one this process did not guard.
guard_result engage_guard(const sdo_link &link, int bus, int node);
guard_result release_guard(const sdo_link &link, int bus, int node);
bool guarded(int bus, int node);
// As a new process starts: no joint guarded by this one, the heartbeat let go (the journal stays).
void forget_guards();

}  // namespace canopen
