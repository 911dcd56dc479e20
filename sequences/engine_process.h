#pragma once
// The program's side of the script engine process (sequences/engine_child.h): starts
// `velmora --script-engine` bounded in memory, with one socket as its stdin and stdout, ends it
// at once when asked, and says afterwards how it ended. kill() may come from any thread while
// another reads the socket; the read then ends because the engine's end of the socket closed.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>
#include <sys/types.h>

namespace sequences {

// How much the engine may take, MiB.
constexpr int engine_memory_limit_mib = 1024;

// The program the engine runs in: VELMORA_SCRIPT_ENGINE, else velmora beside this program (or
// beside the tests, VELMORA_BIN_DIR).
QString engine_program();

struct engine_exit {
    bool exited = false;  // by itself, with code
    int code = 0;
    int signal = 0;  // the signal that ended it
    int64_t peak_rss_kib = 0;  // the kernel's high-water mark of its resident memory
};

class engine_process {
public:
    engine_process() = default;
    ~engine_process();
    engine_process(const engine_process &) = delete;
    engine_process &operator=(const engine_process &) = delete;

    // false with the reason when it could not start.
    bool start(const QString &program, int memory_limit_mib, QString *why);
    // The program's end of the socket; -1 before start.
    int fd() const { return fd_; }
    // Ends the engine now (SIGKILL), or as soon as it is started; nothing once it was reaped.
    void kill();
    // Waits for its end (after kill() or once it closed its end) and closes the socket.
    engine_exit reap();

private:
    std::mutex mutex_;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool killed_ = false;
};

// "script engine out of memory (limit 1024 MiB)", "script engine ended by signal 11", ...: why an
// engine ended without saying it was done. garbled: it wrote what is no message.
QString engine_end_text(const engine_exit &e, bool garbled, int memory_limit_mib);

}  // namespace sequences
