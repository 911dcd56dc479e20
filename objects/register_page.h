#pragma once
// The register page of the object dictionary window: reads and writes any register of the
// drive's own protocol on the connected joint.
#include <QWidget>
#include <cstdint>

namespace Ui {
class Register_page;
}

class Register_page : public QWidget {
    Q_OBJECT

public:
    explicit Register_page(QWidget *parent = nullptr);
    ~Register_page() override;

signals:
    // Monitor texts of the page's custom-protocol traffic.
    void send_custom_data(QString str);

public slots:
    void on_register_read_clicked();
    void on_register_write_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    bool custom_ready();
    bool read_register_number(uint16_t *reg);

    Ui::Register_page *ui;
};
