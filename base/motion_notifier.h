#pragma once
// The control windows announce every motion command they send here, with its set-point, so the
// scope can draw the set-point and start a triggered recording. One process-wide object; the
// windows call sent() and need to know nothing else of the scope.
#include <QObject>
#include <cstdint>

namespace scope {

enum class motion_kind : int {
    absolute,          // target position, cnt
    relative,          // distance from the present position, cnt
    velocity,          // target velocity, cnt/s
    torque_ma,         // target current, mA (custom protocol)
    torque_per_mille,  // target torque, per mille of the rated torque (CANopen)
};

class motion_notifier : public QObject {
    Q_OBJECT

public:
    static motion_notifier &instance();
    // reversed: the command went the other way (a backwards relative move of value); the one
    // value without a positive counterpart, INT32_MIN, then reads INT32_MAX, as the drive got it.
    static void sent(motion_kind kind, int32_t value, bool reversed = false);

signals:
    void motion_sent(int kind, qint32 value);
};

}  // namespace scope
