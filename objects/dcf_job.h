#pragma once
// Comparing drives with a DCF and putting its values on them as jobs of steps (can/step_job.h),
// one transaction per step, for one node or many. A compare reads every object the DCF gives a
// value for; a download does the same, then sends the node to pre-operational, writes what
// differs in the order dcf_config.h plans, and reads each group back right after writing it.
// The user's Cancel (stop_between_objects) stops between two objects, never inside a PDO's
// group; the runner's cancel (a Stop clicked meanwhile) ends at once, and the report says which
// group it interrupted. The report lists every object a download wrote or changed: node,
// object, value before, value after, verified; and each node's identity and what became of it.
//
// A node that reboots meanwhile (reboot_watch) loses what was written: it is left, reported
// "rebooted during download: not configured", and neither counted done nor offered for storing.
// A lost bus ends the job, told once; a node counts as done only when every group of it was
// written and read back as the DCF gives it.
#include "can/step_job.h"
#include "canopen/sdo_client.h"
#include "objects/dcf_config.h"
#include "objects/dcf_watch.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace objects {

struct dcf_wire {
    std::function<canopen::sdo_link(int node)> link;
    // NMT "enter pre-operational" for the node.
    std::function<void(int node)> pre_operational;
    // True once the bus went away: every transfer then fails at once.
    std::function<bool()> bus_lost;
    // Nodes that reboot meanwhile; none watched without it.
    std::shared_ptr<reboot_watch> watch;
};

QString rebooted_text();
QString bus_lost_note();

// What became of one node, with its identity as it was read (empty where not read).
struct node_summary {
    enum class result { not_reached, compared, configured, not_configured, no_answer, rebooted, bus_lost };
    int node = 0;
    QString vendor;
    QString product;
    QString revision;
    QString serial;
    result outcome = result::not_reached;
};
QString result_text(node_summary::result r);

struct report_row {
    int node = 0;
    uint16_t index = 0;
    uint8_t sub = 0;
    QString name;
    QString before;
    QString after;
    bool verified = false;
    QString note;  // why a write was refused, or what else happened to the object
    bool written = false;  // a write of it was accepted; index 0: the row tells of the whole node
};

struct dcf_totals {
    int nodes_done = 0;
    int compared = 0;
    int differing = 0;
    int written = 0;
    int refused = 0;
    int verified = 0;
    bool cancelled = false;
    bool bus_lost = false;
};

class dcf_job : public step_job {
public:
    enum class mode { compare, download };
    // end hears of the end, with the job still there to be asked.
    dcf_job(mode m, const eds_document &dcf, const std::vector<int> &nodes, const dcf_wire &wire,
            std::function<void(const dcf_job &, bool cancelled)> end = {});

    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return steps_; }
    int total() const override { return std::max(expected_, steps_); }
    bool finished() const { return node_ >= nodes_.size(); }
    // Ends the job at the next point between two objects that leaves no PDO half written.
    void stop_between_objects() { stop_ = true; }

    // Every node's rows, node after node; a download leaves the values read back in them.
    const std::vector<dcf_row> &rows() const { return rows_; }
    const std::vector<report_row> &report() const { return report_; }
    const dcf_totals &totals() const { return totals_; }
    bool downloads() const { return mode_ == mode::download; }
    int node_count() const { return static_cast<int>(nodes_.size()); }
    // Nodes that took at least one write and did not reboot since.
    std::vector<int> nodes_written() const;
    const std::vector<node_summary> &summaries() const { return summaries_; }

private:
    enum class phase { identity, read, pre_operational, write, verify };

    void step_identity();
    void watch_reboots();
    void node_rebooted(size_t at);
    // The node fell silent: what is left of it is not read.
    void node_silent(int from_row);
    // After a transfer failed: true (and the job ended, told once) when the bus is gone.
    bool lost_bus();
    void set_done(size_t at, node_summary::result r);
    void step_read();
    void step_write();
    void step_verify();
    void plan_node();
    void finish_group();
    void report_group(const QString &note, bool written_only = false);
    void end_here();
    void finish_node(node_summary::result r);
    void begin_node();
    // Runs one transaction of the current transfer; true when the transfer has ended.
    bool run_transfer(const canopen::sdo_transfer &start);
    int first_row() const { return node_first_row_[node_]; }
    int node() const { return nodes_[node_]; }

    mode mode_;
    std::vector<int> nodes_;
    dcf_wire wire_;
    std::function<void(const dcf_job &, bool cancelled)> end_;
    std::vector<dcf_row> rows_;
    std::vector<int> node_first_row_;  // where each node's rows start, and one past the last
    std::vector<QString> notes_;       // per row
    std::vector<bool> written_;        // per row: a write of its value was accepted
    std::vector<report_row> report_;
    dcf_totals totals_;
    std::vector<node_summary> summaries_;  // per node
    std::vector<int> reboots_before_;      // per node: the watch's count when work on it began
    bool node_failed_ = false;  // the current node refused a write or read back another value

    size_t node_ = 0;
    phase phase_ = phase::read;
    int at_ = 0;  // the row (read), write or row of the group (verify) being worked on
    std::vector<dcf_group> groups_;
    size_t group_ = 0;
    std::vector<QByteArray> before_;  // per row of the current node, as first read
    std::vector<bool> read_before_;
    std::optional<canopen::sdo_transfer> transfer_;
    canopen::sdo_outcome outcome_;  // of the transfer that ended last
    bool stop_ = false;
    int steps_ = 0;
    int expected_ = 0;
};

// Stores the parameters of each node (0x1010 sub 1 "save"), one transaction a step; one
// report row each.
class store_job : public step_job {
public:
    // A node that reboots from now on is not stored; a lost bus ends the job.
    store_job(const std::vector<int> &nodes, const dcf_wire &wire, std::function<void(const store_job &, bool cancelled)> end = {});
    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override { return static_cast<int>(next_); }
    int total() const override { return static_cast<int>(nodes_.size()); }
    const std::vector<report_row> &report() const { return report_; }
    int stored() const { return stored_; }
    bool bus_lost() const { return bus_lost_; }

private:
    std::vector<int> nodes_;
    dcf_wire wire_;
    std::function<void(const store_job &, bool cancelled)> end_;
    size_t next_ = 0;
    std::optional<canopen::sdo_transfer> transfer_;
    int stored_ = 0;
    bool bus_lost_ = false;
    std::vector<int> reboots_before_;
    std::vector<report_row> report_;
};

}  // namespace objects
