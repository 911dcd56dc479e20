#include "trace/node_table.h"

#include "canopen/nmt_state.h"

#include "ui_node_table.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableWidget>

namespace {

constexpr int column_count = 6;

QString milliseconds(int64_t us) { return QString::number(static_cast<double>(us) / 1000.0, 'f', 1); }

}  // namespace

Node_table::Node_table(QWidget *parent) : QWidget(parent), ui(new Ui::Node_table)
{
    ui->setupUi(this);
    ui->nodes->setColumnCount(column_count);
    set_headers();
}

Node_table::~Node_table() { delete ui; }

QTableWidget *Node_table::table() const { return ui->nodes; }

void Node_table::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        set_headers();
    }
}

void Node_table::set_headers()
{
    ui->nodes->setHorizontalHeaderLabels({tr("节点\nNode"), tr("状态\nState"), tr("上次出现(s)\nLast seen (s)"),
                                          tr("心跳周期(ms)\nHeartbeat (ms)"), tr("紧急报文\nEMCY"),
                                          tr("最近错误\nLast error")});
}

QString Node_table::error_cell(int code) const
{
    if (code < 0)
        return QStringLiteral("-");
    QString text = error_text_ ? error_text_(static_cast<uint16_t>(code)) : QString();
    text.replace(QLatin1Char('\n'), QLatin1String(" / "));
    return QStringLiteral("0x%1 %2").arg(code, 4, 16, QLatin1Char('0')).arg(text);
}

void Node_table::show_rows(const std::vector<trace::node_health_row> &rows, int64_t now_us,
                           const std::function<QString(uint16_t iface)> &interface)
{
    set_headers();
    ui->nodes->setRowCount(static_cast<int>(rows.size()));
    int i = 0;
    for (const trace::node_health_row &r : rows) {
        const QString cells[column_count] = {
            interface ? interface(r.iface) + QLatin1Char(' ') + QString::number(r.node) : QString::number(r.node), r.lost ? tr("丢失/Lost") : canopen::nmt_state_text(r.nmt_state),
            QString::number(static_cast<double>(now_us - r.last_seen_us) / 1e6, 'f', 1),
            r.heartbeat_period_us ? milliseconds(r.heartbeat_period_us) : QStringLiteral("-"),
            QString::number(r.emcy_count), error_cell(r.last_error)};
        for (int c = 0; c < column_count; ++c)
            ui->nodes->setItem(i, c, new QTableWidgetItem(cells[c]));
        if (r.lost)
            ui->nodes->item(i, 1)->setForeground(Qt::red);
        ++i;
    }
}

int Node_table::height_for_rows(int rows) const
{
    const QTableWidget *t = ui->nodes;
    return t->horizontalHeader()->sizeHint().height() + rows * t->verticalHeader()->defaultSectionSize() +
           2 * t->frameWidth();
}
