#pragma once
// Bus state and error frames of a QtSerialBus device, for the bus tap. Runs on the device's
// I/O thread.
#include "can/vci/bus_tap.h"

#include <QCanBusDevice>
#include <QCanBusFrame>

namespace vci {

// Asks the plugin for error frames where it can deliver them (SocketCAN does when asked).
void request_error_frames(QCanBusDevice *device, const QString &plugin);
// Polls the controller state twice a second where the plugin reports it; the timer lives and
// dies with the device.
void watch_bus_state(QCanBusDevice *device, int bus = 0);
// Records an error frame in the tap and moves the reported bus state along with it; returns
// the frame as recorded (id the error class bits, data the controller's details).
can_message tap_error_frame(const QCanBusFrame &frame, int bus = 0);

bus_state bus_state_from(QCanBusDevice::CanBusStatus status);
// The state an error frame announces; unchanged when it says nothing about the state.
bus_state bus_state_after_error(uint32_t error_class, const uint8_t data[8], bus_state previous);

}  // namespace vci
