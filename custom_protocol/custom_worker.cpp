#include "custom_protocol/custom_worker.h"

#include "custom_protocol/control_can.h"

namespace {
constexpr unsigned long settle_ms = 200;
}

sss::sss(control_CAN *window) : QThread(window), window_(window) {}

void sss::run()
{
    QThread::msleep(settle_ms);
    // The window lives on the GUI thread, so its auto connection to casual is queued.
    emit window_->func4();
}
