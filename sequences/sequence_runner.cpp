#include "sequences/sequence_runner.h"

#include "can/step_job.h"
#include "custom_protocol/guardian_link.h"
#include "sequences/script_host.h"

#include <QFileInfo>
#include <QJSEngine>
#include <QThread>

namespace sequences {

namespace {

// The line of the script where the error arose: the innermost frame of the stack ("name@url:line"
// per frame) that is not the prelude's.
int script_line(const QJSValue &error)
{
    const QStringList frames = error.property(QStringLiteral("stack")).toString().split(QLatin1Char('\n'));
    for (const QString &frame : frames) {
        const QString where = frame.mid(frame.indexOf(QLatin1Char('@')) + 1);
        const int colon = where.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && where.left(colon) != script_host::prelude_url())
            return where.mid(colon + 1).toInt();
    }
    return error.property(QStringLiteral("lineNumber")).toInt();
}

// The engine's thread: evaluates the script once and hands the error (empty when none) back to
// the runner's thread. The engine, the script's objects and their joints all live and die here.
class engine_thread : public QThread {
public:
    engine_thread(sequence_runner &runner, const QString &script, const QString &file_name)
        : runner_(runner), script_(script), file_name_(file_name)
    {}
    QString error;

protected:
    void run() override
    {
        QJSEngine engine;
        script_host host(runner_, engine);
        host.install();
        runner_.attach_engine(&engine);
        const QJSValue result = engine.evaluate(script_, file_name_, 1);
        runner_.attach_engine(nullptr);
        if (result.isError())
            error = QStringLiteral("%1:%2: %3")
                        .arg(QFileInfo(file_name_).fileName())
                        .arg(script_line(result))
                        .arg(result.toString());
    }

private:
    sequence_runner &runner_;
    QString script_;
    QString file_name_;
};

// Room for deep recursion in a script before the engine reports it.
constexpr uint engine_stack_bytes = 16u << 20;

}  // namespace

int exit_code(run_end end)
{
    switch (end) {
    case run_end::passed: return 0;
    case run_end::failed: return 1;
    case run_end::error:
    case run_end::stopped: break;
    }
    return 2;
}

sequence_runner::sequence_runner(QObject *parent) : QObject(parent), gate_(new gui_gate(this))
{
    qRegisterMetaType<sequences::run_end>();
    qRegisterMetaType<sequences::check_result>();
    bus_ = gated_bus(adapter_, *gate_, [this] { return stopped_.load(); });
    bus_.note = [this](const QString &text) { write_log(text); };
}

sequence_runner::~sequence_runner()
{
    if (!thread_)
        return;
    // Whoever listened may be half gone by now; the joints are still stopped.
    blockSignals(true);
    stop();
    // The engine may be waiting in the gate for this thread, whose event loop no longer turns.
    while (!thread_->wait(5))
        gate_->answer_waiting();
    delete thread_;
}

bool sequence_runner::start(const QString &script, const QString &file_name)
{
    if (running_)
        return false;
    book_.clear();
    adapter_ = exchange_adapter();
    {
        std::lock_guard<std::mutex> lock(shared_);
        moved_.clear();
        action_.clear();
    }
    stopped_ = false;
    gate_->open();
    script_name_ = file_name;
    end_message_.clear();
    end_ = run_end::passed;
    started_ = QDateTime::currentDateTime();
    clock_.start();
    duration_s_ = 0;
    running_ = true;
    emit_log(QStringLiteral("start %1").arg(QFileInfo(file_name).fileName()));
    auto *thread = new engine_thread(*this, script, file_name);
    thread->setStackSize(engine_stack_bytes);
    connect(thread, &QThread::finished, this, [this, thread] {
        // Queued: the thread has left run() and holds nothing of the runner's any more.
        thread->wait();
        const QString error = thread->error;
        thread_ = nullptr;
        thread->deleteLater();
        engine_returned(error);
    });
    thread_ = thread;
    thread->start();
    return true;
}

void sequence_runner::stop()
{
    if (!running_ || stopped_)
        return;
    stopped_ = true;
    gate_->close();
    {
        std::lock_guard<std::mutex> lock(shared_);
        if (engine_)
            engine_->setInterrupted(true);
    }
    // A job of another window (can/step_job.h) ends first, with its abort, then the stops go out.
    end_job_for_stop();
    stop_moved_joints();
}

void sequence_runner::attach_engine(QJSEngine *engine)
{
    std::lock_guard<std::mutex> lock(shared_);
    engine_ = engine;
    // A Stop before the engine existed still ends the script before its first statement.
    if (engine && stopped_)
        engine->setInterrupted(true);
}

void sequence_runner::mark_moved(const joint_key &key)
{
    if (key.protocol == joint_protocol::custom)
        guardian_link::moving(key.node, guardian_link::motion::profile);
    std::lock_guard<std::mutex> lock(shared_);
    for (const joint_key &k : moved_)
        if (k == key)
            return;
    moved_.push_back(key);
}

void sequence_runner::set_action(const QString &action)
{
    std::lock_guard<std::mutex> lock(shared_);
    action_ = action;
}

bool sequence_runner::record_check(const check_result &result)
{
    return gate_->run([this, &result] { emit check_added(book_.add(result), result); });
}

bool sequence_runner::write_log(const QString &text)
{
    return gate_->run([this, &text] { emit_log(text); });
}

void sequence_runner::emit_log(const QString &text)
{
    emit log_line(QStringLiteral("[%1] %2").arg(elapsed_s(), 9, 'f', 3).arg(text));
}

void sequence_runner::stop_moved_joints()
{
    std::vector<joint_key> moved;
    {
        std::lock_guard<std::mutex> lock(shared_);
        moved = moved_;
    }
    // A quick stop goes out after a job still running has ended.
    if (!moved.empty())
        end_job_for_stop();
    // Straight on this thread: the gate is closed to the script by now.
    const joint_bus direct = direct_bus(adapter_);
    for (const joint_key &key : moved) {
        emergency_stop(key, direct);
        emit_log(QStringLiteral("%1 stopped").arg(joint_name(key)));
    }
}

void sequence_runner::engine_returned(const QString &error)
{
    duration_s_ = elapsed_s();
    running_ = false;
    run_end &end = end_;
    end = run_end::passed;
    if (stopped_) {
        end = run_end::stopped;
        end_message_ = QStringLiteral("stopped");
    } else if (!error.isEmpty()) {
        end = run_end::error;
        end_message_ = error;
        gate_->close();
        emit_log(error);
        stop_moved_joints();
    } else if (book_.failed() > 0) {
        end = run_end::failed;
        end_message_ = QStringLiteral("%1 of %2 checks failed").arg(book_.failed()).arg(book_.total());
    } else {
        end_message_ = QStringLiteral("%1 checks passed").arg(book_.total());
    }
    emit_log(QStringLiteral("end: %1 (%2 s)").arg(end_message_).arg(duration_s_, 0, 'f', 1));
    emit finished(end, end_message_);
}

report_run sequence_runner::report() const
{
    report_run r;
    r.script = script_name_;
    r.started = started_;
    r.duration_s = running_ ? elapsed_s() : duration_s_;
    if (running_)
        r.error = QStringLiteral("still running");
    else if (end_ == run_end::error || end_ == run_end::stopped)
        r.error = end_message_;
    return r;
}

QString sequence_runner::progress_text() const
{
    QString action;
    {
        std::lock_guard<std::mutex> lock(shared_);
        action = action_;
    }
    QString text = QStringLiteral("%1 s, %2 checks, %3 failed")
                       .arg(running_ ? elapsed_s() : duration_s_, 0, 'f', 1)
                       .arg(book_.total())
                       .arg(book_.failed());
    if (running_ && !action.isEmpty())
        text += QStringLiteral(" — ") + action;
    return text;
}

}  // namespace sequences
