#include "trace/replay_panel.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "trace/trace_model.h"

#include "ui_replay_panel.h"

#include <QEvent>

namespace {

constexpr int listed_identifiers = 24;
// The playback looks at least this often, to move its progress bar.
constexpr int64_t longest_replay_wait_ms = 100;
// Frames sent per turn of the event loop at the most: each is a hand-over to the bus.
constexpr size_t frames_sent_per_turn = 100;

}  // namespace

Replay_panel::Replay_panel(QWidget *parent) : QWidget(parent), ui(new Ui::Replay_panel)
{
    ui->setupUi(this);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Replay_panel::step);
    connect(ui->replay_start, &QPushButton::clicked, this, &Replay_panel::start_requested);
    connect(ui->replay_stop, &QPushButton::clicked, this, [this] {
        if (replay_.running())
            finish(tr("回放已停止/Playback stopped"));
    });
    connect(ui->speed, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double speed) {
        if (!replay_.running())
            return;
        replay_.set_speed(speed, now_us());
        step();
    });
    connect(ui->gap_limit, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double seconds) {
        if (!replay_.running())
            return;
        replay_.set_gap_limit(static_cast<int64_t>(seconds * 1e6));
        step();
    });
    refresh();
}

Replay_panel::~Replay_panel() { delete ui; }

void Replay_panel::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

int64_t Replay_panel::now_us() const { return clock_ ? clock_() : elapsed_.nsecsElapsed() / 1000; }

void Replay_panel::set_log_shown(bool shown)
{
    log_shown_ = shown;
    refresh();
}

void Replay_panel::refresh()
{
    const bool running = replay_.running();
    setEnabled(log_shown_ || running);
    ui->replay->setEnabled(!running);
    ui->send_to_bus->setEnabled(!running);
    ui->replay_start->setEnabled(log_shown_ && !running);
    ui->replay_stop->setEnabled(running);
}

bool Replay_panel::confirm_sending(const trace::send_plan &plan)
{
    const size_t frames = plan.frames_to_send();
    if (frames == 0) {
        desktop_seams::information(window(), tr("提示/Notice"),
                                   tr("没有勾选要发送的帧（见“发送选择”）/No frames are ticked to send (see \"To send\")"));
        return false;
    }
    QStringList ids;
    int listed = 0;
    for (const trace::send_choice &c : plan.choices()) {
        if (!c.ticked || !c.sendable)
            continue;
        if (listed++ < listed_identifiers)
            ids << QStringLiteral("%1 ×%2").arg(hex::digits(c.id, 3)).arg(c.frames);
    }
    if (listed > listed_identifiers)
        ids << tr("另有 %1 个标识符/and %1 more identifiers").arg(listed - listed_identifiers);
    QString text = tr("将向总线发送 %1 帧，发往 %2 个标识符/%1 frames go onto the bus, to %2 identifiers:")
                       .arg(frames)
                       .arg(listed) +
                   QStringLiteral("\n") + ids.join(QStringLiteral(", "));
    if (const size_t skipped = plan.frames_skipped())
        text += QStringLiteral("\n") + tr("%1 帧此适配器无法发送，将跳过/%1 frames this adapter cannot send are skipped")
                                           .arg(skipped);
    text += QStringLiteral("\n") + tr("发送？/Send them?");
    return desktop_seams::question(window(), tr("发送到总线/Send to the bus"), text) == QMessageBox::Yes;
}

bool Replay_panel::start(trace::trace_model *log, const trace::send_plan &plan)
{
    if (replay_.running())
        stop();
    const bool sending = ui->send_to_bus->isChecked();
    if (sending && !confirm_sending(plan))
        return false;
    playing_ = log;
    plan_ = plan;
    sending_ = sending;
    sent_ = skipped_ = failed_ = 0;
    elapsed_.start();
    ui->replay_progress->setValue(0);
    log->rewind();
    replay_.start(log->log(), ui->speed->value(), static_cast<int64_t>(ui->gap_limit->value() * 1e6), now_us());
    refresh();
    emit running_changed(true);
    step();
    return true;
}

void Replay_panel::step()
{
    if (!replay_.running() || !playing_)
        return;
    const std::vector<size_t> due =
        replay_.due(now_us(), sending_ ? frames_sent_per_turn : trace::replay_scheduler::max_batch);
    for (size_t i : due) {
        const trace::trace_record &r = playing_->frame(i);
        if (!sending_)
            continue;
        if (plan_.skips(r)) {
            ++skipped_;
        } else if (plan_.sends(r)) {
            if (send_frame(r.id, r.data, r.len, r.remote() ? 1 : 0)) {
                ++sent_;
            } else {
                ++failed_;
                if (vci::bus_lost()) {
                    finish(tr("总线已断开，回放停止/The bus is gone: playback stopped"));
                    return;
                }
            }
        }
    }
    if (!due.empty()) {
        playing_->advance(due.back() + 1);
        emit advanced(playing_);
    }
    const int64_t total = replay_.total_us();
    ui->replay_progress->setValue(total > 0 ? static_cast<int>(replay_.played_us() * 1000 / total) : 1000);
    const int decimals = total < 10000000 ? 2 : 1;
    ui->replay_progress->setFormat(QStringLiteral("%1 / %2 s")
                                       .arg(static_cast<double>(replay_.played_us()) / 1e6, 0, 'f', decimals)
                                       .arg(static_cast<double>(total) / 1e6, 0, 'f', decimals));
    if (replay_.finished()) {
        finish(tr("回放完成/Playback finished"));
        return;
    }
    const int64_t wait_ms = (replay_.next_due_us() - now_us() + 999) / 1000;
    timer_.start(static_cast<int>(qBound<int64_t>(0, wait_ms, longest_replay_wait_ms)));
}

void Replay_panel::finish(const QString &why)
{
    QString text = why;
    if (sending_) {
        text += tr("：发送 %1 帧/: %1 frames sent").arg(sent_);
        if (skipped_)
            text += tr("，跳过 %1 帧（此适配器无法发送）/, %1 skipped (this adapter cannot send them)").arg(skipped_);
        if (failed_)
            text += tr("，%1 帧发送失败/, %1 could not be sent").arg(failed_);
    }
    stop();
    emit message(text);
}

void Replay_panel::stop()
{
    timer_.stop();
    // The tab shows its whole log again.
    if (playing_)
        playing_->advance(playing_->frame_count());
    const bool was_running = replay_.running();
    replay_.stop();
    playing_ = nullptr;
    sending_ = false;
    refresh();
    if (was_running)
        emit running_changed(false);
}
