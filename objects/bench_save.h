#pragma once
// A bench as it stands on the bus, saved as a node list with a DCF per node (objects/bench.h): a
// job of steps (can/step_job.h) that discovers every CANopen node, reads all of each by the data
// sheet given, and writes the files. Each DCF keeps the values a boot can put back (what the
// drive lets be written, commands left out) and the identity read, [DeviceInfo] from it and
// [DeviceComissioning] with the node-ID, the name ("J" and the node-ID), the bit rate and the
// serial number from 0x1018:4. A node without a heartbeat (0x1017 read 0) gets 100 ms in its
// DCF, since a bench watches every node by its heartbeat.
#include "can/step_job.h"
#include "objects/eds.h"
#include "objects/node_discovery.h"

#include <functional>
#include <memory>

namespace objects {

constexpr int saved_heartbeat_ms = 100;

struct bench_save_result {
    bool written = false;
    QString error;         // why the files were not written
    QStringList files;     // written, the node list first
    int nodes = 0;
    QStringList refused;   // "node 3: 2 objects refused" and the like
};

class bench_save : public step_job {
public:
    // data_sheet: the dictionary each node is read by; cpj_path: where the node list goes, the
    // DCFs beside it.
    bench_save(const eds_document &data_sheet, const QString &cpj_path, int bit_rate_kbps, const discovery_bus &wire,
               std::function<void(const bench_save_result &, bool cancelled)> end);
    ~bench_save() override;

    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return steps_; }
    int total() const override;

private:
    void write_files();

    eds_document sheet_;
    QString path_;
    int kbps_;
    discovery_bus wire_;
    std::function<void(const bench_save_result &, bool)> end_;
    std::unique_ptr<step_job> sub_;
    bool discovered_ = false;
    std::vector<int> nodes_;
    std::vector<eds_document> read_;
    size_t at_ = 0;
    bool cancelled_ = false;
    int steps_ = 0;
    bench_save_result result_;
};

}  // namespace objects
