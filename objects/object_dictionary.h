#pragma once
// Window `Object_dictionary`: the pages of CANopen object access (objects/object_page.h),
// commissioning (objects/commissioning_page.h, with the bench page) and the drive's own
// registers (objects/register_page.h), and the bus they address. The window owns what the pages
// share: the bus choice, the LSS dialog, and the monitor texts, which it hands on as signals for
// the program to connect; a window nobody connected logs nowhere.
#include "base/language_window.h"
#include "objects/dcf_report.h"

#include <QMainWindow>
#include <vector>

class QComboBox;
class Object_page;
class Commissioning_page;
class Register_page;

namespace Ui {
class Object_dictionary;
}

namespace objects {
class dcf_diff_model;
class od_tree_model;
}  // namespace objects

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
    objects::od_tree_model *model() const;
    objects::dcf_diff_model *dcf_model() const;
    const std::vector<objects::report_row> &dcf_report() const;
    const objects::report_head &dcf_report_head() const;
    // A job of this window's runs, on any of its pages.
    bool job_running() const;
    Object_page *object_page() const { return objects_; }
    Commissioning_page *commissioning_page() const { return commissioning_; }
    Register_page *register_page() const { return registers_; }
    // The data sheet of the simulated joint beside the program; empty when not found.
    static QString simulated_joint_eds();

signals:
    // Monitor texts: CANopen traffic (the pages' and the LSS dialog's) and custom-protocol
    // traffic, for the monitor of each.
    void senddata(QString str);
    void send_custom_data(QString str);

public slots:
    // The LSS dialog, made on first use; drives without node-ID are reached by their identity,
    // so no connected joint is needed.
    void open_lss();

protected:
    void retranslate() override;
    void showEvent(QShowEvent *e) override;

private:
    void title_pages();

    Ui::Object_dictionary *ui;
    // Which bus the pages and LSS address; bus 0 unless VELMORA_CAN lists more.
    QComboBox *bus_box_ = nullptr;
    Object_page *objects_ = nullptr;
    Commissioning_page *commissioning_ = nullptr;
    Register_page *registers_ = nullptr;
};
