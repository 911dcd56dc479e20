#pragma once
#include "can/vci/bus_backend.h"

#include <QCanBusFrame>
#include <QObject>
#include <QThread>

class QCanBusDevice;

namespace vci {

// Conversions between QtSerialBus frames and the library's messages (also used by velmora-sim).
// Only data and remote frames carry traffic: invalid, error and other frames are refused.
bool message_from_frame(const QCanBusFrame &frame, can_message *msg);
// A standard-format frame; a remote frame keeps the requested length.
QCanBusFrame frame_from_message(const can_message &msg);

// A QtSerialBus device (SocketCAN, PEAK, virtual bus, ...) living on an I/O thread of its
// own with its own event loop. The calling thread only ever blocks on a hand-over to that
// thread; it never runs a nested event loop.
class qt_backend final : public bus_backend {
public:
    qt_backend(const QString &plugin, const QString &interface);
    ~qt_backend() override;

    QString interface_name() const override { return interface_; }
    bool connect_bus(frame_sink *sink, QString *error) override;
    bool set_bitrate(int bits_per_second) override;
    void disconnect_bus() override;
    bool transmit(const can_message &msg) override;
    bool reset_controller() override;

private:
    QString plugin_;
    QString interface_;
    QThread thread_;
    QObject *context_ = nullptr;     // lives on thread_
    QCanBusDevice *device_ = nullptr;  // lives on thread_
    frame_sink *sink_ = nullptr;
};

}  // namespace vci
