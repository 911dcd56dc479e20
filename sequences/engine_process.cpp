#include "sequences/engine_process.h"

#include "sequences/engine_child.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace sequences {

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ENGINE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ENGINE_ASAN 1
#endif
#endif

QString engine_program()
{
    const QString set = qEnvironmentVariable("VELMORA_SCRIPT_ENGINE");
    if (!set.isEmpty())
        return set;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/velmora");
    if (QFileInfo::exists(beside))
        return beside;
    return qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath()) + QStringLiteral("/velmora");
}

engine_process::~engine_process()
{
    kill();
    reap();
}

bool engine_process::start(const QString &program, int memory_limit_mib, QString *why)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QByteArray path = QFile::encodeName(program);
    const QByteArray limit = QByteArray::number(memory_limit_mib);
    std::vector<char *> argv{const_cast<char *>(path.constData()), const_cast<char *>("--script-engine"),
                             const_cast<char *>("--memory-limit-mib"), const_cast<char *>(limit.constData()), nullptr};
    // The environment as it is, and in the sanitizer build the sanitizer's own bound on memory
    // (it reserves far more address space than any limit would allow).
    std::vector<QByteArray> env_text;
    for (char **e = environ; *e; ++e) {
#ifdef VELMORA_ENGINE_ASAN
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0)
            continue;
#endif
        env_text.emplace_back(*e);
    }
#ifdef VELMORA_ENGINE_ASAN
    QByteArray asan = qgetenv("ASAN_OPTIONS");
    if (!asan.isEmpty())
        asan += ':';
    // The engine ends itself at the limit (its own watch); the sanitizer's bound is the backstop.
    env_text.push_back("ASAN_OPTIONS=" + asan + "hard_rss_limit_mb=" + QByteArray::number(memory_limit_mib + 512) +
                       ":detect_leaks=0");
#endif
    std::vector<char *> envp;
    for (QByteArray &e : env_text)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the copies; the originals close at the exec.
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
    // Nothing else of the program's: a copy of the guardian's link or of the bus socket held by
    // the engine would outlive the program.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (failed != 0) {
        ::close(pair[0]);
        *why = QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(std::strerror(failed)));
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    pid_ = pid;
    fd_ = pair[0];
    // A stop while it was being started.
    if (killed_)
        ::kill(pid_, SIGKILL);
    return true;
}

void engine_process::kill()
{
    std::lock_guard<std::mutex> lock(mutex_);
    killed_ = true;
    if (pid_ > 0)
        ::kill(pid_, SIGKILL);
}

engine_exit engine_process::reap()
{
    pid_t pid;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pid = pid_;
    }
    engine_exit e;
    if (pid > 0) {
        // Ended but not yet reaped, so that a kill() meanwhile cannot reach another process
        // that got the number.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pid_ = -1;
        }
        int status = 0;
        rusage usage{};
        pid_t got;
        do
            got = ::wait4(pid, &status, 0, &usage);
        while (got < 0 && errno == EINTR);
        if (got == pid) {
            e.exited = WIFEXITED(status);
            e.code = e.exited ? WEXITSTATUS(status) : 0;
            e.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            e.peak_rss_kib = usage.ru_maxrss;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return e;
}

QString engine_end_text(const engine_exit &e, bool garbled, int memory_limit_mib)
{
    if (e.exited && e.code == engine_exit_out_of_memory)
        return QStringLiteral("script engine out of memory (limit %1 MiB)").arg(memory_limit_mib);
    // The program ended an engine that wrote garbage itself: that signal is not the cause.
    if (garbled)
        return QStringLiteral("script engine sent garbled data");
    if (e.signal != 0)
        return QStringLiteral("script engine ended by signal %1 (%2)")
            .arg(e.signal)
            .arg(QString::fromLocal8Bit(::strsignal(e.signal)));
    if (e.exited && e.code == engine_exit_pipe_lost)
        return QStringLiteral("script engine lost its link to the program");
    if (e.exited)
        return QStringLiteral("script engine ended with exit code %1 before the script's end").arg(e.code);
    return QStringLiteral("script engine vanished");
}

}  // namespace sequences
