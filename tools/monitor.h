#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class monitor;
}

class monitor : public QMainWindow {
    Q_OBJECT

public:
    explicit monitor(QWidget *parent = nullptr);
    ~monitor() override;

signals:

public slots:
    void recedata(QString str);
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

private:
    Ui::monitor *ui;
    QTranslator translator;
};
