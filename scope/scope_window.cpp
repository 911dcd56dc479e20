#include "scope/scope_window.h"

#include "ui_scope_window.h"

#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/shared_values.h"
#include "canopen/canopen_frames.h"
#include "custom_protocol/custom_commands.h"
#include "scope/scope_chart.h"
#include "scope/scope_csv.h"
#include "scope/scope_sampler.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>
#include <QVBoxLayout>

namespace {

constexpr int redraw_period_ms = 50;            // a live chart at 20 frames per second
constexpr size_t csv_rows_per_slice = 5000;     // a few milliseconds of writing between events

QString ask_file(QWidget *parent, const QString &kind, const QString &caption, const QString &filter)
{
    return desktop_seams::choose_file(desktop_seams::file_mode::save, parent, kind, caption, QString(), filter);
}

QString with_suffix(QString path, const QString &suffix)
{
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

}  // namespace

scope_window::scope_window(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::scope_window), sampler_(new scope::sampler(this))
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("示波器/Scope"));
    chart_ = new scope::chart(ui->chart_area);
    chart_->setObjectName(QStringLiteral("chart"));
    auto *layout = new QVBoxLayout(ui->chart_area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_);
    chart_->set_recording(&sampler_->data());

    const std::pair<QCheckBox *, scope::channel> toggles[] = {
        {ui->show_position, scope::position}, {ui->show_velocity, scope::velocity}, {ui->show_current, scope::current},
        {ui->show_setpoint, scope::setpoint}, {ui->show_state, scope::state}};
    for (const auto &t : toggles) {
        const scope::channel ch = t.second;
        connect(t.first, &QCheckBox::toggled, this, [this, ch](bool on) { chart_->set_channel_shown(ch, on); });
    }
    connect(ui->normalised, &QCheckBox::toggled, chart_, &scope::chart::set_normalised);
    connect(chart_, &scope::chart::cursor_read, ui->cursor_readout, &QLabel::setText);
    connect(sampler_, &scope::sampler::triggered, this, &scope_window::show_progress);
    connect(sampler_, &scope::sampler::joint_lost, this, [this] {
        stop_recording();
        statusBar()->showMessage(tr("无应答，记录已停止/No reply: recording stopped"));
    });
    redraw_timer_.setInterval(redraw_period_ms);
    connect(&redraw_timer_, &QTimer::timeout, this, [this] {
        chart_->refresh();
        show_progress();
    });
    update_controls();
}

scope_window::~scope_window() { delete ui; }

std::unique_ptr<scope::sample_source> scope_window::source_for_joint()
{
    if (device_open == 0 || node_connected == 0)
        return nullptr;
    const bool canopen_in_use =
        canopen_control_open == 1
        || (custom_control_open != 1 && protocol_name == QStringLiteral("CANopen") && canopen_supported != 0);
    if (canopen_in_use && sdo_request_id > static_cast<int32_t>(canopen::sdo_request_base))
        return std::make_unique<scope::canopen_source>(scope::sampler_bus(), static_cast<uint32_t>(sdo_request_id));
    if (custom_request_id > static_cast<int32_t>(custom_id::request_base))
        return std::make_unique<scope::custom_source>(scope::sampler_bus(), static_cast<uint32_t>(custom_request_id));
    return nullptr;
}

void scope_window::comboBox(int32_t language)
{
    switch_language(translator, language);
}

void scope_window::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        update_controls();
    }
}

void scope_window::closeEvent(QCloseEvent *e)
{
    if (sampler_->sampling())
        stop_recording();
    e->accept();
}

void scope_window::on_record_clicked()
{
    if (sampler_->sampling()) {
        stop_recording();
        return;
    }
    std::unique_ptr<scope::sample_source> source = source_for_joint();
    if (!source) {
        statusBar()->showMessage(tr("未连接关节/No joint connected"));
        return;
    }
    chart_->set_available(static_cast<scope::channel_mask>(source->channels() | scope::bit(scope::setpoint)));
    sampler_->set_source(std::move(source));
    sampler_->set_rate_hz(scope::sampler::rates_hz[ui->rate->currentIndex()]);
    ui->cursor_readout->clear();
    chart_->set_live(true);
    if (ui->trigger->isChecked())
        sampler_->arm(ui->pretrigger->value());
    else
        sampler_->record();
    redraw_timer_.start();
    update_controls();
    show_progress();
}

void scope_window::stop_recording()
{
    sampler_->stop();
    redraw_timer_.stop();
    chart_->set_live(false);
    chart_->set_view(0.0, sampler_->data().duration_s());
    update_controls();
    show_progress();
}

void scope_window::on_rate_activated(int index) { sampler_->set_rate_hz(scope::sampler::rates_hz[index]); }

void scope_window::update_controls()
{
    const bool sampling = sampler_->sampling();
    ui->record->setText(sampling ? tr("停止/Stop") : tr("记录/Record"));
    ui->record->setEnabled(!exporting_);
    ui->rate->setEnabled(!sampling);
    ui->trigger->setEnabled(!sampling);
    ui->pretrigger->setEnabled(!sampling);
    const bool have_data = !sampling && !sampler_->data().empty() && !exporting_;
    ui->export_csv->setEnabled(have_data);
    ui->export_png->setEnabled(!exporting_);
}

void scope_window::show_progress()
{
    const scope::recording &r = sampler_->data();
    QString text;
    switch (sampler_->state()) {
    case scope::capture::phase::armed:
        text = tr("等待运动指令/Waiting for a motion command");
        break;
    case scope::capture::phase::recording:
        text = tr("记录中/Recording: %1 samples, %2 s").arg(r.size()).arg(r.duration_s(), 0, 'f', 1);
        break;
    case scope::capture::phase::idle:
        text = tr("已停止/Stopped: %1 samples, %2 s").arg(r.size()).arg(r.duration_s(), 0, 'f', 1);
        break;
    }
    if (sampler_->failed_reads() > 0)
        text += QStringLiteral("  ") + tr("无应答/No reply: %1").arg(sampler_->failed_reads());
    statusBar()->showMessage(text);
}

bool scope_window::write_csv_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const scope::recording &r = sampler_->data();
    scope::csv_writer writer(r, scope::all_channels, &file);
    QProgressDialog progress(tr("导出中/Exporting"), tr("取消/Cancel"), 0, static_cast<int>(r.size()), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    while (!writer.done()) {
        if (!writer.write_some(csv_rows_per_slice))
            return false;
        progress.setValue(static_cast<int>(writer.rows_written()));
        QCoreApplication::processEvents();
        // A cancelled export leaves no half-written file behind; it is no failure either.
        if (progress.wasCanceled()) {
            file.remove();
            return true;
        }
    }
    return file.flush();
}

void scope_window::on_export_csv_clicked()
{
    const QString path = with_suffix(ask_file(this, QStringLiteral("csv"), tr("导出CSV/Export CSV"), QStringLiteral("CSV (*.csv)")),
                                     QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    exporting_ = true;
    update_controls();
    const bool ok = write_csv_file(path);
    exporting_ = false;
    update_controls();
    if (!ok)
        desktop_seams::warning(this, tr("错误"), tr("无法写入文件/Cannot write the file: %1").arg(path));
}

void scope_window::on_export_png_clicked()
{
    const QString path = with_suffix(ask_file(this, QStringLiteral("png"), tr("导出PNG/Export PNG"), QStringLiteral("PNG (*.png)")),
                                     QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    if (!chart_->grab().save(path, "PNG"))
        desktop_seams::warning(this, tr("错误"), tr("无法写入文件/Cannot write the file: %1").arg(path));
}
