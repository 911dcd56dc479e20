#pragma once
// Boots a bench (objects/bench.h) in one job of steps (can/step_job.h), as a network manager
// boots its network: discovery of the bus, then node after node
//
//   present        the node answered discovery; else, when its DCF gives a serial number, it
//                  is looked for among the nodes without node-ID: LSS switch state selective
//                  with the DCF's vendor, product, revision and serial (a fast scan first
//                  learns the first three where the DCF lacks them), configure node-ID, store,
//                  back to waiting, and its boot-up awaited
//   identity       0x1018 subs 1-4 read and checked against the DCF's; on a mismatch nothing
//                  is written to the node
//   configuration  the DCF compared, what differs downloaded and read back (objects/dcf_job)
//   store          0x1010:1 "save" where the DCF gives it that value or the user chose to
//   heartbeat      the producer time the DCF writes to 0x1017, and a heartbeat heard
//   start          NMT start, the last step and only of a node whose every step passed, and
//                  the heartbeat saying operational; in node order, or for all nodes at once
//                  after the last one was checked
//
// A step that fails ends that node's boot; the nodes after it go on. Cancel (stop_after_step)
// ends the boot between two steps (a download between two objects); whatever was left is
// reported as not run. The runner's cancel ends at once, with an SDO transfer's abort, and a
// node in LSS configuration sent back to waiting. Nothing is reported done that was not seen:
// a value verified is one read back, a start one confirmed by the node's heartbeat.
#include "can/step_job.h"
#include "canopen/lss_master.h"
#include "objects/bench.h"
#include "objects/dcf_job.h"
#include "objects/node_discovery.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vci::bus_tap {
class listener;
}

namespace objects {

enum class boot_step { present, identity, configuration, store, heartbeat, start };
constexpr int boot_step_count = 6;
// "present", "identity", ... as reports name the steps.
QString boot_step_name(boot_step step);

enum class step_result { not_run, passed, failed, skipped };
QString step_result_text(step_result r);

struct step_record {
    step_result result = step_result::not_run;
    QString found;  // what was seen
    QString done;   // what was done and confirmed
    QString note;   // why it failed, or was not run
    double seconds = 0;
};

struct node_boot {
    int node = 0;
    QString name;
    step_record steps[boot_step_count];
    int current = -1;          // the step under way; -1 none
    double started_s = -1;     // since the boot began; -1 not begun
    double ended_s = -1;
    bool by_lss = false;       // given its node-ID by LSS
    // Every step passed (the start confirmed by the heartbeat).
    bool done() const;
    bool failed() const;
    step_record &at(boot_step s) { return steps[static_cast<int>(s)]; }
    const step_record &at(boot_step s) const { return steps[static_cast<int>(s)]; }
    // "J2 (node 2)"
    QString title() const;
};

enum class start_order { node_order, all_at_once };

struct boot_options {
    start_order order = start_order::node_order;
    bool store_always = false;  // store every node configured, whatever its DCF says
};

struct boot_wire {
    discovery_bus discovery;
    dcf_wire dcf;
    // NMT start for the node.
    std::function<void(int node)> start;
    exchange_hooks lss_hooks;
    // The bus (can/bus.h) whose tap gives the nodes' heartbeats and boot-ups: the one the links
    // and discovery above speak on.
    int bus = 0;
};

// The wire of the adapter's bus (bus 0): SDO links with the SDO timeout, NMT commands as
// frames, LSS and discovery on the exchange core; log gets the monitor texts.
boot_wire adapter_boot_wire(const monitor_sink &log);
// The same on bus index (can/bus.h): its links, frames, discovery and heartbeats.
boot_wire bus_boot_wire(int index, const monitor_sink &log);

// Keeps the names the bench gives its nodes as the joints' names on bus (base/joint_names.h),
// so that the Joints window and scripts call them so; a node the bench names only "node N"
// keeps the name it had.
void keep_bench_names(const bench_file &bench, int bus);

// A heartbeat is awaited for this many producer times (and a little for the bus) before a
// node counts as silent: as the bus trace, three periods.
constexpr int heartbeat_periods_waited = 3;
constexpr int heartbeat_slack_ms = 200;

class bench_boot : public step_job {
public:
    // progress hears of each change of a node (index into nodes()); end of the end.
    bench_boot(const bench_file &bench, const boot_options &options, const boot_wire &wire,
               std::function<void(const bench_boot &, int node_index)> progress = {},
               std::function<void(const bench_boot &, bool cancelled)> end = {});
    ~bench_boot() override;

    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return steps_; }
    int total() const override;
    // Ends the boot between two steps; what is left is reported not run.
    void stop_after_step();

    const bench_file &bench() const { return bench_; }
    const std::vector<node_boot> &nodes() const { return nodes_; }
    // Discovery, bench-wide: found and what became of it.
    const step_record &discovery() const { return discovery_; }
    bool finished() const { return phase_ == phase::finished; }
    bool cancelled() const { return cancelled_; }
    bool bus_lost() const { return bus_lost_; }
    double seconds() const { return static_cast<double>(clock_.elapsed()) / 1000.0; }
    int nodes_done() const;

private:
    enum class phase { discover, node, start_all, finished };
    enum class lss_stage { scan, scan_back, select, configure, store, boot };

    double now_s() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }
    void hear();
    void begin_step(boot_step s);
    // The step's outcome, without moving on.
    void record(step_result result, const QString &found, const QString &done, const QString &note);
    // ... and on to the next step; a failure to the next node.
    void pass(const QString &found, const QString &done);
    void fail(const QString &found, const QString &note);
    void skip(const QString &note);
    void after_step();
    void next_node();
    void end_early();
    void leave_rest(const QString &note);
    void finish();
    bool gone() const;
    bool waited_out(int64_t since_us, int period_ms) const;
    void idle() const;

    void step_discover();
    void step_present();
    void step_lss();
    void step_identity();
    void step_configuration();
    void step_store();
    void step_heartbeat();
    void step_start();
    void step_start_all();
    node_boot &here() { return nodes_[at_]; }
    const bench_node &spec() const { return bench_.nodes[at_]; }

    bench_file bench_;
    boot_options options_;
    boot_wire wire_;
    std::function<void(const bench_boot &, int)> progress_;
    std::function<void(const bench_boot &, bool)> end_;
    std::vector<node_boot> nodes_;
    step_record discovery_;
    std::vector<int> answering_;  // nodes that answered discovery's SDO sweep
    std::vector<int> heard_only_;

    phase phase_ = phase::discover;
    size_t at_ = 0;  // the node being booted
    boot_step step_ = boot_step::present;
    double step_began_s_ = 0;
    double discovery_began_s_ = 0;
    double start_began_s_ = 0;
    bool lss_begun_ = false;
    std::unique_ptr<step_job> sub_;
    dcf_job *download_ = nullptr;  // sub_ when it is the download
    // LSS of the node at hand.
    lss_stage lss_ = lss_stage::select;
    canopen::lss_fast_scan scan_;
    canopen::lss_identity lss_id_;
    bool in_configuration_ = false;  // a slave was left in LSS configuration
    // Identity reads.
    int identity_part_ = 0;
    std::optional<canopen::sdo_transfer> transfer_;
    canopen::lss_identity found_id_;
    bool found_known_[4] = {false, false, false, false};
    // Heartbeats by the bus tap: the last one of each node, when and its state.
    std::shared_ptr<vci::bus_tap::listener> heartbeats_;
    struct heard_beat {
        int64_t t_us = -1;
        uint8_t state = 0;
    };
    std::vector<heard_beat> last_beat_;  // by node-ID
    std::vector<int64_t> first_beat_since_;  // per node index: when the wait began (tap time)
    int64_t start_sent_us_ = -1;
    std::vector<size_t> to_start_;

    QElapsedTimer clock_;
    bool stop_ = false;
    bool cancelled_ = false;
    bool bus_lost_ = false;
    int steps_ = 0;
};

// What a boot found and did, kept once the job is gone.
struct boot_outcome {
    bench_file bench;
    std::vector<node_boot> nodes;
    step_record discovery;
    double seconds = 0;
    QDateTime started;
    int nodes_done() const;
};
boot_outcome outcome_of(const bench_boot &boot, const QDateTime &started);

// The report of a boot: one row per node and step (and the bench's discovery first), then
// each node's boot time.
QStringList boot_report_headers();
std::vector<QStringList> boot_report_rows(const boot_outcome &boot);
// CSV, a workbook (.xlsx) or JUnit XML (.xml) by the path's ending; false with the reason.
bool save_boot_report(const QString &path, const boot_outcome &boot, QString *error);
// One testsuite for the bench, one testcase per node and step ("J2 (node 2): identity"); a
// step not run is skipped, one that failed a failure; the bench-wide discovery case fails only
// when the discovery itself could not run.
QByteArray boot_junit(const boot_outcome &boot);
// "J2 (node 2): 完成/done (0.42 s)" or "...: 失败/failed at identity: ..." for every node.
QStringList boot_summary(const boot_outcome &boot);

}  // namespace objects
