// The guardian's process: its input from the program, its clock, and its own bus connection,
// opened at the first joint set moving (by then the program's adapter is open, so on a virtual
// bus the guardian never becomes the bus's server itself).
#include "custom_protocol/custom_exchange.h"
#include "custom_protocol/guardian.h"

#include "can/vci/qt_backend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace guardian {
namespace {

constexpr int check_ms = 50;
// Time for the last frames to leave through the bus connection before it closes.
constexpr int flush_ms = 200;

void say(const QString &text) { std::fprintf(stderr, "velmora guardian: %s\n", qPrintable(text)); }

// Takes nothing off the bus (the program's adapter shows the traffic); only notes a loss.
class loss_sink final : public vci::frame_sink {
public:
    void deliver(const vci::can_message &) override {}
    void bus_lost(const QString &why) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        why_ = why.isEmpty() ? QStringLiteral("bus lost") : why;
    }
    bool lost(QString *why)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        *why = why_;
        return lost_;
    }

private:
    std::mutex mutex_;
    bool lost_ = false;
    QString why_;
};

class process final : public QObject {
public:
    process(const QString &plugin, const QString &interface) : plugin_(plugin), interface_(interface)
    {
        ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        clock_.start();
        input_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input_, &QSocketNotifier::activated, this, [this] { read_input(); });
        auto *check = new QTimer(this);
        connect(check, &QTimer::timeout, this, [this] { look(); });
        check->start(check_ms);
    }

private:
    void read_input()
    {
        char chunk[512];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n > 0) {
                pending_.append(chunk, static_cast<int>(n));
                continue;
            }
            // Kept before the lines are taken: opening the bus for them sets errno anew.
            const int error = n < 0 ? errno : 0;
            if (error == EINTR)
                continue;
            take_lines();
            if (n == 0 || (error != EAGAIN && error != EWOULDBLOCK))
                end_of_input();
            return;
        }
    }

    void take_lines()
    {
        int end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 1);
            if (watch_.take(line, clock_.elapsed()) && line.startsWith("moving"))
                open_bus();
        }
    }

    void look()
    {
        if (ended_)
            return;
        read_input();  // ticks that wait in the input are no hang
        if (ended_ || !watch_.hung(clock_.elapsed()))
            return;
        stop_listed(QStringLiteral("no sign of life from the program for %1 ms").arg(hang_ms));
        watch_.forget_all();
    }

    void end_of_input()
    {
        if (ended_)
            return;
        ended_ = true;
        input_->setEnabled(false);
        if (!watch_.said_goodbye())
            stop_listed(QStringLiteral("the program ended without a goodbye"));
        QTimer::singleShot(watch_.said_goodbye() ? 0 : flush_ms, this, [this] {
            bus_.reset();
            QCoreApplication::exit(0);
        });
    }

    bool open_bus()
    {
        if (bus_)
            return true;
        auto bus = std::make_unique<vci::qt_backend>(plugin_, interface_);
        QString why;
        if (!bus->connect_bus(&sink_, &why)) {
            say(QStringLiteral("cannot open %1:%2 (%3); joints are not guarded").arg(plugin_, interface_, why));
            return false;
        }
        bus_ = std::move(bus);
        return true;
    }

    void stop_listed(const QString &why)
    {
        const std::vector<int> nodes = watch_.listed();
        if (nodes.empty())
            return;
        QString lost;
        const bool usable = open_bus() && !sink_.lost(&lost);
        for (int node : nodes) {
            if (!usable) {
                say(QStringLiteral("%1: stop not sent to custom joint %2: %3")
                        .arg(why).arg(node).arg(lost.isEmpty() ? QStringLiteral("no bus") : lost));
                continue;
            }
            bool sent = true;
            for (const custom_request &r : stop_requests()) {
                vci::can_message m;
                m.id = custom_id::request_base + static_cast<uint32_t>(node);
                m.len = r.length;
                std::copy(r.data, r.data + r.length, m.data);
                sent = bus_->transmit(m) && sent;
                QThread::msleep(custom_reply_window_ms);  // the drive's time to take one request
            }
            say(QStringLiteral("%1: %2 custom joint %3").arg(why, sent ? QStringLiteral("stop sent to")
                                                                        : QStringLiteral("stop not taken by the bus for"))
                    .arg(node));
        }
    }

    QString plugin_;
    QString interface_;
    watch watch_;
    QElapsedTimer clock_;
    QSocketNotifier *input_ = nullptr;
    QByteArray pending_;
    loss_sink sink_;
    std::unique_ptr<vci::qt_backend> bus_;
    bool ended_ = false;
};

}  // namespace

int run(int argc, char **argv)
{
    // Whoever reads our messages may be gone with the program; the stops matter more.
    std::signal(SIGPIPE, SIG_IGN);
    // Its own lines say what matters; the bus plugins' chatter about servers and sockets does not.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus*=false"));
    QCoreApplication app(argc, argv);
    const QString bus = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const int colon = bus.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == bus.size() - 1) {
        say(QStringLiteral("usage: velmora --guardian PLUGIN:INTERFACE, its input from the program"));
        return 2;
    }
    process p(bus.left(colon), bus.mid(colon + 1));
    return QCoreApplication::exec();
}

}  // namespace guardian
