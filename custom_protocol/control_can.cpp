#include "custom_protocol/control_can.h"

#include "ui_control_can.h"

#include "app/shared_values.h"
#include "tools/monitor.h"

#include <QEvent>

control_CAN::control_CAN(QWidget *parent) : QMainWindow(parent), ui(new Ui::control_CAN)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("CAN自定义协议控制"));
    // Every logged exchange of this window goes to the custom-protocol monitor, which the main
    // window creates before this window.
    if (custom_monitor)
        connect(this, &control_CAN::senddata, custom_monitor, &monitor::recedata);
}

control_CAN::~control_CAN() { delete ui; }

void control_CAN::cut() {}

void control_CAN::thread() {}

void control_CAN::casual() {}

void control_CAN::comboBox(int32_t language)
{
    (void)language;
}

void control_CAN::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
