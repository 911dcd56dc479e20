#pragma once
#include <QMainWindow>
#include <QTranslator>
#include <cstdint>

namespace Ui {
class Set_node;
}

class Set_node : public QMainWindow {
    Q_OBJECT

public:
    explicit Set_node(QWidget *parent = nullptr);
    ~Set_node() override;

signals:
    void func();
    void func2();
    void func3(int num);
    void func4();
    void connect_();
    void _connect();
    void Scan();

public slots:
    void save2();
    void comboBox(int32_t language);
    void changeEvent(QEvent *e) override;

private:
    Ui::Set_node *ui;
    QTranslator translator;
};
