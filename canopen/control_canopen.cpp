#include "canopen/control_canopen.h"

#include "ui_control_canopen.h"

#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/screen_scale.h"
#include "base/number_fields.h"
#include "base/shared_values.h"
#include "can/step_job.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/canopen_replies.h"
#include "canopen/cia402.h"
#include "canopen/drive_changes.h"
#include "canopen/joint_guard.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/canopen_state.h"
#include "canopen/canopen_xml.h"
#include "canopen/sssss.h"
#include "base/motion_notifier.h"
#include "tools/monitor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QShowEvent>
#include <cstdlib>

namespace {

// The error document's entry for code 0, compared as the document writes it; it has no English
// line, so the catalogue's "documents" context gives one to the English interface.
const char *const no_error_text = QT_TRANSLATE_NOOP("documents", "未检测到错误");

}  // namespace

namespace {

namespace object = canopen::object;

const char *const error_document = "./Document/CANopen_Error.xml";
const char *const information_document = "./Document/CANopen_information.xml";
const char *const green = "background-color:rgb(0,255,0)";
const char *const status_frame = "border:2px solid red;";

// The wait cursor of a mapping sequence, restored on every way out of it.
struct wait_cursor {
    wait_cursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~wait_cursor() { QApplication::restoreOverrideCursor(); }
    wait_cursor(const wait_cursor &) = delete;
    wait_cursor &operator=(const wait_cursor &) = delete;
};

// The page buttons that send one RPDO.
using canopen::set_point_from;
using scope::motion_kind;
constexpr canopen::page_rpdo disable{canopen::cw_shutdown, set_point_from::zero, "失能\nDisable", true, false,
                                     motion_kind::absolute};
// The interpolated position page's Disable has always logged its text with "/n".
constexpr canopen::page_rpdo disable_ip_page{canopen::cw_shutdown, set_point_from::zero, "失能/nDisable", true,
                                             false, motion_kind::absolute};
constexpr canopen::page_rpdo disable_torque_page{canopen::cw_torque_page_disable, set_point_from::zero,
                                                 "失能\nDisable", true, false, motion_kind::absolute};
constexpr canopen::page_rpdo stop{canopen::cw_enable_immediate, set_point_from::zero, "停止\nStop", false, false,
                                  motion_kind::absolute};
constexpr canopen::page_rpdo run_velocity{canopen::cw_enable_immediate, set_point_from::field, "运动\nMotion", false,
                                          true, motion_kind::velocity};
constexpr canopen::page_rpdo run_torque{canopen::cw_enable_immediate, set_point_from::field, "运动\nMotion", false,
                                        true, motion_kind::torque_per_mille};
// Halt bit, with the last accepted target as set-point so that the node's target does not
// jump; the next Move clears the halt.
constexpr canopen::page_rpdo csp_halt{canopen::cw_enable_immediate | canopen::cw_halt_bit,
                                      set_point_from::held_position, "停止\nStop", false, false, motion_kind::absolute};
// Halt bit, at the interpolation record's last target (control_CANopen::ip_halt_point).
constexpr canopen::page_rpdo ip_halt{canopen::cw_new_setpoint | canopen::cw_halt_bit, set_point_from::ip_target,
                                     "停止\nStop", false, false, motion_kind::absolute};

}  // namespace

control_CANopen::control_CANopen(QWidget *parent) : QMainWindow(parent), ui(new Ui::control_CANopen)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    canopen_worker = new sssss(this);
    canopen_self = this;

    ui->electricity->setStyleSheet(QString::fromLatin1(status_frame));
    ui->position->setStyleSheet(QString::fromLatin1(status_frame));
    ui->vel->setStyleSheet(QString::fromLatin1(status_frame));
    ui->change_mode->hide();
    ui->Open_monitoring->hide();
    ui->Test_reset->hide();

    connect(this, &control_CANopen::func3, this, &control_CANopen::on_Test_reset_clicked);
    connect(this, &control_CANopen::func2, this, &control_CANopen::casuals);
    connect(this, &control_CANopen::func, this, &control_CANopen::disconnects);
    connect(&canopen_poll_timer, &QTimer::timeout, this, &control_CANopen::tim);
    // Every logged frame goes to the CANopen monitor, which the main window creates first.
    if (canopen_monitor)
        connect(this, &control_CANopen::senddata, canopen_monitor, &monitor::recedata);

    for (QPushButton *b : command_column())
        b->setEnabled(false);
    ui->comboBox->setEnabled(false);

    setWindowTitle(tr("CANopen运动控制"));
    setFixedSize(size_for_dpi(QSize(870, 420), screen_logical_dpi(), dpi_height::taller));
}

control_CANopen::~control_CANopen()
{
    // The worker signals through canopen_self: let it finish before the window goes.
    canopen_worker->wait();
    if (canopen_self == this)
        canopen_self = nullptr;
    delete ui;
}

bool control_CANopen::canopen_exchange(uint32_t id, const uint8_t *data, uint8_t length, const QString &description,
                                       int log)
{
    return transact(id, data, length, description, log).completed();
}

exchange_outcome control_CANopen::transact(uint32_t id, const uint8_t *data, uint8_t length,
                                           const QString &description, int log, bool report_refusal)
{
    const exchange_outcome out =
        canopen_transaction(adapter_bus_ops(), id, data, length, static_cast<uint8_t>(remote_request != 0),
                            description, log, [this](const QString &text) { emit senddata(text); });
    // An SDO request is told apart by its identifier, index and subindex.
    uint64_t request = uint64_t(id) << 32;
    for (int i = 1; i < 4 && i < length; ++i)
        request |= uint64_t(data[i]) << (8 * i);
    if (out.refused && report_refusal) {
        show_refusal(canopen::control_abort_text(out.abort_code));
        aborted_request_ = request;
    } else if (out.succeeded() && !abort_notice_.isEmpty() && request == aborted_request_) {
        show_refusal(QString());
    }
    return out;
}

void control_CANopen::show_refusal(const QString &text)
{
    abort_notice_ = text;
    notice_text_ = text;
    aborted_request_ = 0;
    ui->notice->set_full_text(in_language(text));
}

void control_CANopen::show_notice(const QString &text) { show_refusal(text); }

void control_CANopen::show_status()
{
    // The poll compares the document's own text; the field shows it in the window's language.
    ui->Error_2->setText(in_language(shown_error_));
    if (aborted_request_ == 0 && !abort_notice_.isEmpty())
        show_refusal(QString());
}

QString control_CANopen::lookup_xml_text(const QString &path, int32_t id) { return canopen::lookup_xml_text(path, id); }

// ---- helpers -----------------------------------------------------------------------------

QList<QPushButton *> control_CANopen::command_column() const
{
    return {ui->Stop_remote_node, ui->Reset_communication, ui->Operating_mode, ui->Set_velocity,
            ui->Disable_Sync,     ui->Set_cycle_period,    ui->TPDO_MAP,       ui->RPDO_MAP,
            ui->Start_remote_node, ui->Enable_Sync,        ui->Enable};
}

bool control_CANopen::send(const canopen::frame &f, const QString &description, int log)
{
    return canopen_exchange(f.id, f.data, f.len, description, log);
}

bool control_CANopen::sdo_write32(uint16_t index, int32_t value, const QString &description)
{
    return send(canopen::sdo_download(sdo_request_id, index, 0, static_cast<uint32_t>(value), 4), description);
}

bool control_CANopen::write_profile(const std::vector<profile_write> &writes)
{
    for (const profile_write &w : writes) {
        if (!sdo_write32(w.index, w.value, w.description))
            return false;
    }
    return true;
}

bool control_CANopen::write_profile_fields(bool with_velocity, const QString &velocity, const QString &acceleration,
                                           const QString &deceleration)
{
    std::vector<profile_write> writes;
    if (with_velocity) {
        const int32_t v = canopen::field_value(velocity);
        writes.push_back({object::profile_velocity, v, canopen::speed_text(QString::number(v))});
    }
    const int32_t a = canopen::field_value(acceleration);
    writes.push_back({object::profile_acceleration, a, canopen::acceleration_text(QString::number(a))});
    const int32_t d = canopen::field_value(deceleration);
    writes.push_back({object::profile_deceleration, d, canopen::deceleration_text(QString::number(d))});
    return write_profile(writes);
}

bool control_CANopen::rpdo(uint16_t control_word, int32_t set_point, const QString &description)
{
    return send(canopen::rpdo1(sdo_request_id, control_word, set_point), description);
}

bool control_CANopen::run_steps(const std::vector<canopen::step> &steps)
{
    for (const canopen::step &s : steps) {
        if (!send(s.f, s.description))
            return false;
    }
    return true;
}

QList<const QLineEdit *> control_CANopen::set_velocity_fields(int32_t page) const
{
    switch (page) {
    case canopen::page_pp: return {ui->PP_Velocity, ui->PP_Acceleration, ui->PP_Deceleration};
    case canopen::page_csp: return {ui->CSP_Velocity, ui->CSP_Acceleration, ui->CSP_Deceleration};
    case canopen::page_ip: return {ui->IP_Velocity, ui->IP_Acceleration, ui->IP_Deceleration};
    case canopen::page_pv: return {ui->PV_Acceleration, ui->PV_Deceleration};
    case canopen::page_csv: return {ui->CSV_Acceleration, ui->CSV_Deceleration};
    default: return {};
    }
}

void control_CANopen::mark_done(QPushButton *done, QPushButton *next)
{
    done->setStyleSheet(QString::fromLatin1(green));
    if (next)
        next->setEnabled(true);
}

void control_CANopen::show_mode_description(int index)
{
    ui->textEdit->setPlainText(
        in_language(lookup_xml_text(document_lookup::locate(QString::fromLatin1(information_document)), index)));
}

// ---- window events -----------------------------------------------------------------------

void control_CANopen::comboBox(int32_t language)
{
    canopen_worker->start();
    switch_language(translator, language);
}

void control_CANopen::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("CANopen运动控制"));
        show_mode_description(ui->comboBox->currentIndex());
        ui->Error_2->setText(in_language(shown_error_));
        ui->notice->set_full_text(in_language(notice_text_));
    }
}

void control_CANopen::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    // A restore from the task bar is a spontaneous show: it must not overwrite what the user
    // typed with a fresh read.
    if (e->spontaneous())
        return;
    if (sdo_request_id > static_cast<int32_t>(canopen::sdo_request_base)) {
        emit func2();
        // A change an earlier run left on this drive (its heartbeat guard, the scope's TPDOs).
        if (canopen_link_active == 1)
            canopen::offer_put_back(this, guard_link(), 0, connected_node());
    }
    show_mode_description(ui->comboBox->currentIndex());
    canopen_control_open = 1;
}

void control_CANopen::closeEvent(QCloseEvent *e)
{
    emit func();
    canopen_control_open = 0;
    if (canopen_monitor)
        canopen_monitor->close();
    e->accept();
    monitor_seq = 1;
    motion_window_open = 0;
}

void control_CANopen::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    qDebug() << "窗口宽度" << width();
    qDebug() << "窗口高度" << height();
    qDebug() << screen_logical_dpi();
    qDebug() << 5;
}

// ---- start-up read, poll, disconnect -----------------------------------------------------

void control_CANopen::casuals()
{
    sdo_expected = 1;
    if (!send(canopen::sdo_upload(sdo_request_id, object::profile_acceleration, 0), QString(), 0))
        return;
    const QString acceleration = QString::number(reply_value);
    for (QLineEdit *f : {ui->PP_Acceleration, ui->PV_Acceleration, ui->CSP_Acceleration, ui->CSV_Acceleration,
                         ui->IP_Acceleration})
        f->setText(acceleration);
    if (!send(canopen::sdo_upload(sdo_request_id, object::profile_deceleration, 0), QString(), 0))
        return;
    const QString deceleration = QString::number(reply_value);
    for (QLineEdit *f : {ui->PP_Deceleration, ui->PV_Deceleration, ui->CSP_Deceleration, ui->CSV_Deceleration,
                         ui->IP_Deceleration})
        f->setText(deceleration);
    if (!send(canopen::sdo_upload(sdo_request_id, object::profile_velocity, 0), QString(), 0))
        return;
    const QString velocity = QString::number(reply_value);
    for (QLineEdit *f : {ui->PP_Velocity, ui->CSP_Velocity, ui->IP_Velocity})
        f->setText(velocity);

    ui->comboBox->setEnabled(true);
    ui->Stop_remote_node->setEnabled(true);
    canopen_link_active = 1;
    params_loaded = 1;
    canopen_poll_timer.start(1000);
}

void control_CANopen::tim()
{
    canopen_page = ui->stackedWidget->currentIndex();
    // An SDO request now would end the node's segmented transfer of a job in progress.
    if (job_runner::instance().busy())
        return;
    auto read = [this](uint16_t index) {
        const canopen::frame f = canopen::sdo_upload(sdo_request_id, index, 0);
        return transact(f.id, f.data, f.len, QString(), 0);
    };
    // Only silence counts as a lost node, and only while the node is expected to answer: a
    // refusal is an answer (shown as a notice, the label keeps its last value). The disconnect
    // resets the sequence (sdo_expected 0), so a tick disconnects at most once.
    auto lost_if_silent = [this](const exchange_outcome &out) {
        if (!out.answered && sdo_expected == 1) {
            power_enabled = 0;
            emit func();
        }
    };

    const exchange_outcome position = read(object::position_actual_value);
    if (position.succeeded())
        ui->position->setText(QString::number(reply_value));
    lost_if_silent(position);
    const exchange_outcome velocity = read(object::velocity_actual_value);
    if (velocity.succeeded()) {
        ui->vel->setText(QString::number(reply_value));
        check_stop(reply_value);
    }
    lost_if_silent(velocity);
    const bool current_ok = read(object::current_actual_value).succeeded();
    const int32_t current = reply_value;
    const bool rated_ok = read(object::motor_rated_current).succeeded();
    const int32_t rated = reply_value;
    ui->electricity->setText(QString::number(canopen::current_milliamps(current_ok, current, rated_ok, rated)));

    const exchange_outcome error = read(object::error_code);
    if (!error.succeeded()) {
        lost_if_silent(error);
        return;
    }
    const QString text = lookup_xml_text(document_lookup::locate(QString::fromLatin1(error_document)), reply_value);
    if (text != shown_error_) {
        shown_error_ = text;
        show_status();
    }
    if (text != QString::fromUtf8(no_error_text))
        power_enabled = 0;
}

void control_CANopen::disconnects()
{
    canopen_poll_timer.stop();
    release_guard();
    ui->position->clear();
    ui->vel->clear();
    ui->comboBox->setEnabled(false);
    ui->Stop_remote_node->setEnabled(false);
    emit ui->Test_reset->clicked();
    for (QLineEdit *f : {ui->PP_Acceleration, ui->PP_Deceleration, ui->PP_Velocity, ui->Target_position,
                         ui->PV_Acceleration, ui->PV_Deceleration, ui->PV_Velocity, ui->CSP_Acceleration,
                         ui->CSP_Deceleration, ui->CSP_Velocity, ui->CSV_Acceleration, ui->CSV_Deceleration,
                         ui->CST_torque, ui->lineEdit, ui->Target_position_2, ui->CSV_Velocity, ui->IP_Acceleration,
                         ui->IP_Deceleration, ui->IP_Velocity, ui->Target_position_3})
        f->clear();
    canopen_link_active = 0;
    power_enabled = 0;
    shown_error_.clear();
    show_refusal(QString());
    // The fields are empty now: page buttons stay inert until the parameters are read again.
    params_loaded = 0;
}

void control_CANopen::on_Open_monitoring_clicked()
{
    monitor_capture = 1;
    if (canopen_monitor)
        canopen_monitor->show();
    monitor_open = 1;
}

// ---- guided sequence ---------------------------------------------------------------------

void control_CANopen::on_Test_reset_clicked()
{
    sdo_expected = 0;
    ip_target_.reset();
    stop_check_ = false;
    const QList<QPushButton *> column = command_column();
    for (QPushButton *b : column) {
        if (b != ui->Stop_remote_node)
            b->setEnabled(false);
        b->setStyleSheet(QString());
    }
}

void control_CANopen::on_comboBox_activated(const QString &text)
{
    (void)text;
    const int index = ui->comboBox->currentIndex();
    if (index >= 0 && index < canopen::page_count) {
        ui->stackedWidget->setCurrentIndex(index);
        // The command column configures the node for this page; waiting for the next poll
        // tick to learn it would let a quick user write the previous page's mode and mapping.
        canopen_page = index;
        // The reset must not stop the poll from noticing a lost node: a node that answered
        // before the change is still expected to answer.
        const int32_t expected = sdo_expected;
        emit func3();
        sdo_expected = expected;
    }
    show_mode_description(index);
}

void control_CANopen::on_Stop_remote_node_clicked()
{
    sdo_expected = 0;
    send(canopen::nmt(canopen::nmt_stop, sdo_request_id), QStringLiteral("关闭节点\nStop remote node"));
    mark_done(ui->Stop_remote_node, ui->Reset_communication);
}

void control_CANopen::on_Reset_communication_clicked()
{
    sdo_expected = 1;
    if (!send(canopen::nmt(canopen::nmt_reset_communication, sdo_request_id),
              QStringLiteral("复位节点\nReset communication")))
        return;
    mark_done(ui->Reset_communication, ui->Operating_mode);
}

void control_CANopen::on_Operating_mode_clicked()
{
    const int32_t p = canopen_page;
    sdo_expected = 1;
    if (p >= 0 && p < canopen::page_count) {
        if (!send(canopen::sdo_download(sdo_request_id, object::modes_of_operation, 0, canopen::mode_value(p), 1),
                  canopen::mode_log_text(p)))
            return;
    }
    // The mode display is read back for the log only: a drive may report the mode it runs
    // before the new one takes effect.
    if (!send(canopen::sdo_upload(sdo_request_id, object::modes_of_operation_display, 0),
              QStringLiteral("核对工作模式\nCheck operating mode")))
        return;
    mark_done(ui->Operating_mode, canopen::page_sets_velocity(p) ? ui->Set_velocity : ui->Disable_Sync);
}

void control_CANopen::on_Set_velocity_clicked()
{
    if (!typed_numbers_ok(this, set_velocity_fields(canopen_page)))
        return;
    sdo_expected = 1;
    bool ok = true;
    switch (canopen_page) {
    case canopen::page_pp: ok = write_profile_fields(true, ui->PP_Velocity->text(), ui->PP_Acceleration->text(),
                                                     ui->PP_Deceleration->text()); break;
    case canopen::page_csp: ok = write_profile_fields(true, ui->CSP_Velocity->text(), ui->CSP_Acceleration->text(),
                                                      ui->CSP_Deceleration->text()); break;
    case canopen::page_ip: ok = write_profile_fields(true, ui->IP_Velocity->text(), ui->IP_Acceleration->text(),
                                                     ui->IP_Deceleration->text()); break;
    case canopen::page_pv:
        ok = sdo_write32(object::target_velocity, 0, QStringLiteral("目标速度置零\nSet target speed to 0"))
             && write_profile_fields(false, QString(), ui->PV_Acceleration->text(), ui->PV_Deceleration->text());
        break;
    case canopen::page_csv:
        ok = write_profile_fields(false, QString(), ui->CSV_Acceleration->text(), ui->CSV_Deceleration->text());
        break;
    default: break;  // the torque pages have no profile to set
    }
    if (!ok)
        return;
    mark_done(ui->Set_velocity, ui->Disable_Sync);
}

void control_CANopen::on_Disable_Sync_clicked()
{
    sdo_expected = 1;
    // The SYNC identifier with the generator bit (30) clear: this node produces no SYNC.
    if (!send(canopen::sdo_download(sdo_request_id, object::cob_id_sync, 0, canopen::sync_id, 4),
              QStringLiteral("关闭同步发生器\nDisable cob-id sync")))
        return;
    mark_done(ui->Disable_Sync, ui->Set_cycle_period);
}

void control_CANopen::on_Set_cycle_period_clicked()
{
    sdo_expected = 1;
    if (!send(canopen::sdo_download(sdo_request_id, object::communication_cycle_period, 0,
                                    static_cast<uint32_t>(comm_cycle_us), 4),
              QStringLiteral("设置通信周期\nSet communication cycle period(μs)")))
        return;
    mark_done(ui->Set_cycle_period, ui->TPDO_MAP);
}

void control_CANopen::on_TPDO_MAP_clicked()
{
    sdo_expected = 1;
    const wait_cursor cursor;
    if (!run_steps(canopen::tpdo_map_steps(canopen_page, sdo_request_id)))
        return;
    mark_done(ui->TPDO_MAP, ui->RPDO_MAP);
}

void control_CANopen::on_RPDO_MAP_clicked()
{
    sdo_expected = 1;
    const wait_cursor cursor;
    if (!run_steps(canopen::rpdo_map_steps(canopen_page, sdo_request_id)))
        return;
    mark_done(ui->RPDO_MAP, ui->Start_remote_node);
}

void control_CANopen::on_Start_remote_node_clicked()
{
    sdo_expected = 1;
    send(canopen::nmt(canopen::nmt_start, sdo_request_id), QStringLiteral("打开节点\nStart remote node"));
    remote_request = 1;
    const bool answered = send(canopen::guarding_request(sdo_request_id), QStringLiteral("心跳检测\nHeartbeat command"));
    remote_request = 0;
    if (!answered)
        return;
    mark_done(ui->Start_remote_node, ui->Enable_Sync);
}

void control_CANopen::on_Enable_Sync_clicked()
{
    sdo_expected = 1;
    if (!send(canopen::sync(), QStringLiteral("发送同步帧\nSync command")))
        return;
    if (canopen::page_holds_position(canopen_page)) {
        if (!send(canopen::sdo_upload(sdo_request_id, object::position_actual_value, 0),
                  QStringLiteral("获取实际位置\nGet position")))
            return;
        hold_position = reply_value;
    }
    mark_done(ui->Enable_Sync, ui->Enable);
}

bool control_CANopen::sync_for_statusword(uint16_t *statusword)
{
    const canopen::frame f = canopen::sync();
    const exchange_outcome out = transact(f.id, f.data, f.len, QString(), 1);
    if (!out.succeeded() || bus_frame_bytes(out.reply) < 2)
        return false;
    *statusword = static_cast<uint16_t>(out.reply.data[0] | out.reply.data[1] << 8);
    return true;
}

bool control_CANopen::read_statusword_after(bool have_tpdo, uint16_t from_tpdo, uint16_t *statusword)
{
    if (have_tpdo && canopen::state_of(from_tpdo) == canopen::drive_state::operation_enabled) {
        *statusword = from_tpdo;
        return true;
    }
    if (send(canopen::sdo_upload(sdo_request_id, object::statusword, 0), QStringLiteral("读取状态字\nRead statusword"))) {
        *statusword = static_cast<uint16_t>(reply_value);
        return true;
    }
    *statusword = from_tpdo;
    return have_tpdo;
}

void control_CANopen::on_Enable_clicked()
{
    if (power_enabled != 1) {
        sdo_expected = 1;
        show_guard_text(canopen::engage_guard(guard_link(), 0, connected_node()).text);
        const int32_t set_point = canopen::page_holds_position(canopen_page) ? hold_position : 0;
        // A drive applies only the latest synchronous RPDO at a SYNC, so every control word
        // of the walk through the state machine gets a SYNC of its own.
        const struct {
            uint16_t control_word;
            int32_t set_point;
            QString description;
        } walk[] = {{canopen::cw_fault_reset, 0, QString()},
                    {canopen::cw_shutdown, 0, QString()},
                    {canopen::cw_switch_on, 0, QString()},
                    {canopen::cw_enable_operation, set_point, QStringLiteral("使能\nEnable")}};
        bool answered = false;
        uint16_t from_tpdo = 0;
        for (const auto &step : walk) {
            rpdo(step.control_word, step.set_point, step.description);
            answered = sync_for_statusword(&from_tpdo);
        }
        uint16_t statusword = 0;
        const bool known = read_statusword_after(answered, from_tpdo, &statusword);
        if (!known || canopen::state_of(statusword) != canopen::drive_state::operation_enabled) {
            show_notice(canopen::enable_failed_text(known, statusword));
            // A drive that answered and is not enabled needs no guard; one that did not answer
            // may be enabled after all, and stays guarded.
            if (known)
                release_guard();
            return;
        }
        if (!shown_error_.isEmpty())
            show_status();
    }
    mark_done(ui->Enable, nullptr);
    power_enabled = 1;
}

// ---- mode pages --------------------------------------------------------------------------

void control_CANopen::when_page_ready(const QList<const QLineEdit *> &fields, const std::function<void()> &action)
{
    if (params_loaded != 1)
        return;
    if (!typed_numbers_ok(this, fields))
        return;
    action();
}

void control_CANopen::press(const canopen::page_rpdo &button, const QLineEdit *field)
{
    QList<const QLineEdit *> fields;
    if (button.from == canopen::set_point_from::field)
        fields.append(field);
    when_page_ready(fields, [this, &button, field] {
        int32_t set_point = 0;
        switch (button.from) {
        case canopen::set_point_from::zero: break;
        case canopen::set_point_from::field: set_point = canopen::field_value(field->text()); break;
        case canopen::set_point_from::held_position: set_point = hold_position; break;
        case canopen::set_point_from::ip_target: set_point = ip_halt_point(); break;
        }
        rpdo(button.control_word, set_point, QString::fromUtf8(button.log));
        if (button.disables)
            power_enabled = 0;
        if (button.announces)
            scope::motion_notifier::sent(button.motion, set_point);
    });
}

void control_CANopen::press_stop(const canopen::page_rpdo &button)
{
    end_job_for_stop();
    press(button);
}

void control_CANopen::press_disable(const canopen::page_rpdo &button)
{
    press_stop(button);
    // The drive's consumer is put back once the joint is disabled, not on a press the page
    // refused (parameters not read yet).
    if (power_enabled == 0)
        release_guard();
}

int control_CANopen::connected_node() const
{
    return sdo_request_id - static_cast<int32_t>(canopen::sdo_request_base);
}

canopen::sdo_link control_CANopen::guard_link() const
{
    // No monitor sink: the guard's frames are the trace's, never monitor rows.
    return canopen::exchange_sdo_link(adapter_bus_ops(), connected_node(), canopen::sdo_timeout_ms, monitor_sink());
}

void control_CANopen::release_guard()
{
    show_guard_text(canopen::release_guard(guard_link(), 0, connected_node()).text);
}

void control_CANopen::show_guard_text(const QString &text)
{
    // Told once, beside the refusals: Error_2 is the drive's own error text.
    if (!text.isEmpty()) {
        notice_text_ = text;
        ui->notice->set_full_text(in_language(text));
    }
}

int32_t control_CANopen::ip_halt_point()
{
    // The interpolation record keeps the last target so nothing new is commanded. Before any
    // move there is none: the joint is held where it stands, not sent towards 0.
    if (ip_target_)
        return *ip_target_;
    if (send(canopen::sdo_upload(sdo_request_id, object::position_actual_value, 0), QString(), 0))
        return reply_value;
    return hold_position;
}

void control_CANopen::apply_pp_profile()
{
    const QString v = ui->PP_Velocity->text();
    const QString a = ui->PP_Acceleration->text();
    const QString d = ui->PP_Deceleration->text();
    write_profile({{object::profile_velocity, canopen::field_value(v), canopen::speed_text_unspaced(v)},
                   {object::profile_acceleration, canopen::field_value(a), canopen::acceleration_text(a)},
                   {object::profile_deceleration, canopen::field_value(d), canopen::deceleration_text(d)}});
}

void control_CANopen::apply_pv_profile()
{
    const QString a = ui->PV_Acceleration->text();
    const QString d = ui->PV_Deceleration->text();
    write_profile({{object::profile_acceleration, canopen::field_value(a), canopen::acceleration_text(a)},
                   {object::profile_deceleration, canopen::field_value(d), canopen::deceleration_text(d)}});
}

void control_CANopen::pp_move()
{
    const int32_t target = canopen::field_value(ui->Target_position->text());
    // A profile position drive takes a new set-point on the rising edge of control word
    // bit 4. It applies only the latest RPDO at a SYNC, so the cleared bit gets a SYNC of its
    // own; the user's next SYNC then brings the edge, and every press is a new move.
    rpdo(canopen::cw_enable_operation, target, QString());
    send(canopen::sync(), QString());
    rpdo(canopen::cw_new_setpoint, target, QStringLiteral("移动\nMotion"));
    scope::motion_notifier::sent(scope::motion_kind::absolute, target);
}

void control_CANopen::csp_move()
{
    const int32_t target = canopen::field_value(ui->Target_position_2->text());
    if (!canopen::csp_move_allowed(hold_position, target)) {
        desktop_seams::question(this, tr("错误"), tr("请输入1000cnt以内的相对运动值"),
                                QMessageBox::Ok);
        return;
    }
    rpdo(canopen::cw_enable_immediate, target, QStringLiteral("运动/nMotion"));
    hold_position = target;
    scope::motion_notifier::sent(scope::motion_kind::absolute, target);
}

void control_CANopen::ip_move()
{
    ip_target_ = canopen::field_value(ui->Target_position_3->text());
    rpdo(canopen::cw_new_setpoint, *ip_target_, QStringLiteral("运动\nMotion"));
    scope::motion_notifier::sent(scope::motion_kind::absolute, *ip_target_);
}

// Every page button is inert until the profile parameters were read from the node, and sends
// nothing while a field it reads holds no number (when_page_ready).

// Profile position
void control_CANopen::on_sure_clicked()
{
    when_page_ready({ui->PP_Velocity, ui->PP_Acceleration, ui->PP_Deceleration}, [this] { apply_pp_profile(); });
}
// A move with no target typed sends nothing: an empty field would otherwise send the joint to 0.
void control_CANopen::on_Move_to_clicked()
{
    if (!number_text_blank(ui->Target_position->text()))
        when_page_ready({ui->Target_position}, [this] { pp_move(); });
}
void control_CANopen::on_Stop_4_clicked()
{
    end_job_for_stop();
    when_page_ready({}, [this] {
        const QString text = QStringLiteral("停止\nStop");
        const canopen::frame zero = canopen::sdo_download(sdo_request_id, object::profile_velocity, 0, 0, 4);
        // The joint takes a profile velocity of 0 as "stop now" and decelerates to standstill.
        // A drive whose profile velocity has a lower limit above 0 refuses it and is halted
        // instead; one that takes it and goes on moving is halted at the next poll.
        const exchange_outcome out = transact(zero.id, zero.data, zero.len, text, 1, false);
        if (out.refused) {
            pp_halt(text);
        } else if (out.succeeded()) {
            stop_check_ = true;
            stop_speed_ = send(canopen::sdo_upload(sdo_request_id, object::velocity_actual_value, 0), QString(), 0)
                              ? reply_value
                              : ui->vel->text().toInt();
        }
    });
}

void control_CANopen::pp_halt(const QString &description)
{
    send(canopen::sdo_download(sdo_request_id, object::controlword, 0,
                               canopen::cw_enable_operation | canopen::cw_halt_bit, 2),
         description);
}

void control_CANopen::check_stop(int32_t speed)
{
    if (!stop_check_)
        return;
    stop_check_ = false;
    if (speed != 0 && std::abs(int64_t(speed)) >= std::abs(int64_t(stop_speed_)))
        pp_halt(QStringLiteral("停止\nStop"));
}
void control_CANopen::on_Stop_clicked() { press_disable(disable); }
// Profile velocity
void control_CANopen::on_PV_Vel_Sure_clicked()
{
    when_page_ready({ui->PV_Acceleration, ui->PV_Deceleration}, [this] { apply_pv_profile(); });
}
void control_CANopen::on_Start_run_clicked() { press(run_velocity, ui->PV_Velocity); }
void control_CANopen::on_PV_Stop_2_clicked() { press_stop(stop); }
void control_CANopen::on_PV_Stop_clicked() { press_disable(disable); }
// Profile torque; its Stop is the velocity page's: zero torque, power stage left on.
void control_CANopen::on_pushButton_2_clicked() { press(run_torque, ui->lineEdit); }
void control_CANopen::on_pushButton_4_clicked() { press_stop(stop); }
void control_CANopen::on_pushButton_3_clicked() { press_disable(disable_torque_page); }
// Cyclic synchronous position
void control_CANopen::on_sure_3_clicked()
{
    when_page_ready({ui->CSP_Velocity, ui->CSP_Acceleration, ui->CSP_Deceleration}, [this] {
        write_profile_fields(true, ui->CSP_Velocity->text(), ui->CSP_Acceleration->text(),
                             ui->CSP_Deceleration->text());
    });
}
void control_CANopen::on_Move_to_3_clicked()
{
    if (!number_text_blank(ui->Target_position_2->text()))
        when_page_ready({ui->Target_position_2}, [this] { csp_move(); });
}
void control_CANopen::on_Stop_6_clicked() { press_stop(csp_halt); }
void control_CANopen::on_Stop_2_clicked() { press_disable(disable); }
// Cyclic synchronous velocity
void control_CANopen::on_PV_Vel_Sure_2_clicked()
{
    when_page_ready({ui->CSV_Acceleration, ui->CSV_Deceleration}, [this] {
        write_profile_fields(false, QString(), ui->CSV_Acceleration->text(), ui->CSV_Deceleration->text());
    });
}
void control_CANopen::on_Start_run_2_clicked() { press(run_velocity, ui->CSV_Velocity); }
void control_CANopen::on_PV_Stop_3_clicked() { press_stop(stop); }
void control_CANopen::on_PV_Stop_4_clicked() { press_disable(disable); }
// Cyclic synchronous torque
void control_CANopen::on_pushButton_5_clicked() { press(run_torque, ui->CST_torque); }
void control_CANopen::on_CST_STOP_clicked() { press_stop(stop); }
void control_CANopen::on_CST_DISABLE_clicked() { press_disable(disable); }
// Interpolated position
void control_CANopen::on_sure_4_clicked()
{
    when_page_ready({ui->IP_Velocity, ui->IP_Acceleration, ui->IP_Deceleration}, [this] {
        write_profile_fields(true, ui->IP_Velocity->text(), ui->IP_Acceleration->text(), ui->IP_Deceleration->text());
    });
}
void control_CANopen::on_Move_to_2_clicked()
{
    if (!number_text_blank(ui->Target_position_3->text()))
        when_page_ready({ui->Target_position_3}, [this] { ip_move(); });
}
void control_CANopen::on_Stop_5_clicked() { press_stop(ip_halt); }
void control_CANopen::on_Stop_3_clicked() { press_disable(disable_ip_page); }
