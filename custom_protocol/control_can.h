#pragma once
// The custom-protocol control window: power stage, motion profile, continuous motion, relative
// and absolute moves, speed and torque control, and the once-a-second status display of the
// connected joint. Every button issues requests of the command set (custom_commands.h) through
// custom_exchange; the link goes up in casual and down in cut.
#include "custom_protocol/guardian_link.h"

#include <QMainWindow>
#include <QString>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class control_CAN;
}
class QTimer;
class sss;
struct custom_request;

class control_CAN : public QMainWindow {
    Q_OBJECT

public:
    explicit control_CAN(QWidget *parent = nullptr);
    ~control_CAN() override;

    // The window's documents, below the program's data folder (found by document_lookup::locate).
    static const char *const error_document;
    static const char *const information_document;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

signals:
    void senddata(QString str);
    void func();
    void func3();
    void func4();

public slots:
    void on_disable_clicked();
    void on_enable_clicked();
    void on_apply_clicked();
    void on_stop_clicked();
    void on_forward_continue_clicked();
    void on_forward_clicked();
    void on_move_to_clicked();
    void cut();
    void on_backwards_continue_clicked();
    void on_backwards_clicked();
    void on_choose_mode_clicked();
    void on_set_parameter_clicked();
    void on_enable_2_clicked();
    void on_disenable_clicked();
    void on_choose_mode_2_clicked();
    void on_set_parameter_2_clicked();
    void on_enable_3_clicked();
    void on_disenable_2_clicked();
    void on_stop_run_clicked();
    void on_stop_run2_clicked();
    void thread();
    void comboBox(int32_t language);
    void casual();
    void on_comboBox_activated(QString text);
    void changeEvent(QEvent *e) override;

private:
    bool send(const custom_request &request);
    // Stop and Disable: a job still running (can/step_job.h) ends first, then the stop goes out;
    // an answered one tells the guardian which motion came to rest.
    bool send_stop(const custom_request &request, guardian_link::motion rest);
    // The connected node, and the guardian told of a motion before its first frame goes out.
    int node() const;
    void guard_moving(guardian_link::motion kind) const;
    // A write the drive took answers with exactly one byte.
    bool acknowledged(bool exchanged) const;
    void set_motion_controls_enabled(bool on);
    // Reads the three profile values into their fields; false at the first read that failed.
    bool read_profile(bool trace);
    void continuous_motion(bool backwards);
    void relative_move(bool backwards);
    void show_information();
    // The status field shows the error document's text in the language of the window.
    void show_error_text();
    QString error_text_;

    Ui::control_CAN *ui;
    QTranslator translator;
    // This window's own poll timer and worker; custom_poll_timer / custom_worker point at them.
    QTimer *poll_timer;
    sss *worker;
};
