#pragma once
// The object page of the object dictionary window: read and write any object of any CANopen node
// by SDO (the page's own node choice, which never changes the control windows' connection),
// browse the node's dictionary from an EDS file (or the built-in CiA 301/402 list), read it all,
// export a DCF, save and restore parameters. Every transfer runs as a job of steps
// (can/step_job.h), so the windows stay live meanwhile.
#include "can/exchange.h"
#include "objects/eds.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class Object_page;
}

namespace canopen {
struct sdo_link;
struct sdo_outcome;
}  // namespace canopen
namespace objects {
class od_tree_model;
struct od_entry;
struct read_all_summary;
}  // namespace objects
class step_job;

class Object_page : public QWidget {
    Q_OBJECT

public:
    // What the page needs from the window around it; each has a default that fits a page on its
    // own (bus 0, only its own jobs).
    struct host {
        // The bus the page addresses.
        std::function<int()> bus;
        // A job of the window's runs (this page's or another's): documents do not change meanwhile.
        std::function<bool()> job_running;
    };
    explicit Object_page(const host &h, QWidget *parent = nullptr);
    ~Object_page() override;

    bool load_eds(const QString &path);
    bool export_dcf_to(const QString &path);
    objects::od_tree_model *model() const { return model_; }
    int node() const;
    // A node the user chose elsewhere (a found node): the connection no longer moves it.
    void choose_node(int node);
    // Until the user picks a node, the page talks to the node the connection window connected.
    void follow_connection();
    // On the simulated bus the simulated joint's own data sheet is the natural first choice.
    void offer_simulated_data_sheet();
    // A job of this page's runs.
    bool job_running() const { return job_running_; }
    // The buttons that start a job on the data sheet, off while another page's job runs.
    void set_document_buttons_enabled(bool enabled);
    canopen::sdo_link link_to(int node);
    // The data sheet of the simulated joint beside the program; empty when not found.
    static QString simulated_joint_eds();

signals:
    // Monitor texts of the page's CANopen traffic.
    void senddata(QString str);
    void node_changed(int node);
    // The LSS button: the window owns the dialog.
    void lss_requested();

public slots:
    void on_read_clicked();
    void on_write_clicked();
    void on_open_eds_clicked();
    void on_read_all_clicked();
    void on_export_dcf_clicked();
    void on_save_params_clicked();
    void on_restore_params_clicked();
    void on_lss_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    int bus() const;
    bool window_job_running() const;
    bool canopen_ready();
    canopen::sdo_link link();
    void set_node(int node);
    bool read_address(uint16_t *index, uint8_t *sub);
    uint16_t selected_type() const;
    objects::od_entry *entry(uint16_t index, uint8_t sub);
    void show_entry(const QModelIndex &index);
    void show_status(const QString &text, bool error);
    void run_parameter_command(bool store);
    void set_document_title(const QString &text);
    void fit_columns(bool keep_wider = false);
    // What they read or wrote is shown when the jobs end.
    void start_job(std::unique_ptr<step_job> job, const QString &label);
    void show_read(uint16_t index, uint8_t sub, uint16_t type, const canopen::sdo_outcome &o, bool cancelled);
    void show_written(uint16_t index, uint8_t sub, uint16_t type, const QString &text, const QByteArray &bytes,
                      const canopen::sdo_outcome &o, bool cancelled);
    void show_read_all(const objects::read_all_summary &s);

    Ui::Object_page *ui;
    host host_;
    objects::od_tree_model *model_;
    bool document_chosen_ = false;
    bool job_running_ = false;
    bool node_chosen_ = false;  // the user picked a node: the connection no longer moves it
    bool setting_node_ = false;
};
