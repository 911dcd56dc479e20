#pragma once
// The sampler: a GUI-thread timer at the chosen rate reads one sample per tick through its
// source and hands it to the capture, together with the set-point of the last motion command.
// A motion command also fires the trigger of an armed capture.
#include "scope/scope_capture.h"
#include "scope/scope_source.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace scope {

class sampler : public QObject {
    Q_OBJECT

public:
    explicit sampler(QObject *parent = nullptr);

    static constexpr int rates_hz[] = {10, 20, 50, 100};

    void set_source(std::unique_ptr<sample_source> source) { source_ = std::move(source); }
    void set_rate_hz(int hz);
    int rate_hz() const { return rate_hz_; }
    // Replaces the monotonic clock, in microseconds (tests drive the simulator's clock).
    void set_clock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

    // Record from now on, or wait for a motion command keeping pretrigger_s seconds before it.
    void record();
    void arm(double pretrigger_s);
    void stop();
    bool sampling() const { return capture_.state() != capture::phase::idle; }
    capture::phase state() const { return capture_.state(); }
    const recording &data() const { return capture_.data(); }
    // Ticks whose reads all went unanswered, since record() or arm().
    int failed_reads() const { return failed_; }

public slots:
    void tick();
    void motion_sent(int kind, qint32 value);

signals:
    void triggered();
    // A whole second of samples went unanswered: the sampler stopped, so that a lost joint does
    // not hold the GUI thread for a reply window at every tick.
    void joint_lost();

private:
    void start_timer();

    QTimer timer_;
    std::unique_ptr<sample_source> source_;
    std::function<int64_t()> clock_;
    capture capture_;
    int rate_hz_ = 50;
    int failed_ = 0;
    int silent_in_a_row_ = 0;
    bool have_setpoint_ = false;
    int32_t setpoint_ = 0;
    setpoint_unit unit_ = setpoint_unit::cnt;
    bool have_position_ = false;
    int32_t last_position_ = 0;
};

}  // namespace scope
