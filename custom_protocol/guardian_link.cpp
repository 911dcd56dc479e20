#include "custom_protocol/guardian_link.h"

#include "custom_protocol/guardian.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

extern char **environ;

namespace guardian_link {
namespace {

struct link_state {
    std::mutex mutex;
    int fd = -1;  // our end of the guardian's input
    pid_t pid = 0;
    QPointer<QTimer> tick;
    std::vector<bool> watched;  // by bus
};

link_state &link()
{
    static link_state s;
    return s;
}

void close_locked(link_state &s)
{
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = -1;
    if (s.tick)
        QMetaObject::invokeMethod(s.tick.data(), "stop", Qt::QueuedConnection);
}

void write_line(const QByteArray &line)
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fd < 0)
        return;
    const QByteArray bytes = line + '\n';
    if (::send(s.fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0)
        return;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return;
    std::fprintf(stderr, "velmora: the guardian is gone; joints of the maker's protocol are not guarded\n");
    close_locked(s);
}

const char *motion_word(motion kind)
{
    switch (kind) {
    case motion::profile: return "profile";
    case motion::analog: return "analog";
    case motion::all: break;
    }
    return "all";
}

bool valid_node(int node) { return node >= 1 && node <= 127; }

pid_t spawn(const QByteArray &program, const QList<QByteArray> &buses, int input)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    // Signals the program ignores or blocks stay so in the child otherwise.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char *> argv = {const_cast<char *>(program.constData()), const_cast<char *>("--guardian")};
    for (const QByteArray &bus : buses)
        argv.push_back(const_cast<char *>(bus.constData()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : 0;
}

}  // namespace

QStringList guarded_buses(const QStringList &descriptions)
{
    QStringList out;
    for (const QString &d : descriptions)
        out << (d.startsWith(QLatin1String("socketcan:")) || d.startsWith(QLatin1String("virtualcan:")) ? d
                                                                                                        : QStringLiteral("-"));
    return out;
}

bool start(const QString &program, const QString &bus) { return start(program, QStringList{bus}); }

bool start(const QString &program, const QStringList &buses)
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fd >= 0)
        return true;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    QList<QByteArray> args;
    for (const QString &bus : buses)
        args << bus.toLocal8Bit();
    const pid_t pid = spawn(program.toLocal8Bit(), args, ends[1]);
    ::close(ends[1]);
    if (pid == 0) {
        ::close(ends[0]);
        return false;
    }
    s.fd = ends[0];
    s.pid = pid;
    s.watched.clear();
    for (const QString &bus : buses)
        s.watched.push_back(bus != QLatin1String("-"));
    if (QCoreApplication::instance()) {
        // The tick lives on the event loop it proves alive.
        auto *tick = new QTimer(QCoreApplication::instance());
        QObject::connect(tick, &QTimer::timeout, tick, [] { write_line("tick"); });
        tick->start(guardian::tick_ms);
        s.tick = tick;
    }
    return true;
}

bool running()
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.fd >= 0;
}

bool watches(int bus)
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.fd >= 0 && bus >= 0 && bus < static_cast<int>(s.watched.size()) && s.watched[size_t(bus)];
}

namespace {

// Bus 0's lines are the three words they always were.
QByteArray joint_line(const char *verb, int node, motion kind, int bus)
{
    QByteArray line = QByteArray(verb) + ' ' + QByteArray::number(node) + ' ' + motion_word(kind);
    if (bus != 0)
        line += ' ' + QByteArray::number(bus);
    return line;
}

}  // namespace

void moving(int node, motion kind, int bus)
{
    if (valid_node(node) && kind != motion::all && watches(bus))
        write_line(joint_line("moving", node, kind, bus));
}

void at_rest(int node, motion kind, int bus)
{
    if (valid_node(node) && watches(bus))
        write_line(joint_line("rest", node, kind, bus));
}

int goodbye()
{
    write_line("bye");
    return drop();
}

int drop()
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    const int pid = s.fd >= 0 ? s.pid : 0;
    close_locked(s);
    return pid;
}

}  // namespace guardian_link
