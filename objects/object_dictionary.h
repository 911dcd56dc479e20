#pragma once
// Window `Object_dictionary`: read and write any object of any CANopen node by SDO (the window's
// own node choice, which never changes the control windows' connection), browse its dictionary
// from an EDS file (or the built-in CiA 301/402 list), read it all, export a DCF, save and
// restore parameters. The commissioning page discovers every CANopen node on the bus and
// compares drives with a DCF or puts its values on them; a third page reads and writes any
// register of the drive's own protocol. The protocol work lives in objects/ (discovery, DCF
// plans and jobs, EDS parser, actions) and canopen/ (the SDO client); every transfer runs as a
// job of steps (can/step_job.h), so the windows stay live meanwhile.
#include "base/language_window.h"
#include "objects/dcf_job.h"
#include "objects/dcf_report.h"
#include "objects/eds.h"
#include "objects/firmware_job.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;

namespace Ui {
class Object_dictionary;
}

namespace canopen {
struct sdo_link;
struct sdo_outcome;
}  // namespace canopen
namespace objects {
class dcf_diff_model;
class od_tree_model;
struct found_node;
struct od_entry;
struct read_all_summary;
}  // namespace objects
class step_job;

class Object_dictionary : public language_window<QMainWindow> {
    Q_OBJECT

public:
    explicit Object_dictionary(QWidget *parent = nullptr);
    ~Object_dictionary() override;

    bool load_eds(const QString &path);
    bool export_dcf_to(const QString &path);
    // The DCF that compare and download use.
    bool open_dcf(const QString &path);
    bool save_dcf_report_to(const QString &path);
    objects::od_tree_model *model() const { return model_; }
    objects::dcf_diff_model *dcf_model() const { return dcf_model_; }
    const std::vector<objects::report_row> &dcf_report() const { return report_; }
    const objects::report_head &dcf_report_head() const { return report_head_; }
    // A job of this window's runs.
    bool job_running() const { return job_running_; }
    // The data sheet of the simulated joint beside the program; empty when not found.
    static QString simulated_joint_eds();

signals:
    // Monitor texts: CANopen traffic to the CANopen monitor, custom-protocol traffic to its own.
    void senddata(QString str);
    void send_custom_data(QString str);

public slots:
    void on_read_clicked();
    void on_write_clicked();
    void on_open_eds_clicked();
    void on_read_all_clicked();
    void on_export_dcf_clicked();
    void on_save_params_clicked();
    void on_restore_params_clicked();
    void on_lss_clicked();
    void on_register_read_clicked();
    void on_register_write_clicked();
    void on_discover_clicked();
    void on_open_dcf_clicked();
    void on_compare_dcf_clicked();
    void on_download_dcf_clicked();
    void on_save_dcf_report_clicked();
    void on_update_firmware_clicked();
    void on_save_firmware_report_clicked();
    void on_commissioning_cancel_clicked();

protected:
    void retranslate() override;
    void showEvent(QShowEvent *e) override;

private:
    // Which bus the dictionary, discovery and LSS address; bus 0 unless VELMORA_CAN lists more.
    QComboBox *bus_box_ = nullptr;
    bool canopen_ready();
    bool custom_ready();
    canopen::sdo_link link();
    canopen::sdo_link link_to(int node);
    int node() const;
    void set_node(int node);
    void follow_connection();
    bool read_address(uint16_t *index, uint8_t *sub);
    uint16_t selected_type() const;
    objects::od_entry *entry(uint16_t index, uint8_t sub);
    void show_entry(const QModelIndex &index);
    void show_status(const QString &text, bool error);
    void run_parameter_command(bool store);
    bool read_register_number(uint16_t *reg);
    void set_document_title(const QString &text);
    void fit_columns(bool keep_wider = false);
    // The transfers run as jobs of steps (can/step_job.h), so the window and every other one
    // stay live meanwhile; what they read or wrote is shown when they end.
    void start_job(std::unique_ptr<step_job> job, const QString &label);
    void show_read(uint16_t index, uint8_t sub, uint16_t type, const canopen::sdo_outcome &o, bool cancelled);
    void show_written(uint16_t index, uint8_t sub, uint16_t type, const QString &text, const QByteArray &bytes,
                      const canopen::sdo_outcome &o, bool cancelled);
    void show_read_all(const objects::read_all_summary &s);

    // ---- commissioning page
    void setup_commissioning();
    void show_commissioning_status(const QString &text, bool error);
    // The page's headings in the language just switched to.
    void retranslate_commissioning();
    bool commissioning_ready();
    bool dcf_ready();
    bool dcf_targets(std::vector<int> *nodes);
    objects::dcf_wire wire();
    void show_nodes(const std::vector<objects::found_node> &nodes);
    void start_dcf_job(objects::dcf_job::mode mode, const std::vector<int> &nodes);
    void dcf_job_finished(const objects::dcf_job &job);
    void firmware_job_finished(const objects::firmware_job &job, bool cancelled);
    void offer_store(std::vector<int> nodes);
    // The page's jobs show their progress and Cancel on the page itself; its buttons are off
    // meanwhile.
    void start_page_job(std::unique_ptr<step_job> job);
    void set_busy(bool busy);

    Ui::Object_dictionary *ui;
    objects::od_tree_model *model_;
    objects::dcf_diff_model *dcf_model_;
    bool document_chosen_ = false;
    bool job_running_ = false;   // a job of this window's
    bool page_job_ = false;      // ... of the commissioning page
    objects::dcf_job *download_ = nullptr;  // the page's compare or download while it runs
    objects::firmware_job *firmware_ = nullptr;  // the page's firmware update while it runs
    objects::firmware_image firmware_image_;
    std::vector<objects::firmware_report> firmware_report_;
    bool node_chosen_ = false;   // the user picked a node: the connection no longer moves it
    bool setting_node_ = false;
    objects::eds_document dcf_;
    QString dcf_name_;
    std::vector<objects::report_row> report_;
    objects::report_head report_head_;
    std::shared_ptr<objects::reboot_watch> watch_;  // of the last compare or download's nodes
};
