#pragma once
#include "can/exchange.h"
#include "canopen/canopen_commands.h"
#include "canopen/sdo_client.h"
#include "base/motion_notifier.h"

#include <QMainWindow>
#include <QTimer>
#include <QTranslator>
#include <cstdint>
#include <functional>
#include <optional>

namespace canopen {
// A mode page button that sends one RPDO: the control word, where the set-point comes from, the
// log text, and what the press means for the power stage and the scope.
enum class set_point_from { zero, field, held_position, ip_target };
struct page_rpdo {
    uint16_t control_word;
    set_point_from from;
    const char *log;
    bool disables;   // clears power_enabled
    bool announces;  // tells the scope a motion was commanded
    scope::motion_kind motion;
};
}  // namespace canopen

namespace Ui {
class control_CANopen;
}
class QLineEdit;
class QPushButton;
class sssss;

class control_CANopen : public QMainWindow {
    Q_OBJECT

public:
    explicit control_CANopen(QWidget *parent = nullptr);
    ~control_CANopen() override;

    // Sends one frame to the bus with the window's remote flag and reads the replies of the
    // next 5 ms (reply_value); log = 1 records all of them in the CANopen monitor when it is
    // shown with capture on. True when the frame went out and its answer came (see
    // canopen_replies.h); an SDO abort is no answer, and its text goes to the status text.
    bool canopen_exchange(uint32_t id, const uint8_t *data, uint8_t length, const QString &description, int log);

    // Text of the entry id in one of the window's XML documents (empty when there is none).
    static QString lookup_xml_text(const QString &path, int32_t id);

signals:
    void senddata(QString str);
    void func();
    void func2();
    void func3();

public slots:
    void tim();
    void casuals();
    void disconnects();
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

    // Command column.
    void on_Stop_remote_node_clicked();
    void on_Reset_communication_clicked();
    void on_Operating_mode_clicked();
    void on_Set_velocity_clicked();
    void on_Disable_Sync_clicked();
    void on_Set_cycle_period_clicked();
    void on_TPDO_MAP_clicked();
    void on_RPDO_MAP_clicked();
    void on_Start_remote_node_clicked();
    void on_Enable_Sync_clicked();
    void on_Enable_clicked();
    void on_comboBox_activated(const QString &text);
    void on_Test_reset_clicked();
    void on_Open_monitoring_clicked();

    // Profile position.
    void on_sure_clicked();
    void on_Move_to_clicked();
    void on_Stop_4_clicked();
    void on_Stop_clicked();
    // Profile velocity.
    void on_PV_Vel_Sure_clicked();
    void on_Start_run_clicked();
    void on_PV_Stop_2_clicked();
    void on_PV_Stop_clicked();
    // Profile torque.
    void on_pushButton_2_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_3_clicked();
    // Cyclic synchronous position.
    void on_sure_3_clicked();
    void on_Move_to_3_clicked();
    void on_Stop_6_clicked();
    void on_Stop_2_clicked();
    // Cyclic synchronous velocity.
    void on_PV_Vel_Sure_2_clicked();
    void on_Start_run_2_clicked();
    void on_PV_Stop_3_clicked();
    void on_PV_Stop_4_clicked();
    // Cyclic synchronous torque.
    void on_pushButton_5_clicked();
    void on_CST_STOP_clicked();
    void on_CST_DISABLE_clicked();
    // Interpolated position.
    void on_sure_4_clicked();
    void on_Move_to_2_clicked();
    void on_Stop_5_clicked();
    void on_Stop_3_clicked();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    struct profile_write {
        uint16_t index;
        int32_t value;
        QString description;
    };

    bool send(const canopen::frame &f, const QString &description, int log = 1);
    // A refusal is shown in the notice unless report_refusal is false (a refusal the caller
    // handles itself).
    exchange_outcome transact(uint32_t id, const uint8_t *data, uint8_t length, const QString &description, int log,
                              bool report_refusal = true);
    // SYNC, answered by TPDO 1, whose bytes 0-1 are the statusword on every page; *statusword
    // is set when it came.
    bool sync_for_statusword(uint16_t *statusword);
    // The drive's power state after Enable, from the TPDO of its last SYNC or, as a drive may
    // report one SYNC late, from one SDO read of 0x6041. False when neither answered.
    bool read_statusword_after(bool have_tpdo, uint16_t from_tpdo, uint16_t *statusword);
    // The notice label, apart from the drive's own error text: a request the drive refused, a
    // note of the window's. Empty clears it.
    void show_refusal(const QString &text);
    // A notice of no request (a refused Enable); it stays until the drive's error text changes
    // or the next notice.
    void show_notice(const QString &text);
    // The status text: the drive's error text alone (0x603F), which ends a notice of no request.
    void show_status();
    // Profile position Stop for a drive that refused the profile velocity 0 or went on
    // moving: the halt bit, power stage left on.
    void pp_halt(const QString &description);
    // The poll's speed after an accepted Stop.
    void check_stop(int32_t speed);
    bool sdo_write32(uint16_t index, int32_t value, const QString &description);
    // Writes in order, stopping at the first failed exchange; true when all went through.
    bool write_profile(const std::vector<profile_write> &writes);
    // Writes velocity (when asked), acceleration and deceleration with the numeric log texts.
    bool write_profile_fields(bool with_velocity, const QString &velocity, const QString &acceleration, const QString &deceleration);
    bool rpdo(uint16_t control_word, int32_t set_point, const QString &description);
    bool run_steps(const std::vector<canopen::step> &steps);
    void mark_done(QPushButton *done, QPushButton *next);
    void show_mode_description(int index);
    // Every page button goes through here: action runs once the profile parameters were read
    // and every field in fields holds a number (or is blank).
    void when_page_ready(const QList<const QLineEdit *> &fields, const std::function<void()> &action);
    // Sends a page button's RPDO; field is where a set_point_from::field button reads its value.
    void press(const canopen::page_rpdo &button, const QLineEdit *field = nullptr);
    // A Stop or Disable button: a job still running (can/step_job.h) ends first, with its abort,
    // then the button's RPDO goes out.
    void press_stop(const canopen::page_rpdo &button);
    // A Disable button: its RPDO as press_stop sends it, then the joint's heartbeat guard is put back.
    void press_disable(const canopen::page_rpdo &button);
    int connected_node() const;
    // The SDO wire of the heartbeat guard (canopen/joint_guard.h) to the connected node.
    canopen::sdo_link guard_link() const;
    void release_guard();
    // Tells the user once what the guard set or put back.
    void show_guard_text(const QString &text);
    void apply_pp_profile();
    void apply_pv_profile();
    void pp_move();
    void csp_move();
    void ip_move();
    // The set-point of the interpolated position page's halt.
    int32_t ip_halt_point();
    QList<QPushButton *> command_column() const;
    // The fields Set_velocity writes from on the given page.
    QList<const QLineEdit *> set_velocity_fields(int32_t page) const;

    Ui::control_CANopen *ui;
    QTranslator translator;
    sssss *canopen_worker = nullptr;
    QTimer canopen_poll_timer;
    // Last set-point given to the interpolation record, so that a halt leaves it in place; none
    // before the first move since the sequence was last reset.
    std::optional<int32_t> ip_target_;
    // The error text the poll last showed; the poll rewrites the status text only on change
    // (or while an abort notice stands).
    QString shown_error_;
    // The notice shown and the request it refused (0 for a notice of no request); it goes
    // when that request is answered again, or with the next notice.
    QString abort_notice_;
    // What the notice label shows, in both languages: a language change shows it again.
    QString notice_text_;
    uint64_t aborted_request_ = 0;
    // A profile position Stop the drive accepted: the next poll halts a joint that is no slower
    // than stop_speed_, the speed when Stop was pressed.
    bool stop_check_ = false;
    int32_t stop_speed_ = 0;
};
