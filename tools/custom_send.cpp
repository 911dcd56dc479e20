#include "tools/custom_send.h"

#include "ui_custom_send.h"

#include <QEvent>

custom_send::custom_send(QWidget *parent) : QMainWindow(parent), ui(new Ui::custom_send)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("自定义数据收发"));
}

custom_send::~custom_send() { delete ui; }

void custom_send::comboBox(int32_t language)
{
    (void)language;
}

void custom_send::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
