#pragma once
// One run of a test sequence: the script runs on Qt's JavaScript engine on a thread of its own,
// and every bus action it asks for is carried out by the exchange core on the runner's (GUI)
// thread through the gate, as are its checks and log lines, so that the window, the headless
// runner and the results only ever change on that thread. Stop interrupts the engine (a
// while (true) ends too), refuses its further bus actions and, at once, stops every joint the
// script moved with the protocol's stop; a script error does the same when the engine returns.
#include "sequences/check_book.h"
#include "sequences/gui_gate.h"
#include "sequences/joint_bus.h"
#include "sequences/joints.h"
#include "sequences/junit_report.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class QJSEngine;
class QThread;

namespace sequences {

enum class run_end { passed, failed, error, stopped };

// Exit code of a headless run: 0 every check passed, 1 a check failed, 2 the script could not
// run to its end.
int exit_code(run_end end);

class sequence_runner : public QObject {
    Q_OBJECT

public:
    explicit sequence_runner(QObject *parent = nullptr);
    // A run still going is stopped as by Stop, and its thread waited for.
    ~sequence_runner() override;

    // Starts script (file_name names it in errors and the report); false while a run goes on.
    bool start(const QString &script, const QString &file_name);
    void stop();
    bool running() const { return running_; }

    const check_book &book() const { return book_; }
    // The last run as the report describes it.
    report_run report() const;
    // "12.3 s, 45 checks, 1 failed — CANopen joint 2: moveTo(1000)".
    QString progress_text() const;

    // From the engine's thread (script_host): the bus of the run, and the bookkeeping.
    const joint_bus &bus() const { return bus_; }
    bool stopped() const { return stopped_; }
    void mark_moved(const joint_key &key);
    void set_action(const QString &action);
    double elapsed_s() const { return clock_.nsecsElapsed() / 1e9; }
    // Through the gate to the runner's thread; false once stopped.
    bool record_check(const check_result &result);
    bool write_log(const QString &text);
    void attach_engine(QJSEngine *engine);

signals:
    // where: check_book::add's answer.
    void check_added(int where, const check_result &result);
    void log_line(const QString &line);
    void finished(sequences::run_end end, const QString &message);

private:
    void engine_returned(const QString &error);
    void stop_moved_joints();
    void emit_log(const QString &text);

    gui_gate *gate_;
    exchange_adapter adapter_;
    joint_bus bus_;
    check_book book_;
    QThread *thread_ = nullptr;
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
    QJSEngine *engine_ = nullptr;
};

}  // namespace sequences

Q_DECLARE_METATYPE(sequences::run_end)
Q_DECLARE_METATYPE(sequences::check_result)
