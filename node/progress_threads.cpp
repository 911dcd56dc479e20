#include "node/progress_threads.h"

#include "node/node_state.h"
#include "node/set_node.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// Paces the steps against the start of the run rather than sleeping a fixed pause after each
// one: a sleep of 1 ms overshoots by a fraction of a millisecond (far more on a loaded machine),
// and over 301 steps that would stretch the scan by a third. A late step shortens the next pause.
class step_pacer {
public:
    // The pause is written just before start(); reading it once keeps a later write (a second
    // Scan click while this run goes on) away from this run.
    step_pacer() : step_us_(progress_step_ms > 0 ? qint64(progress_step_ms) * 1000 : 0) { clock_.start(); }

    void wait_for_step(int step)
    {
        const qint64 due_us = (step + 1) * step_us_;
        const qint64 left_us = due_us - clock_.nsecsElapsed() / 1000;
        if (left_us > 0)
            QThread::usleep(static_cast<unsigned long>(left_us));
    }

private:
    qint64 step_us_;
    QElapsedTimer clock_;
};

}  // namespace

progressBars_thread::progressBars_thread(Set_node *window) : QThread(window), window_(window) {}

void progressBars_thread::run()
{
    step_pacer pacer;
    for (int i = 0; i <= 300; ++i) {
        emit window_->func3(i / 15);
        pacer.wait_for_step(i);
    }
    emit window_->Scan();
}

progressBars_thread2::progressBars_thread2(Set_node *window) : QThread(window), window_(window) {}

void progressBars_thread2::run()
{
    Set_node *w = window_;
    step_pacer pacer;
    // Queued to the window's thread, so the show lands before the first value and the hide
    // before func4() is handled: events to one receiver keep their posting order.
    QMetaObject::invokeMethod(w, [w] { w->set_progress_visible(true); }, Qt::QueuedConnection);
    for (int i = 0; i <= 100; ++i) {
        emit w->func3(i);
        pacer.wait_for_step(i);
    }
    QMetaObject::invokeMethod(w, [w] { w->set_progress_visible(false); }, Qt::QueuedConnection);
    emit w->func4();
}
