#pragma once
// What the joint operations need from the bus, one transaction per call, and where it comes
// from: the exchange core on the GUI thread, reached directly there; a test sequence reaches it
// from its relay thread through its gate (sequences/joint_bus.h), and its engine process by a
// proxy over its socket. Joints are addressed by node number, several at a time, so nothing
// here reads or changes the connected node of the control windows.
#include "custom_protocol/custom_commands.h"
#include "canopen/joint_guard.h"
#include "canopen/sdo_client.h"
#include "objects/firmware_job.h"

#include <QStringList>
#include <cstdint>
#include <functional>

namespace motion {

// What a bench's boot-up (objects/bench_boot.h) left, for a script.
struct bench_run {
    bool ran = false;  // the boot ran to its end
    QString error;     // why it did not, or could not start
    int nodes = 0;
    int done = 0;
    QStringList names;    // "J3=3": each node's name in the node list and its node-ID
    QStringList summary;  // a line per node: done, or where it failed and why
};

// A firmware update of one node as a script asked for it (objects/firmware_job.h): ran is false
// when no update began (the image unreadable, another job running, the run stopped), with why.
struct firmware_run {
    bool ran = false;
    QString why;
    objects::firmware_report report;
};

struct joint_bus {
    // One request of the maker's protocol to node: true with data bytes 0-3 of its reply.
    std::function<bool(int node, const custom_request &request, int32_t *value)> custom;
    // The SDO wire to node, each step one transaction.
    std::function<canopen::sdo_link(int node)> sdo;
    // Waits ms between two polls of a joint; false once the run has been stopped.
    std::function<bool(int ms)> pause;
    // A line for the run's log (what the heartbeat guard set); may be empty.
    std::function<void(const QString &text)> note;
    // The heartbeat guard of a CANopen joint (canopen/joint_guard.h), engaged or released where
    // the program's heartbeat and journal live; empty: over sdo(node) in this process.
    std::function<canopen::guard_result(int node, bool engage)> guard;
    // Boots the bench a node list describes, where the bus lives, as a job of steps there;
    // empty: no boot from here.
    std::function<bench_run(const QString &cpj_path)> boot;
    // The firmware update of node with the image at path (and its sidecar), run where the bus
    // and the job runner live, so that the image goes by block transfer and a stop cancels it;
    // empty: no update from here.
    std::function<firmware_run(int node, const QString &path, bool force)> firmware;
};

// The exchange core for joints by node, on the thread that calls it (the GUI thread). The maker's
// protocol keeps each node's reply identifier where the node scan learns it; a node the scan never
// probed is known by its first answer.
class exchange_adapter {
public:
    exchange_adapter() = default;
    // Over another bus than the adapter's own (one that counts what went out); it must outlive
    // the adapter and every link it handed out.
    explicit exchange_adapter(const exchange_bus &bus) : bus_(&bus) {}

    bool custom(int node, const custom_request &request, int32_t *value) const;
    canopen::sdo_link sdo(int node) const;

private:
    const exchange_bus &ops() const;

    const exchange_bus *bus_ = nullptr;  // none: the adapter's
};

// The adapter on the calling thread; pause sleeps and never reports a stop.
joint_bus direct_bus(exchange_adapter &adapter);

}  // namespace motion
