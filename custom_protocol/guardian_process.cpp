// The guardian's process: its input from the program, its clock, and its own connection to each
// bus it watches, opened at the first joint set moving there (by then the program's adapter is
// open, so on a virtual bus the guardian never becomes the bus's server itself).
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

// One of the program's buses as the guardian reaches it; no plugin: a bus it does not watch.
struct guarded_bus {
    QString plugin;
    QString interface;
    std::unique_ptr<loss_sink> sink = std::make_unique<loss_sink>();
    std::unique_ptr<vci::qt_backend> device;
    bool refused = false;  // said once that it does not watch this bus
};

class process final : public QObject {
public:
    explicit process(std::vector<guarded_bus> buses) : buses_(std::move(buses))
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
                for (const joint_ref &j : watch_.listed())
                    open_bus(j.bus);
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
            for (guarded_bus &b : buses_)
                b.device.reset();
            QCoreApplication::exit(0);
        });
    }

    // Bus 0 is named as it always was; the others by their number too.
    static QString joint_text(const joint_ref &j)
    {
        return j.bus == 0 ? QStringLiteral("custom joint %1").arg(j.node)
                          : QStringLiteral("custom joint %1 of bus %2").arg(j.node).arg(j.bus);
    }

    bool open_bus(int index)
    {
        if (index < 0 || index >= static_cast<int>(buses_.size()) || buses_[size_t(index)].plugin.isEmpty()) {
            if (index >= 0 && index < max_buses && !refused_[index]) {
                refused_[index] = true;
                say(QStringLiteral("bus %1 is not watched; its joints are not guarded").arg(index));
            }
            return false;
        }
        guarded_bus &b = buses_[size_t(index)];
        if (b.device)
            return true;
        auto device = std::make_unique<vci::qt_backend>(b.plugin, b.interface);
        QString why;
        if (!device->connect_bus(b.sink.get(), &why)) {
            if (!b.refused)
                say(QStringLiteral("cannot open %1:%2 (%3); joints are not guarded").arg(b.plugin, b.interface, why));
            b.refused = true;
            return false;
        }
        b.device = std::move(device);
        return true;
    }

    void stop_listed(const QString &why)
    {
        const std::vector<joint_ref> joints = watch_.listed();
        for (const joint_ref &j : joints) {
            QString lost;
            const bool usable = open_bus(j.bus) && !buses_[size_t(j.bus)].sink->lost(&lost);
            if (!usable) {
                say(QStringLiteral("%1: stop not sent to %2: %3")
                        .arg(why, joint_text(j), lost.isEmpty() ? QStringLiteral("no bus") : lost));
                continue;
            }
            vci::qt_backend &device = *buses_[size_t(j.bus)].device;
            bool sent = true;
            for (const custom_request &r : stop_requests()) {
                vci::can_message m;
                m.id = custom_id::request_base + static_cast<uint32_t>(j.node);
                m.len = r.length;
                std::copy(r.data, r.data + r.length, m.data);
                sent = device.transmit(m) && sent;
                QThread::msleep(custom_reply_window_ms);  // the drive's time to take one request
            }
            say(QStringLiteral("%1: %2 %3").arg(why, sent ? QStringLiteral("stop sent to")
                                                          : QStringLiteral("stop not taken by the bus for"),
                                                joint_text(j)));
        }
    }

    std::vector<guarded_bus> buses_;
    bool refused_[max_buses] = {};
    watch watch_;
    QElapsedTimer clock_;
    QSocketNotifier *input_ = nullptr;
    QByteArray pending_;
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
    std::vector<guarded_bus> buses;
    bool usable = argc > 2 && argc - 2 <= max_buses;
    bool watched = false;
    for (int i = 2; usable && i < argc; ++i) {
        const QString bus = QString::fromLocal8Bit(argv[i]);
        guarded_bus b;
        if (bus != QLatin1String("-")) {
            const int colon = bus.indexOf(QLatin1Char(':'));
            usable = colon > 0 && colon < bus.size() - 1;
            b.plugin = bus.left(colon);
            b.interface = bus.mid(colon + 1);
            watched = true;
        }
        buses.push_back(std::move(b));
    }
    if (!usable || !watched) {
        say(QStringLiteral("usage: velmora --guardian PLUGIN:INTERFACE|- ... (one a bus, in bus order, at most %1), "
                           "its input from the program")
                .arg(max_buses));
        return 2;
    }
    process p(std::move(buses));
    return QCoreApplication::exec();
}

}  // namespace guardian
