#include "node/progress_threads.h"

#include "node/node_state.h"
#include "node/set_node.h"

#include <QMetaObject>

progressBars_thread::progressBars_thread(Set_node *window) : QThread(window), window_(window) {}

namespace {

// The pause is written just before start(); reading it once keeps a later write (a second
// Scan click while this run goes on) away from this run.
unsigned long step_pause()
{
    return static_cast<unsigned long>(progress_step_ms > 0 ? progress_step_ms : 0);
}

}  // namespace

void progressBars_thread::run()
{
    const unsigned long pause = step_pause();
    for (int i = 0; i <= 300; ++i) {
        emit window_->func3(i / 15);
        QThread::msleep(pause);
    }
    emit window_->Scan();
}

progressBars_thread2::progressBars_thread2(Set_node *window) : QThread(window), window_(window) {}

void progressBars_thread2::run()
{
    Set_node *w = window_;
    const unsigned long pause = step_pause();
    // Queued to the window's thread, so the show lands before the first value and the hide
    // before func4() is handled: events to one receiver keep their posting order.
    QMetaObject::invokeMethod(w, [w] { w->set_progress_visible(true); }, Qt::QueuedConnection);
    for (int i = 0; i <= 100; ++i) {
        emit w->func3(i);
        QThread::msleep(pause);
    }
    QMetaObject::invokeMethod(w, [w] { w->set_progress_visible(false); }, Qt::QueuedConnection);
    emit w->func4();
}
