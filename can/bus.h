#pragma once
// One open bus and everything that belongs to it: its adapter device, receive queue and bus tap
// (can/vci, keyed by the bus's index), the exchange core's steps over it, its job runner and what
// was learned of the replies on it. The program passes a bus around as this object, as
// python-canopen passes its Network and CANopenNode its CO_CANmodule_t.
//
// Bus 0 is the bus of the process-wide adapter settings (device_type, device_index, can_index)
// and of every original window; the adapter operations of can/adapter.h, adapter_bus_ops() and
// job_runner::instance() are its face. Bus k > 0 is the adapter's device index k, channel 0, the
// k-th entry of VELMORA_CAN's comma-separated list, opened at the same bit rate as bus 0.
#include "can/exchange.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

class job_runner;

namespace can {

// What is known of the answers to requests on one identifier: the identifier they come from,
// and whether the last request went unanswered (and since when), for protocols whose reply does
// not name its request.
struct learned_reply {
    uint32_t reply_id = 0;  // 0 unknown
    bool unanswered = false;
    QElapsedTimer since;
};

class bus {
public:
    // index 0 .. vci::max_buses - 1; anything else is bus 0.
    static bus &at(int index);
    // How many buses VELMORA_CAN (or --bus) lists: at least 1.
    static int selected();
    // Whether index names a bus of the selection.
    static bool exists(int index) { return index >= 0 && index < selected(); }

    int index() const { return index_; }
    // The adapter coordinates of this bus.
    int32_t device_type() const;
    int32_t device_index() const;
    int32_t channel() const;

    // The exchange core's steps over this bus (adapter_bus_ops() for bus 0).
    const exchange_bus &ops() const { return *ops_; }
    // Work of many transactions on this bus, one step a turn of the event loop. GUI thread only;
    // everything else here may be asked from any thread.
    job_runner &jobs();

    bool is_open() const;
    // The interface name traces give it ("sim1", "can0.1"), or what VELMORA_CAN says of it while
    // closed.
    QString name() const;
    // Opens, initialises and starts bus k > 0 at the rate of the adapter settings (bus 0 has the
    // original open sequence, open_adapter()). False with why when any step failed; a bus that
    // opened but did not start is closed again.
    bool open(QString *why);
    void close();

    // Learned reply identifiers, keyed by the identifier the requests go to.
    std::map<uint32_t, learned_reply> &replies() { return replies_; }

    // Sends one frame straight through the adapter, with nothing logged and nothing awaited.
    bool send(uint32_t id, const uint8_t *data, uint8_t len) const;

    bus(const bus &) = delete;
    bus &operator=(const bus &) = delete;

private:
    explicit bus(int index);
    ~bus();

    int index_;
    std::unique_ptr<exchange_bus> ops_;
    std::unique_ptr<job_runner> jobs_;
    std::map<uint32_t, learned_reply> replies_;
};

// Opens every bus of the selection after bus 0; returns the lines of those that failed (empty:
// all opened). Bus 0 must be open first.
QStringList open_other_buses();
void close_other_buses();

}  // namespace can
