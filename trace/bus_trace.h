#pragma once
// The bus trace window: every frame on the bus, decoded, with filters, a per-identifier view,
// the node table and the bus state; saves and opens candump logs and plays them back. The work
// is in the trace model, the node table logic and the replay scheduler; this is the view.
#include "trace/replay.h"
#include "trace/trace_model.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <QTranslator>
#include <cstdint>
#include <map>

namespace Ui {
class Bus_trace;
}

class Bus_trace : public QMainWindow {
    Q_OBJECT

public:
    explicit Bus_trace(QWidget *parent = nullptr);
    ~Bus_trace() override;

    trace::trace_model *model() const { return model_; }
    // Takes waiting frames off the bus tap into the trace (the drain timer does this 10 times
    // a second); refreshes the node and identifier tables when refresh_tables is set.
    void drain(bool refresh_tables = false);
    // Loads a candump log into the view and keeps it for replay; false with a reason on failure.
    bool load_log(const QString &path, QString *error = nullptr);
    bool save_log(const QString &path);
    // Starts playing the loaded log back at the speed set in the window.
    bool start_replay();
    void stop_replay();

    static QString bus_state_text(int state);
    static QString node_state_text(int nmt_state);

public slots:
    void comboBox(int32_t language);

protected:
    void changeEvent(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void connect_controls();
    QString ask_file(bool saving);
    void apply_filter();
    void fit_columns();
    void refresh_nodes();
    void refresh_identifiers();
    void refresh_status();
    void replay_step();
    QString error_text(uint16_t code);
    QString error_cell(int code);
    int64_t now_us() const;

    Ui::Bus_trace *ui;
    QTranslator translator;
    trace::trace_model *model_;
    QTimer drain_timer_;
    QTimer replay_timer_;
    int drain_ticks_ = 0;
    bool live_ = true;  // false while the view shows a log opened from a file
    std::vector<trace::trace_record> loaded_;
    trace::replay_scheduler replay_;
    QElapsedTimer replay_clock_;
    QByteArray error_document_;
    std::map<uint16_t, QString> error_texts_;
};
