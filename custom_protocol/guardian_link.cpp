#include "custom_protocol/guardian_link.h"

#include "can/vci/bus_backend.h"
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

pid_t spawn(const QByteArray &program, const QByteArray &bus, int input)
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
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--guardian"),
                    const_cast<char *>(bus.constData()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : 0;
}

}  // namespace

bool start(const QString &program, const QString &bus)
{
    link_state &s = link();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fd >= 0)
        return true;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    const pid_t pid = spawn(program.toLocal8Bit(), bus.toLocal8Bit(), ends[1]);
    ::close(ends[1]);
    if (pid == 0) {
        ::close(ends[0]);
        return false;
    }
    s.fd = ends[0];
    s.pid = pid;
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

void moving(int node, motion kind)
{
    if (valid_node(node) && kind != motion::all && !vci::simulated_bus_selected())
        write_line(QByteArray("moving ") + QByteArray::number(node) + ' ' + motion_word(kind));
}

void at_rest(int node, motion kind)
{
    if (valid_node(node))
        write_line(QByteArray("rest ") + QByteArray::number(node) + ' ' + motion_word(kind));
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
