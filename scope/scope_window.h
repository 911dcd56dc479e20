#pragma once
// The scope window: record the connected joint at 10-100 Hz (at once, or from the next motion
// command with a pre-trigger time), watch the strip chart live, then zoom, pan and read the
// stopped recording with a cursor and export it as CSV or PNG. The sampling itself is in
// scope_sampler.h; this window only wires it to the form and the chart.
#include "scope/scope_sample.h"

#include <QMainWindow>
#include <QTimer>
#include <QTranslator>
#include <memory>

namespace Ui {
class scope_window;
}

namespace scope {
class chart;
class sampler;
class sample_source;
}  // namespace scope

class scope_window : public QMainWindow {
    Q_OBJECT

public:
    explicit scope_window(QWidget *parent = nullptr);
    ~scope_window() override;

    scope::sampler &sampler() { return *sampler_; }
    scope::chart &chart() { return *chart_; }

    // The source for the joint connected now, in the protocol of the control window in use;
    // null when no joint is connected.
    static std::unique_ptr<scope::sample_source> source_for_joint();

public slots:
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void on_record_clicked();
    void on_rate_activated(int index);
    void on_export_csv_clicked();
    void on_export_png_clicked();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void stop_recording();
    void update_controls();
    void show_progress();
    // False when the file could not be written; a cancelled export is no failure.
    bool write_csv_file(const QString &path);

    Ui::scope_window *ui;
    QTranslator translator;
    scope::sampler *sampler_;
    scope::chart *chart_;
    QTimer redraw_timer_;
    bool exporting_ = false;
};
