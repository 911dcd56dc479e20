#pragma once
// Velmora's own heartbeat (CiA 301), which the drives it guards consume: identifier 0x700 + its
// node-ID, one byte, the NMT state operational:
//
//   77F  05        every 100 ms while at least one joint is guarded; nothing otherwise
//
// It beats from a timer of the GUI thread, so that a program whose event loop hangs falls
// silent as a dead one does, and goes straight through the adapter: the bus tap and the trace
// see it, the frame monitor does not. The node-ID is the settings key guard/node_id (1-127;
// 0x7F when unset or out of range).
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <mutex>
#include <set>

namespace heartbeat {

constexpr int default_node_id = 0x7F;
constexpr int period_ms = 100;
constexpr uint8_t state_operational = 0x05;
constexpr uint32_t cob_base = 0x700;

int node_id();

class producer : public QObject {
    Q_OBJECT

public:
    // Lives on the application's thread.
    static producer &instance();

    // Each holder keeps the heartbeat going until it lets go; the first holder's start sends
    // one beat at once. Callable from any thread: the timer is started and stopped on the
    // producer's own thread, in order with the other calls queued to it, so that a beat goes
    // out before a drive is told to expect one.
    void hold(const QString &holder);
    void release(const QString &holder);
    bool held() const;
    bool producing() const { return timer_->isActive(); }

    // Stops beating while still held, as a hung program would: a drive's consumer then times out.
    void fall_silent();
    // From the GUI thread while it waits on the bus (an exchange's reply window, up to a second
    // for an SDO to a silent node): the beat that fell due meanwhile goes out, so a bounded wait
    // does not read as a dead program. A program that truly hangs waits nowhere and falls silent.
    void beat_if_due();

private:
    producer();
    void apply();
    void beat();

    QTimer *timer_;
    QElapsedTimer since_beat_;
    mutable std::mutex mutex_;
    std::set<QString> holders_;
    int id_ = default_node_id;
};

}  // namespace heartbeat
