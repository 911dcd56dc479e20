#include "can/joint_can_set.h"

#include "base/language.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "ui_joint_can_set.h"

#include <QCoreApplication>
#include <QEvent>

joint_CAN_set::joint_CAN_set(QWidget *parent) : QMainWindow(parent), ui(new Ui::joint_CAN_set)
{
    ui->setupUi(this);
    move(360, 0);
    setFixedSize(500, 350);
    setWindowTitle(tr("连接设置"));
}

joint_CAN_set::~joint_CAN_set() { delete ui; }

void joint_CAN_set::comboBox(int32_t language)
{
    switch_language(translator, language);
}

void joint_CAN_set::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("连接设置"));
    }
}

// The adapter is opened at start-up and by the node scan; this button has nothing to add.
void joint_CAN_set::on_OPDevice_clicked() {}

void joint_CAN_set::on_CLDevice_clicked()
{
    close_adapter();
    device_open = 0;  // whatever the library said
}
