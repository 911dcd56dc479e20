#pragma once
// The commissioning page of the object dictionary window: discovers every CANopen node on the
// bus, compares drives with a DCF or puts its values on them, updates their firmware, and holds
// the bench page. Each piece of work runs as a job of steps (can/step_job.h) with its progress
// and Cancel on the page.
#include "can/exchange.h"
#include "objects/dcf_job.h"
#include "objects/dcf_report.h"
#include "objects/eds.h"
#include "objects/firmware_job.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class Commissioning_page;
}

namespace canopen {
struct sdo_link;
}
namespace objects {
class dcf_diff_model;
struct found_node;
}  // namespace objects
class step_job;

class Commissioning_page : public QWidget {
    Q_OBJECT

public:
    // What the page needs from the window around it; each has a default that fits a page on its
    // own (bus 0, the built-in CiA 301/402 list).
    struct host {
        // The bus the page addresses.
        std::function<int()> bus;
        // The data sheet the bench checks its DCFs against.
        std::function<objects::eds_document()> data_sheet;
    };
    explicit Commissioning_page(const host &h, QWidget *parent = nullptr);
    ~Commissioning_page() override;

    // The DCF that compare and download use.
    bool open_dcf(const QString &path);
    bool save_dcf_report_to(const QString &path);
    objects::dcf_diff_model *dcf_model() const { return dcf_model_; }
    const std::vector<objects::report_row> &dcf_report() const { return report_; }
    const objects::report_head &dcf_report_head() const { return report_head_; }
    // A job of this page's (its bench page's included) runs.
    bool job_running() const { return job_running_; }

signals:
    // Monitor texts of the page's CANopen traffic.
    void senddata(QString str);
    // A found node was chosen: the window's node follows.
    void node_chosen(int node);
    // A job of the page's began or ended: the window's other job buttons follow.
    void busy_changed(bool busy);

public slots:
    // The window's node: what compare, download and firmware address when no nodes are listed.
    void set_current_node(int node);
    void on_discover_clicked();
    void on_open_dcf_clicked();
    void on_compare_dcf_clicked();
    void on_download_dcf_clicked();
    void on_save_dcf_report_clicked();
    void on_update_firmware_clicked();
    void on_save_firmware_report_clicked();
    void on_commissioning_cancel_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    int bus() const;
    canopen::sdo_link link_to(int node);
    void show_commissioning_status(const QString &text, bool error);
    bool commissioning_ready();
    bool dcf_ready();
    bool dcf_targets(std::vector<int> *nodes);
    objects::dcf_wire wire();
    void show_nodes(const std::vector<objects::found_node> &nodes);
    void start_dcf_job(objects::dcf_job::mode mode, const std::vector<int> &nodes);
    void dcf_job_finished(const objects::dcf_job &job);
    void firmware_job_finished(const objects::firmware_job &job, bool cancelled);
    void offer_store(std::vector<int> nodes);
    // The page's buttons are off while its job runs.
    void start_page_job(std::unique_ptr<step_job> job);
    void set_busy(bool busy);

    Ui::Commissioning_page *ui;
    host host_;
    objects::dcf_diff_model *dcf_model_;
    int node_ = 1;
    bool job_running_ = false;  // a job of this page's or its bench page's
    bool page_job_ = false;     // ... started by this page itself
    objects::dcf_job *download_ = nullptr;       // the compare or download while it runs
    objects::firmware_job *firmware_ = nullptr;  // the firmware update while it runs
    objects::firmware_image firmware_image_;
    std::vector<objects::firmware_report> firmware_report_;
    objects::eds_document dcf_;
    QString dcf_name_;
    std::vector<objects::report_row> report_;
    objects::report_head report_head_;
    std::shared_ptr<objects::reboot_watch> watch_;  // of the last compare or download's nodes
};
