#include "custom_protocol/control_can.h"

#include "ui_control_can.h"

#include "base/language.h"
#include "base/number_fields.h"
#include "base/screen_scale.h"
#include "base/shared_values.h"
#include "can/step_job.h"
#include "custom_protocol/control_can_state.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"
#include "custom_protocol/custom_worker.h"
#include "custom_protocol/guardian_link.h"
#include "custom_protocol/xml_lookup.h"
#include "base/motion_notifier.h"
#include "tools/monitor.h"

#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>

const char *const control_CAN::error_document = "./Document/Err.xml";
const char *const control_CAN::information_document = "./Document/CAN_information.xml";

namespace {

// Below the request base no node was ever connected.
constexpr int32_t custom_request_base = custom_id::request_base;
constexpr int poll_period_ms = 1000;

// Mode selector items and the stacked pages they show.
constexpr int item_position = 0;
constexpr int item_speed = 1;
constexpr int item_torque = 2;
constexpr int page_position = 0;
constexpr int page_torque = 1;
constexpr int page_speed = 2;

}  // namespace

control_CAN::control_CAN(QWidget *parent) : QMainWindow(parent), ui(new Ui::control_CAN)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);

    worker = new sss(this);
    poll_timer = new QTimer(this);
    poll_timer->setObjectName(QStringLiteral("custom_poll_timer"));
    custom_worker = worker;
    custom_poll_timer = poll_timer;

    const QString frame = QStringLiteral("border:2px solid red;");
    ui->vel_2->setStyleSheet(frame);
    ui->electricity->setStyleSheet(frame);
    ui->position->setStyleSheet(frame);

    // Every logged exchange of this window goes to the custom-protocol monitor, which the main
    // window creates before this window.
    if (custom_monitor)
        connect(this, &control_CAN::senddata, custom_monitor, &monitor::recedata);
    connect(this, &control_CAN::func4, this, &control_CAN::casual);
    connect(this, &control_CAN::func3, this, &control_CAN::cut);
    connect(poll_timer, SIGNAL(timeout()), this, SLOT(thread()));

    set_motion_controls_enabled(false);
    setWindowTitle(tr("CAN自定义协议控制"));
    setFixedSize(size_for_dpi(QSize(730, 610), screen_logical_dpi()));
}

control_CAN::~control_CAN()
{
    // The worker emits on this window; let a running one finish before the window goes.
    worker->wait();
    if (custom_worker == worker)
        custom_worker = nullptr;
    if (custom_poll_timer == poll_timer)
        custom_poll_timer = nullptr;
    delete ui;
}

bool control_CAN::send(const custom_request &request)
{
    return custom_exchange(this, static_cast<uint32_t>(custom_request_id), request);
}

int control_CAN::node() const { return static_cast<int>(custom_request_id) - static_cast<int>(custom_id::request_base); }

void control_CAN::guard_moving(guardian_link::motion kind) const { guardian_link::moving(node(), kind); }

bool control_CAN::send_stop(const custom_request &request, guardian_link::motion rest)
{
    end_job_for_stop();
    // A stop that went unanswered may not have been taken: the guardian keeps the joint.
    const bool answered = send(request);
    if (answered)
        guardian_link::at_rest(node(), rest);
    return answered;
}

bool control_CAN::acknowledged(bool exchanged) const
{
    // reply_length keeps the length of an earlier reply when nothing came back, so a write that
    // went unanswered must not pass for one that was taken.
    return exchanged && reply_length == 1;
}

void control_CAN::set_motion_controls_enabled(bool on)
{
    QWidget *const controls[] = {
        ui->comboBox,       ui->apply,     ui->enable,      ui->disable,         ui->backwards,
        ui->backwards_continue, ui->move_to, ui->forward,   ui->forward_continue, ui->stop,
        ui->choose_mode_2,  ui->set_parameter_2, ui->enable_3, ui->disenable_2,  ui->stop_run,
        ui->choose_mode,    ui->set_parameter, ui->stop_run2, ui->enable_2,      ui->disenable,
    };
    for (QWidget *w : controls)
        w->setEnabled(on);
}

void control_CAN::show_information()
{
    ui->textEdit->setText(in_language(
        custom_xml::lookup_xml_text(document_lookup::locate(QString::fromLatin1(information_document)), ui->comboBox->currentIndex())));
}

void control_CAN::show_error_text() { ui->Error->setText(in_language(error_text_)); }

void control_CAN::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    qDebug() << "窗口宽度" << width();
    qDebug() << "窗口高度" << height();
    qDebug() << screen_logical_dpi();
}

void control_CAN::closeEvent(QCloseEvent *event)
{
    emit func3();
    custom_control_open = 0;
    motion_window_open = 0;
    if (custom_monitor)
        custom_monitor->close();
    event->accept();
}

void control_CAN::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (custom_request_id > custom_request_base)
        emit func4();
    // Position control is the drive's mode whenever its page is shown. Before any node was
    // connected there is nobody to tell, and identifier 0 belongs to network management.
    if (ui->comboBox->currentIndex() == item_position && custom_request_id >= custom_request_base)
        send(write_control_mode(custom_control_mode::position));
    show_information();
    custom_control_open = 1;
}

void control_CAN::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("CAN自定义协议控制"));
        show_information();
        if (!ui->Error->text().isEmpty())
            show_error_text();
    }
}

void control_CAN::on_disable_clicked() { send_stop(write_enable_state(false), guardian_link::motion::all); }
void control_CAN::on_enable_clicked() { send(write_enable_state(true)); }

void control_CAN::on_apply_clicked()
{
    if (!typed_numbers_ok(this, {ui->speed, ui->acceleration, ui->deceleration}))
        return;
    const bool speed_answered = send(write_profile_speed(ui->speed->text()));
    send(write_profile_acceleration(ui->acceleration->text()));
    send(write_profile_deceleration(ui->deceleration->text()));
    // The speed just written may carry the other sign than the one continuous motion last set
    // (its field shows -|v| after a backwards run). Keep the cache true to the drive, or the next
    // continuous press would skip its speed write and run the joint the wrong way. Unanswered,
    // the drive's speed is unknown: the next continuous press writes it again.
    if (!speed_answered)
        continuous_direction = custom_direction::none;
    else if (continuous_direction == custom_direction::forward
             || continuous_direction == custom_direction::backwards) {
        const int32_t v = custom_value_from_text(ui->speed->text());
        if (v > 0)
            continuous_direction = custom_direction::forward;
        else if (v < 0)
            continuous_direction = custom_direction::backwards;
        else
            continuous_direction = custom_direction::none;
    }
}

void control_CAN::on_stop_clicked() { send_stop(write_stop_motion(), guardian_link::motion::profile); }

void control_CAN::continuous_motion(bool backwards)
{
    if (!typed_numbers_ok(this, {ui->speed}))
        return;
    guard_moving(guardian_link::motion::profile);
    send(read_motion_state());
    if (motion_kind != custom_motion_kind::continuous) {
        if (reply_value != 0)
            return;  // another kind of motion is running
        if (!acknowledged(send(write_motion_mode(custom_motion_mode::continuous))))
            return;
        motion_kind = custom_motion_kind::continuous;
        relative_repeat_state = custom_repeat_state::undetermined;
        absolute_repeat_state = custom_repeat_state::undetermined;
    }
    // A running joint is reversed through the sign of the speed alone.
    const int32_t direction = backwards ? custom_direction::backwards : custom_direction::forward;
    if (continuous_direction != direction) {
        int32_t v = 0;
        const custom_request speed = write_continuous_speed(ui->speed->text(), backwards, &v);
        ui->speed->setText(QString::number(v));
        // Only a speed the drive answered is known to hold; otherwise the next press writes it
        // again instead of running the joint the old way.
        continuous_direction = send(speed) ? direction : custom_direction::none;
    }
    send(read_motion_state());
    if (reply_value == 0)
        send(write_start_motion(backwards ? start_kind::backwards : start_kind::forward));
    scope::motion_notifier::sent(scope::motion_kind::velocity, custom_value_from_text(ui->speed->text()));
}

void control_CAN::on_forward_continue_clicked() { continuous_motion(false); }
void control_CAN::on_backwards_continue_clicked() { continuous_motion(true); }

void control_CAN::relative_move(bool backwards)
{
    if (number_text_blank(ui->relative_position->text()) || !typed_numbers_ok(this, {ui->relative_position}))
        return;
    guard_moving(guardian_link::motion::profile);
    if (motion_kind != custom_motion_kind::relative) {
        motion_kind = custom_motion_kind::relative;
        absolute_repeat_state = custom_repeat_state::undetermined;
    }
    const bool repetitive = ui->radioButton->isChecked();
    send(read_motion_state());
    if (reply_value != 0)
        return;
    // An unacknowledged mode write leaves the cache as it was, so the next move retries it.
    if (repetitive && relative_repeat_state != custom_repeat_state::repetitive) {
        if (acknowledged(send(write_motion_mode(custom_motion_mode::repetitive))))
            relative_repeat_state = custom_repeat_state::repetitive;
    } else if (!repetitive && relative_repeat_state != custom_repeat_state::single) {
        if (acknowledged(send(write_motion_mode(custom_motion_mode::unidirectional))))
            relative_repeat_state = custom_repeat_state::single;
    }
    send(write_relative_distance(ui->relative_position->text(), backwards));
    send(write_start_motion(backwards ? start_kind::backwards : start_kind::forward));
    scope::motion_notifier::sent(scope::motion_kind::relative, custom_value_from_text(ui->relative_position->text()), backwards);
}

void control_CAN::on_forward_clicked() { relative_move(false); }
void control_CAN::on_backwards_clicked() { relative_move(true); }

void control_CAN::on_move_to_clicked()
{
    if (number_text_blank(ui->absolute_position->text()) || !typed_numbers_ok(this, {ui->absolute_position}))
        return;
    guard_moving(guardian_link::motion::profile);
    if (motion_kind != custom_motion_kind::absolute) {
        motion_kind = custom_motion_kind::absolute;
        relative_repeat_state = custom_repeat_state::undetermined;
    }
    const bool repetitive = ui->radioButton_2->isChecked();
    send(read_motion_state());
    if (reply_value != 0)
        return;
    if (repetitive && absolute_repeat_state != custom_repeat_state::repetitive) {
        if (!acknowledged(send(write_motion_mode(custom_motion_mode::repetitive))))
            return;
        absolute_repeat_state = custom_repeat_state::repetitive;
    } else if (!repetitive && absolute_repeat_state != custom_repeat_state::single) {
        if (!acknowledged(send(write_motion_mode(custom_motion_mode::unidirectional))))
            return;
        absolute_repeat_state = custom_repeat_state::single;
    }
    // The drive moves by the relative distance when it is not 0, so clear it first.
    send(write_relative_distance_zero());
    send(write_target_position(ui->absolute_position->text()));
    send(read_motion_state());
    if (reply_value != 0)
        return;
    send(write_start_motion(start_kind::motion));
    scope::motion_notifier::sent(scope::motion_kind::absolute, custom_value_from_text(ui->absolute_position->text()));
}

void control_CAN::cut()
{
    custom_link_active = 0;
    poll_timer->stop();
    set_motion_controls_enabled(false);
    ui->speed->clear();
    ui->acceleration->clear();
    ui->deceleration->clear();
    ui->electricity->clear();
    ui->vel_2->clear();
    ui->position->clear();
    ui->Error->clear();
    motion_kind = custom_motion_kind::none;
    continuous_direction = custom_direction::none;
    relative_repeat_state = custom_repeat_state::undetermined;
    absolute_repeat_state = custom_repeat_state::undetermined;
}

void control_CAN::on_choose_mode_clicked()
{
    send(write_control_mode(custom_control_mode::torque));
    send(write_control_source());
    send(write_analog_source());
}

void control_CAN::on_set_parameter_clicked()
{
    if (!typed_numbers_ok(this, {ui->analog_value, ui->max_speed}))
        return;
    guard_moving(guardian_link::motion::analog);
    send(write_target_current(ui->analog_value->text()));
    send(write_max_speed_limit(ui->max_speed->text()));
    scope::motion_notifier::sent(scope::motion_kind::torque_ma, custom_value_from_text(ui->analog_value->text()));
}

void control_CAN::on_enable_2_clicked() { send(write_enable_state(true)); }
void control_CAN::on_disenable_clicked() { send_stop(write_enable_state(false), guardian_link::motion::all); }

void control_CAN::on_choose_mode_2_clicked()
{
    send(write_control_mode(custom_control_mode::speed));
    send(write_control_source());
    send(write_analog_source());
}

void control_CAN::on_set_parameter_2_clicked()
{
    if (!typed_numbers_ok(this, {ui->analog_value_2}))
        return;
    guard_moving(guardian_link::motion::analog);
    send(write_target_speed(ui->analog_value_2->text()));
    scope::motion_notifier::sent(scope::motion_kind::velocity, custom_value_from_text(ui->analog_value_2->text()));
}

void control_CAN::on_enable_3_clicked() { send(write_enable_state(true)); }
void control_CAN::on_disenable_2_clicked() { send_stop(write_enable_state(false), guardian_link::motion::all); }
void control_CAN::on_stop_run_clicked() { send_stop(write_analog_stop(), guardian_link::motion::analog); }
void control_CAN::on_stop_run2_clicked() { send_stop(write_analog_stop(), guardian_link::motion::analog); }

void control_CAN::thread()
{
    // Only the current read decides whether the node is still there. A label changes only from
    // its own answered read: after a silent one, reply_value still holds another register.
    if (!send(read_actual_current())) {
        emit func3();
        return;
    }
    ui->electricity->setText(QString::number(reply_value));
    if (send(read_actual_speed(QStringLiteral("读取实际速度"))))
        ui->vel_2->setText(QString::number(reply_value));
    if (send(read_actual_position(QStringLiteral("读取当前位置"))))
        ui->position->setText(QString::number(reply_value));
    if (send(read_error_code(QStringLiteral("获取错误码")))) {
        error_text_ = custom_xml::lookup_xml_text(document_lookup::locate(QString::fromLatin1(error_document)), reply_value);
        show_error_text();
    }
}

bool control_CAN::read_profile(bool trace)
{
    QLineEdit *const fields[] = {ui->speed, ui->acceleration, ui->deceleration};
    const custom_request reads[] = {read_profile_speed(), read_profile_acceleration(), read_profile_deceleration()};
    for (int i = 0; i < 3; ++i) {
        if (!send(reads[i]))
            return false;
        fields[i]->setText(QString::number(reply_value));
        if (trace)
            qDebug() << reply_value;
    }
    return true;
}

void control_CAN::comboBox(int32_t language)
{
    switch_language(translator, language);
    worker->start();  // no effect while it still runs
    if (custom_control_open == 1)
        read_profile(true);
}

void control_CAN::casual()
{
    if (custom_request_id < custom_request_base)
        return;
    // A failed read leaves the link as it was: down stays down until the next trigger.
    if (!read_profile(false))
        return;
    set_motion_controls_enabled(true);
    custom_link_active = 1;
    poll_timer->start(poll_period_ms);
}

void control_CAN::on_comboBox_activated(QString text)
{
    (void)text;
    switch (ui->comboBox->currentIndex()) {
    case item_position:
        ui->stackedWidget->setCurrentIndex(page_position);
        send(write_control_mode(custom_control_mode::position));
        break;
    case item_speed:
        // The drive keeps its mode until Set control mode is pressed on the page.
        ui->stackedWidget->setCurrentIndex(page_speed);
        break;
    case item_torque:
        ui->stackedWidget->setCurrentIndex(page_torque);
        break;
    default:
        break;
    }
    show_information();
}
