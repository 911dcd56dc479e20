#include "joints/joints_window.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "base/language.h"
#include "can/step_job.h"
#include "canopen/cia402.h"
#include "joints/joints_model.h"
#include "ui_joints_window.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <set>

namespace {

// One poll transaction per tick: twelve joints of eight looks each come round well within
// 200 ms on a bus that answers in under a millisecond, and the GUI thread is held one SDO at a time.
constexpr int poll_interval_ms = 1;
// The table shows new values at this rate; faster is not read by anyone.
constexpr int show_interval_ms = 100;

}  // namespace

Joints::Joints(QWidget *parent) : language_window<QMainWindow>(parent, QStringLiteral("Joints")), ui(new Ui::Joints)
{
    ui->setupUi(this);
    show_home_methods(standard_home_methods());
    model_ = new joints::joints_model(table_, this);
    ui->joints->setModel(model_);
    ui->joints->horizontalHeader()->setStretchLastSection(true);
    ui->joints->verticalHeader()->hide();
    poll_timer_ = new QTimer(this);
    poll_timer_->setInterval(poll_interval_ms);
    connect(poll_timer_, &QTimer::timeout, this, &Joints::poll);
    show_timer_ = new QTimer(this);
    show_timer_->setInterval(show_interval_ms);
    connect(show_timer_, &QTimer::timeout, this, [this] {
        refresh_rows();
        model_->values_changed();
        follow_home_methods();
    });
    connect(ui->joints->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Joints::follow_home_methods);
    // F12 stops every joint from any window of the program, even under a modal box, where the
    // application's own shortcuts are blocked.
    qApp->installEventFilter(this);
}

Joints::~Joints()
{
    qApp->removeEventFilter(this);
    // An enable under way walks this window's table: it ends with the window.
    if (enabling_) {
        closing_ = true;
        job_runner::instance().cancel();
    }
    delete ui;
}

void Joints::refresh_rows()
{
    table_.take_heard();
    model_->rows_changed();
}

void Joints::poll() { table_.poll_next(); }

void Joints::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    refresh_rows();
    poll_timer_->start();
    show_timer_->start();
}

void Joints::hideEvent(QHideEvent *e)
{
    end_jogs();
    QMainWindow::hideEvent(e);
    poll_timer_->stop();
    show_timer_->stop();
}

bool Joints::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F12
        && !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
        // The key press reaches the filter once per receiver on its way up; only a widget's
        // first one counts.
        if (watched->isWidgetType()) {
            on_stop_all_clicked();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Joints::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        on_stop_all_clicked();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Joints::changeEvent(QEvent *e)
{
    language_window<QMainWindow>::changeEvent(e);
    // A jog lasts only while this window has the button held: losing focus ends it.
    if (e->type() == QEvent::ActivationChange && !isActiveWindow())
        end_jogs();
}

void Joints::retranslate()
{
    ui->retranslateUi(this);
    emit model_->headerDataChanged(Qt::Horizontal, 0, joints::joints_model::column_count - 1);
    model_->values_changed();
}

std::vector<int> Joints::standard_home_methods()
{
    // The homing methods of CiA 402 (0x6098): switches and index pulses, and the current position (35, 37).
    return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 33, 34, 35, 37};
}

void Joints::show_home_methods(const std::vector<int> &methods)
{
    if (methods == shown_methods_)
        return;
    const QVariant chosen = ui->home_method->currentData();
    ui->home_method->clear();
    for (int m : methods)
        ui->home_method->addItem(QString::number(m), m);
    shown_methods_ = methods;
    int at = ui->home_method->findData(chosen);
    if (at < 0)
        at = ui->home_method->findData(35);
    ui->home_method->setCurrentIndex(at < 0 ? 0 : at);
}

void Joints::follow_home_methods()
{
    // The methods every selected drive says it supports; the standard list while any one does not say.
    std::vector<int> common;
    bool first = true;
    for (int r : selected_rows()) {
        const joints::joint_state &j = table_.rows()[r];
        if (j.protocol != joints::joint_protocol::canopen)
            continue;
        if (!j.methods_read || j.homing_methods.empty()) {
            show_home_methods(standard_home_methods());
            return;
        }
        if (first) {
            common = j.homing_methods;
            first = false;
            continue;
        }
        std::vector<int> both;
        for (int m : common)
            if (std::find(j.homing_methods.begin(), j.homing_methods.end(), m) != j.homing_methods.end())
                both.push_back(m);
        common = both;
    }
    show_home_methods(first || common.empty() ? standard_home_methods() : common);
}

std::vector<int> Joints::selected_rows() const
{
    std::set<int> rows;
    for (const QModelIndex &i : ui->joints->selectionModel()->selectedIndexes())
        rows.insert(i.row());
    return std::vector<int>(rows.begin(), rows.end());
}

void Joints::report(const QString &text)
{
    ui->joints_status->setText(text);
    model_->values_changed();
}

void Joints::on_selected(const std::function<void(int row)> &action, joints::action_outcome confirmed,
                         const QString &count_text)
{
    const std::vector<int> rows = selected_rows();
    if (rows.empty()) {
        report(tr("请先选择关节/Select joints first"));
        return;
    }
    int done = 0;
    for (int r : rows) {
        action(r);
        done += table_.rows()[r].outcome == confirmed;
    }
    report(count_text.arg(done).arg(rows.size()));
}

void Joints::start_enable(const std::vector<int> &rows)
{
    auto end = [this](int enabled, int asked, bool cancelled) {
        enabling_ = false;
        if (closing_)
            return;
        QString text = tr("已使能%1个，共%2个/enabled %1 of %2").arg(enabled).arg(asked);
        if (cancelled)
            text += QStringLiteral(" ") + tr("（已取消）/(cancelled)");
        report(text);
    };
    if (!start_job_with_progress(std::make_unique<joints::enable_job>(table_, rows, end), this,
                                 tr("使能关节…/Enabling joints…"))) {
        report(tr("另一个作业正在运行/Another job is running"));
        return;
    }
    enabling_ = true;
    report(tr("正在使能%1个关节…/enabling %1 joints…").arg(rows.size()));
}

void Joints::on_enable_clicked()
{
    const std::vector<int> rows = selected_rows();
    if (rows.empty()) {
        report(tr("请先选择关节/Select joints first"));
        return;
    }
    start_enable(rows);
}

void Joints::on_disable_clicked()
{
    joints::end_jobs_for_stop();
    on_selected([this](int r) { table_.disable(r); }, joints::action_outcome::disabled, tr("已禁用%1个，共%2个/disabled %1 of %2"));
}

void Joints::on_halt_clicked()
{
    joints::end_jobs_for_stop();
    on_selected([this](int r) { table_.halt(r); }, joints::action_outcome::halted, tr("已暂停%1个，共%2个/halted %1 of %2"));
}

void Joints::on_quick_stop_clicked()
{
    joints::end_jobs_for_stop();
    const std::vector<int> rows = selected_rows();
    if (rows.empty()) {
        report(tr("请先选择关节/Select joints first"));
        return;
    }
    const joints::stop_report r = table_.stop(rows);
    report(tr("已确认停止%1个，共%2个/stop confirmed by %1 of %2").arg(r.confirmed).arg(r.sent));
}

void Joints::on_fault_reset_clicked()
{
    on_selected([this](int r) { table_.fault_reset(r); }, joints::action_outcome::fault_reset, tr("故障已复位%1个，共%2个/fault reset on %1 of %2"));
}

void Joints::on_move_to_clicked()
{
    on_selected([this](int r) { table_.move_to(r, ui->target->value()); }, joints::action_outcome::move_started, tr("运动已开始%1个，共%2个/move started on %1 of %2"));
}

void Joints::jog_selected(int direction)
{
    end_jogs();
    const std::vector<int> rows = selected_rows();
    if (rows.empty()) {
        report(tr("请先选择关节/Select joints first"));
        return;
    }
    int done = 0;
    for (int r : rows) {
        table_.jog(r, direction * ui->jog_speed->value());
        // Ended on release whatever the drive answered: a jog it took without saying so stops too.
        jogging_.push_back(r);
        done += table_.rows()[r].outcome == joints::action_outcome::jogging;
    }
    report(tr("点动%1个，共%2个/jogging %1 of %2").arg(done).arg(rows.size()));
}

void Joints::end_jogs()
{
    if (jogging_.empty())
        return;
    const std::vector<int> rows = std::move(jogging_);
    jogging_.clear();
    int done = 0;
    for (int r : rows) {
        table_.jog_end(r);
        done += table_.rows()[r].outcome == joints::action_outcome::halted;
    }
    report(tr("点动结束，已暂停%1个，共%2个/jog ended, halted %1 of %2").arg(done).arg(rows.size()));
}

void Joints::on_jog_minus_pressed() { jog_selected(-1); }
void Joints::on_jog_plus_pressed() { jog_selected(1); }
void Joints::on_jog_minus_released() { end_jogs(); }
void Joints::on_jog_plus_released() { end_jogs(); }

void Joints::on_home_clicked()
{
    on_selected([this](int r) { table_.home(r, static_cast<int8_t>(ui->home_method->currentData().toInt())); },
                joints::action_outcome::homing_started, tr("回零已开始%1个，共%2个/homing started on %1 of %2"));
}

void Joints::on_history_clicked()
{
    const std::vector<int> rows = selected_rows();
    if (rows.size() != 1) {
        report(tr("请选择一个关节/Select one joint"));
        return;
    }
    const joints::joint_state &j = table_.rows()[rows.front()];
    std::vector<uint32_t> codes;
    QString why;
    QStringList lines;
    if (!table_.read_history(rows.front(), &codes, &why)) {
        lines << in_language(why);
    } else if (codes.empty()) {
        lines << tr("故障历史为空/The error history is empty");
    } else {
        // 0x1003 entries: the error code in the low 16 bits, the maker's own bits above.
        for (size_t i = 0; i < codes.size(); ++i) {
            const auto code = static_cast<uint16_t>(codes[i] & 0xFFFF);
            const QString text = in_language(canopen::error_code_text(code)).replace(QLatin1Char('\n'), QLatin1Char(' '));
            lines << QStringLiteral("%1. %2 %3").arg(i + 1).arg(hex::prefixed(codes[i], 8), text);
        }
    }
    if (j.emcy_us >= 0)
        lines << tr("最近EMCY/Last EMCY: %1 @%2 s")
                     .arg(hex::prefixed(j.emcy_code, 4) + QLatin1Char(' ') +
                              in_language(canopen::error_code_text(j.emcy_code)).replace(QLatin1Char('\n'), QLatin1Char(' ')))
                     .arg(j.emcy_us / 1e6, 0, 'f', 3);
    desktop_seams::information(this, tr("故障历史/Error history") + QStringLiteral(" ") + j.name,
                               lines.join(QLatin1Char('\n')));
}

void Joints::on_clear_history_clicked()
{
    const std::vector<int> rows = selected_rows();
    if (rows.size() != 1) {
        report(tr("请选择一个关节/Select one joint"));
        return;
    }
    const QString name = table_.rows()[rows.front()].name;
    if (desktop_seams::question(this, tr("清除历史/Clear history"),
                                tr("清除%1的故障历史（0x1003）？/Clear the error history (0x1003) of %1?").arg(name))
        != QMessageBox::Yes)
        return;
    QString why;
    if (table_.clear_history(rows.front(), &why))
        report(tr("%1的故障历史已清除/error history of %1 cleared").arg(name));
    else
        report(tr("%1的故障历史未清除/error history of %1 not cleared").arg(name) + QStringLiteral(": ") + in_language(why));
}

void Joints::on_enable_all_clicked()
{
    refresh_rows();
    if (table_.rows().empty()) {
        report(tr("没有关节/No joints listed"));
        return;
    }
    if (desktop_seams::question(this, tr("全部使能/Enable all"),
                                tr("使能全部%1个关节？/Enable all %1 joints?").arg(table_.rows().size()))
        != QMessageBox::Yes)
        return;
    std::vector<int> rows(table_.rows().size());
    for (size_t r = 0; r < rows.size(); ++r)
        rows[r] = static_cast<int>(r);
    start_enable(rows);
}

void Joints::on_disable_all_clicked()
{
    joints::end_jobs_for_stop();
    int done = 0;
    int asked = 0;
    for (size_t r = 0; r < table_.rows().size(); ++r) {
        if (!table_.rows()[r].enabled)
            continue;
        ++asked;
        table_.disable(static_cast<int>(r));
        done += table_.rows()[r].outcome == joints::action_outcome::disabled;
    }
    report(tr("已禁用%1个，共%2个/disabled %1 of %2").arg(done).arg(asked));
}

void Joints::on_stop_all_clicked()
{
    joints::end_jobs_for_stop();
    last_stop_ = table_.stop_all();
    if (last_stop_.sent == 0) {
        report(tr("没有已使能的关节/No enabled joint to stop"));
        return;
    }
    report(tr("已确认停止%1个，共%2个/stop confirmed by %1 of %2")
               .arg(last_stop_.confirmed)
               .arg(last_stop_.sent));
}

void Joints::on_add_joint_clicked()
{
    const joints::joint_address a{ui->add_bus->value(), ui->add_node->value()};
    if (a.bus >= joints::bus_count()) {
        report(tr("总线%1未打开/Bus %1 is not open").arg(a.bus));
        return;
    }
    table_.add(a, ui->add_protocol->currentIndex() == 0 ? joints::joint_protocol::canopen : joints::joint_protocol::custom);
    model_->rows_changed();
}
