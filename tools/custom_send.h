#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class custom_send;
}

class custom_send : public QMainWindow {
    Q_OBJECT

public:
    explicit custom_send(QWidget *parent = nullptr);
    ~custom_send() override;

signals:

public slots:
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

private:
    Ui::custom_send *ui;
    QTranslator translator;
};
