#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class control_CAN;
}

class control_CAN : public QMainWindow {
    Q_OBJECT

public:
    explicit control_CAN(QWidget *parent = nullptr);
    ~control_CAN() override;

signals:
    void senddata(QString str);
    void func();
    void func3();
    void func4();

public slots:
    void cut();
    void thread();
    void casual();
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

private:
    Ui::control_CAN *ui;
    QTranslator translator;
};
