#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class control_CANopen;
}

class control_CANopen : public QMainWindow {
    Q_OBJECT

public:
    explicit control_CANopen(QWidget *parent = nullptr);
    ~control_CANopen() override;

signals:
    void senddata(QString str);
    void func();
    void func2();
    void func3();

public slots:
    void tim();
    void casuals();
    void disconnects();
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

private:
    Ui::control_CANopen *ui;
    QTranslator translator;
};
