#pragma once
#include "can/vci/bus_backend.h"

#include <QCanBusFrame>
#include <QObject>
#include <QPointer>
#include <QThread>

class QCanBusDevice;

namespace vci {

// Conversions between QtSerialBus frames and the library's messages (also used by velmora-sim).
// Only classic data and remote frames carry traffic: invalid, error, FD and other frames are
// refused. The extended flag is kept.
bool message_from_frame(const QCanBusFrame &frame, can_message *msg);
// An FD data frame as a message marked fd, for the bus tap; false for anything else.
bool fd_message_from_frame(const QCanBusFrame &frame, can_message *msg);
// A remote frame keeps the requested length.
QCanBusFrame frame_from_message(const can_message &msg);

// The library's bus I/O thread: one event loop for every QtSerialBus device, started on first
// use and kept until the application object goes, across any number of close and re-open.
// Qt's virtual-bus server, when this process started it, lives on this thread, so it keeps
// serving the other processes on the bus while the adapter is closed.
QThread *bus_io_thread();
// What the program's exit does (a post routine of the application object): closes every device
// still open and ends the thread, waiting at most 1.5 s for it. A later bus_io_thread() starts a
// new one.
void end_bus_io_thread();

// Qt's virtual bus runs over TCP with Nagle's algorithm on: a frame sent right after one that
// nobody answered waits for the delayed acknowledgement (up to 40 ms), far longer than any
// reply window, and a block transfer's one-way segments crawl (a 64 KiB block download over
// velmora-sim: 3.4 s with it, 0.7 s without). Both ends matter: the device's own socket and,
// where this process hosts the bus, the server's sockets that relay every frame.
// The device's socket is a child of the device: it gets the low-delay option at once. Returns
// how many sockets took it (0 on a plugin without one).
int virtual_bus_own_socket_low_delay(QCanBusDevice *device);
// The server's sockets are private to the plugin, so every TCP socket of the process is
// switched to TCP_NODELAY; this program opens no other TCP connections. Safe to call from any
// thread and repeatedly.
void virtual_bus_low_delay();

// A QtSerialBus device (SocketCAN, PEAK, virtual bus, ...) living on the bus I/O thread. The
// calling thread only ever blocks on a hand-over to that thread; it never runs a nested event
// loop.
class qt_backend final : public bus_backend {
public:
    qt_backend(const QString &plugin, const QString &interface);
    ~qt_backend() override;

    // A private virtual bus is addressed as tcp://host:port/can0; its channel is can0.
    QString interface_name() const override { return interface_.section(QLatin1Char('/'), -1); }
    bool connect_bus(frame_sink *sink, QString *error) override;
    bool set_bitrate(int bits_per_second) override;
    void disconnect_bus() override;
    bool transmit(const can_message &msg) override;
    bool reset_controller() override;

private:
    QString plugin_;
    QString interface_;
    QPointer<QObject> context_;        // lives on the bus I/O thread
    QCanBusDevice *device_ = nullptr;  // lives on the bus I/O thread
    frame_sink *sink_ = nullptr;
};

}  // namespace vci
