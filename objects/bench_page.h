#pragma once
// The bench part of the commissioning page (widget `Bench_page`): open a bench (a CiA 306-3 node
// list with its DCFs, objects/bench.h), boot it in one step (objects/bench_boot.h) with each
// node's state in the table as it goes and Cancel between steps, save the boot's report, and
// save the bench on the bus as a node list with a DCF per node (objects/bench_save.h). Once
// booted, the table marks a node lost whose heartbeat stops (objects/bench_model.h). The
// window it sits in says whether the bus is ready and gives the data sheet to read nodes by.
#include "can/exchange.h"
#include "objects/bench_boot.h"
#include "objects/bench_model.h"
#include "objects/eds.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace Ui {
class Bench_page;
}

class Bench_page : public QWidget {
    Q_OBJECT

public:
    struct host {
        // The bus is open and no job runs; false after telling the user why (on the page).
        std::function<bool(QString *why)> ready;
        monitor_sink log;
        std::function<objects::eds_document()> data_sheet;
        // The page's job began or ended: the window's other jobs wait meanwhile.
        std::function<void(bool running)> running;
        // The bus the bench is on (can/bus.h); bus 0 when not given.
        std::function<int()> bus;
    };
    explicit Bench_page(const host &h, QWidget *parent = nullptr);
    ~Bench_page() override;

    bool open_bench(const QString &path);
    int bus() const;
    bool boot();
    bool save_bench_to(const QString &cpj_path);
    bool save_bench_report_to(const QString &path);
    objects::bench_model *model() const { return model_; }
    // The last boot's outcome; none before the first.
    const std::optional<objects::boot_outcome> &last_boot() const { return last_; }
    bool running() const { return boot_ != nullptr || saving_; }

public slots:
    void on_open_bench_clicked();
    void on_boot_bench_clicked();
    void on_save_bench_clicked();
    void on_save_bench_report_clicked();
    void on_bench_cancel_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    void show_status(const QString &text, bool error);
    bool ready();
    void set_running(bool running);

    Ui::Bench_page *ui;
    host host_;
    objects::bench_model *model_;
    objects::bench_boot *boot_ = nullptr;  // while it runs
    bool saving_ = false;
    std::optional<objects::boot_outcome> last_;
};
