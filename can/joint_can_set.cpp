#include "can/joint_can_set.h"

#include "ui_joint_can_set.h"

#include <QEvent>

joint_CAN_set::joint_CAN_set(QWidget *parent) : QMainWindow(parent), ui(new Ui::joint_CAN_set)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("连接设置"));
}

joint_CAN_set::~joint_CAN_set() { delete ui; }

void joint_CAN_set::comboBox(int32_t language)
{
    (void)language;
}

void joint_CAN_set::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
