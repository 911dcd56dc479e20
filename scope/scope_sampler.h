#pragma once
// The sampler: a GUI-thread timer at the chosen rate reads one sample per tick through a polled
// source, or takes what a streaming source (the drive's PDOs) brought since the last tick, and
// hands the samples to the capture together with the set-point of the last motion command.
// A motion command fires the trigger of an armed capture; so does a channel crossing the level.
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

    static constexpr int rates_hz[] = {10, 20, 50, 100, 200, 500, 1000};
    // Above this a polled source (one request per value) cannot keep up.
    static constexpr int max_polled_rate_hz = 100;
    // How often a streaming source is emptied, whatever the rate.
    static constexpr int stream_period_ms = 10;

    void set_source(std::unique_ptr<sample_source> source) { source_ = std::move(source); }
    const sample_source *source() const { return source_.get(); }
    void set_rate_hz(int hz);
    int rate_hz() const { return rate_hz_; }
    // Replaces the monotonic clock of polled samples, in microseconds (tests drive the
    // simulator's clock). Streamed samples keep the bus tap's times.
    void set_clock(std::function<int64_t()> clock) { clock_ = std::move(clock); }
    // Largest recording in samples (0: none); the oldest go beyond it.
    void set_cap(size_t samples) { capture_.data().set_cap(samples); }

    // Record these channels from now on, or wait for a trigger (the next motion command when
    // on_motion, the level when it names a channel) keeping pretrigger_s seconds before it.
    void record(const channel_list &channels);
    void arm(const channel_list &channels, double pretrigger_s, const level_trigger &level = {}, bool on_motion = true);
    // A channel's scale and unit changed: the stopped recording shows them too.
    void relabel(int ch, const channel_def &c) { capture_.data().relabel(ch, c); }
    void stop();
    // A recording the drive made itself takes the place of the last one.
    void show(recording r) { capture_.load(std::move(r)); }
    bool sampling() const { return capture_.state() != capture::phase::idle; }
    capture::phase state() const { return capture_.state(); }
    const recording &data() const { return capture_.data(); }
    // Ticks whose reads all went unanswered, since record() or arm().
    int failed_reads() const { return failed_; }
    // A streaming source has brought nothing for a second or more.
    bool stream_silent() const
    {
        return source_ && source_->streaming() && silent_in_a_row_ >= 1000 / stream_period_ms;
    }

public slots:
    void tick();
    void motion_sent(int kind, qint32 value);

signals:
    void triggered();
    // A whole second of samples went unanswered: the sampler stopped, so that a lost joint does
    // not hold the GUI thread for a reply window at every tick.
    void joint_lost();

private:
    void start(const channel_list &channels);
    void take(sample &s);
    int64_t now_us() const;

    QTimer timer_;
    std::unique_ptr<sample_source> source_;
    std::function<int64_t()> clock_;
    capture capture_;
    std::vector<sample> streamed_;
    int rate_hz_ = 50;
    bool on_motion_ = true;
    int setpoint_channel_ = -1;
    int position_channel_ = -1;
    int failed_ = 0;
    int silent_in_a_row_ = 0;
    int64_t stream_start_us_ = 0;
    bool have_setpoint_ = false;
    int32_t setpoint_ = 0;
    // Since when the set-point holds, and the one before: a stream hands samples over late.
    int64_t setpoint_since_us_ = 0;
    bool had_setpoint_ = false;
    int32_t previous_setpoint_ = 0;
    setpoint_unit unit_ = setpoint_unit::cnt;
    bool have_position_ = false;
    int32_t last_position_ = 0;
};

}  // namespace scope
