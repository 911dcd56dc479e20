#include "sim/due_waker.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

namespace sim {

due_waker::due_waker(std::function<void()> on_due) : on_due_(std::move(on_due))
{
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            if (::read(fd_, &expirations, sizeof expirations) == sizeof expirations)
                on_due_();
        });
        return;
    }
    fallback_.setSingleShot(true);
    fallback_.setTimerType(Qt::PreciseTimer);
    connect(&fallback_, &QTimer::timeout, this, [this] { on_due_(); });
}

due_waker::~due_waker()
{
    // The notifier lets go of the descriptor before it closes.
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

void due_waker::arm_in_us(int64_t wait_us)
{
    if (fd_ < 0) {
        // Rounded up, so that the timer never fires before the simulator's time.
        fallback_.start(static_cast<int>(wait_us <= 0 ? 0 : (wait_us + 999) / 1000));
        return;
    }
    // A zero time would disarm the timer: the earliest is one microsecond.
    const int64_t us = wait_us < 1 ? 1 : wait_us;
    itimerspec spec = {};
    spec.it_value.tv_sec = static_cast<time_t>(us / 1000000);
    spec.it_value.tv_nsec = static_cast<long>(us % 1000000) * 1000;
    timerfd_settime(fd_, 0, &spec, nullptr);
}

}  // namespace sim
