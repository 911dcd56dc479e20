#pragma once
// Wakes the event loop of the thread that made it when the simulator's next frame falls due.
// Qt's timers count whole milliseconds and fire up to one late, which loses most slots of a
// 1 ms event timer; a Linux timerfd waits to the microsecond without spinning. Where none can
// be made, a precise Qt timer stands in.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace sim {

class due_waker : public QObject {
public:
    explicit due_waker(std::function<void()> on_due);
    ~due_waker() override;

    // Calls on_due once, wait_us from now (at the next turn of the event loop for 0 or less).
    void arm_in_us(int64_t wait_us);

private:
    std::function<void()> on_due_;
    int fd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    QTimer fallback_;
};

}  // namespace sim
