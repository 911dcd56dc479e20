#pragma once
// The bus trace window's playback panel: plays an opened log back into its tab with the log's
// timing (speed and longest gap adjustable while it plays), or sends the frames its send plan
// ticks onto the bus once the user agrees. What is due when is the replay scheduler's, what may
// be sent the send plan's; this is the panel's state and view.
#include "trace/replay.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace Ui {
class Replay_panel;
}
namespace trace {
class trace_model;
}

class Replay_panel : public QWidget {
    Q_OBJECT

public:
    explicit Replay_panel(QWidget *parent = nullptr);
    ~Replay_panel() override;

    // Plays log back from its start (a playback under way ends first); with "Send to the bus"
    // chosen, the frames plan ticks go onto the bus after the user agreed. False when nothing
    // starts. The plan is the panel's own copy: its ticks are fixed while it plays.
    bool start(trace::trace_model *log, const trace::send_plan &plan);
    // Ends the playback; the log shows whole again.
    void stop();
    bool running() const { return replay_.running(); }
    // The log being played; null when none.
    trace::trace_model *playing() const { return playing_; }
    // Whether the tab shown is a log that can be played.
    void set_log_shown(bool shown);
    // The playback's clock; tests install their own, an empty one restores the real one.
    using clock = std::function<int64_t()>;
    void set_clock(clock c) { clock_ = std::move(c); }

signals:
    // The Start button: the window knows which log is shown.
    void start_requested();
    // A playback ended: why, with what it sent.
    void message(const QString &text);
    // Rows of log became visible.
    void advanced(trace::trace_model *log);
    void running_changed(bool running);

protected:
    void changeEvent(QEvent *e) override;

private:
    void step();
    void finish(const QString &why);
    bool confirm_sending(const trace::send_plan &plan);
    int64_t now_us() const;
    void refresh();

    Ui::Replay_panel *ui;
    trace::replay_scheduler replay_;
    QTimer timer_;
    QElapsedTimer elapsed_;
    clock clock_;
    trace::trace_model *playing_ = nullptr;
    trace::send_plan plan_;
    bool sending_ = false;
    bool log_shown_ = false;
    size_t sent_ = 0;
    size_t skipped_ = 0;
    size_t failed_ = 0;
};
