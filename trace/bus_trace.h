#pragma once
// The bus trace window: every frame on the bus, decoded, with filters, a per-identifier view,
// the node table and the bus state; saves and opens candump logs, each opened log in a tab of
// its own beside the live capture, and plays them back or sends them (the playback panel,
// trace/replay_panel.h). The work is in the trace model, the node table logic and the replay
// scheduler and send plan; this is the view.
#include "base/language_window.h"
#include "trace/candump.h"
#include "trace/replay.h"
#include "trace/replay_panel.h"
#include "trace/trace_model.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>

class elided_label;

namespace Ui {
class Bus_trace;
}

class Bus_trace : public language_window<QMainWindow> {
    Q_OBJECT

public:
    explicit Bus_trace(QWidget *parent = nullptr);
    ~Bus_trace() override;

    // The model of the tab shown, and of the live capture.
    trace::trace_model *model() const;
    trace::trace_model *live_model() const { return sources_.front().model; }
    // Takes waiting frames off the bus tap into the live trace (the drain timer does this 10
    // times a second); refreshes the node and identifier tables when refresh_tables is set.
    void drain(bool refresh_tables = false);
    // Opens a candump log in a tab of its own and shows it; false with a reason on failure.
    bool load_log(const QString &path, QString *error = nullptr);
    // Saves the rows of the tab shown; a save cancelled from its progress dialog leaves no file
    // and is no failure.
    bool save_log(const QString &path);
    // Plays the log of the tab shown back (into the trace, or onto the bus when send_to_bus is
    // chosen and the user agrees); false when nothing starts.
    bool start_replay();
    void stop_replay();
    // The playback's clock; tests install their own, an empty one restores the real one.
    using replay_clock = Replay_panel::clock;
    void set_replay_clock(replay_clock clock);

    static QString bus_state_text(int state);
    static QString node_state_text(int nmt_state);

protected:
    void retranslate() override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct source {
        trace::trace_model *model = nullptr;
        QString path;  // empty for the live capture
        trace::send_plan plan;
    };

    void connect_controls();
    QString ask_file(bool saving);
    void apply_filter();
    void fit_columns();
    void show_source(int index);
    void close_source(int index);
    void refresh_nodes();
    void refresh_identifiers();
    void refresh_send_list();
    void refresh_status();
    // Gives a message in the status bar the room it needs; the status beside it elides.
    void fit_status();
    // The splitter's share for the node table: its header and five rows.
    void show_five_nodes();
    void refresh_dropped();
    void refresh_replay_controls();
    void report_refused(const QString &path, const trace::read_result &read);
    // A message in the status bar that stays until the user acts after at least 10 s.
    void say(const QString &text);
    QString time_text(const trace::trace_model &m, int64_t t_us) const;
    QString error_text(uint16_t code);
    int64_t now_us() const;
    source &current() { return sources_[static_cast<size_t>(current_)]; }

    Ui::Bus_trace *ui;
    std::vector<source> sources_;  // by tab: the live capture first
    int current_ = 0;
    QTimer drain_timer_;
    int drain_ticks_ = 0;
    QElapsedTimer message_shown_;
    elided_label *status_label_ = nullptr;
    bool shown_once_ = false;
    QByteArray error_document_;
    std::map<uint16_t, QString> error_texts_;
};
