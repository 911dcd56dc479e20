#pragma once
// Adapter settings window: shows the fixed adapter settings; its close button closes the adapter.
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class joint_CAN_set;
}

class joint_CAN_set : public QMainWindow {
    Q_OBJECT

public:
    explicit joint_CAN_set(QWidget *parent = nullptr);
    ~joint_CAN_set() override;

signals:
    void func();
    void func2();
    void func3();

public slots:
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;
    void on_OPDevice_clicked();
    void on_CLDevice_clicked();

private:
    Ui::joint_CAN_set *ui;
    QTranslator translator;
};
