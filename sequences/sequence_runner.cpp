#include "sequences/sequence_runner.h"

#include "can/bus.h"

#include "can/step_job.h"
#include "can/vci/bus_backend.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/joint_guard.h"
#include "base/joint_names.h"
#include "node/node_state.h"
#include "objects/dcf_watch.h"
#include "objects/node_discovery.h"
#include "custom_protocol/guardian_link.h"
#include "sequences/engine_process.h"
#include "sequences/engine_wire.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sequences {

namespace {

bool send_all(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        // A gone engine shows as a failed send, not as SIGPIPE.
        const ssize_t n = ::send(fd, p, static_cast<size_t>(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

bool valid_node(int32_t node) { return node >= 1 && node <= 127; }

// How long an engine that said it is done may take to end before it is ended.
constexpr int done_grace_ms = 2000;

// How the engine's run ended, as the relay thread saw it.
struct relay_end {
    QString start_failure;  // the engine could not start
    bool done = false;  // it said so, with the script's error (empty when none)
    QString script_error;
    bool garbled = false;
    engine_exit exit;
};

// The relay thread: starts the engine process, hands it the script, and serves its requests
// one at a time through the runner (the bus through the gate, the bookkeeping), until the
// engine says it is done, dies, or is killed by a stop.
class relay_thread : public QThread {
public:
    relay_thread(sequence_runner &runner, engine_process &engine, const QString &script, const QString &file_name)
        : runner_(runner), engine_(engine), script_(script), file_name_(file_name)
    {}
    relay_end result;

protected:
    void run() override
    {
        if (!engine_.start(engine_program(), engine_memory_limit_mib, &result.start_failure))
            return;
        const int fd = engine_.fd();
        wire_message start;
        start.kind = wire_kind::script;
        start.texts[0] = script_;
        start.texts[1] = file_name_;
        // The buses the script may name, one bit each.
        for (int b = 0; b < vci::max_buses; ++b)
            if (can::bus::at(b).is_open() || b == 0)
                start.value |= 1 << b;
        send_all(fd, encode(start));
        wire_reader in(wire_engine_message_limit);
        for (;;) {
            wire_message m;
            const wire_reader::status st = in.next(&m);
            if (st == wire_reader::status::garbled) {
                result.garbled = true;
                break;
            }
            if (st == wire_reader::status::more) {
                char chunk[64 * 1024];
                const ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                in.feed(chunk, static_cast<int>(n));
                continue;
            }
            if (m.kind == wire_kind::done) {
                result.done = true;
                result.script_error = m.texts[0];
                break;
            }
            wire_message reply;
            reply.kind = wire_kind::reply;
            if (!serve(m, &reply)) {
                result.garbled = true;
                break;
            }
            if (needs_reply(m.kind))
                send_all(fd, encode(reply));
        }
        if (result.done) {
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, done_grace_ms) < 0 && errno == EINTR) {
            }
        }
        // Whatever it was about to do, nothing of it is wanted now.
        engine_.kill();
        result.exit = engine_.reap();
    }

private:
    static bool needs_reply(wire_kind k)
    {
        return k != wire_kind::sdo_send && k != wire_kind::moved && k != wire_kind::action;
    }

    // One request; false when it is none the engine may make.
    bool serve(wire_message m, wire_message *reply)
    {
        // The engine names a joint's bus in the node's upper bits (engine_wire.h).
        const int bus_index = wire_bus(m.node);
        m.node = wire_node(m.node);
        const joint_bus *on = runner_.bus_of(bus_index);
        if (!on)
            return false;
        const joint_bus &bus = *on;
        switch (m.kind) {
        case wire_kind::custom: {
            if (!valid_node(m.node))
                return false;
            custom_request request;
            std::memcpy(request.data, m.frame, 8);
            request.length = m.length;
            request.read = m.flag != 0;
            int32_t value = 0;
            reply->flag = bus.custom(m.node, request, &value) ? 1 : 0;
            reply->value = value;
            return true;
        }
        case wire_kind::sdo_transact: {
            if (!valid_node(m.node))
                return false;
            canopen::sdo_frame request, answer;
            std::memcpy(request.data, m.frame, 8);
            const uint8_t command = request.data[0];
            const uint16_t index = m.index;
            const uint8_t sub = m.sub;
            const auto is_reply = [command, index, sub](const canopen::sdo_frame &f) {
                return canopen::sdo_answer_verdict(command, index, sub, f.data, 8).kind != reply_kind::other;
            };
            reply->flag = bus.sdo(m.node).transact(request, is_reply, &answer) ? 1 : 0;
            if (reply->flag)
                std::memcpy(reply->frame, answer.data, 8);
            return true;
        }
        case wire_kind::sdo_send: {
            if (!valid_node(m.node))
                return false;
            canopen::sdo_frame f;
            std::memcpy(f.data, m.frame, 8);
            bus.sdo(m.node).send(f);
            return true;
        }
        case wire_kind::guard: {
            if (!valid_node(m.node))
                return false;
            // Here, where the heartbeat and the journal live; each of its steps one exchange.
            const canopen::guard_result g = m.flag ? canopen::engage_guard(bus.sdo(m.node), bus_index, m.node)
                                                   : canopen::release_guard(bus.sdo(m.node), bus_index, m.node);
            reply->flag = g.guarded ? 1 : 0;
            reply->texts[0] = g.text;
            return true;
        }
        case wire_kind::check: {
            check_result r;
            // The run's own clock, not the engine's, which started later.
            r.time_s = runner_.elapsed_s();
            r.passed = m.flag & 1;
            r.numeric = (m.flag & 2) != 0;
            r.tolerance = m.numbers[0];
            r.actual_number = m.numbers[1];
            r.name = m.texts[0];
            r.actual = m.texts[1];
            r.expected = m.texts[2];
            reply->flag = runner_.record_check(r) ? 1 : 0;
            return true;
        }
        case wire_kind::log: reply->flag = runner_.write_log(m.texts[0]) ? 1 : 0; return true;
        case wire_kind::moved:
            if (!valid_node(m.node) || m.flag > static_cast<uint8_t>(joint_protocol::custom))
                return false;
            runner_.mark_moved({static_cast<joint_protocol>(m.flag), m.node, bus_index});
            return true;
        case wire_kind::action: runner_.set_action(m.texts[0]); return true;
        case wire_kind::boot: {
            const bench_run r = bus.boot ? bus.boot(m.texts[0]) : bench_run{false, QStringLiteral("no bench boot here"), 0, 0, {}, {}};
            reply->flag = r.ran ? 1 : 0;
            reply->node = r.nodes;
            reply->value = r.done;
            reply->texts[0] = r.names.join(QLatin1Char('\n'));
            reply->texts[1] = r.summary.join(QLatin1Char('\n'));
            reply->texts[2] = r.error;
            return true;
        }
        case wire_kind::firmware: {
            if (!valid_node(m.node))
                return false;
            const firmware_run run = bus.firmware(m.node, m.texts[0], m.flag != 0);
            reply->flag = run.ran ? 1 : 0;
            reply->texts[0] = run.why;
            reply->texts[1] = encode_firmware_report(run.report);
            return true;
        }
        case wire_kind::joints: {
            std::vector<known_joint> known;
            reply->flag = runner_.known_joints(&known, &reply->texts[1]) ? 1 : 0;
            reply->texts[0] = encode_known_joints(known);
            return true;
        }
        case wire_kind::named: {
            joint_key key;
            reply->flag = runner_.find_named(m.texts[0], &key) ? 1 : 0;
            if (reply->flag) {
                reply->node = wire_joint(key.bus, key.node);
                reply->value = static_cast<int32_t>(key.protocol);
            }
            return true;
        }
        case wire_kind::stop_listed: {
            QStringList lines;
            reply->flag = runner_.stop_listed(decode_known_joints(m.texts[0]), &lines) ? 1 : 0;
            reply->texts[0] = lines.join(QLatin1Char('\n'));
            return true;
        }
        case wire_kind::script:
        case wire_kind::done:
        case wire_kind::reply: break;
        }
        return false;
    }

    sequence_runner &runner_;
    engine_process &engine_;
    QString script_;
    QString file_name_;
};

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

sequence_runner::sequence_runner(QObject *parent)
    : QObject(parent), gate_(new gui_gate(this)), time_limit_timer_(new QTimer(this))
{
    qRegisterMetaType<sequences::run_end>();
    qRegisterMetaType<sequences::check_result>();
    for (int b = 0; b < vci::max_buses; ++b) {
        if (b > 0)
            adapters_[b] = exchange_adapter(bus_ops(b));
        buses_[b] = gated_bus(adapters_[b], *gate_, [this] { return stopped_.load(); });
        buses_[b].note = [this](const QString &text) { write_log(text); };
        buses_[b].firmware = [this, b](int node, const QString &path, bool force) {
            return update_firmware(b, node, path, force);
        };
        if (b > 0)
            buses_[b].boot = nullptr;  // a bench boots on bus 0
    }
    time_limit_timer_->setSingleShot(true);
    connect(time_limit_timer_, &QTimer::timeout, this, [this] {
        if (!running_ || stopped_)
            return;
        timed_out_ = true;
        cut_short();
    });
}

sequence_runner::~sequence_runner()
{
    if (!thread_)
        return;
    // Whoever listened may be half gone by now; the joints are still stopped.
    blockSignals(true);
    stop();
    // The relay may be waiting in the gate for this thread, whose event loop no longer turns.
    while (!thread_->wait(5))
        gate_->answer_waiting();
    delete thread_;
}

bool sequence_runner::start(const QString &script, const QString &file_name)
{
    if (running_)
        return false;
    book_.clear();
    {
        std::lock_guard<std::mutex> lock(shared_);
        moved_.clear();
        action_.clear();
    }
    stopped_ = false;
    timed_out_ = false;
    engine_peak_kib_ = 0;
    gate_->open();
    script_name_ = file_name;
    end_message_.clear();
    end_ = run_end::passed;
    started_ = QDateTime::currentDateTime();
    clock_.start();
    duration_s_ = 0;
    running_ = true;
    emit_log(QStringLiteral("start %1").arg(QFileInfo(file_name).fileName()));
    engine_ = std::make_unique<engine_process>();
    auto *thread = new relay_thread(*this, *engine_, script, file_name);
    connect(thread, &QThread::finished, this, [this, thread] {
        // Queued: the thread has left run() and holds nothing of the runner's any more.
        thread->wait();
        const relay_end end = thread->result;
        thread_ = nullptr;
        thread->deleteLater();
        engine_.reset();
        time_limit_timer_->stop();
        engine_peak_kib_ = end.exit.peak_rss_kib;
        QString error;
        if (!end.start_failure.isEmpty())
            error = QStringLiteral("script engine could not start: ") + end.start_failure;
        else if (end.done)
            error = end.script_error;
        else
            error = engine_end_text(end.exit, end.garbled, engine_memory_limit_mib);
        engine_returned(error);
    });
    thread_ = thread;
    if (time_limit_s_ > 0)
        time_limit_timer_->start(time_limit_s_ * 1000);
    thread->start();
    return true;
}

void sequence_runner::stop()
{
    if (!running_ || stopped_)
        return;
    cut_short();
}

void sequence_runner::cut_short()
{
    stopped_ = true;
    gate_->close();
    // No need to wait for the engine to notice: its end of the pipe closes with it.
    if (engine_)
        engine_->kill();
    // A job of another window (can/step_job.h) ends first, with its abort, then the stops go out.
    end_job_for_stop();
    stop_moved_joints();
}

void sequence_runner::mark_moved(const joint_key &key)
{
    // The guardian watches the buses it can join; the joint goes to it with its bus.
    if (key.protocol == joint_protocol::custom)
        guardian_link::moving(key.node, guardian_link::motion::profile, key.bus);
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

const joint_bus *sequence_runner::bus_of(int bus) const
{
    if (bus < 0 || bus >= vci::max_buses || !can::bus::at(bus).is_open())
        return nullptr;
    return &buses_[bus];
}

firmware_run sequence_runner::update_firmware(int bus, int node, const QString &path, bool force)
{
    firmware_run run;
    const QString dir = QFileInfo(script_name_).path();
    const QString file = QFileInfo(path).isRelative() && !script_name_.isEmpty() ? QDir(dir).filePath(path) : path;
    objects::firmware_image image;
    if (!objects::load_firmware_image(file, &image, &run.why))
        return run;
    // Filled in on the runner's thread when the job has ended, read here.
    struct ending {
        std::mutex mutex;
        bool ended = false;
        objects::firmware_report report;
    };
    const auto end = std::make_shared<ending>();
    bool started = false;
    const bool open = gate_->run([&] {
        objects::dcf_wire wire;
        wire.link = [this, bus](int n) { return adapters_[bus].sdo(n); };
        wire.pre_operational = [bus](int n) {
            const canopen::frame f = canopen::nmt(canopen::nmt_enter_pre_operational,
                                                  static_cast<int32_t>(canopen::sdo_request_base) + n);
            run_canopen_exchange(bus_ops(bus), f.id, f.data, f.len, 0, QString(), 0, monitor_sink());
        };
        wire.bus_lost = [bus] { return vci::bus_lost(bus); };
        wire.watch = std::make_shared<objects::reboot_watch>(objects::tapped_error_control({node}, bus));
        auto job = std::make_unique<objects::firmware_job>(
            image, std::vector<int>{node}, wire, force, [this, end, bus, node](const objects::firmware_job &j, bool) {
                const objects::firmware_report r = j.reports().front();
                // Here, not by the script: a stopped run's log too says what the node was left with.
                QString line = QStringLiteral("%1: firmware %2").arg(joint_name({joint_protocol::canopen, node, bus}),
                                                                     objects::firmware_result_text(r.outcome));
                if (!r.note.isEmpty())
                    line += QStringLiteral(": ") + r.note;
                emit_log(line);
                std::lock_guard<std::mutex> lock(end->mutex);
                end->report = r;
                end->ended = true;
            });
        started = can::bus::at(bus).jobs().start(std::move(job));
    });
    if (!open) {
        run.why = QStringLiteral("stopped");
        return run;
    }
    if (!started) {
        run.why = QStringLiteral("another job (a transfer, a download) is running");
        return run;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(end->mutex);
            if (end->ended) {
                run.ran = true;
                run.report = end->report;
                return run;
            }
        }
        QThread::msleep(2);
    }
}

std::vector<known_joint> sequence_runner::discover(int bus)
{
    // Filled in on the runner's thread when the discovery has ended, read here.
    struct ending {
        std::mutex mutex;
        bool ended = false;
        std::vector<objects::found_node> nodes;
    };
    const auto end = std::make_shared<ending>();
    bool started = false;
    const bool open = gate_->run([&] {
        const objects::discovery_bus wire =
            objects::discovery_on_bus(bus, [this, bus](int n) { return adapters_[bus].sdo(n); }, monitor_sink());
        auto job = std::make_unique<objects::node_discovery>(wire, [end](const objects::node_discovery &d, bool) {
            std::lock_guard<std::mutex> lock(end->mutex);
            end->nodes = d.nodes();
            end->ended = true;
        });
        started = can::bus::at(bus).jobs().start(std::move(job));
    });
    if (!open || !started)
        throw joint_failure(!open ? QStringLiteral("stopped")
                                  : QStringLiteral("joints(): another job (a transfer, a download) is running on bus %1").arg(bus));
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(end->mutex);
            if (end->ended) {
                std::vector<known_joint> found;
                for (const objects::found_node &n : end->nodes) {
                    known_joint j;
                    j.key = {joint_protocol::canopen, n.node, bus};
                    found.push_back(j);
                }
                return found;
            }
        }
        // The stop ends the discovery with every other job (cut_short).
        if (stopped_)
            throw joint_failure(QStringLiteral("stopped"));
        QThread::msleep(2);
    }
}

bool sequence_runner::known_joints(std::vector<known_joint> *out, QString *why)
{
    std::vector<known_joint> &known = *out;
    known.clear();
    if (listed_.list) {
        if (!gate_->run([&] { known = listed_.list(); })) {
            *why = QStringLiteral("stopped");
            return false;
        }
        return true;
    }
    for (int bus = 0; bus < vci::max_buses; ++bus) {
        if (!bus_of(bus))
            continue;
        try {
            for (known_joint &j : discover(bus))
                known.push_back(j);
        } catch (const joint_failure &failure) {
            *why = failure.message();
            return false;
        }
    }
    // The maker's protocol has no sweep: its joints are the ones the node window's last scan
    // found (bus 0), where that was not a CANopen joint already.
    gate_->run([&] {
        for (int i = 0; i < found_node_count && i < max_found_nodes; ++i) {
            const joint_key key{joint_protocol::custom, found_nodes[i], 0};
            const bool listed = std::any_of(known.begin(), known.end(), [&key](const known_joint &j) {
                return j.key.bus == key.bus && j.key.node == key.node;
            });
            if (key.node > 0 && key.node <= 127 && !listed) {
                known_joint j;
                j.key = key;
                known.push_back(j);
            }
        }
        // Named as the Joints window names them.
        for (known_joint &j : known) {
            j.name = joint_names::saved_joint_name(j.key.bus, j.key.node);
            if (j.name.isEmpty())
                j.name = QStringLiteral("J%1").arg(j.key.node);
        }
    });
    return true;
}

bool sequence_runner::find_named(const QString &name, joint_key *key)
{
    bool found = false;
    gate_->run([&] {
        // The window's list knows each joint's protocol; a name kept for a joint it does not
        // list (or in a headless run) is a CANopen joint's.
        if (listed_.list)
            for (const known_joint &j : listed_.list())
                if (!found && j.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0) {
                    *key = j.key;
                    found = true;
                }
        if (found)
            return;
        int open = 0;
        while (open < vci::max_buses && can::bus::at(open).is_open())
            ++open;
        const joint_names::named_node n = joint_names::find_saved_joint_name(name, open);
        if (n.found) {
            *key = {joint_protocol::canopen, n.node, n.bus};
            found = true;
        }
    });
    return found;
}

bool sequence_runner::stop_listed(const std::vector<known_joint> &done, QStringList *lines)
{
    if (!listed_.stop_enabled)
        return true;
    std::vector<joint_key> skip;
    for (const known_joint &j : done)
        skip.push_back(j.key);
    bool all = true;
    if (!gate_->run([&] { all = listed_.stop_enabled(skip, lines); }))
        return false;
    return all;
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
    // Straight on this thread (the gate is closed to the script by now), over the adapter's bus
    // with the frames that went out counted, so that the log tells a stop the bus never carried
    // from one the drive did not confirm.
    for (const joint_key &key : moved) {
        const exchange_bus &adapter_bus = bus_ops(key.bus);
        int sent = 0;
        exchange_bus counting = adapter_bus;
        counting.send = [&adapter_bus, &sent](uint32_t id, const uint8_t *data, uint8_t len, uint8_t remote) {
            const bool out = adapter_bus.send(id, data, len, remote);
            sent += out ? 1 : 0;
            return out;
        };
        exchange_adapter counted(counting);
        const joint_bus direct = direct_bus(counted);
        const stop_result r = emergency_stop(key, direct);
        emit_log(stop_text(joint_name(key), r, sent > 0, vci::bus_lost(key.bus)));
    }
}

QString stop_text(const QString &joint, const stop_result &r, bool sent, bool bus_lost)
{
    if (r.confirmed)
        return QStringLiteral("%1 stopped").arg(joint);
    if (!r.refusal.isEmpty())
        return QStringLiteral("%1: stop refused: %2").arg(joint, r.refusal);
    if (sent)
        return QStringLiteral("%1: stop sent, not confirmed").arg(joint);
    return QStringLiteral("%1: stop not sent: %2")
        .arg(joint, bus_lost ? QStringLiteral("bus lost") : QStringLiteral("the adapter took no frame"));
}

void sequence_runner::engine_returned(const QString &error)
{
    duration_s_ = elapsed_s();
    running_ = false;
    run_end &end = end_;
    end = run_end::passed;
    if (timed_out_) {
        // The stops went out when the time ran out.
        end = run_end::error;
        end_message_ = QStringLiteral("script ran longer than its time limit of %1 s").arg(time_limit_s_);
        emit_log(end_message_);
    } else if (stopped_) {
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
    } else if (book_.total() == 0) {
        end_message_ = no_checks_text();
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
    const double s = running_ ? elapsed_s() : duration_s_;
    if (!running_ && book_.total() == 0)
        return QStringLiteral("%1 s, %2").arg(s, 0, 'f', 1).arg(no_checks_text());
    QString text = QStringLiteral("%1 s, %2 checks, %3 failed").arg(s, 0, 'f', 1).arg(book_.total()).arg(book_.failed());
    if (running_ && !action.isEmpty())
        text += QStringLiteral(" — ") + action;
    return text;
}

}  // namespace sequences
