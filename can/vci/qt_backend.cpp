#include "can/vci/qt_backend.h"

#include "can/vci/qt_bus_status.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QVariant>
#include <QEventLoop>
#include <QTimer>

namespace vci {
namespace {

constexpr int connect_timeout_ms = 3000;

template <typename F>
void run_on(QObject *context, F &&f)
{
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

}  // namespace

bool message_from_frame(const QCanBusFrame &frame, can_message *msg)
{
    if (!frame.isValid())
        return false;
    const QCanBusFrame::FrameType type = frame.frameType();
    if (type != QCanBusFrame::DataFrame && type != QCanBusFrame::RemoteRequestFrame)
        return false;
    *msg = can_message();
    msg->id = frame.frameId();
    msg->remote = type == QCanBusFrame::RemoteRequestFrame;
    const QByteArray payload = frame.payload();
    msg->len = static_cast<uint8_t>(qMin(payload.size(), 8));
    for (int i = 0; i < msg->len && !msg->remote; ++i)
        msg->data[i] = static_cast<uint8_t>(payload[i]);
    return true;
}

QCanBusFrame frame_from_message(const can_message &msg)
{
    QCanBusFrame f;
    f.setFrameId(msg.id);
    f.setExtendedFrameFormat(false);
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
    thread_.setObjectName(QStringLiteral("can-io"));
    context_ = new QObject;
    context_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

qt_backend::~qt_backend()
{
    disconnect_bus();
    thread_.quit();
    thread_.wait();
}

bool qt_backend::connect_bus(frame_sink *sink, QString *error)
{
    bool ok = false;
    QString why;
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
            while (dev->framesAvailable() > 0) {
                const QCanBusFrame frame = dev->readFrame();
                if (frame.frameType() == QCanBusFrame::ErrorFrame && sink_)
                    tap_error_frame(frame);
                can_message m;
                if (!message_from_frame(frame, &m))
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
        watch_bus_state(dev);
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
    if (!thread_.isRunning())
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
    run_on(context_, [&] {
        if (!device_ || device_->state() != QCanBusDevice::ConnectedState)
            return;
        ok = device_->writeFrame(frame_from_message(msg));
    });
    return ok;
}

}  // namespace vci
