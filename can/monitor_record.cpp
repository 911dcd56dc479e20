#include "can/monitor_record.h"

#include "base/hex.h"
#include "base/shared_values.h"

QString monitor_time_text(const QDateTime &when) { return when.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")); }

QString monitor_id_text(uint32_t id) { return hex::digits(id); }

QString monitor_data_text(const uint8_t *data, int len)
{
    if (len <= 0 || !data)
        return QString();
    return hex::bytes(data, len) + QLatin1Char(' ');
}

QStringList monitor_record(int32_t seq, const QDateTime &when, monitor_direction direction, uint32_t id,
                           const uint8_t *data, int len, const QString &description)
{
    return {QString::number(seq),
            monitor_time_text(when),
            direction == monitor_direction::sent ? QStringLiteral("发送成功\nSend") : QStringLiteral("接收\nReceive"),
            monitor_id_text(id),
            monitor_data_text(data, len),
            direction == monitor_direction::sent ? description : QString()};
}

bool monitor_logging_on(int log) { return log == 1 && monitor_capture == 1 && monitor_open == 1; }
