#pragma once
// The scope window `Scope`: record the connected joint (by SDO or the custom protocol at
// 10-100 Hz, or from the drive's own PDOs at up to 1 kHz), at once or from a trigger (the next
// motion command, or a channel crossing a level) with a pre-trigger time; watch the strip chart
// live, then zoom, pan and read the stopped recording with two cursors and export it as CSV or
// PNG. A drive with a recorder of its own (scope_recorder.h) records at its cycle instead, shown
// the same way. The channels are the defaults or objects picked from the object dictionary, each
// with its scale and unit. Sampling is in scope_sampler.h, the PDO set-up in scope_pdo.h; this
// window wires them to the form and the chart. With several buses its `bus` box picks the bus:
// the joint recorded is the connected joint's node number on that bus, sampled, set up and
// journalled there.
#include "base/language_window.h"
#include "can/exchange.h"
#include "canopen/sdo_client.h"
#include "scope/scope_sample.h"

#include <QDateTime>
#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace Ui {
class Scope;
}
class QComboBox;

namespace objects {
struct eds_document;
}

namespace scope {
class chart;
class sampler;
class sample_source;
class pdo_setup;
class recorder_setup;
}  // namespace scope

class Scope : public language_window<QMainWindow> {
    Q_OBJECT

public:
    explicit Scope(QWidget *parent = nullptr);
    ~Scope() override;

    scope::sampler &sampler() { return *sampler_; }
    scope::chart &chart() { return *chart_; }
    const scope::channel_list &channels() const { return channels_; }

    // Where the objects to pick come from: the object dictionary window's document (its loaded
    // EDS, or the built-in CiA 301/402 list). Unset, the built-in list.
    using dictionary_source = std::function<objects::eds_document()>;
    void set_dictionary(dictionary_source source);
    // Where the monitor texts of the scope's own CANopen traffic (its set-up writes) go; unset,
    // nowhere.
    void set_monitor_sink(monitor_sink log);

    // A polled source for the joint connected now, in the protocol of the control window in
    // use; null when no joint is connected.
    static std::unique_ptr<scope::sample_source> source_for_joint(const scope::channel_list &channels = scope::default_channels(),
                                                                  int bus = 0);
    // The bus the `bus` box names (0 with a single bus).
    int bus() const;

public slots:
    void on_record_clicked();
    void on_export_csv_clicked();
    void on_export_png_clicked();
    void on_add_channel_clicked();
    void on_remove_channel_clicked();

protected:
    void retranslate() override;
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool canopen_joint() const;
    // Whether a joint is connected and the chosen bus is open.
    bool joint_reachable() const;
    bool pdo_chosen() const;
    // Sets up the PDOs (asking first); null when the recording is not to start. *fell_back:
    // the user chose to stay with SDO.
    std::unique_ptr<scope::sample_source> set_up_pdos(bool *fell_back);
    void restore_pdos();
    void stop_recording();
    // The drive's recorder: offered in the source list when the drive has one; armed, watched
    // until done, uploaded (progress, Cancel) and shown; its configuration put back at the end.
    void offer_recorder();
    bool recorder_chosen() const;
    void start_recorder();
    void poll_recorder();
    void end_recorder(const QString &message);
    bool busy() const;
    void update_controls();
    void show_progress();
    void fill_rates();
    void fill_objects();
    void fill_channels();
    void fill_cursor_values();
    void update_cap_info();
    int selected_rate() const;
    size_t cap_samples() const;
    QString picture_title() const;
    // False when the file could not be written; a cancelled export is no failure.
    bool write_csv_file(const QString &path);

    Ui::Scope *ui;
    QComboBox *bus_box_ = nullptr;
    scope::sampler *sampler_;
    scope::chart *chart_;
    QTimer redraw_timer_;
    bool exporting_ = false;
    bool filling_ = false;
    scope::channel_list channels_ = scope::default_channels();
    scope::channel_list choices_;  // what object_choice offers, item by item
    dictionary_source dictionary_;
    monitor_sink log_;
    std::unique_ptr<canopen::sdo_link> pdo_link_;
    std::unique_ptr<scope::pdo_setup> pdo_setup_;
    std::unique_ptr<canopen::sdo_link> recorder_link_;
    std::unique_ptr<scope::recorder_setup> recorder_;
    QTimer recorder_poll_;
    bool uploading_ = false;
    bool rated_known_ = false;
    int32_t rated_ma_ = 0;
    // What the present recording is, for the title of its picture.
    QString recorded_protocol_;
    QString note_;  // what the status line adds while recording (a source other than chosen)
    int recorded_node_ = 0;
    int recorded_bus_ = 0;
    QDateTime recorded_at_;
};
