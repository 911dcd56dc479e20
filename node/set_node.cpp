#include "node/set_node.h"

#include "ui_set_node.h"

#include <QEvent>

Set_node::Set_node(QWidget *parent) : QMainWindow(parent), ui(new Ui::Set_node)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("设备连接"));
}

Set_node::~Set_node() { delete ui; }

void Set_node::save2() {}

void Set_node::comboBox(int32_t language)
{
    (void)language;
}

void Set_node::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
