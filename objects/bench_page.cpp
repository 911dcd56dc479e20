#include "objects/bench_page.h"

#include "ui_bench_page.h"

#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/step_job.h"
#include "objects/bench_save.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>

using namespace objects;

namespace {

const QString bench_kind = QStringLiteral("bench");
const QString bench_report_kind = QStringLiteral("bench_report");

}  // namespace

Bench_page::Bench_page(const host &h, QWidget *parent)
    : QWidget(parent), ui(new Ui::Bench_page), host_(h), model_(new bench_model(this))
{
    ui->setupUi(this);
    ui->bench_nodes->setModel(model_);
    ui->bench_nodes->horizontalHeader()->setStretchLastSection(true);
    ui->bench_nodes->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->bench_progress->hide();
    ui->bench_cancel->hide();
    connect(&job_runner::instance(), &job_runner::progress, this, [this](int done, int total) {
        if (!running())
            return;
        ui->bench_progress->setMaximum(qMax(total, 1));
        ui->bench_progress->setValue(qMin(done, total));
    });
    connect(model_, &bench_model::lost_changed, this, [this](int node, bool lost) {
        if (lost)
            show_status(tr("节点%1心跳丢失/node %1 lost: its heartbeat stopped").arg(node), true);
        else
            show_status(tr("节点%1心跳恢复/node %1 heard again").arg(node), false);
    });
}

Bench_page::~Bench_page()
{
    // A boot under way goes with the page; the runner must not call back into it, nor the end
    // of the job into the window going away around the page.
    host_ = host{};
    if (running())
        job_runner::instance().cancel();
    delete ui;
}

void Bench_page::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        emit model_->headerDataChanged(Qt::Horizontal, 0, bench_model::col_count - 1);
    }
}

void Bench_page::show_status(const QString &text, bool error)
{
    ui->bench_status->setStyleSheet(error ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
    ui->bench_status->setText(text);
}

bool Bench_page::ready()
{
    QString why;
    if (host_.ready && !host_.ready(&why)) {
        show_status(why, true);
        return false;
    }
    return true;
}

void Bench_page::set_running(bool running)
{
    ui->bench_progress->setVisible(running);
    ui->bench_cancel->setVisible(running);
    ui->bench_progress->setValue(0);
    for (QWidget *w : {static_cast<QWidget *>(ui->open_bench), static_cast<QWidget *>(ui->boot_bench),
                       static_cast<QWidget *>(ui->save_bench), static_cast<QWidget *>(ui->save_bench_report),
                       static_cast<QWidget *>(ui->bench_start_order), static_cast<QWidget *>(ui->bench_store)})
        w->setEnabled(!running);
    if (host_.running)
        host_.running(running);
}

void Bench_page::on_open_bench_clicked()
{
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::open, this, bench_kind, tr("打开试验台/Open bench"),
                                                    QString(), tr("节点列表/Node lists (*.cpj);;* (*)"));
    if (!path.isEmpty())
        open_bench(path);
}

int Bench_page::bus() const { return host_.bus ? host_.bus() : 0; }

bool Bench_page::open_bench(const QString &path)
{
    if (running())
        return false;
    const bench_result r = read_bench(path);
    if (!r.ok) {
        show_status(r.error, true);
        return false;
    }
    model_->set_bench(r.bench);
    keep_bench_names(r.bench, bus());
    last_.reset();
    const QString name = QFileInfo(path).fileName();
    ui->bench_file->setText(name);
    ui->bench_file->setToolTip(QDir::toNativeSeparators(path));
    ui->bench_nodes->resizeColumnsToContents();
    show_status(tr("已载入/loaded %1: %2个节点/%2 nodes").arg(name).arg(r.bench.nodes.size()), false);
    return true;
}

void Bench_page::on_boot_bench_clicked()
{
    if (model_->bench().nodes.empty())
        on_open_bench_clicked();
    if (!model_->bench().nodes.empty())
        boot();
}

bool Bench_page::boot()
{
    if (running() || model_->bench().nodes.empty() || !ready())
        return false;
    const bench_file bench = model_->bench();
    model_->set_bench(bench);  // every state back to waiting
    boot_options options;
    options.order = ui->bench_start_order->currentIndex() == 1 ? start_order::all_at_once : start_order::node_order;
    options.store_always = ui->bench_store->isChecked();
    const QDateTime started = QDateTime::currentDateTime();
    auto job = std::make_unique<bench_boot>(
        bench, options, bus_boot_wire(bus(), host_.log),
        [this](const bench_boot &b, int i) { model_->show_boot(b, i); },
        [this, started](const bench_boot &b, bool cancelled) {
            boot_ = nullptr;
            last_ = outcome_of(b, started);
            for (int i = 0; i < static_cast<int>(b.nodes().size()); ++i)
                model_->show_boot(b, i);
            model_->watch(b);
            set_running(false);
            QString text = tr("完成节点/nodes done %1 of %2 (%3 s)")
                               .arg(last_->nodes_done())
                               .arg(last_->nodes.size())
                               .arg(last_->seconds, 0, 'f', 2);
            if (b.bus_lost())
                text += QStringLiteral("; ") + bus_lost_note();
            else if (cancelled)
                text += tr("; 已取消，其余未运行/cancelled: the rest was not run");
            show_status(text, last_->nodes_done() != static_cast<int>(last_->nodes.size()));
        });
    bench_boot *running_job = job.get();
    if (!job_runner::instance().start(std::move(job))) {
        show_status(tr("请等待当前传输结束/Wait for the transfer in progress to end"), true);
        return false;
    }
    boot_ = running_job;
    set_running(true);
    show_status(tr("正在启动试验台/Booting the bench..."), false);
    return true;
}

void Bench_page::on_bench_cancel_clicked()
{
    if (boot_)
        boot_->stop_after_step();
    else if (saving_)
        job_runner::instance().cancel();
}

void Bench_page::on_save_bench_report_clicked()
{
    if (!last_) {
        show_status(tr("尚无启动报告/No boot to report yet"), true);
        return;
    }
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::save, this, bench_report_kind,
                                                    tr("保存启动报告/Save boot report"), QStringLiteral("boot_report.xml"),
                                                    QStringLiteral("JUnit XML (*.xml);;CSV (*.csv);;Excel (*.xlsx)"));
    if (!path.isEmpty())
        save_bench_report_to(path);
}

bool Bench_page::save_bench_report_to(const QString &path)
{
    if (!last_)
        return false;
    QString error;
    if (!save_boot_report(path, *last_, &error)) {
        show_status(tr("无法写入/Cannot write %1: %2").arg(path, error), true);
        return false;
    }
    show_status(tr("报告已保存/report saved: %1").arg(QDir::toNativeSeparators(path)), false);
    return true;
}

void Bench_page::on_save_bench_clicked()
{
    const QString path = desktop_seams::choose_file(desktop_seams::file_mode::save, this, bench_kind, tr("保存试验台/Save bench"),
                                                    QStringLiteral("bench.cpj"), tr("节点列表/Node lists (*.cpj)"));
    if (!path.isEmpty())
        save_bench_to(path);
}

bool Bench_page::save_bench_to(const QString &cpj_path)
{
    if (running() || !ready())
        return false;
    const monitor_sink log = host_.log;
    const discovery_bus wire = bus_boot_wire(bus(), log).discovery;
    const eds_document sheet = host_.data_sheet ? host_.data_sheet() : eds_document();
    auto job = std::make_unique<bench_save>(sheet, cpj_path, baud_kbps, wire, [this](const bench_save_result &r, bool cancelled) {
        saving_ = false;
        set_running(false);
        if (cancelled)
            return show_status(tr("已取消，未写入文件/cancelled: no file written"), true);
        if (!r.written)
            return show_status(r.error, true);
        // The files read back as a bench, which the table then shows.
        if (!open_bench(r.files.value(0)))
            return;
        QString text = tr("已保存试验台/bench saved: %1 (%2个节点/%2 nodes)").arg(QDir::toNativeSeparators(r.files.value(0))).arg(r.nodes);
        if (!r.refused.isEmpty())
            text += QStringLiteral("; ") + r.refused.join(QStringLiteral("; "));
        show_status(text, false);
    });
    if (!job_runner::instance().start(std::move(job))) {
        show_status(tr("请等待当前传输结束/Wait for the transfer in progress to end"), true);
        return false;
    }
    saving_ = true;
    set_running(true);
    show_status(tr("正在读取节点/Reading the nodes..."), false);
    return true;
}
