#pragma once
// The control window's language worker: waits 200 ms after a language change, then asks the
// window to take the node again. It never touches a widget or the bus; its emission reaches the
// window's GUI thread as a queued call.
#include <QThread>

class control_CAN;

class sss : public QThread {
    Q_OBJECT

public:
    explicit sss(control_CAN *window);

protected:
    void run() override;

private:
    control_CAN *window_;
};
