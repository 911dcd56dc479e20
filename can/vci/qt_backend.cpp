#include "can/vci/qt_backend.h"

#include "can/vci/qt_bus_status.h"

#include <QAbstractSocket>
#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QTimer>
#include <QVariant>

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <mutex>

namespace vci {
namespace {

constexpr int connect_timeout_ms = 3000;
// A process that hosts the virtual bus sees new clients connect at any time.
constexpr int low_delay_sweep_ms = 200;
// The longest the program's exit waits for the I/O thread; beyond it the thread is left to end
// with the process.
constexpr int io_thread_end_ms = 1500;
// The toolkit's bus warnings repeat per frame when a device misbehaves: one a second at most.
constexpr qint64 repeat_interval_ms = 1000;
constexpr int repeat_keys_kept = 64;

template <typename F>
void run_on(QObject *context, F &&f)
{
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

// The thread and the object every device's context hangs from; both live until the
// application object goes.
struct io_thread_state {
    QThread *thread = nullptr;
    QObject *root = nullptr;
};

io_thread_state &io()
{
    static io_thread_state state;
    return state;
}

struct repeats {
    qint64 printed_ms = 0;
    int left_out = 0;
};

struct repeat_limiter {
    std::mutex mutex;
    QtMessageHandler next = nullptr;
    QElapsedTimer clock;
    QHash<QString, repeats> seen;
};

repeat_limiter &limiter()
{
    static repeat_limiter l;
    return l;
}

void limit_repeats(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    repeat_limiter &l = limiter();
    QString summary;
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        const bool bus_warning = type == QtWarningMsg && context.category
                                 && qstrncmp(context.category, "qt.canbus", 9) == 0;
        if (bus_warning) {
            if (l.seen.size() > repeat_keys_kept)
                l.seen.clear();
            const qint64 now = l.clock.elapsed();
            const auto found = l.seen.find(text);
            if (found != l.seen.end() && now - found->printed_ms < repeat_interval_ms) {
                ++found->left_out;
                return;
            }
            const int left_out = found == l.seen.end() ? 0 : found->left_out;
            l.seen.insert(text, repeats{now, 0});
            if (left_out > 0)
                summary = QStringLiteral(" (%1 more like it in the last second left out)").arg(left_out);
        }
    }
    if (l.next)
        l.next(type, context, text + summary);
}

void install_repeat_limiter()
{
    repeat_limiter &l = limiter();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.clock.start();
    l.next = qInstallMessageHandler(limit_repeats);
}

// Ended before the application object goes, so that nothing on it outlives the event
// dispatcher: the devices are closed on their own thread, and everything living there is
// deleted as the thread finishes. A device still open is cut from its handlers first: while it
// closes, it still announces frames it will no longer hand out. Without an application object
// the thread simply ends with the process.
void stop_bus_io_thread()
{
    io_thread_state &s = io();
    if (!s.thread)
        return;
    QObject *root = s.root;
    run_on(root, [root] {
        for (QCanBusDevice *dev : root->findChildren<QCanBusDevice *>()) {
            QObject::disconnect(dev, nullptr, nullptr, nullptr);
            dev->disconnectDevice();
        }
    });
    s.thread->quit();
    if (!s.thread->wait(io_thread_end_ms)) {
        qWarning("the CAN bus thread did not end within %d ms; leaving it to the process's end", io_thread_end_ms);
        s = io_thread_state();
        return;
    }
    delete s.thread;
    s = io_thread_state();
}

void start_bus_io_thread()
{
    static const bool once = (install_repeat_limiter(), qAddPostRoutine(stop_bus_io_thread), true);
    (void)once;
    io_thread_state &s = io();
    s.thread = new QThread;
    s.thread->setObjectName(QStringLiteral("can-io"));
    s.root = new QObject;
    s.root->moveToThread(s.thread);
    QObject::connect(s.thread, &QThread::finished, s.root, &QObject::deleteLater);
    s.thread->start();
}

bool io_thread_running() { return io().thread && io().thread->isRunning(); }

bool is_tcp_socket(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    int type = 0;
    socklen_t len = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage addr;
    socklen_t addr_len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &addr_len) != 0)
        return false;
    return addr.ss_family == AF_INET || addr.ss_family == AF_INET6;
}

}  // namespace

void end_bus_io_thread() { stop_bus_io_thread(); }

QThread *bus_io_thread()
{
    if (!io().thread)
        start_bus_io_thread();
    return io().thread;
}

void virtual_bus_low_delay()
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    const int own = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own || !is_tcp_socket(static_cast<int>(fd)))
            continue;
        const int on = 1;
        setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    closedir(dir);
}

int virtual_bus_own_socket_low_delay(QCanBusDevice *device)
{
    int set = 0;
    for (QAbstractSocket *socket : device->findChildren<QAbstractSocket *>()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        set += socket->socketOption(QAbstractSocket::LowDelayOption).toInt() == 1 ? 1 : 0;
    }
    return set;
}

bool message_from_frame(const QCanBusFrame &frame, can_message *msg)
{
    if (!frame.isValid() || frame.hasFlexibleDataRateFormat())
        return false;
    const QCanBusFrame::FrameType type = frame.frameType();
    if (type != QCanBusFrame::DataFrame && type != QCanBusFrame::RemoteRequestFrame)
        return false;
    *msg = can_message();
    msg->id = frame.frameId();
    msg->extended = frame.hasExtendedFrameFormat();
    msg->remote = type == QCanBusFrame::RemoteRequestFrame;
    const QByteArray payload = frame.payload();
    msg->len = static_cast<uint8_t>(qMin(payload.size(), 8));
    for (int i = 0; i < msg->len && !msg->remote; ++i)
        msg->data[i] = static_cast<uint8_t>(payload[i]);
    return true;
}

bool fd_message_from_frame(const QCanBusFrame &frame, can_message *msg)
{
    if (!frame.isValid() || !frame.hasFlexibleDataRateFormat() || frame.frameType() != QCanBusFrame::DataFrame)
        return false;
    *msg = can_message();
    msg->id = frame.frameId();
    msg->extended = frame.hasExtendedFrameFormat();
    msg->fd = true;
    const QByteArray payload = frame.payload();
    msg->len = static_cast<uint8_t>(qMin(payload.size(), 64));
    for (int i = 0; i < msg->len; ++i)
        msg->data[i] = static_cast<uint8_t>(payload[i]);
    return true;
}

QCanBusFrame frame_from_message(const can_message &msg)
{
    QCanBusFrame f;
    f.setFrameId(msg.id);
    f.setExtendedFrameFormat(msg.extended);
    if (msg.remote) {
        f.setFrameType(QCanBusFrame::RemoteRequestFrame);
        f.setPayload(QByteArray(msg.len, '\0'));
    } else {
        f.setPayload(QByteArray(reinterpret_cast<const char *>(msg.data), msg.len));
    }
    return f;
}

qt_backend::qt_backend(const QString &plugin, const QString &interface)
    : plugin_(plugin), interface_(interface)
{
    bus_io_thread();
    QObject *root = io().root;
    run_on(root, [this, root] { context_ = new QObject(root); });
}

qt_backend::~qt_backend()
{
    disconnect_bus();
    // The thread stays for the next device; this backend's context is deleted there. Once the
    // thread has ended, the context went with it.
    if (context_ && io_thread_running())
        context_->deleteLater();
}

bool qt_backend::connect_bus(frame_sink *sink, QString *error)
{
    bool ok = false;
    QString why = QStringLiteral("the bus thread has ended");
    if (!context_ || !io_thread_running()) {
        if (error)
            *error = why;
        return false;
    }
    run_on(context_, [&] {
        QString create_error;
        QCanBusDevice *dev = QCanBus::instance()->createDevice(plugin_, interface_, &create_error);
        if (!dev) {
            why = create_error.isEmpty() ? QStringLiteral("no such CAN plugin: %1").arg(plugin_) : create_error;
            return;
        }
        dev->setParent(context_);
        request_error_frames(dev, plugin_);
        if (!dev->connectDevice()) {
            why = dev->errorString();
            delete dev;
            return;
        }
        if (dev->state() != QCanBusDevice::ConnectedState) {
            // Some plugins (the virtual bus) connect asynchronously; wait here, on the I/O thread.
            QEventLoop loop;
            QTimer timeout;
            timeout.setSingleShot(true);
            QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
            QObject::connect(dev, &QCanBusDevice::stateChanged, &loop, [&](QCanBusDevice::CanBusDeviceState s) {
                if (s == QCanBusDevice::ConnectedState || s == QCanBusDevice::UnconnectedState)
                    loop.quit();
            });
            timeout.start(connect_timeout_ms);
            loop.exec();
        }
        if (dev->state() != QCanBusDevice::ConnectedState) {
            why = dev->errorString().isEmpty() ? QStringLiteral("could not connect to %1:%2").arg(plugin_, interface_)
                                               : dev->errorString();
            delete dev;
            return;
        }
        sink_ = sink;
        QObject::connect(dev, &QCanBusDevice::framesReceived, context_, [this, dev] {
            // A closing device still counts its frames but refuses to hand them out.
            while (dev->state() == QCanBusDevice::ConnectedState && dev->framesAvailable() > 0) {
                const QCanBusFrame frame = dev->readFrame();
                if (frame.frameType() == QCanBusFrame::ErrorFrame) {
                    if (sink_)
                        sink_->error_frame(tap_error_frame(frame, sink_->bus_index()));
                    continue;
                }
                can_message m;
                if (!message_from_frame(frame, &m) && !fd_message_from_frame(frame, &m))
                    continue;
                if (sink_)
                    sink_->deliver(m);
            }
        });
        QObject::connect(dev, &QCanBusDevice::errorOccurred, context_, [this, dev](QCanBusDevice::CanBusError e) {
            if (e == QCanBusDevice::ConnectionError && sink_)
                sink_->bus_lost(dev->errorString());
        });
        QObject::connect(dev, &QCanBusDevice::stateChanged, context_, [this, dev](QCanBusDevice::CanBusDeviceState s) {
            if (s == QCanBusDevice::UnconnectedState && sink_)
                sink_->bus_lost(dev->errorString().isEmpty() ? QStringLiteral("bus disconnected") : dev->errorString());
        });
        watch_bus_state(dev, sink->bus_index());
        if (plugin_ == QLatin1String("virtualcan")) {
            virtual_bus_own_socket_low_delay(dev);
            virtual_bus_low_delay();
            auto *sweep = new QTimer(dev);
            QObject::connect(sweep, &QTimer::timeout, sweep, &virtual_bus_low_delay);
            sweep->start(low_delay_sweep_ms);
        }
        device_ = dev;
        ok = true;
    });
    if (!ok && error)
        *error = why;
    return ok;
}

bool qt_backend::set_bitrate(int bits_per_second)
{
    // SocketCAN interfaces get their rate from `ip link`, and the virtual bus has none;
    // the adapter plugins take it as a configuration parameter.
    if (plugin_ == QLatin1String("socketcan") || plugin_ == QLatin1String("virtualcan"))
        return true;
    bool ok = false;
    run_on(context_, [&] {
        if (!device_)
            return;
        device_->setConfigurationParameter(QCanBusDevice::BitRateKey, QVariant(bits_per_second));
        ok = device_->error() != QCanBusDevice::ConfigurationError;
    });
    return ok;
}

void qt_backend::disconnect_bus()
{
    if (!context_ || !io_thread_running())
        return;
    run_on(context_, [&] {
        sink_ = nullptr;
        if (device_) {
            QObject::disconnect(device_, nullptr, context_, nullptr);
            device_->disconnectDevice();
            delete device_;
            device_ = nullptr;
        }
    });
}

bool qt_backend::reset_controller()
{
    bool ok = false;
    run_on(context_, [&] {
        if (!device_)
            return;
        device_->resetController();
        ok = true;
    });
    return ok;
}

bool qt_backend::transmit(const can_message &msg)
{
    bool ok = false;
    if (!context_ || !io_thread_running())
        return false;
    run_on(context_, [&] {
        if (!device_ || device_->state() != QCanBusDevice::ConnectedState)
            return;
        ok = device_->writeFrame(frame_from_message(msg));
    });
    return ok;
}

}  // namespace vci
