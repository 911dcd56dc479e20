#include "sequences/engine_child.h"

#include "can/vci/bus_backend.h"

#include "sequences/engine_wire.h"
#include "sequences/script_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJSEngine>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif

namespace sequences {

namespace {

// Room for deep recursion in a script before the engine reports it.
constexpr uint engine_stack_bytes = 16u << 20;

uint64_t limit_bytes = 0;

// ---- dying of memory ----------------------------------------------------------------------

// Field field (0: the address space, 1: resident) of /proc/self/statm in bytes, read without
// allocating (from a signal handler too); 0 when it cannot be read.
uint64_t statm_bytes(int field)
{
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    ssize_t i = 0;
    for (int skip = 0; skip < field; ++skip) {
        while (i < n && text[i] != ' ')
            ++i;
        ++i;
    }
    uint64_t pages = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + static_cast<uint64_t>(text[i] - '0');
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

constexpr int statm_size = 0;
#ifdef VELMORA_ASAN
constexpr int statm_resident = 1;
#endif

[[noreturn]] void out_of_memory() { ::_exit(engine_exit_out_of_memory); }

// The engine's allocator crashes on purpose when the system refuses it pages; that, or a fault
// with most of the limit taken, is memory running out. Any other fault stays what it is.
void on_fault(int sig, siginfo_t *info, void *)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    const bool deliberate = address == 0xbbadbeef;
    if (limit_bytes != 0 && (deliberate || statm_bytes(statm_size) >= limit_bytes / 2))
        out_of_memory();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void on_terminate()
{
    if (const std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::bad_alloc &) {
            out_of_memory();
        } catch (...) {
        }
    }
    std::abort();
}

void bound_memory(uint64_t mib)
{
    limit_bytes = mib << 20;
    std::set_new_handler(out_of_memory);
    std::set_terminate(on_terminate);
    // The handler needs a stack of its own: the fault may be the stack's.
    static char alternate[64 * 1024];
    stack_t ss{};
    ss.ss_sp = alternate;
    ss.ss_size = sizeof alternate;
    ::sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = on_fault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT})
        ::sigaction(sig, &sa, nullptr);
#ifndef VELMORA_ASAN
    const rlimit as{static_cast<rlim_t>(limit_bytes), static_cast<rlim_t>(limit_bytes)};
    ::setrlimit(RLIMIT_AS, &as);
#else
    // The sanitizer reserves terabytes of address space, so no limit on it can hold: the
    // resident memory is watched instead (the sanitizer's own RSS limit, set by the program,
    // is the backstop).
    std::thread([] {
        for (;;) {
            if (statm_bytes(statm_resident) >= limit_bytes)
                out_of_memory();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }).detach();
#endif
}

// ---- the pipe -----------------------------------------------------------------------------

[[noreturn]] void pipe_lost() { ::_exit(engine_exit_pipe_lost); }

void write_all(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            pipe_lost();
        p += n;
        left -= n;
    }
}

// The next message from the program; the engine cannot go on without it.
wire_message read_message(wire_reader &in)
{
    wire_message m;
    for (;;) {
        switch (in.next(&m)) {
        case wire_reader::status::message: return m;
        case wire_reader::status::garbled: pipe_lost();
        case wire_reader::status::more: break;
        }
        char chunk[64 * 1024];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            pipe_lost();
        in.feed(chunk, static_cast<int>(n));
    }
}

// The buses the program has open, one bit each (from the script message).
int32_t open_buses = 1;

// The run as the script's host sees it, every part of it a message to the program.
class pipe_services : public script_services {
public:
    explicit pipe_services(wire_reader &in) : in_(in)
    {
        clock_.start();
        for (int bus = 0; bus < vci::max_buses; ++bus)
            buses_[bus] = bus_for(bus);
    }

    // The joints of one bus, every request naming it.
    joint_bus bus_for(int bus)
    {
        joint_bus b;
        b.custom = [this, bus](int node, const custom_request &request, int32_t *value) {
            wire_message m;
            m.kind = wire_kind::custom;
            m.node = wire_joint(bus, node);
            std::memcpy(m.frame, request.data, 8);
            m.length = request.length > 8 ? 8 : request.length;
            m.flag = request.read ? 1 : 0;
            const wire_message r = ask(m);
            *value = r.value;
            return r.flag != 0;
        };
        b.sdo = [this, bus](int node) {
            canopen::sdo_link link;
            // Answers to segments name no object: the program judges them by the transfer's,
            // the object of the last initiate on this link.
            auto object = std::make_shared<std::pair<uint16_t, uint8_t>>(0, 0);
            link.transact = [this, bus, node, object](const canopen::sdo_frame &request,
                                                      const std::function<bool(const canopen::sdo_frame &)> &is_reply,
                                                      canopen::sdo_frame *reply) {
                const uint8_t command = request.data[0] & canopen::sdo_command_mask;
                if (command == canopen::sdo_upload_initiate || command == canopen::sdo_download_initiate ||
                    command == canopen::sdo_abort)
                    *object = {static_cast<uint16_t>(request.data[1] | request.data[2] << 8), request.data[3]};
                wire_message m;
                m.kind = wire_kind::sdo_transact;
                m.node = wire_joint(bus, node);
                std::memcpy(m.frame, request.data, 8);
                m.index = object->first;
                m.sub = object->second;
                const wire_message r = ask(m);
                if (r.flag == 0)
                    return false;
                canopen::sdo_frame answer;
                std::memcpy(answer.data, r.frame, 8);
                // The program took it by the same rule; a frame the transfer would not take is
                // no answer.
                if (!is_reply(answer))
                    return false;
                *reply = answer;
                return true;
            };
            // The program judges the answers: one frame per request comes back, so no block
            // transfer goes over this link.
            link.offers_every_frame = false;
            link.send = [this, bus, node](const canopen::sdo_frame &f) {
                wire_message m;
                m.kind = wire_kind::sdo_send;
                m.node = wire_joint(bus, node);
                std::memcpy(m.frame, f.data, 8);
                // The client's abort goes out now, not with the next request.
                tell(m);
                flush();
            };
            return link;
        };
        // The program ends this process to stop a run: a pause never sees a stop here.
        b.pause = [this](int ms) {
            flush();
            QThread::msleep(static_cast<unsigned long>(ms));
            return true;
        };
        b.note = [this](const QString &text) { write_log(text); };
        // The program runs the update, block transfer and all, and answers once it has ended.
        b.firmware = [this, bus](int node, const QString &path, bool force) {
            wire_message m;
            m.kind = wire_kind::firmware;
            m.node = wire_joint(bus, node);
            m.flag = force ? 1 : 0;
            m.texts[0] = path;
            const wire_message r = ask(m);
            firmware_run run;
            run.ran = r.flag != 0;
            run.why = r.texts[0];
            run.report = decode_firmware_report(r.texts[1]);
            return run;
        };
        b.guard = [this, bus](int node, bool engage) {
            wire_message m;
            m.kind = wire_kind::guard;
            m.node = wire_joint(bus, node);
            m.flag = engage ? 1 : 0;
            const wire_message r = ask(m);
            return canopen::guard_result{r.flag != 0, r.texts[0]};
        };
        b.boot = [this](const QString &path) {
            wire_message m;
            m.kind = wire_kind::boot;
            m.texts[0] = path;
            const wire_message r = ask(m);
            bench_run run;
            run.ran = r.flag != 0;
            run.nodes = r.node;
            run.done = r.value;
            run.names = r.texts[0].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            run.summary = r.texts[1].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            run.error = r.texts[2];
            return run;
        };
        if (bus > 0)
            b.boot = nullptr;  // a bench boots on bus 0
        return b;
    }

    const joint_bus &bus() const override { return buses_[0]; }
    const joint_bus *bus_of(int bus) const override
    {
        return bus >= 0 && bus < vci::max_buses && (open_buses & (1 << bus)) ? &buses_[bus] : nullptr;
    }
    void mark_moved(const joint_key &key) override
    {
        wire_message m;
        m.kind = wire_kind::moved;
        m.node = wire_joint(key.bus, key.node);
        m.flag = static_cast<uint8_t>(key.protocol);
        tell(m);
    }
    void set_action(const QString &action) override
    {
        wire_message m;
        m.kind = wire_kind::action;
        m.texts[0] = action;
        tell(m);
    }
    double elapsed_s() const override { return clock_.nsecsElapsed() / 1e9; }
    bool record_check(const check_result &result) override
    {
        wire_message m;
        m.kind = wire_kind::check;
        m.flag = static_cast<uint8_t>((result.passed ? 1 : 0) | (result.numeric ? 2 : 0));
        m.numbers[0] = result.tolerance;
        m.numbers[1] = result.actual_number;
        m.texts[0] = result.name;
        m.texts[1] = result.actual;
        m.texts[2] = result.expected;
        return ask(m).flag != 0;
    }
    bool write_log(const QString &text) override
    {
        wire_message m;
        m.kind = wire_kind::log;
        m.texts[0] = text;
        return ask(m).flag != 0;
    }

    bool known_joints(std::vector<known_joint> *known, QString *why) override
    {
        wire_message m;
        m.kind = wire_kind::joints;
        const wire_message r = ask(m);
        *known = decode_known_joints(r.texts[0]);
        *why = r.texts[1];
        return r.flag != 0;
    }
    bool find_named(const QString &name, joint_key *key) override
    {
        wire_message m;
        m.kind = wire_kind::named;
        m.texts[0] = name;
        const wire_message r = ask(m);
        if (r.flag == 0 || r.value < 0 || r.value > static_cast<int32_t>(joint_protocol::custom))
            return false;
        *key = {static_cast<joint_protocol>(r.value), wire_node(r.node), wire_bus(r.node)};
        return key->node >= 1 && key->node <= 127;
    }
    bool stop_listed(const std::vector<known_joint> &done, QStringList *lines) override
    {
        wire_message m;
        m.kind = wire_kind::stop_listed;
        m.texts[0] = encode_known_joints(done);
        const wire_message r = ask(m);
        *lines = r.texts[0].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return r.flag != 0;
    }

    // What was told and not yet written.
    void flush()
    {
        if (!told_.isEmpty())
            write_all(told_);
        told_.clear();
    }

private:
    // Messages without a reply wait for the next one that has one (or a pause), so that a
    // request costs one write: the program takes them in order all the same.
    void tell(const wire_message &m) { told_ += encode(m); }
    wire_message ask(const wire_message &m)
    {
        tell(m);
        flush();
        const wire_message r = read_message(in_);
        if (r.kind != wire_kind::reply)
            pipe_lost();
        return r;
    }

    wire_reader &in_;
    joint_bus buses_[vci::max_buses];
    QElapsedTimer clock_;
    QByteArray told_;
};

// The line of the script where the error arose: the innermost frame of the stack ("name@url:line"
// per frame) that is not the prelude's and has a line. A stack overflow's innermost frame was
// entered but has run no line yet (line 0): the call before it names the script's line.
int script_line(const QJSValue &error)
{
    const QStringList frames = error.property(QStringLiteral("stack")).toString().split(QLatin1Char('\n'));
    for (const QString &frame : frames) {
        const QString where = frame.mid(frame.indexOf(QLatin1Char('@')) + 1);
        const int colon = where.lastIndexOf(QLatin1Char(':'));
        const int line = colon > 0 ? where.mid(colon + 1).toInt() : 0;
        if (line > 0 && where.left(colon) != script_host::prelude_url())
            return line;
    }
    return error.property(QStringLiteral("lineNumber")).toInt();
}

class engine_thread : public QThread {
public:
    engine_thread(wire_reader &in, const QString &script, const QString &file_name)
        : in_(in), script_(script), file_name_(file_name)
    {}

protected:
    void run() override
    {
        QString error;
        {
            QJSEngine engine;
            pipe_services services(in_);
            script_host host(services, engine);
            host.install();
            const QJSValue result = engine.evaluate(script_, file_name_, 1);
            if (result.isError())
                error = QStringLiteral("%1:%2: %3")
                            .arg(QFileInfo(file_name_).fileName())
                            .arg(script_line(result))
                            .arg(result.toString());
            services.flush();
            wire_message done;
            done.kind = wire_kind::done;
            done.texts[0] = error;
            write_all(encode(done));
        }
        // Nothing of this process is wanted any more: no teardown of what the script built.
        ::_exit(0);
    }

private:
    wire_reader &in_;
    QString script_;
    QString file_name_;
};

}  // namespace

bool is_script_engine_process(int argc, char **argv)
{
    return argc > 1 && std::strcmp(argv[1], "--script-engine") == 0;
}

int run_script_engine(int argc, char **argv)
{
    // A program gone away shows as a failed write, not as a signal; and if it went away while
    // the script computes without asking it anything, this process goes too.
    ::signal(SIGPIPE, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return engine_exit_pipe_lost;
    // Ctrl-C reaches the whole process group: the program stops the run and ends this process.
    ::signal(SIGINT, SIG_IGN);
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--memory-limit-mib") == 0 && i + 1 < argc) {
            const long long mib = std::atoll(argv[++i]);
            if (mib > 0)
                bound_memory(static_cast<uint64_t>(mib));
        } else {
            return engine_exit_usage;
        }
    }
    QCoreApplication app(argc, argv);
    wire_reader in(wire_script_limit);
    const wire_message start = read_message(in);
    if (start.kind != wire_kind::script)
        pipe_lost();
    open_buses = start.value | 1;
    engine_thread thread(in, start.texts[0], start.texts[1]);
    thread.setStackSize(engine_stack_bytes);
    thread.start();
    thread.wait();
    return 0;
}

}  // namespace sequences
