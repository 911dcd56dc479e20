#include "objects/object_dictionary.h"

#include "base/language.h"
#include "can/bus_box.h"
#include "can/step_job.h"
#include "objects/commissioning_page.h"
#include "objects/lss_dialog.h"
#include "objects/object_page.h"
#include "objects/od_tree_model.h"
#include "objects/register_page.h"

#include "ui_object_dictionary.h"

#include <QShowEvent>

Object_dictionary::Object_dictionary(QWidget *parent)
    : language_window(parent, QStringLiteral("Object_dictionary")), ui(new Ui::Object_dictionary)
{
    ui->setupUi(this);
    bus_box_ = add_bus_box(this);
    const auto bus = [this] { return chosen_bus(bus_box_); };

    Object_page::host objects_host;
    objects_host.bus = bus;
    objects_host.job_running = [this] { return job_running(); };
    objects_ = new Object_page(objects_host, ui->pages);
    Commissioning_page::host commissioning_host;
    commissioning_host.bus = bus;
    commissioning_host.data_sheet = [this] { return objects_->model()->document(); };
    commissioning_ = new Commissioning_page(commissioning_host, ui->pages);
    registers_ = new Register_page(ui->pages);
    ui->pages->addTab(objects_, QString());
    ui->pages->addTab(commissioning_, QString());
    ui->pages->addTab(registers_, QString());
    title_pages();

    connect(objects_, &Object_page::senddata, this, &Object_dictionary::senddata);
    connect(commissioning_, &Commissioning_page::senddata, this, &Object_dictionary::senddata);
    connect(registers_, &Register_page::send_custom_data, this, &Object_dictionary::send_custom_data);
    // Compare, download and firmware address the object page's node unless told otherwise, and
    // a node found by discovery becomes it.
    commissioning_->set_current_node(objects_->node());
    connect(objects_, &Object_page::node_changed, commissioning_, &Commissioning_page::set_current_node);
    connect(commissioning_, &Commissioning_page::node_chosen, objects_, &Object_page::choose_node);
    // While the commissioning page works, the data sheet it may be using stays as it is.
    connect(commissioning_, &Commissioning_page::busy_changed, objects_,
            [this](bool busy) { objects_->set_document_buttons_enabled(!busy); });
    connect(objects_, &Object_page::lss_requested, this, &Object_dictionary::open_lss);
}

Object_dictionary::~Object_dictionary()
{
    // A transfer of this window's does not outlive it; the server hears of its end while every
    // page that waits for it is still there.
    if (job_running())
        job_runner::instance().cancel();
    delete ui;
}

QString Object_dictionary::simulated_joint_eds() { return Object_page::simulated_joint_eds(); }

bool Object_dictionary::load_eds(const QString &path) { return objects_->load_eds(path); }

bool Object_dictionary::export_dcf_to(const QString &path) { return objects_->export_dcf_to(path); }

bool Object_dictionary::open_dcf(const QString &path) { return commissioning_->open_dcf(path); }

bool Object_dictionary::save_dcf_report_to(const QString &path) { return commissioning_->save_dcf_report_to(path); }

objects::od_tree_model *Object_dictionary::model() const { return objects_->model(); }

objects::dcf_diff_model *Object_dictionary::dcf_model() const { return commissioning_->dcf_model(); }

const std::vector<objects::report_row> &Object_dictionary::dcf_report() const { return commissioning_->dcf_report(); }

const objects::report_head &Object_dictionary::dcf_report_head() const { return commissioning_->dcf_report_head(); }

bool Object_dictionary::job_running() const { return objects_->job_running() || commissioning_->job_running(); }

void Object_dictionary::title_pages()
{
    ui->pages->setTabText(ui->pages->indexOf(objects_), tr("CANopen"));
    ui->pages->setTabText(ui->pages->indexOf(commissioning_), tr("调试/Commissioning"));
    ui->pages->setTabText(ui->pages->indexOf(registers_), tr("自定义协议/Custom protocol"));
}

void Object_dictionary::retranslate()
{
    ui->retranslateUi(this);
    title_pages();
}

void Object_dictionary::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    objects_->follow_connection();
    objects_->offer_simulated_data_sheet();
}

void Object_dictionary::open_lss()
{
    Lss *dialog = findChild<Lss *>();
    if (!dialog) {
        dialog = new Lss([this](const QString &t) { emit senddata(t); }, this, chosen_bus(bus_box_));
        dialog->comboBox(current_language());  // born after the last switch: it takes the language now
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}
