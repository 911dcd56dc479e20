#pragma once
// Window `Object_dictionary`: read and write any object of any CANopen node by SDO (the window's
// own node choice, which never changes the control windows' connection), browse its dictionary
// from an EDS file (or the built-in CiA 301/402 list), read it all, export a DCF, save and
// restore parameters. The commissioning page discovers every CANopen node on the bus and
// compares drives with a DCF or puts its values on them; a third page reads and writes any
// register of the drive's own protocol. The protocol work lives in objects/ (discovery, DCF
// plans and jobs, EDS parser, actions) and canopen/ (the SDO client).
#include "objects/eds.h"
#include "objects/dcf_job.h"

#include <QMainWindow>
#include <QTranslator>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class Object_dictionary;
}

class QTimer;
namespace canopen {
struct sdo_link;
}
namespace objects {
class dcf_diff_model;
class od_tree_model;
class step_job;
struct found_node;
}  // namespace objects

class Object_dictionary : public QMainWindow {
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
    bool job_running() const { return job_ != nullptr; }
    // The data sheet of the simulated joint beside the program; empty when not found.
    static QString simulated_joint_eds();

signals:
    // Monitor texts: CANopen traffic to the CANopen monitor, custom-protocol traffic to its own.
    void senddata(QString str);
    void send_custom_data(QString str);

public slots:
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void on_read_clicked();
    void on_write_clicked();
    void on_open_eds_clicked();
    void on_read_all_clicked();
    void on_export_dcf_clicked();
    void on_save_params_clicked();
    void on_restore_params_clicked();
    void on_register_read_clicked();
    void on_register_write_clicked();
    void on_discover_clicked();
    void on_open_dcf_clicked();
    void on_compare_dcf_clicked();
    void on_download_dcf_clicked();
    void on_save_dcf_report_clicked();
    void on_cancel_job_clicked();

protected:
    void showEvent(QShowEvent *e) override;

private:
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

    // ---- commissioning page
    void setup_commissioning();
    void show_commissioning_status(const QString &text, bool error);
    bool bus_ready();
    bool dcf_ready();
    bool dcf_targets(std::vector<int> *nodes);
    objects::dcf_wire wire();
    void show_nodes(const std::vector<objects::found_node> &nodes);
    void start_dcf_job(objects::dcf_job::mode mode, const std::vector<int> &nodes);
    void dcf_job_finished(const objects::dcf_job &job);
    void offer_store(const std::vector<int> &nodes);
    // The window's runner of step jobs: one step per turn of the event loop from a zero timer,
    // progress and Cancel in the page's job row, the page's buttons off meanwhile.
    void start_job(std::unique_ptr<objects::step_job> job, std::function<void()> finished);
    void run_job_step();
    void set_busy(bool busy);

    Ui::Object_dictionary *ui;
    QTranslator translator;
    objects::od_tree_model *model_;
    objects::dcf_diff_model *dcf_model_;
    bool document_chosen_ = false;
    bool node_chosen_ = false;  // the user picked a node: the connection no longer moves it
    bool setting_node_ = false;
    objects::eds_document dcf_;
    QString dcf_name_;
    std::vector<objects::report_row> report_;
    std::unique_ptr<objects::step_job> job_;
    std::function<void()> job_finished_;
    QTimer *job_timer_;
};
