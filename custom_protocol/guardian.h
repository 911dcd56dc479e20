#pragma once
// The guardian of the maker's protocol, which has no watchdog of its own: a small process
// (velmora --guardian BUS [BUS...]) in a session of its own, with its own connection to each of
// the program's buses it is given (in bus order, "-" for a bus it cannot join and does not
// watch), told over its standard input which joints the program set moving. When the
// program dies (end of input without a goodbye) it sends every listed joint the stop and exits;
// when the program hangs (no tick for hang_ms) it sends the same stops, forgets those joints and
// keeps watching, so that a program that comes back is guarded again.
//
// Lines from the program, one a line (B: the joint's bus, 0 when left out):
//   moving N profile|analog [B]   joint N set moving: a profile move or continuous motion, or
//                                 speed or torque control
//   rest N profile|analog|all [B] joint N brought to rest that way (all: disabled)
//   tick                      the program's event loop is alive (every tick_ms)
//   bye                       a normal quit: exit without sending anything
//
// The stop for each listed joint is the one a script engine sends to a joint it leaves behind:
// stop motion (00 84), then analog target 0 (01 FE 00 00 00 00), both to 0x640 + N on its bus.
#include "custom_protocol/custom_commands.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace guardian {

constexpr int tick_ms = 100;
constexpr int hang_ms = 500;
// Buses a guardian keeps apart (as many as the program opens).
constexpr int max_buses = 8;

struct joint_ref {
    int bus = 0;
    int node = 0;
    bool operator==(const joint_ref &o) const { return bus == o.bus && node == o.node; }
};

class watch {
public:
    // Takes one line (without its line end) at the monotonic time now_ms; false when the line
    // is not one of the above (ignored).
    bool take(const QByteArray &line, int64_t now_ms);
    // Joints with a motion not brought to rest, by bus, then node.
    std::vector<joint_ref> listed() const;
    bool said_goodbye() const { return goodbye_; }
    // Joints are listed and nothing was heard from the event loop for hang_ms.
    bool hung(int64_t now_ms) const;
    void forget_all() { joints_.clear(); }

private:
    struct motions {
        bool profile = false;
        bool analog = false;
    };
    std::map<std::pair<int, int>, motions> joints_;  // by bus, node
    // The last tick, or when the first joint was listed after a quiet spell: a program that has
    // not reached its event loop yet moves nothing, so its silence before is no hang.
    int64_t alive_ms_ = 0;
    bool goodbye_ = false;
};

// The requests that stop one joint, in the order they go out.
std::vector<custom_request> stop_requests();

// The guardian process: argv[2], argv[3], ... are the buses in bus order as VELMORA_CAN names
// them (socketcan or virtualcan), "-" for one it does not watch. Returns the exit code.
int run(int argc, char **argv);

}  // namespace guardian
