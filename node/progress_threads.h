#pragma once
// Worker threads that pace the node window's progress bar. They never touch a widget or the bus:
// they only emit the window's own signals, which reach the GUI thread as queued calls.
#include <QThread>

class Set_node;

// First phase of a scan: the bar from 0 to 20 in 301 steps, then the window's Scan().
class progressBars_thread : public QThread {
public:
    explicit progressBars_thread(Set_node *window);

protected:
    void run() override;

private:
    Set_node *window_;
};

// Parameter save: the bar shown, 0 to 100 in 101 steps, hidden, then the window's func4().
class progressBars_thread2 : public QThread {
public:
    explicit progressBars_thread2(Set_node *window);

protected:
    void run() override;

private:
    Set_node *window_;
};
