#include "canopen/control_canopen.h"

#include "ui_control_canopen.h"

#include <QEvent>

control_CANopen::control_CANopen(QWidget *parent) : QMainWindow(parent), ui(new Ui::control_CANopen)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("CANopen运动控制"));
}

control_CANopen::~control_CANopen() { delete ui; }

void control_CANopen::tim() {}

void control_CANopen::casuals() {}

void control_CANopen::disconnects() {}

void control_CANopen::comboBox(int32_t language)
{
    (void)language;
}

void control_CANopen::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
