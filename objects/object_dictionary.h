#pragma once
// Window `Object_dictionary`: read and write any object of the connected joint by SDO, browse
// its dictionary from an EDS file (or the built-in CiA 301/402 list), read it all, export a DCF,
// save and restore parameters; a second page reads and writes any register of the drive's own
// protocol. The protocol work lives in objects/ (SDO client, EDS parser, actions).
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class Object_dictionary;
}

namespace canopen {
struct sdo_link;
}
namespace objects {
class od_tree_model;
struct od_entry;
}  // namespace objects

class Object_dictionary : public QMainWindow {
    Q_OBJECT

public:
    explicit Object_dictionary(QWidget *parent = nullptr);
    ~Object_dictionary() override;

    bool load_eds(const QString &path);
    bool export_dcf_to(const QString &path);
    objects::od_tree_model *model() const { return model_; }
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

protected:
    void showEvent(QShowEvent *e) override;

private:
    bool canopen_ready();
    bool custom_ready();
    canopen::sdo_link link();
    int node() const;
    bool read_address(uint16_t *index, uint8_t *sub);
    uint16_t selected_type() const;
    objects::od_entry *entry(uint16_t index, uint8_t sub);
    void show_entry(const QModelIndex &index);
    void show_status(const QString &text, bool error);
    void run_parameter_command(bool store);
    bool read_register_number(uint16_t *reg);
    void set_document_title(const QString &text);
    void fit_columns(bool keep_wider = false);

    Ui::Object_dictionary *ui;
    QTranslator translator;
    objects::od_tree_model *model_;
    bool document_chosen_ = false;
};
