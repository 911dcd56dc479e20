#include "canopen/control_canopen.h"

#include "ui_control_canopen.h"

#include "app/shared_values.h"
#include "canopen/canopen_exchange.h"
#include "tools/monitor.h"

#include <QEvent>

control_CANopen::control_CANopen(QWidget *parent) : QMainWindow(parent), ui(new Ui::control_CANopen)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("CANopen运动控制"));
    // Every logged frame goes to the CANopen monitor, which the main window creates first.
    if (canopen_monitor)
        connect(this, &control_CANopen::senddata, canopen_monitor, &monitor::recedata);
}

bool control_CANopen::canopen_exchange(uint32_t id, const uint8_t *data, uint8_t length, const QString &description,
                                       int log)
{
    return run_canopen_exchange(adapter_bus_ops(), id, data, length, static_cast<uint8_t>(remote_request != 0),
                                description, log, [this](const QString &text) { emit senddata(text); });
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
