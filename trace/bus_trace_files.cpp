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

// The trace window's side of its logs: the file question, progress, a tab per opened log, and
// handing the log shown to the playback panel. Reading and writing the files is trace_log's.

namespace {

constexpr int listed_refusals = 20;

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
    trace::trace_model *m = sources_[static_cast<size_t>(index)].model;
    if (ui->replay_panel->playing() == m)
        stop_replay();
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

void Bus_trace::set_replay_clock(replay_clock clock) { ui->replay_panel->set_clock(std::move(clock)); }

bool Bus_trace::start_replay()
{
    if (current_ == 0) {
        say(tr("请先打开日志/Open a log first"));
        return false;
    }
    return ui->replay_panel->start(model(), current().plan);
}

void Bus_trace::stop_replay() { ui->replay_panel->stop(); }

void Bus_trace::refresh_replay_controls()
{
    ui->replay_panel->set_log_shown(current_ > 0);
    ui->send_ids->setEnabled(!ui->replay_panel->running());
}
