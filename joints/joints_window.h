#pragma once
// The Joints window: every joint on every open bus in one table (joints/joints_model.h) with its
// states, Enable/Disable of the selected rows, Enable all/Disable all, and Stop all (also Esc here
// and F12 in every window of the program, modal boxes included). Values come from a round-robin
// poll, one transaction per timer tick, so that the GUI thread is never held for long.
#include "base/language_window.h"
#include "joints/joint_table.h"

#include <QMainWindow>
#include <functional>
#include <vector>

namespace Ui {
class Joints;
}
class QTimer;

namespace joints {
class joints_model;
}

class Joints : public language_window<QMainWindow> {
    Q_OBJECT

public:
    explicit Joints(QWidget *parent = nullptr);
    ~Joints() override;

    joints::joint_table &table() { return table_; }
    // What the last Stop all came to.
    const joints::stop_report &last_stop() const { return last_stop_; }
    // Lists what the buses heard and the node scan found, and shows it.
    void refresh_rows();

public slots:
    void on_enable_clicked();
    void on_disable_clicked();
    void on_halt_clicked();
    void on_quick_stop_clicked();
    void on_fault_reset_clicked();
    void on_move_to_clicked();
    void on_history_clicked();
    void on_home_clicked();
    void on_jog_minus_pressed();
    void on_jog_plus_pressed();
    void on_jog_minus_released();
    void on_jog_plus_released();
    void on_clear_history_clicked();
    void on_enable_all_clicked();
    void on_disable_all_clicked();
    void on_stop_all_clicked();
    void on_add_joint_clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *e) override;
    void retranslate() override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    std::vector<int> selected_rows() const;
    static std::vector<int> standard_home_methods();
    void show_home_methods(const std::vector<int> &methods);
    // The home_method list follows the selected drives' supported methods (0x60E3).
    void follow_home_methods();
    std::vector<int> shown_methods_;
    // Enables rows as a job of steps, with its progress and Cancel; the status says what came of it.
    void start_enable(const std::vector<int> &rows);
    bool enabling_ = false;
    bool closing_ = false;
    void jog_selected(int direction);
    // Ends every jog this window started (release, or the window losing focus).
    void end_jogs();
    std::vector<int> jogging_;
    // action on every selected row, then "count_text" with how many came to confirmed, of how many.
    void on_selected(const std::function<void(int row)> &action, joints::action_outcome confirmed,
                     const QString &count_text);
    void report(const QString &text);
    void poll();

    Ui::Joints *ui;
    joints::joint_table table_;
    joints::joints_model *model_;
    QTimer *poll_timer_;
    QTimer *show_timer_;
    joints::stop_report last_stop_;
};
