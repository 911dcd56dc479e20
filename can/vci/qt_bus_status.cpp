#include "can/vci/qt_bus_status.h"

#include <QTimer>
#include <QVariant>

namespace vci {

void request_error_frames(QCanBusDevice *device, const QString &plugin)
{
    if (plugin != QLatin1String("socketcan"))
        return;
    device->setConfigurationParameter(QCanBusDevice::ErrorFilterKey,
                                      QVariant::fromValue(QCanBusFrame::FrameErrors(QCanBusFrame::AnyError)));
}

bus_state bus_state_from(QCanBusDevice::CanBusStatus status)
{
    switch (status) {
    case QCanBusDevice::CanBusStatus::Good: return bus_state::error_active;
    case QCanBusDevice::CanBusStatus::Warning: return bus_state::error_warning;
    case QCanBusDevice::CanBusStatus::Error: return bus_state::error_passive;
    case QCanBusDevice::CanBusStatus::BusOff: return bus_state::bus_off;
    default: return bus_state::unknown;
    }
}

void watch_bus_state(QCanBusDevice *device, int bus)
{
    if (!device->hasBusStatus())
        return;
    bus_tap::report_bus_state(bus_state_from(device->busStatus()), bus);
    auto *timer = new QTimer(device);
    timer->setInterval(500);
    QObject::connect(timer, &QTimer::timeout, device,
                     [device, bus] { bus_tap::report_bus_state(bus_state_from(device->busStatus()), bus); });
    timer->start();
}

bus_state bus_state_after_error(uint32_t error_class, const uint8_t data[8], bus_state previous)
{
    // Error classes and controller details as SocketCAN and QCanBusFrame::FrameError number them.
    constexpr uint32_t controller = 0x004, bus_off = 0x040, restarted = 0x100;
    constexpr uint8_t warning = 0x04 | 0x08, passive = 0x10 | 0x20, active_again = 0x40;
    if (error_class & bus_off)
        return bus_state::bus_off;
    if (error_class & restarted)
        return bus_state::error_active;
    if (error_class & controller) {
        if (data[1] & passive)
            return bus_state::error_passive;
        if (data[1] & warning)
            return bus_state::error_warning;
        if (data[1] & active_again)
            return bus_state::error_active;
    }
    return previous;
}

can_message tap_error_frame(const QCanBusFrame &frame, int bus)
{
    can_message m;
    m.id = static_cast<uint32_t>(frame.error());
    const QByteArray payload = frame.payload();
    m.len = static_cast<uint8_t>(qMin(payload.size(), 8));
    for (int i = 0; i < m.len; ++i)
        m.data[i] = static_cast<uint8_t>(payload[i]);
    bus_tap::record(m, false, true, bus);
    bus_tap::report_bus_state(bus_state_after_error(m.id, m.data, bus_tap::current_bus_state(bus)), bus);
    return m;
}

}  // namespace vci
