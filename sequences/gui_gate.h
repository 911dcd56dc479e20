#pragma once
// Carries a script's bus actions over to the GUI thread, where the exchange core lives: each
// action is one blocking queued call, so the relay thread serving the script engine waits for its
// answer while the window goes on handling its events between actions. Once closed (Stop), actions still queued
// and actions yet to come are refused without touching the bus.
#include <QObject>
#include <atomic>
#include <functional>

namespace sequences {

class gui_gate : public QObject {
    Q_OBJECT

public:
    explicit gui_gate(QObject *parent = nullptr) : QObject(parent) {}

    // Runs action on the gate's thread and returns when it is done: false when the gate is
    // closed and the action did not run. On the gate's own thread the action runs at once.
    bool run(const std::function<void()> &action);

    void close() { closed_ = true; }
    void open() { closed_ = false; }
    bool closed() const { return closed_; }

    // From the gate's thread: answers the calls waiting in its queue now (refused when closed),
    // so that a thread blocked in run() can end without the event loop turning.
    void answer_waiting();

private:
    std::atomic<bool> closed_{false};
};

}  // namespace sequences
