#pragma once
// One run of a test sequence: the script runs on Qt's JavaScript engine in a process of its own
// (sequences/engine_child.h), bounded in memory and, when asked, in time, so that no script can
// take the program down. Every bus action it asks for is carried out by the exchange core on the
// runner's (GUI) thread through the gate, one exchange per request, as are its checks and log
// lines, so that the window, the headless runner and the results only ever change on that
// thread; a relay thread reads the engine's requests and waits for their answers. Stop ends the
// engine process at once (a while (true) ends too), refuses its further bus actions and stops
// every joint the script moved with the protocol's stop; a script error, the engine's death
// (out of memory, a signal, garbage on the pipe) and the time limit do the same.
#include "sequences/check_book.h"
#include "sequences/engine_wire.h"
#include "sequences/gui_gate.h"
#include "can/vci/bus_backend.h"
#include "sequences/joint_bus.h"
#include "sequences/junit_report.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;
class QTimer;

namespace sequences {

class engine_process;

enum class run_end { passed, failed, error, stopped };

// Exit code of a headless run: 0 every check passed, 1 a check failed, 2 the script could not
// run to its end.
int exit_code(run_end end);

// The log line of a stop a stopped or failed script left to the runner: "stopped" only when
// the drive confirmed it. sent: a frame of it went out.
QString stop_text(const QString &joint, const stop_result &r, bool sent, bool bus_lost);

// The Joints window as a window run reaches it, set where both windows are known (app/): each
// runs on the runner's thread.
struct listed_joints {
    // The joints the window lists, with their names and whether enabled.
    std::function<std::vector<known_joint>()> list;
    // Stops the listed joints that are enabled, but those in skip: a line per joint stopped,
    // "stopped" only where the drive confirmed it; false when one did not.
    std::function<bool(const std::vector<joint_key> &skip, QStringList *lines)> stop_enabled;
};

class sequence_runner : public QObject {
    Q_OBJECT

public:
    explicit sequence_runner(QObject *parent = nullptr);
    // A run still going is stopped as by Stop, and its thread waited for.
    ~sequence_runner() override;

    // Starts script (file_name names it in errors and the report); false while a run goes on.
    bool start(const QString &script, const QString &file_name);
    // The next runs end as an error once they ran this long; 0: no limit.
    void set_time_limit_s(int seconds) { time_limit_s_ = seconds; }
    // Without them (a headless run) joints() is what a discovery finds on every open bus.
    void set_listed_joints(const listed_joints &joints) { listed_ = joints; }
    int time_limit_s() const { return time_limit_s_; }
    // The engine's largest resident memory in the last run, KiB (0 before its end).
    int64_t engine_peak_kib() const { return engine_peak_kib_; }
    void stop();
    bool running() const { return running_; }

    const check_book &book() const { return book_; }
    // The last run as the report describes it.
    report_run report() const;
    // "12.3 s, 45 checks, 1 failed — CANopen joint 2: moveTo(1000)".
    QString progress_text() const;

    // From the relay thread, for the engine: the bus of the run, and the bookkeeping.
    const joint_bus &bus() const { return buses_[0]; }
    // Bus bus's joints; null for one that is not open.
    const joint_bus *bus_of(int bus) const;
    bool stopped() const { return stopped_; }
    void mark_moved(const joint_key &key);
    void set_action(const QString &action);
    double elapsed_s() const { return clock_.nsecsElapsed() / 1e9; }
    // Through the gate to the runner's thread; false once stopped.
    bool record_check(const check_result &result);
    bool write_log(const QString &text);
    // The firmware update of one node (joint_bus::firmware) as a job of the runner's thread;
    // returns once it ended. A stop meanwhile cancels it (with its abort), and the log says what
    // the node was left with. A relative path is taken from the script's folder.
    firmware_run update_firmware(int bus, int node, const QString &path, bool force);
    // The joints known (script_services::known_joints), those the Joints window names so, and
    // the stop of its enabled ones; from the relay thread.
    bool known_joints(std::vector<known_joint> *known, QString *why);
    bool find_named(const QString &name, joint_key *key);
    bool stop_listed(const std::vector<known_joint> &done, QStringList *lines);

signals:
    // where: check_book::add's answer.
    void check_added(int where, const check_result &result);
    void log_line(const QString &line);
    void finished(sequences::run_end end, const QString &message);

private:
    void engine_returned(const QString &error);
    // Ends the run now: the engine killed, its further actions refused, the moved joints stopped.
    void cut_short();
    void stop_moved_joints();
    void emit_log(const QString &text);
    // The CANopen nodes a discovery (objects/node_discovery.h) finds on bus; from the relay thread.
    std::vector<known_joint> discover(int bus);

    gui_gate *gate_;
    exchange_adapter adapters_[vci::max_buses];  // one per bus, index as in can/bus.h
    joint_bus buses_[vci::max_buses];
    check_book book_;
    QThread *thread_ = nullptr;
    std::unique_ptr<engine_process> engine_;  // while the relay thread runs
    QTimer *time_limit_timer_;
    int time_limit_s_ = 0;
    listed_joints listed_;
    bool timed_out_ = false;
    int64_t engine_peak_kib_ = 0;
    bool running_ = false;
    std::atomic<bool> stopped_{false};
    QElapsedTimer clock_;
    QDateTime started_;
    double duration_s_ = 0;
    QString script_name_;
    QString end_message_;
    run_end end_ = run_end::passed;

    mutable std::mutex shared_;  // guards what both threads touch below
    std::vector<joint_key> moved_;
    QString action_;
};

}  // namespace sequences

Q_DECLARE_METATYPE(sequences::run_end)
Q_DECLARE_METATYPE(sequences::check_result)
