#pragma once
// The sequences window: a script editor, Run and Stop, a progress line, the results table and
// the run's log. The run itself is the sequence runner's; this is the view.
#include "base/language_window.h"
#include "base/desktop_seams.h"
#include "sequences/sequence_runner.h"

#include <QMainWindow>
#include <QTimer>
#include <cstdint>

namespace Ui {
class Sequences;
}

namespace sequences {
class results_model;
}

class Sequences : public language_window<QMainWindow> {
    Q_OBJECT

public:
    explicit Sequences(QWidget *parent = nullptr);
    ~Sequences() override;

    sequences::sequence_runner *runner() const { return runner_; }
    bool load_script(const QString &path, QString *why = nullptr);
    bool save_script(const QString &path, QString *why = nullptr);
    bool save_results(const QString &path, QString *why = nullptr);
    // Runs what the editor holds; false (with a message box) when it cannot start.
    bool start_run();

protected:
    void retranslate() override;
    void closeEvent(QCloseEvent *e) override;

private:
    QString ask_file(desktop_seams::file_mode mode, const QString &kind, const QString &caption, const QString &filter);
    void run_finished(sequences::run_end end, const QString &message);
    void show_progress();
    void set_running(bool running);
    void fit_columns();

    Ui::Sequences *ui;
    sequences::sequence_runner *runner_;
    sequences::results_model *model_;
    QTimer progress_timer_;
    QString script_path_;
    QString finished_text_;
};
