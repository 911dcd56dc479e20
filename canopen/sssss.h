#pragma once
// The CANopen window's worker: sleeps 200 ms, then asks the window (through a queued signal)
// to read the profile parameters again. It never touches a widget or the bus.
#include <QThread>

class sssss : public QThread {
    Q_OBJECT

public:
    using QThread::QThread;

protected:
    void run() override;
};
