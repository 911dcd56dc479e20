#pragma once
// Bus trace in candump log format, direction last:
//   (1733650000.123456) can0 601#4064600000000000 T     data frame, sent
//   (1733650000.124102) can0 581#4364600010270000 R     data frame, received
//   (1733650000.200000) can0 701#R1 T                   remote frame asking for 1 byte
//   (1733650000.300000) can0 0000001A#0102 R            29-bit identifier (eight digits)
//   (1733650000.400000) can0 123##1112233445566778899AABBCC R   CAN FD (flags digit, then data)
//   (1733650000.500000) can0 20000004#0004000000000000 R        error frame (error flag 0x20000000)
// Lines are appended and flushed one by one so that a crash loses nothing already traced.
#include "can/vci/bus_backend.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <mutex>

namespace vci {

enum class direction : uint8_t { unmarked, received, transmitted };

// What a candump line says beyond the message itself.
struct line_marks {
    direction dir = direction::unmarked;
    bool error = false;    // an error frame: msg.id holds the error class bits
    uint8_t fd_flags = 0;  // an FD frame's flags digit (bit rate switch 1, error state 2)
    uint8_t raw_dlc = 0;   // a classic 8-byte frame's length code 9..15 ("_9".."_F"); 0 for none
};

QString format_candump_line(qint64 usecs_since_epoch, const QString &iface, const can_message &msg,
                            const line_marks &marks = {});

class trace_writer {
public:
    ~trace_writer();
    // Opens path for appending; an empty path closes the trace.
    bool open(const QString &path);
    void close();
    void write(const QString &iface, const can_message &msg, const line_marks &marks);

    // A frame on its way out: its line is stamped now but written only once the bus took it,
    // ahead of whatever was traced meanwhile (a simulated bus answers inside its transmit).
    void begin_transmit(const QString &iface, const can_message &msg);
    void end_transmit(bool sent);

private:
    void put(const QByteArray &line);

    std::mutex mutex_;
    std::FILE *file_ = nullptr;
    bool holding_ = false;
    QByteArray outgoing_;  // the held frame's line
    QByteArray held_;      // lines traced while it was held
};

}  // namespace vci
