#pragma once
// Dialog `Lss`: gives fresh drives their node-ID and bit rate over layer setting services. The
// fast scan finds one drive without node-ID at a time and leaves it in configuration; the user
// gives it a node-ID (and a bit rate), stores, and the dialog switches it back to waiting, so it
// boots with its node-ID. Switch state selective reaches a drive whose identity is known. The
// protocol is in canopen/lss_master; this is the view and the order of the steps.
#include "base/language_window.h"
#include "can/exchange.h"
#include "canopen/lss_exchange.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <set>
#include <vector>

namespace Ui {
class Lss;
}

class Lss : public language_window<QDialog> {
    Q_OBJECT

public:
    // log receives the monitor texts of every LSS frame.
    // bus: the bus it addresses (can/bus.h), the object dictionary's choice.
    explicit Lss(const monitor_sink &log, QWidget *parent = nullptr, int bus = 0);
    ~Lss() override;

    bool scanning() const { return scanning_; }

protected:
    void retranslate() override;
    void hideEvent(QHideEvent *e) override;

private:
    // A drive met by the scan or a selection, and what the dialog did to it.
    struct found_node {
        canopen::lss_identity id;
        bool unconfigured = true;  // had no node-ID when found: boots once it gets one
        int node = 0;              // node-ID given; 0 none
        int bit_rate = -1;         // bit timing table index given; -1 none
        bool stored = false;
        bool booted = false;
    };

    bool bus_ready();
    exchange_hooks hooks(const QString &what) const;
    void scan();
    // One step of the fast scan, run by the job runner; false once the scan has ended.
    bool scan_step();
    void stop_scan(const QString &why, bool error);
    void configure();
    // Node-IDs heard on the bus since the adapter opened (boot-up, heartbeat, an SDO answer,
    // which discovery also gets) and those this dialog gave other drives.
    std::set<int> node_ids_in_use() const;
    void store();
    void select();
    void switch_global(canopen::lss_mode mode);
    void activate_bit_rate();
    // Ends configuration (switch state global waiting) and notes a boot-up of the drive in it.
    bool leave_configuration();
    int row_of(const canopen::lss_identity &id);
    void show_rows();
    QString done_text(const found_node &n, bool configuring) const;
    void show_status(const QString &text, bool error);
    void update_buttons();

    Ui::Lss *ui;
    monitor_sink log_;
    const exchange_bus &bus_;
    int bus_index_ = 0;
    std::vector<found_node> found_;
    // The row of the drive in configuration; -1 for none or, with all_configuring_, every drive.
    int current_ = -1;
    bool all_configuring_ = false;
    canopen::lss_fast_scan scan_;
    bool scanning_ = false;
    QTimer waiting_timer_;  // back to waiting once the bus runs at the activated bit rate
};
