#include "sequences/sequences_window.h"

#include "base/desktop_seams.h"
#include "base/document_lookup.h"
#include "base/language.h"
#include "base/shared_values.h"
#include "base/window_place.h"
#include "sequences/results_model.h"
#include "ui_sequences_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSaveFile>
#include <QSettings>
#include <QScrollBar>
#include <QStatusBar>

namespace {

constexpr int progress_interval_ms = 200;
// The log keeps its last lines; a long run's whole log goes to a file headless (--log).
constexpr int log_lines_kept = 5000;

const QString script_kind = QStringLiteral("script");
// Seconds a run from the window may take before it ends as an error; 0: no limit.
const QString time_limit_key = QStringLiteral("sequences/time_limit_s");

}  // namespace

Sequences::Sequences(QWidget *parent)
    : language_window(parent, QStringLiteral("Sequences")), ui(new Ui::Sequences), runner_(new sequences::sequence_runner(this))
{
    ui->setupUi(this);
    model_ = new sequences::results_model(runner_->book(), this);
    ui->results->setModel(model_);
    ui->results->verticalHeader()->hide();
    ui->results->verticalHeader()->setDefaultSectionSize(20);
    ui->results->horizontalHeader()->setSectionResizeMode(sequences::results_model::check_column, QHeaderView::Stretch);
    fit_columns();
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui->script->setFont(fixed);
    ui->log->setFont(fixed);
    ui->log->setMaximumBlockCount(log_lines_kept);
    ui->splitter->setSizes({270, 290, 110});
    // The progress line follows the window's width, whatever its text.
    ui->progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    connect(ui->run, &QPushButton::clicked, this, &Sequences::start_run);
    connect(ui->stop, &QPushButton::clicked, runner_, &sequences::sequence_runner::stop);
    connect(ui->open_script, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(desktop_seams::file_mode::open, script_kind, tr("打开脚本/Open script"),
                                      tr("脚本/Scripts") + QStringLiteral(" (*.js);;") + tr("所有文件/All files") + QStringLiteral(" (*)"));
        QString why;
        if (!path.isEmpty() && !load_script(path, &why))
            desktop_seams::warning(this, tr("错误/Error"), why);
    });
    connect(ui->save_script, &QPushButton::clicked, this, [this] {
        const QString path =
            ask_file(desktop_seams::file_mode::save, script_kind, tr("保存脚本/Save script"), tr("脚本/Scripts (*.js)"));
        QString why;
        if (path.isEmpty())
            return;
        if (save_script(path, &why))
            statusBar()->showMessage(tr("已保存/Saved: %1").arg(QDir::toNativeSeparators(path)));
        else
            desktop_seams::warning(this, tr("错误/Error"), why);
    });
    connect(ui->save_results, &QPushButton::clicked, this, [this] {
        const QString path = ask_file(desktop_seams::file_mode::save, QStringLiteral("report"),
                                      tr("保存结果/Save results"), tr("JUnit XML (*.xml)"));
        QString why;
        if (path.isEmpty())
            return;
        if (save_results(path, &why))
            statusBar()->showMessage(tr("已保存/Saved: %1").arg(QDir::toNativeSeparators(path)));
        else
            desktop_seams::warning(this, tr("错误/Error"), why);
    });
    connect(runner_, &sequences::sequence_runner::log_line, ui->log, &QPlainTextEdit::appendPlainText);
    connect(runner_, &sequences::sequence_runner::finished, this, &Sequences::run_finished);
    progress_timer_.setInterval(progress_interval_ms);
    connect(&progress_timer_, &QTimer::timeout, this, &Sequences::show_progress);
}

Sequences::~Sequences()
{
    // The runner stops a run still going before the form it reports into is gone.
    delete runner_;
    delete ui;
}

void Sequences::fit_columns()
{
    // As wide as the heading or the widest usual value, whichever is wider; the check's name
    // takes the rest.
    using m = sequences::results_model;
    const QFontMetrics text(ui->results->font());
    const QFontMetrics header(ui->results->horizontalHeader()->font());
    const std::pair<int, const char *> widest[] = {{m::time_column, "0000.000"},
                                                   {m::actual_column, "-12345678"},
                                                   {m::expected_column, "-12345678"},
                                                   {m::tolerance_column, "1000"},
                                                   {m::result_column, "00 失败/failed"}};
    for (const auto &column : widest) {
        const QString title = model_->headerData(column.first, Qt::Horizontal).toString();
        ui->results->setColumnWidth(
            column.first,
            qMax(header.size(0, title).width(), text.horizontalAdvance(QString::fromUtf8(column.second))) + 24);
    }
}

QString Sequences::ask_file(desktop_seams::file_mode mode, const QString &kind, const QString &caption,
                            const QString &filter)
{
    // Until a folder is remembered: the script's own, else the examples that come with the program.
    const QString folder = script_path_.isEmpty() ? document_lookup::locate(QStringLiteral("Document/sequences"))
                                                  : QFileInfo(script_path_).absolutePath();
    const QString name = kind == script_kind ? QStringLiteral("script.js") : QStringLiteral("results.xml");
    return desktop_seams::choose_file(mode, this, kind, caption, QDir(folder).filePath(name), filter);
}

bool Sequences::load_script(const QString &path, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (why)
            *why = tr("无法读取文件/Cannot read the file") + QStringLiteral(": ") + f.errorString();
        return false;
    }
    ui->script->setPlainText(QString::fromUtf8(f.readAll()));
    script_path_ = path;
    return true;
}

bool Sequences::save_script(const QString &path, QString *why)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(ui->script->toPlainText().toUtf8()) < 0 || !f.commit()) {
        if (why)
            *why = tr("无法写入文件/Cannot write the file") + QStringLiteral(": ") + f.errorString();
        return false;
    }
    script_path_ = path;
    return true;
}

bool Sequences::save_results(const QString &path, QString *why)
{
    if (sequences::save_junit_report(path, runner_->book(), runner_->report(), why))
        return true;
    if (why)
        *why = tr("无法写入文件/Cannot write the file") + QStringLiteral(": ") + *why;
    return false;
}

bool Sequences::start_run()
{
    if (runner_->running())
        return false;
    if (device_open != 1) {
        desktop_seams::warning(this, tr("错误/Error"), tr("总线未打开/The bus is not open"));
        return false;
    }
    ui->log->clear();
    const QString name = script_path_.isEmpty() ? QStringLiteral("script.js") : script_path_;
    // None by default: a long endurance run from the window is ended with Stop.
    runner_->set_time_limit_s(
        qMax(0, QSettings(desktop_seams::settings_file(), QSettings::IniFormat).value(time_limit_key, 0).toInt()));
    if (!runner_->start(ui->script->toPlainText(), name))
        return false;
    model_->reset();
    finished_text_.clear();
    set_running(true);
    return true;
}

void Sequences::set_running(bool running)
{
    ui->run->setEnabled(!running);
    ui->stop->setEnabled(running);
    ui->open_script->setEnabled(!running);
    ui->save_results->setEnabled(!running);
    ui->script->setReadOnly(running);
    if (running)
        progress_timer_.start();
    else
        progress_timer_.stop();
    show_progress();
}

void Sequences::run_finished(sequences::run_end end, const QString &)
{
    switch (end) {
    case sequences::run_end::passed: finished_text_ = tr("通过/Passed"); break;
    case sequences::run_end::failed: finished_text_ = tr("失败/Failed"); break;
    case sequences::run_end::error: finished_text_ = tr("错误/Error"); break;
    case sequences::run_end::stopped: finished_text_ = tr("已停止/Stopped"); break;
    }
    set_running(false);
}

void Sequences::show_progress()
{
    // The table catches up with the book here, a few times a second, not once per check.
    const QScrollBar *bar = ui->results->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    model_->sync();
    if (following)
        ui->results->scrollToBottom();

    QString text;
    if (runner_->running())
        text = tr("运行中/Running") + QStringLiteral(": ") + runner_->progress_text();
    else if (!finished_text_.isEmpty())
        text = finished_text_ + QStringLiteral(": ") + runner_->progress_text();
    else
        text = tr("就绪/Ready");
    ui->progress->setText(text);
}

void Sequences::closeEvent(QCloseEvent *e)
{
    // A run does not go on unseen: closing the window stops it and its joints.
    runner_->stop();
    QMainWindow::closeEvent(e);
}

void Sequences::retranslate()
{
    ui->retranslateUi(this);
    emit model_->headerDataChanged(Qt::Horizontal, 0, sequences::results_model::column_count - 1);
    fit_columns();
    show_progress();
}
