#include "trace/bus_trace.h"

#include "base/desktop_seams.h"
#include "base/hex.h"
#include "can/adapter.h"
#include "can/vci/bus_backend.h"
#include "trace/trace_log.h"
#include "ui_bus_trace.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>

// The trace window's side of its logs: the file question, progress, a tab per opened log,
// and playing a log back or sending it. Reading and writing the files is trace_log's, what to
// send and when is the send plan's and the replay scheduler's.

namespace {

constexpr int listed_refusals = 20;
constexpr int listed_identifiers = 24;
// The playback looks at least this often, to move its progress bar.
constexpr int64_t longest_replay_wait_ms = 100;
// Frames sent per turn of the event loop at the most: each is a hand-over to the bus.
constexpr size_t frames_sent_per_turn = 100;

}  // namespace

QString Bus_trace::ask_file(bool saving)
{
    const QString filter = tr("candump 日志/candump log (*.log *.txt);;*");
    const QString kind = QStringLiteral("candump");
    return saving ? desktop_seams::choose_file(desktop_seams::file_mode::save, this, kind, tr("保存跟踪/Save trace"),
                                               QStringLiteral("bus.log"), filter)
                  : desktop_seams::choose_file(desktop_seams::file_mode::open, this, kind, tr("打开跟踪/Open trace"),
                                               QString(), filter);
}

bool Bus_trace::load_log(const QString &path, QString *error)
{
    QProgressDialog progress(tr("读取日志/Reading the log"), tr("取消/Cancel"), 0, 1000, this);
    progress.setMinimumDuration(300);
    trace::log_file log =
        trace::open_log(path, static_cast<size_t>(ui->cap->value()), [&](int permille) {
            progress.setValue(permille);
            QApplication::processEvents();
            return !progress.wasCanceled();
        });
    if (log.error != trace::log_error::none) {
        if (error) {
            switch (log.error) {
            case trace::log_error::cannot_open: *error = tr("无法打开文件/Cannot open the file"); break;
            case trace::log_error::no_frames: *error = tr("文件中没有 candump 帧/No candump frames in the file"); break;
            default: error->clear(); break;  // the user cancelled
            }
        }
        if (log.error == trace::log_error::no_frames)
            report_refused(path, log.read);
        return false;
    }
    auto *m = new trace::trace_model(log.read.log.cap(), this);
    m->context().error_text = [this](uint16_t code) { return error_text(code); };
    m->set_relative_time(ui->relative_time->isChecked());
    m->set_filter(live_model()->filter());
    m->load(std::move(log.read.log));
    sources_.push_back({m, path, trace::send_plan(m->log())});
    const int tab = ui->sources->addTab(QFileInfo(path).fileName());
    ui->sources->setTabToolTip(tab, path);
    ui->sources->setCurrentIndex(tab);  // shows it
    if (log.read.refused_lines)
        report_refused(path, log.read);
    else
        say(tr("已打开 %1：%2 帧/Opened %1: %2 frames").arg(QFileInfo(path).fileName()).arg(m->frame_count()));
    return true;
}

void Bus_trace::report_refused(const QString &path, const trace::read_result &read)
{
    const auto reason = [this](trace::line_fault why) {
        switch (why) {
        case trace::line_fault::too_long: return tr("行太长/line too long");
        case trace::line_fault::fields: return tr("不是“(时间) 接口 帧 [T|R]”/not \"(time) interface frame [T|R]\"");
        case trace::line_fault::time: return tr("时间无效/bad time");
        case trace::line_fault::identifier: return tr("标识符无效/bad identifier");
        case trace::line_fault::data: return tr("数据无效/bad data");
        case trace::line_fault::length: return tr("长度无效/bad length");
        case trace::line_fault::direction: return tr("方向不是 T 或 R/direction is not T or R");
        }
        return QString();
    };
    const QString name = QFileInfo(path).fileName();
    QStringList lines;
    for (size_t i = 0; i < read.refused.size() && i < size_t(listed_refusals); ++i)
        lines << tr("第 %1 行/line %1").arg(read.refused[i].line) + QStringLiteral(": ") + reason(read.refused[i].why);
    if (read.refused_lines > size_t(lines.size()))
        lines << tr("另有 %1 行/and %1 more lines").arg(read.refused_lines - size_t(lines.size()));
    say(tr("%1：%2 帧，跳过 %3 行/%1: %2 frames, %3 lines skipped")
            .arg(name)
            .arg(read.log.size())
            .arg(read.refused_lines));
    desktop_seams::information(this, tr("提示/Notice"),
                               tr("%1 中有 %2 行无法读取，已跳过/%2 lines of %1 could not be read and were skipped:")
                                       .arg(name)
                                       .arg(read.refused_lines) +
                                   QStringLiteral("\n") + lines.join(QLatin1Char('\n')));
}

void Bus_trace::close_source(int index)
{
    if (index <= 0 || index >= static_cast<int>(sources_.size()))
        return;
    if (replaying_ == index)
        stop_replay();
    else if (replaying_ > index)
        --replaying_;
    trace::trace_model *m = sources_[static_cast<size_t>(index)].model;
    if (current_ >= index)
        ui->sources->setCurrentIndex(current_ == index ? 0 : current_ - 1);
    sources_.erase(sources_.begin() + index);
    ui->sources->removeTab(index);
    current_ = ui->sources->currentIndex();
    show_source(current_);
    delete m;
}

bool Bus_trace::save_log(const QString &path)
{
    const trace::trace_model *m = model();
    QProgressDialog progress(tr("保存日志/Saving the log"), tr("取消/Cancel"), 0, qMax(1, m->rowCount()), this);
    progress.setMinimumDuration(300);
    const bool saved = trace::save_log(path, m->log(), m->rows(), [&](size_t done) {
        progress.setValue(static_cast<int>(done));
        QApplication::processEvents();
        return !progress.wasCanceled();
    });
    // A cancelled save leaves no half-written log behind; it is no failure either.
    if (!saved && progress.wasCanceled()) {
        QFile::remove(path);
        return true;
    }
    return saved;
}

void Bus_trace::set_replay_clock(replay_clock clock) { replay_clock_ = std::move(clock); }

int64_t Bus_trace::replay_now_us() const
{
    return replay_clock_ ? replay_clock_() : replay_elapsed_.nsecsElapsed() / 1000;
}

bool Bus_trace::confirm_sending(const trace::send_plan &plan)
{
    const size_t frames = plan.frames_to_send();
    if (frames == 0) {
        desktop_seams::information(this, tr("提示/Notice"),
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
    return desktop_seams::question(this, tr("发送到总线/Send to the bus"), text) == QMessageBox::Yes;
}

bool Bus_trace::start_replay()
{
    if (current_ == 0) {
        say(tr("请先打开日志/Open a log first"));
        return false;
    }
    if (replay_.running())
        stop_replay();
    const bool sending = ui->send_to_bus->isChecked();
    if (sending && !confirm_sending(current().plan))
        return false;
    replaying_ = current_;
    sending_ = sending;
    replay_sent_ = replay_skipped_ = replay_failed_ = 0;
    replay_elapsed_.start();
    ui->replay_progress->setValue(0);
    model()->rewind();
    replay_.start(model()->log(), ui->speed->value(), static_cast<int64_t>(ui->gap_limit->value() * 1e6),
                  replay_now_us());
    refresh_replay_controls();
    replay_step();
    return true;
}

void Bus_trace::replay_step()
{
    if (!replay_.running() || replaying_ < 0)
        return;
    source &s = sources_[static_cast<size_t>(replaying_)];
    const std::vector<size_t> due =
        replay_.due(replay_now_us(), sending_ ? frames_sent_per_turn : trace::replay_scheduler::max_batch);
    for (size_t i : due) {
        const trace::trace_record &r = s.model->frame(i);
        if (!sending_)
            continue;
        if (s.plan.skips(r)) {
            ++replay_skipped_;
        } else if (s.plan.sends(r)) {
            if (send_frame(r.id, r.data, r.len, r.remote() ? 1 : 0)) {
                ++replay_sent_;
            } else {
                ++replay_failed_;
                if (vci::bus_lost()) {
                    finish_replay(tr("总线已断开，回放停止/The bus is gone: playback stopped"));
                    return;
                }
            }
        }
    }
    if (!due.empty()) {
        s.model->advance(due.back() + 1);
        if (replaying_ == current_ && ui->follow->isChecked())
            ui->trace->scrollToBottom();
    }
    const int64_t total = replay_.total_us();
    ui->replay_progress->setValue(total > 0 ? static_cast<int>(replay_.played_us() * 1000 / total) : 1000);
    const int decimals = total < 10000000 ? 2 : 1;
    ui->replay_progress->setFormat(QStringLiteral("%1 / %2 s")
                                       .arg(static_cast<double>(replay_.played_us()) / 1e6, 0, 'f', decimals)
                                       .arg(static_cast<double>(total) / 1e6, 0, 'f', decimals));
    if (replay_.finished()) {
        finish_replay(tr("回放完成/Playback finished"));
        return;
    }
    const int64_t wait_ms = (replay_.next_due_us() - replay_now_us() + 999) / 1000;
    replay_timer_.start(static_cast<int>(qBound<int64_t>(0, wait_ms, longest_replay_wait_ms)));
}

void Bus_trace::finish_replay(const QString &why)
{
    QString text = why;
    if (sending_) {
        text += tr("：发送 %1 帧/: %1 frames sent").arg(replay_sent_);
        if (replay_skipped_)
            text += tr("，跳过 %1 帧（此适配器无法发送）/, %1 skipped (this adapter cannot send them)").arg(replay_skipped_);
        if (replay_failed_)
            text += tr("，%1 帧发送失败/, %1 could not be sent").arg(replay_failed_);
    }
    stop_replay();
    say(text);
}

void Bus_trace::stop_replay()
{
    replay_timer_.stop();
    if (replaying_ >= 0 && replaying_ < static_cast<int>(sources_.size())) {
        // The tab shows its whole log again.
        trace::trace_model *m = sources_[static_cast<size_t>(replaying_)].model;
        m->advance(m->frame_count());
    }
    replay_.stop();
    replaying_ = -1;
    sending_ = false;
    refresh_replay_controls();
}

void Bus_trace::refresh_replay_controls()
{
    const bool file = current_ > 0;
    const bool running = replay_.running();
    ui->replay_panel->setEnabled(file || running);
    ui->replay->setEnabled(!running);
    ui->send_to_bus->setEnabled(!running);
    ui->replay_start->setEnabled(file && !running);
    ui->replay_stop->setEnabled(running);
    ui->send_ids->setEnabled(!running);
}
