#include "canopen/sssss.h"

#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"

void sssss::run()
{
    QThread::msleep(200);
    // The window lives on the GUI thread, so this arrives there as a queued call.
    if (canopen_self)
        emit canopen_self->func2();
}
