#pragma once
// Work of many transactions (a segmented SDO transfer, Read all, a download of a configuration,
// a search of the bus) as a job of steps on the GUI thread.
//
// The exchange core runs one transaction at a time and never spins a nested event loop, so work
// that takes many transactions must give the event loop back between them: the job runner calls
// the job's step() once per turn of the event loop, each step at most one transaction, and the
// clicks, timers and repaints that came meanwhile are handled before the next step. The GUI
// thread is never held longer than one transaction.
//
// One job runs at a time in the process: a second one is refused while the first runs (the bus
// is one, and two jobs would take turns with the same server). Any window may look whether a job
// runs (busy()); a poll that would disturb a transfer in progress (an SDO request to the same
// server ends its segmented transfer) skips its turn meanwhile.
//
// Cancel ends the job at once with what the other side is owed (an SDO transfer its abort).
// A Stop, Disable or quick stop clicked while a job runs is taken at the next step: the click
// handler ends the job (end_job_for_stop) and then sends its stop, so the stop is never queued
// behind the rest of the job.
#include <QObject>
#include <QTimer>
#include <memory>

class QProgressDialog;
namespace can {
class bus;
}
class QWidget;

class step_job {
public:
    virtual ~step_job() = default;
    // One step, at most one transaction; false once the work is over.
    virtual bool step() = 0;
    // The work is given up before its end: what the other side is owed goes out now.
    virtual void cancel() = 0;
    // Called once, after the last step or the cancel, when the runner is free for a next job.
    virtual void ended(bool cancelled) { (void)cancelled; }
    // Progress, done of total; a total of 0 while it is unknown.
    virtual int done() const { return 0; }
    virtual int total() const { return 0; }
};

class job_runner : public QObject {
    Q_OBJECT

public:
    static job_runner &instance();

    bool busy() const { return job_ != nullptr; }
    // Takes job and runs its first step at the next turn of the event loop; false, with the job
    // dropped unstarted, while another job runs.
    bool start(std::unique_ptr<step_job> job);
    // Ends the running job now, with its cancel(); nothing when no job runs.
    void cancel();

signals:
    // After each step.
    void progress(int done, int total);
    // The runner is free again; the job hears of its end (ended) right after.
    void finished(bool cancelled);

private:
    // Each bus has its own (can/bus.h); instance() is bus 0's.
    friend class can::bus;
    job_runner();
    void next_step();
    void end(bool cancelled);

    QTimer turn_;
    std::unique_ptr<step_job> job_;
};

// For a Stop, Disable or quick stop: a job still running ends first, with its abort, so that
// the stop goes out next.
void end_job_for_stop();

// Starts job with a progress dialog over parent that shows when the job takes longer than half
// a second, follows its progress and ends it with its Cancel (object names `job_progress` and
// `cancel_job`). The dialog leaves the other windows free (their Stop stays reachable) and goes
// with the job. False while another job runs.
bool start_job_with_progress(std::unique_ptr<step_job> job, QWidget *parent, const QString &label);
