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

    // Sends one frame to the bus with the window's remote flag and reads the replies of the
    // next 5 ms (reply_value); log = 1 records both in the CANopen monitor when it is shown
    // with capture on. True when the frame went out and frames came back.
    bool canopen_exchange(uint32_t id, const uint8_t *data, uint8_t length, const QString &description, int log);

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
