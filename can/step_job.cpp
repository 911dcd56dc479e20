#include "can/step_job.h"

#include "base/window_place.h"
#include "can/bus.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QPushButton>

namespace {

// A job that ends sooner shows no dialog at all.
constexpr int progress_delay_ms = 500;

}  // namespace

job_runner &job_runner::instance() { return can::bus::at(0).jobs(); }

job_runner::job_runner()
{
    // A zero timer fires once the events that came meanwhile have been handled: one step a turn.
    turn_.setInterval(0);
    connect(&turn_, &QTimer::timeout, this, &job_runner::next_step);
    // A program that quits mid-transfer still tells the server.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &job_runner::cancel);
}

bool job_runner::start(std::unique_ptr<step_job> job)
{
    if (busy() || !job)
        return false;
    job_ = std::move(job);
    turn_.start();
    return true;
}

void job_runner::cancel()
{
    if (!job_)
        return;
    job_->cancel();
    end(true);
}

void job_runner::next_step()
{
    if (!job_) {
        turn_.stop();
        return;
    }
    const bool more = job_->step();
    emit progress(job_->done(), job_->total());
    // A listener may have cancelled it meanwhile.
    if (job_ && !more)
        end(false);
}

void job_runner::end(bool cancelled)
{
    turn_.stop();
    // Free, and its progress dialog gone, before the job hears of its end: its ending may start
    // the next job.
    const std::unique_ptr<step_job> job = std::move(job_);
    emit finished(cancelled);
    job->ended(cancelled);
}

void end_job_for_stop() { job_runner::instance().cancel(); }

bool start_job_with_progress(std::unique_ptr<step_job> job, QWidget *parent, const QString &label)
{
    job_runner &runner = job_runner::instance();
    if (runner.busy())
        return false;
    auto *dialog = new QProgressDialog(label, QString(), 0, 0, parent);
    dialog->setObjectName(QStringLiteral("job_progress"));
    remember_place(dialog, QStringLiteral("job_progress"));
    if (parent)
        dialog->setWindowTitle(parent->windowTitle());
    auto *cancel = new QPushButton(QStringLiteral("取消/Cancel"));
    cancel->setObjectName(QStringLiteral("cancel_job"));
    dialog->setCancelButton(cancel);
    // It lays out its label and button itself: no smaller than they need.
    dialog->setMinimumSize(dialog->sizeHint());
    // A modal progress dialog turns the event loop inside setValue; this one never does.
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    dialog->setMinimumDuration(progress_delay_ms);
    dialog->setValue(0);
    QObject::connect(&runner, &job_runner::progress, dialog, [dialog](int done, int total) {
        if (total <= 0)
            return;
        dialog->setMaximum(total);
        dialog->setValue(qMin(done, total));
    });
    const QMetaObject::Connection cancelling = QObject::connect(dialog, &QProgressDialog::canceled, &runner, &job_runner::cancel);
    QObject::connect(&runner, &job_runner::finished, dialog, [dialog, cancelling] {
        // Gone at once: a late click on it must not reach a job started after this one.
        QObject::disconnect(cancelling);
        QObject::disconnect(&job_runner::instance(), nullptr, dialog, nullptr);
        dialog->hide();
        dialog->deleteLater();
    });
    return runner.start(std::move(job));
}
