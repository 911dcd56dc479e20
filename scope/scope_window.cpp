#include "scope/scope_window.h"

#include "ui_scope_window.h"

#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/shared_values.h"
#include "base/window_place.h"
#include "can/bus.h"
#include "can/bus_box.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/drive_changes.h"
#include "canopen/sdo_job.h"
#include "canopen/cia402.h"
#include "can/step_job.h"
#include "custom_protocol/custom_commands.h"
#include "objects/eds.h"
#include "canopen/value_codec.h"
#include "canopen/sdo_bus_link.h"
#include "objects/standard_objects.h"
#include "scope/scope_chart.h"
#include "scope/scope_csv.h"
#include "scope/scope_pdo.h"
#include "scope/scope_recorder.h"
#include "scope/scope_sampler.h"

#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressDialog>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int redraw_period_ms = 50;            // a live chart at 20 frames per second
constexpr size_t csv_rows_per_slice = 5000;     // a few milliseconds of writing between events
constexpr int recorder_poll_ms = 100;           // the recorder's state, while it records
// The recorder's length: its most (16,384 samples, 4.1 s at 4 kHz) as far as one upload carries.
constexpr double recorder_length_s = 4.096;

// The source list's item for the drive's recorder.
QString recorder_source_text() { return QStringLiteral("驱动器记录器/Drive recorder"); }
// The item is known by this mark, not by its text, which follows the language.
const QString recorder_mark = QStringLiteral("recorder");
// What marks its recordings: "drive recorder, 4 kHz".
QString recorder_marking(int sample_us)
{
    const double khz = sample_us > 0 ? 1000.0 / sample_us : 0.0;
    return QStringLiteral("驱动器记录器，%1 kHz/drive recorder, %1 kHz").arg(khz, 0, 'g', 3);
}
enum column { col_channel, col_object, col_scale, col_unit, col_cursor1, col_cursor2, col_delta };

QString ask_file(QWidget *parent, const QString &kind, const QString &caption, const QString &filter)
{
    return desktop_seams::choose_file(desktop_seams::file_mode::save, parent, kind, caption,
                                      QStringLiteral("scope.") + kind, filter);
}

QString with_suffix(QString path, const QString &suffix)
{
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

QString object_text(const scope::channel_def &c)
{
    if (c.kind == scope::role::setpoint)
        return QStringLiteral("—");
    return scope::object_address(c.index, c.sub);
}

}  // namespace

Scope::Scope(QWidget *parent)
    : language_window(parent, QStringLiteral("Scope")), ui(new Ui::Scope), sampler_(new scope::sampler(this))
{
    ui->setupUi(this);
    bus_box_ = add_bus_box(this);
    chart_ = new scope::chart(ui->chart_area);
    chart_->setObjectName(QStringLiteral("chart"));
    auto *layout = new QVBoxLayout(ui->chart_area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_);
    chart_->set_recording(&sampler_->data());
    ui->splitter->setStretchFactor(0, 1);
    ui->splitter->setStretchFactor(1, 0);

    ui->channels->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->channels->horizontalHeader()->setStretchLastSection(true);
    ui->object_choice->setInsertPolicy(QComboBox::NoInsert);
    ui->object_choice->completer()->setFilterMode(Qt::MatchContains);
    ui->object_choice->completer()->setCompletionMode(QCompleter::PopupCompletion);
    // The list follows the dictionary: a data sheet loaded meanwhile shows at the next look.
    ui->object_choice->installEventFilter(this);

    connect(ui->channels, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (filling_ || item->row() >= static_cast<int>(channels_.size()))
            return;
        scope::channel_def &c = channels_[static_cast<size_t>(item->row())];
        if (item->column() == col_channel) {
            c.shown = item->checkState() == Qt::Checked;
            chart_->set_channel_shown(item->row(), c.shown);
            return;
        }
        if (item->column() == col_scale) {
            bool ok = false;
            const double v = QLocale::c().toDouble(item->text().trimmed(), &ok);
            if (ok && std::isfinite(v) && v != 0.0)
                c.scale = v;
            filling_ = true;  // a scale that is no number goes back to the one in use
            item->setText(QString::number(c.scale, 'g', 10));
            filling_ = false;
        } else if (item->column() == col_unit) {
            c.unit = item->text().trimmed();
        } else {
            return;
        }
        if (!sampler_->sampling())
            sampler_->relabel(item->row(), c);
        fill_cursor_values();
        update_cap_info();
        chart_->refresh();
    });
    connect(ui->normalised, &QCheckBox::toggled, chart_, &scope::chart::set_normalised);
    connect(ui->level_trigger, &QCheckBox::toggled, this, &Scope::update_controls);
    // The chart's own texts go into its PNG as they are; the line under it is the window's.
    connect(chart_, &scope::chart::cursor_read, this,
            [this](const QString &reading) { ui->cursor_readout->setText(in_language(reading)); });
    connect(chart_, &scope::chart::cursors_moved, this, &Scope::fill_cursor_values);
    connect(sampler_, &scope::sampler::triggered, this, [this] {
        chart_->set_level_line(-1, 0.0);
        show_progress();
    });
    connect(sampler_, &scope::sampler::joint_lost, this, [this] {
        stop_recording();
        statusBar()->showMessage(tr("无应答，记录已停止/No reply: recording stopped"));
    });
    connect(ui->cap, QOverload<int>::of(&QSpinBox::valueChanged), this, &Scope::update_cap_info);
    connect(ui->rate, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Scope::update_cap_info);
    connect(ui->source, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Scope::fill_rates);
    // Whether the drive has a recorder is a question to the joint on the bus now chosen.
    connect(bus_box_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Scope::offer_recorder);
    redraw_timer_.setInterval(redraw_period_ms);
    connect(&redraw_timer_, &QTimer::timeout, this, [this] {
        chart_->refresh();
        show_progress();
    });
    recorder_poll_.setInterval(recorder_poll_ms);
    connect(&recorder_poll_, &QTimer::timeout, this, &Scope::poll_recorder);
    fill_rates();
    fill_channels();
    fill_objects();
    update_controls();
}

Scope::~Scope()
{
    // Closing stops a recording and puts the PDOs (or the recorder) back; this is for a window
    // never closed.
    QString ignored;
    if (pdo_setup_)
        pdo_setup_->restore(&ignored);
    if (uploading_)
        job_runner::instance().cancel();  // its end would come back to this window
    if (recorder_)
        recorder_->restore(&ignored);
    delete ui;
}

bool Scope::busy() const { return sampler_->sampling() || recorder_ != nullptr; }

int Scope::bus() const { return chosen_bus(bus_box_); }

bool Scope::joint_reachable() const
{
    if (device_open == 0 || node_connected == 0)
        return false;
    return bus() == 0 || can::bus::at(bus()).is_open();
}

bool Scope::recorder_chosen() const { return ui->source->currentData() == recorder_mark; }

void Scope::offer_recorder()
{
    if (busy())
        return;
    const int at = ui->source->findData(recorder_mark);
    int cycle_us = 0;
    if (joint_reachable() && canopen_joint() && !job_runner::instance().busy()) {
        const int node = sdo_request_id - static_cast<int32_t>(canopen::sdo_request_base);
        cycle_us = scope::recorder_cycle_us(
            canopen::exchange_sdo_link(bus_ops(bus()), node, canopen::sdo_timeout_ms, log_));
    }
    if (cycle_us > 0 && at < 0)
        ui->source->addItem(in_language(recorder_source_text()), recorder_mark);
    else if (cycle_us <= 0 && at >= 0)
        ui->source->removeItem(at);
}

void Scope::start_recorder()
{
    const QString title = tr("示波器/Scope");
    const int node = sdo_request_id - static_cast<int32_t>(canopen::sdo_request_base);
    recorder_link_ = std::make_unique<canopen::sdo_link>(
        canopen::exchange_sdo_link(bus_ops(bus()), node, canopen::sdo_timeout_ms, log_));
    // What an earlier run left on the drive is offered back first.
    canopen::offer_put_back(this, *recorder_link_, bus(), node);
    const int cycle_us = scope::recorder_cycle_us(*recorder_link_);
    int32_t rated_ma = 0;
    const canopen::sdo_outcome rated = canopen::read_object(*recorder_link_, canopen::object::motor_rated_current, 0);
    for (int i = 0; rated.ok && i < rated.data.size() && i < 4; ++i)
        rated_ma |= int32_t(uint8_t(rated.data[i])) << (8 * i);
    scope::level_trigger level;
    if (ui->level_trigger->isChecked()) {
        level.channel = ui->trigger_channel->currentIndex();
        level.level = ui->trigger_level->value();
        level.rising = ui->trigger_edge->currentIndex() == 0;
    }
    scope::recorder_plan plan;
    QString why;
    // As long as the drive keeps, and as one upload carries.
    if (!scope::plan_recording(channels_, level, ui->pretrigger->value(), recorder_length_s, cycle_us, rated_ma, &plan,
                               &why)) {
        desktop_seams::warning(this, title, tr("无法用记录器记录/Cannot record with the drive's recorder: %1").arg(why));
        recorder_link_.reset();
        return;
    }
    recorder_ = std::make_unique<scope::recorder_setup>(*recorder_link_, node, plan, bus());
    if (!recorder_->arm(&why)) {
        recorder_.reset();
        recorder_link_.reset();
        desktop_seams::warning(this, title, tr("驱动器拒绝了记录器设置，已恢复原样/The drive refused the recorder set-up; "
                                               "what was changed is put back: %1")
                                                .arg(why));
        return;
    }
    recorded_protocol_ = recorder_marking(plan.sample_us);
    recorded_node_ = node_id;
    recorded_bus_ = bus();
    recorded_at_ = QDateTime::currentDateTime();
    rated_ma_ = rated_ma;
    rated_known_ = rated.ok;
    recorder_poll_.start();
    update_controls();
    statusBar()->showMessage(plan.trigger_channel != 0 ? tr("记录器已启动，等待触发/Recorder armed: waiting for the trigger")
                                                       : tr("记录器记录中/The recorder is recording"));
}

void Scope::poll_recorder()
{
    if (!recorder_ || uploading_ || job_runner::instance().busy())
        return;
    scope::recorder_state state = scope::recorder_state::idle;
    if (!recorder_->state(&state)) {
        end_recorder(tr("驱动器无应答，记录器已停止/The drive does not answer: recorder stopped"));
        return;
    }
    if (state == scope::recorder_state::triggered)
        statusBar()->showMessage(tr("记录器已触发，记录中/Recorder triggered: recording"));
    if (state == scope::recorder_state::idle) {
        end_recorder(tr("记录器已被停止/The recorder was stopped on the drive"));
        return;
    }
    if (state != scope::recorder_state::done)
        return;
    recorder_poll_.stop();
    const int trigger = recorder_->trigger_sample();
    uploading_ = true;
    QElapsedTimer *since = new QElapsedTimer;
    since->start();
    auto job = canopen::sdo_job::one(
        *recorder_link_, canopen::sdo_transfer::block_upload(scope::recorder_object::data, 0),
        [this, trigger, since](const canopen::sdo_outcome &o, bool cancelled) {
            const qint64 ms = since->elapsed();
            delete since;
            uploading_ = false;
            if (cancelled) {
                end_recorder(tr("已取消/Cancelled"));
                return;
            }
            scope::recording r;
            QString why;
            if (!o.ok) {
                end_recorder(tr("上传失败/The upload failed: %1").arg(canopen::abort_text(o.abort)));
                return;
            }
            const scope::channel_list channels = channels_;
            const bool rated_known = rated_known_;
            const int32_t rated_ma = rated_ma_;
            const auto keys = [&channels, rated_known, rated_ma](int ch, uint32_t raw, int32_t *key) {
                return scope::stored_key(channels[static_cast<size_t>(ch)], raw, rated_known, rated_ma, key);
            };
            if (!scope::decode_recording(o.data, recorder_->plan(), channels_, trigger, keys, &r, &why)) {
                end_recorder(why);
                return;
            }
            sampler_->show(std::move(r));
            end_recorder(recorded_protocol_ + QStringLiteral(" — ")
                         + tr("%1个采样，%2字节，上传%3 ms/%1 samples, %2 bytes, uploaded in %3 ms")
                               .arg(sampler_->data().size())
                               .arg(o.data.size())
                               .arg(ms));
        });
    if (!start_job_with_progress(std::move(job), this, tr("上传记录/Uploading the recording"))) {
        uploading_ = false;
        end_recorder(tr("总线忙/The bus is busy"));
    }
}

void Scope::end_recorder(const QString &message)
{
    recorder_poll_.stop();
    QString why;
    const bool ok = !recorder_ || recorder_->restore(&why);
    recorder_.reset();
    recorder_link_.reset();
    chart_->set_available(scope::all_channels);
    chart_->set_live(false);
    chart_->set_view(sampler_->data().start_s(), sampler_->data().end_s());
    chart_->refresh();
    update_controls();
    fill_channels();
    statusBar()->showMessage(message);
    if (!ok)
        desktop_seams::warning(this, tr("示波器/Scope"),
                               tr("驱动器未能全部恢复记录器设置/The drive did not take all of its recorder settings back: %1")
                                   .arg(why));
}

void Scope::set_monitor_sink(monitor_sink log) { log_ = std::move(log); }

void Scope::set_dictionary(dictionary_source source)
{
    dictionary_ = std::move(source);
    fill_objects();
}

bool Scope::canopen_joint() const
{
    return canopen_control_open == 1
           || (custom_control_open != 1 && protocol_name == QStringLiteral("CANopen") && canopen_supported != 0);
}

bool Scope::pdo_chosen() const { return ui->source->currentText() == QStringLiteral("PDO"); }

std::unique_ptr<scope::sample_source> Scope::source_for_joint(const scope::channel_list &channels, int bus)
{
    if (device_open == 0 || node_connected == 0 || (bus != 0 && !can::bus::at(bus).is_open()))
        return nullptr;
    const bool canopen_in_use =
        canopen_control_open == 1
        || (custom_control_open != 1 && protocol_name == QStringLiteral("CANopen") && canopen_supported != 0);
    if (canopen_in_use && sdo_request_id > static_cast<int32_t>(canopen::sdo_request_base))
        return std::make_unique<scope::canopen_source>(scope::sampler_bus(bus), static_cast<uint32_t>(sdo_request_id), channels);
    if (custom_request_id > static_cast<int32_t>(custom_id::request_base))
        return std::make_unique<scope::custom_source>(scope::sampler_bus(bus), static_cast<uint32_t>(custom_request_id), channels);
    return nullptr;
}

void Scope::retranslate()
{
    ui->retranslateUi(this);
    const int recorder_at = ui->source->findData(recorder_mark);
    if (recorder_at >= 0)
        ui->source->setItemText(recorder_at, in_language(recorder_source_text()));
    update_controls();
    // The channel names are the recordings' own, in both languages; the lists show them anew.
    fill_channels();
    if (ui->object_choice->count() > 0)
        fill_objects();
    if (!chart_->readout().isEmpty())
        ui->cursor_readout->setText(in_language(chart_->readout()));
    update_cap_info();
}

void Scope::closeEvent(QCloseEvent *e)
{
    if (sampler_->sampling())
        stop_recording();
    // A recorder still waiting or uploading ends here, with the drive's settings put back.
    if (uploading_)
        job_runner::instance().cancel();
    if (recorder_)
        end_recorder(tr("已取消/Cancelled"));
    e->accept();
}

void Scope::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    fill_objects();
    offer_recorder();
}

int Scope::selected_rate() const
{
    return ui->rate->currentData().toInt();
}

size_t Scope::cap_samples() const
{
    return static_cast<size_t>(ui->cap->value()) * 60u * static_cast<size_t>(selected_rate());
}

void Scope::update_cap_info()
{
    const size_t n = cap_samples();
    const double mb = scope::recording::bytes_for(n, static_cast<int>(channels_.size())) / 1e6;
    ui->cap_info->setText(tr("= %1 样本/samples, ≈ %2 MB").arg(n).arg(mb, 0, 'f', 0));
}

void Scope::fill_rates()
{
    const int keep = ui->rate->count() > 0 ? selected_rate() : 50;
    const int highest = pdo_chosen() ? 1000 : scope::sampler::max_polled_rate_hz;
    ui->rate->clear();
    for (int hz : scope::sampler::rates_hz) {
        if (hz <= highest)
            ui->rate->addItem(QStringLiteral("%1 Hz").arg(hz), hz);
    }
    const int at = ui->rate->findData(std::min(keep, highest));
    ui->rate->setCurrentIndex(at >= 0 ? at : ui->rate->count() - 1);
    update_cap_info();
}

void Scope::fill_objects()
{
    const QString typed = ui->object_choice->currentText();
    const objects::eds_document d = dictionary_ ? dictionary_() : objects::standard_objects();
    ui->object_choice->clear();
    choices_ = scope::default_channels();
    for (const scope::channel_def &c : choices_)
        ui->object_choice->addItem(c.kind == scope::role::setpoint
                                       ? in_language(c.label)
                                       : QStringLiteral("%1 (%2)").arg(in_language(c.label), object_text(c)));
    for (const objects::od_object &o : d.objects) {
        for (const objects::od_entry &e : o.entries) {
            scope::channel_def c;
            if (!scope::object_channel(e, &c))
                continue;
            choices_.push_back(c);
            ui->object_choice->addItem(QStringLiteral("%1 (%2)").arg(in_language(c.label), canopen::type_name(c.type)));
        }
    }
    const int at = ui->object_choice->findText(typed);
    ui->object_choice->setCurrentIndex(at >= 0 ? at : 0);
}

bool Scope::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->object_choice && event->type() == QEvent::MouseButtonPress)
        fill_objects();
    return QMainWindow::eventFilter(watched, event);
}

void Scope::fill_channels()
{
    filling_ = true;
    const int selected = ui->channels->currentRow();
    ui->channels->setRowCount(static_cast<int>(channels_.size()));
    for (size_t r = 0; r < channels_.size(); ++r) {
        const scope::channel_def &c = channels_[r];
        const int row = static_cast<int>(r);
        auto *name = new QTableWidgetItem(in_language(c.label));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        name->setCheckState(c.shown ? Qt::Checked : Qt::Unchecked);
        name->setForeground(scope::chart::colour_of(row));
        ui->channels->setItem(row, col_channel, name);
        const Qt::ItemFlags fixed = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        const Qt::ItemFlags editable = c.scalable() && !sampler_->sampling() ? fixed | Qt::ItemIsEditable : fixed;
        const QString texts[] = {object_text(c), QString::number(c.scale, 'g', 10),
                                 c.unit_text(sampler_->data().unit())};
        for (int k = 0; k < 3; ++k) {
            auto *item = new QTableWidgetItem(texts[k]);
            item->setFlags(k == 0 ? fixed : editable);
            ui->channels->setItem(row, col_object + k, item);
        }
        for (int col = col_cursor1; col <= col_delta; ++col) {
            auto *item = new QTableWidgetItem();
            item->setFlags(fixed);
            ui->channels->setItem(row, col, item);
        }
    }
    ui->channels->setCurrentCell(std::min(selected, ui->channels->rowCount() - 1), col_channel);
    const int trigger = ui->trigger_channel->currentIndex();
    ui->trigger_channel->clear();
    for (const scope::channel_def &c : channels_)
        ui->trigger_channel->addItem(in_language(c.label));
    ui->trigger_channel->setCurrentIndex(std::clamp(trigger, 0, ui->trigger_channel->count() - 1));
    filling_ = false;
    fill_cursor_values();
    update_cap_info();
}

void Scope::fill_cursor_values()
{
    const scope::recording &r = sampler_->data();
    const long at[2] = {chart_->cursor_sample(0), chart_->cursor_sample(1)};
    filling_ = true;
    for (int row = 0; row < ui->channels->rowCount(); ++row) {
        QString text[3];
        // The table describes the next recording; its cursor columns the one shown, while both
        // have the same channels.
        const bool same = row < r.width() && r.channel_defs()[static_cast<size_t>(row)].label == channels_[static_cast<size_t>(row)].label;
        bool have[2] = {false, false};
        double v[2] = {0.0, 0.0};
        for (int c = 0; c < 2 && same; ++c) {
            if (at[c] < 0 || !r.has(static_cast<size_t>(at[c]), row))
                continue;
            have[c] = true;
            v[c] = r.value(static_cast<size_t>(at[c]), row);
            text[c] = r.channel_defs()[static_cast<size_t>(row)].value_text(r.key(static_cast<size_t>(at[c]), row));
        }
        if (have[0] && have[1])
            text[2] = QString::number(v[1] - v[0], 'g', 10);
        for (int c = 0; c < 3; ++c)
            ui->channels->item(row, col_cursor1 + c)->setText(text[c]);
    }
    filling_ = false;
}

void Scope::on_add_channel_clicked()
{
    const int at = ui->object_choice->currentIndex();
    if (at < 0 || at >= static_cast<int>(choices_.size()))
        return;
    if (channels_.size() >= static_cast<size_t>(scope::max_channels)) {
        statusBar()->showMessage(tr("最多%1个通道/At most %1 channels").arg(scope::max_channels));
        return;
    }
    channels_.push_back(choices_[static_cast<size_t>(at)]);
    fill_channels();
    ui->channels->setCurrentCell(static_cast<int>(channels_.size()) - 1, col_channel);
}

void Scope::on_remove_channel_clicked()
{
    const int row = ui->channels->currentRow();
    if (row < 0 || row >= static_cast<int>(channels_.size()))
        return;
    channels_.erase(channels_.begin() + row);
    fill_channels();
}

std::unique_ptr<scope::sample_source> Scope::set_up_pdos(bool *fell_back)
{
    *fell_back = false;
    restore_pdos();
    const int node = sdo_request_id - static_cast<int32_t>(canopen::sdo_request_base);
    pdo_link_ = std::make_unique<canopen::sdo_link>(
        canopen::exchange_sdo_link(bus_ops(bus()), node, canopen::sdo_timeout_ms, log_));
    // TPDOs an earlier run borrowed and never put back are offered back first; those left stay
    // journalled, and the set-up puts back what that run found, not what it left.
    canopen::offer_put_back(this, *pdo_link_, bus(), node);
    pdo_setup_ = std::make_unique<scope::pdo_setup>(*pdo_link_, node, channels_, scope::all_channels,
                                                    1000 / selected_rate(), bus());
    QProgressDialog progress(tr("设置PDO/Setting up the PDOs"), tr("取消/Cancel"), 0, 100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    int steps = 0;
    pdo_setup_->between = [&progress, &steps] {
        progress.setValue(++steps % 100);
        return !progress.wasCanceled();
    };
    const int on_bus = bus();
    pdo_setup_->nmt = [this, on_bus](uint8_t command) {
        const canopen::frame f = canopen::nmt(command, sdo_request_id);
        run_canopen_exchange(bus_ops(on_bus), f.id, f.data, f.len, 0,
                             command == 0x80 ? QStringLiteral("NMT预运行/NMT pre-operational")
                                             : QStringLiteral("NMT启动/NMT start"),
                             1, log_);
    };
    const QString title = tr("示波器/Scope");
    QString why;
    if (!pdo_setup_->prepare(&why)) {
        progress.reset();
        desktop_seams::warning(this, title, tr("无法用PDO采样/Cannot sample by PDO: %1").arg(why));
        pdo_setup_.reset();
        return nullptr;
    }
    progress.reset();
    const QString plan = QStringLiteral("示波器将把以下TPDO设为事件触发，停止时按原样恢复。\nThe scope will make these "
                                        "TPDOs event-driven and put them back as found at Stop.\n\n%1\n\n继续？/Go on?")
                             .arg(pdo_setup_->summary());
    if (desktop_seams::question(this, title, plan) != QMessageBox::Yes) {
        pdo_setup_.reset();
        statusBar()->showMessage(tr("未记录/Not recorded"));
        return nullptr;
    }
    scope::pdo_setup::result r = pdo_setup_->set_up(false, &why);
    if (r == scope::pdo_setup::result::refused_in_state) {
        const QString ask = QStringLiteral("驱动器在运行状态下拒绝更改PDO：%1\nThe drive refuses to change its PDOs while "
                               "operational: %1\n\n是：在预运行状态下更改(NMT 80h，完成后NMT 01h启动；关节的PDO短暂暂停，"
                               "停止时同样)\nYes: change them in pre-operational (NMT 80h, then NMT 01h start; the joint's "
                               "PDOs pause for a moment, and again at Stop)\n否：用SDO记录/No: record by SDO")
                                .arg(why);
        if (desktop_seams::question(this, title, ask) != QMessageBox::Yes) {
            pdo_setup_.reset();
            *fell_back = true;
            return nullptr;
        }
        r = pdo_setup_->set_up(true, &why);
    }
    progress.reset();
    if (r != scope::pdo_setup::result::ok) {
        if (r != scope::pdo_setup::result::cancelled)
            desktop_seams::warning(this, title, tr("驱动器拒绝了PDO设置，已恢复原样/The drive refused the PDO set-up; "
                                                   "what was changed is put back: %1")
                                                    .arg(why));
        pdo_setup_.reset();
        return nullptr;
    }
    return std::make_unique<scope::pdo_source>(pdo_setup_->decoder(), pdo_setup_->channels(),
                                               int64_t(1000) * (1000 / selected_rate()), bus());
}

void Scope::restore_pdos()
{
    if (!pdo_setup_)
        return;
    QString why;
    const bool ok = pdo_setup_->restore(&why);
    pdo_setup_.reset();
    if (!ok)
        desktop_seams::warning(this, tr("示波器/Scope"),
                               tr("驱动器未能全部恢复PDO/The drive did not take all of its PDOs back: %1").arg(why));
}

void Scope::on_record_clicked()
{
    if (sampler_->sampling()) {
        stop_recording();
        return;
    }
    if (recorder_) {
        if (uploading_)
            job_runner::instance().cancel();
        else
            end_recorder(tr("已取消/Cancelled"));
        return;
    }
    if (!joint_reachable()) {
        statusBar()->showMessage(node_connected == 0 || device_open == 0
                                     ? tr("未连接关节/No joint connected")
                                     : tr("总线%1未打开/Bus %1 is not open").arg(bus()));
        return;
    }
    if (recorder_chosen()) {
        if (canopen_joint())
            start_recorder();
        else
            statusBar()->showMessage(tr("记录器仅用于CANopen/The recorder needs CANopen"));
        return;
    }
    int rate = selected_rate();
    std::unique_ptr<scope::sample_source> source;
    if (channels_.empty()) {
        statusBar()->showMessage(tr("没有通道/No channel"));
        return;
    }
    QString note;
    bool by_pdo = pdo_chosen() && canopen_joint();
    if (pdo_chosen() && !by_pdo)
        note = tr("PDO仅用于CANopen：按自定义协议读取/PDO needs CANopen: reading by the custom protocol");
    if (by_pdo) {
        bool fell_back = false;
        source = set_up_pdos(&fell_back);
        if (!source && !fell_back)
            return;
        by_pdo = !fell_back;
    }
    if (!by_pdo) {
        source = source_for_joint(channels_, bus());
        if (rate > scope::sampler::max_polled_rate_hz) {
            rate = scope::sampler::max_polled_rate_hz;
            note = tr("SDO最高%1 Hz/SDO at most %1 Hz").arg(rate);
        }
    }
    if (!source) {
        statusBar()->showMessage(tr("未连接关节/No joint connected"));
        return;
    }
    chart_->set_available(static_cast<scope::channel_mask>(source->channels() | scope::channels_of(channels_, scope::role::setpoint)));
    sampler_->set_source(std::move(source));
    sampler_->set_rate_hz(rate);
    sampler_->set_cap(static_cast<size_t>(ui->cap->value()) * 60u * static_cast<size_t>(rate));
    for (size_t ch = 0; ch < channels_.size(); ++ch)
        chart_->set_channel_shown(static_cast<int>(ch), channels_[ch].shown);
    recorded_protocol_ = canopen_joint() ? QStringLiteral("CANopen %1").arg(by_pdo ? QStringLiteral("PDO") : QStringLiteral("SDO"))
                                         : QStringLiteral("CAN自定义");
    recorded_protocol_ += QStringLiteral(" %1 Hz").arg(rate);
    recorded_node_ = node_id;
    recorded_bus_ = bus();
    recorded_at_ = QDateTime::currentDateTime();
    ui->cursor_readout->clear();
    chart_->set_live(true);
    scope::level_trigger level;
    if (ui->level_trigger->isChecked()) {
        level.channel = ui->trigger_channel->currentIndex();
        level.level = ui->trigger_level->value();
        level.rising = ui->trigger_edge->currentIndex() == 0;
    }
    if (ui->trigger->isChecked() || level.channel >= 0) {
        sampler_->arm(channels_, ui->pretrigger->value(), level, ui->trigger->isChecked());
        chart_->set_level_line(level.channel, level.level);
    } else {
        sampler_->record(channels_);
        chart_->set_level_line(-1, 0.0);
    }
    note_ = note;
    redraw_timer_.start();
    update_controls();
    fill_channels();
    show_progress();
}

void Scope::stop_recording()
{
    sampler_->stop();
    redraw_timer_.stop();
    restore_pdos();
    chart_->set_level_line(-1, 0.0);
    chart_->set_live(false);
    chart_->set_view(sampler_->data().start_s(), sampler_->data().end_s());
    update_controls();
    fill_channels();
    show_progress();
    if (!sampler_->data().empty())
        ui->cursor_readout->setText(tr("左键：光标1，右键：光标2/Left click: cursor 1, right click: cursor 2"));
}

void Scope::update_controls()
{
    const bool sampling = busy();
    ui->record->setText(sampling ? tr("停止/Stop") : tr("记录/Record"));
    ui->record->setEnabled(!exporting_);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->source, ui->rate, ui->cap, ui->trigger, ui->level_trigger,
                                                       ui->pretrigger, ui->add_channel, ui->remove_channel,
                                                       ui->object_choice, bus_box_})
        w->setEnabled(!sampling);
    const bool level = !sampling && ui->level_trigger->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{ui->trigger_channel, ui->trigger_edge, ui->trigger_level})
        w->setEnabled(level);
    const bool have_data = !sampling && !sampler_->data().empty() && !exporting_;
    ui->export_csv->setEnabled(have_data);
    ui->export_png->setEnabled(!exporting_);
}

void Scope::show_progress()
{
    const bool sampling = sampler_->sampling();
    const scope::recording &r = sampler_->data();
    QString text;
    switch (sampler_->state()) {
    case scope::capture::phase::armed:
        text = ui->level_trigger->isChecked() && !ui->trigger->isChecked()
                   ? tr("等待电平触发/Waiting for the level trigger")
                   : tr("等待运动指令/Waiting for a motion command");
        break;
    case scope::capture::phase::recording:
        text = tr("记录中/Recording: %1 samples, %2 s").arg(r.size()).arg(r.end_s() - r.start_s(), 0, 'f', 1);
        break;
    case scope::capture::phase::idle:
        text = tr("已停止/Stopped: %1 samples, %2 s").arg(r.size()).arg(r.end_s() - r.start_s(), 0, 'f', 1);
        break;
    }
    if (sampler_->failed_reads() > 0)
        text += QStringLiteral("  ") + tr("无应答/No reply: %1").arg(sampler_->failed_reads());
    if (sampler_->stream_silent())
        text += QStringLiteral("  ") + tr("未收到PDO：关节是否处于运行状态(NMT启动)？/No PDO arrives: is the joint "
                                          "operational (NMT start)?");
    if (sampling && !note_.isEmpty())
        text += QStringLiteral("  ") + note_;
    if (r.dropped() > 0)
        text += QStringLiteral("  ") + tr("已达上限，丢弃最早的%1个样本/Cap reached: the oldest %1 samples dropped").arg(r.dropped());
    statusBar()->showMessage(text);
}

bool Scope::write_csv_file(const QString &path)
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

void Scope::on_export_csv_clicked()
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
        desktop_seams::warning(this, tr("错误/Error"), tr("无法写入文件/Cannot write the file: %1").arg(path));
    else if (QFile::exists(path))
        statusBar()->showMessage(tr("已保存/Saved: %1").arg(QDir::toNativeSeparators(path)));
}

QString Scope::picture_title() const
{
    if (sampler_->data().empty())
        return tr("示波器/Scope");
    // One bus: the title as it always was.
    const QString node = can::bus::selected() > 1 ? tr("总线/Bus %1 节点/Node %2").arg(recorded_bus_).arg(recorded_node_)
                                                  : tr("节点/Node %1").arg(recorded_node_);
    return tr("示波器/Scope — %1 — %2 — %3")
        .arg(node)
        .arg(recorded_protocol_, recorded_at_.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void Scope::on_export_png_clicked()
{
    const QString path = with_suffix(ask_file(this, QStringLiteral("png"), tr("导出PNG/Export PNG"), QStringLiteral("PNG (*.png)")),
                                     QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    if (!chart_->picture(picture_title(), ui->png_cursors->isChecked()).save(path, "PNG"))
        desktop_seams::warning(this, tr("错误/Error"), tr("无法写入文件/Cannot write the file: %1").arg(path));
    else
        statusBar()->showMessage(tr("已保存/Saved: %1").arg(QDir::toNativeSeparators(path)));
}
