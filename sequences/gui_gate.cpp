#include "sequences/gui_gate.h"

#include <QCoreApplication>
#include <QThread>

namespace sequences {

bool gui_gate::run(const std::function<void()> &action)
{
    if (closed_)
        return false;
    if (QThread::currentThread() == thread()) {
        action();
        return true;
    }
    bool ran = false;
    QMetaObject::invokeMethod(
        this,
        [this, &action, &ran] {
            if (closed_)
                return;
            action();
            ran = true;
        },
        Qt::BlockingQueuedConnection);
    return ran;
}

void gui_gate::answer_waiting() { QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); }

}  // namespace sequences
