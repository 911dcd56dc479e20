#include "tools/monitor.h"

#include "ui_monitor.h"

#include <QEvent>

monitor::monitor(QWidget *parent) : QMainWindow(parent), ui(new Ui::monitor)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("数据监控"));
}

monitor::~monitor() { delete ui; }

void monitor::recedata(QString str)
{
    (void)str;
}

void monitor::comboBox(int32_t language)
{
    (void)language;
}

void monitor::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
