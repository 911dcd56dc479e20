#include "trace/bus_trace.h"

#include "base/desktop_seams.h"
#include "can/adapter.h"
#include "can/vci/bus_tap.h"
#include "trace/trace_log.h"
#include "ui_bus_trace.h"

#include <QApplication>
#include <QProgressDialog>

// The trace window's side of its files: the file question, progress, applying an opened log,
// and playing it back. Reading and writing the files is trace_log's.

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
    trace::log_file log = trace::open_log(path, [&](int permille) {
        progress.setValue(permille);
        QApplication::processEvents();
        return !progress.wasCanceled();
    });
    if (log.error != trace::log_error::none) {
        if (error)
            *error = log.error == trace::log_error::cannot_open ? tr("无法打开文件/Cannot open the file")
                                                                : tr("文件中没有 candump 帧/No candump frames in the file");
        return false;
    }
    stop_replay();
    live_ = false;
    model_->clear();
    model_->append(log.read.records);
    loaded_ = std::move(log.read.records);
    refresh_nodes();
    refresh_identifiers();
    if (log.read.skipped_lines || log.read.truncated)
        statusBar()->showMessage(tr("跳过 %1 行/%1 lines skipped%2")
                                     .arg(log.read.skipped_lines)
                                     .arg(log.read.truncated ? tr(", 已截断/cut short") : QString()),
                                 5000);
    return true;
}

bool Bus_trace::save_log(const QString &path)
{
    std::vector<const trace::trace_record *> rows;
    rows.reserve(static_cast<size_t>(model_->rowCount()));
    for (int i = 0; i < model_->rowCount(); ++i)
        rows.push_back(&model_->row_record(i));
    QProgressDialog progress(tr("保存日志/Saving the log"), tr("取消/Cancel"), 0, qMax(1, model_->rowCount()), this);
    progress.setMinimumDuration(300);
    const int64_t epoch = live_ ? vci::bus_tap::epoch_wall_us() : 0;
    return trace::save_log(path, rows, epoch, QStringLiteral("can0"), [&](size_t done) {
        progress.setValue(static_cast<int>(done));
        QApplication::processEvents();
        return !progress.wasCanceled();
    });
}

bool Bus_trace::start_replay()
{
    if (loaded_.empty()) {
        statusBar()->showMessage(tr("请先打开日志/Open a log first"), 3000);
        return false;
    }
    // The replayed frames are shown as they go out on the bus.
    live_ = true;
    model_->clear();
    replay_clock_.start();
    replay_.start(loaded_, ui->speed->value(), 0);
    replay_step();
    return true;
}

void Bus_trace::stop_replay()
{
    replay_timer_.stop();
    replay_ = trace::replay_scheduler();
    if (ui->replay->isChecked()) {
        const QSignalBlocker block(ui->replay);
        ui->replay->setChecked(false);
    }
}

void Bus_trace::replay_step()
{
    const int64_t now = replay_clock_.nsecsElapsed() / 1000;
    for (const trace::trace_record &r : replay_.due(now)) {
        if (!send_frame(r.id, r.data, r.len, r.remote() ? 1 : 0)) {
            statusBar()->showMessage(tr("回放发送失败/Replay could not send"), 3000);
            stop_replay();
            return;
        }
    }
    if (replay_.finished()) {
        stop_replay();
        return;
    }
    const int64_t wait_ms = (replay_.next_due_us() - replay_clock_.nsecsElapsed() / 1000) / 1000;
    replay_timer_.start(static_cast<int>(qBound<int64_t>(0, wait_ms, 1000)));
}
