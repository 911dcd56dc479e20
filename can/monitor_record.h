#pragma once
// The six texts that log one frame in a frame monitor, shared by both protocol exchanges:
// sequence number, time stamp, direction, identifier, data text and description.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>

// "yyyy.MM.dd hh:mm:ss.zzz"
QString monitor_time_text(const QDateTime &when);
// Upper-case hex without prefix or leading zeros: 0x641 -> "641".
QString monitor_id_text(uint32_t id);
// Each byte as two upper-case hex digits followed by one space; no bytes -> "".
QString monitor_data_text(const uint8_t *data, int len);

enum class monitor_direction { sent, received };

QStringList monitor_record(int32_t seq, const QDateTime &when, monitor_direction direction, uint32_t id,
                           const uint8_t *data, int len, const QString &description);

// Logging is on for an exchange when the caller asks for it and a monitor is shown with
// capture on.
bool monitor_logging_on(int log);
