#include "tools/monitor.h"

#include "app/shared_values.h"
#include "ui_monitor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QHeaderView>
#include <QScreen>
#include <QTableWidgetItem>

namespace {
constexpr int column_widths[6] = {90, 200, 100, 120, 250, 100};
}

monitor::monitor(QWidget *parent) : QMainWindow(parent), ui(new Ui::monitor)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("数据监控"));

    QTableWidget *t = ui->tableWidget;
    t->setColumnCount(6);
    t->setRowCount(1);
    for (int c = 0; c < 6; ++c)
        t->setColumnWidth(c, column_widths[c]);
    t->horizontalHeader()->setStretchLastSection(true);
    // Rows are all the same height; a fixed default lets the header skip per-row bookkeeping
    // as the table grows.
    t->verticalHeader()->setDefaultSectionSize(row_height);
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->setRowHeight(0, row_height);
    t->verticalHeader()->setHidden(true);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setFocusPolicy(Qt::NoFocus);

    int dpi = 96;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = static_cast<int>(screen->logicalDotsPerInch());
    resize(form_width, height_for_dpi(dpi));
}

monitor::~monitor() { delete ui; }

QTableWidget *monitor::table() const { return ui->tableWidget; }

int monitor::height_for_dpi(int logical_dpi)
{
    double factor = 1.0;
    switch (logical_dpi) {
    case 120: factor = 1.25; break;
    case 144: factor = 1.6; break;
    case 168: factor = 1.85; break;
    case 192: factor = 2.0; break;
    default: break;
    }
    return static_cast<int>(form_height * factor);
}

void monitor::recedata(QString str)
{
    QTableWidget *t = ui->tableWidget;
    fill_row_ = cell_count_ / 6;
    if (fill_column_ > 5) {
        fill_column_ %= 6;
        const int row = t->rowCount();
        t->insertRow(row);
        t->setItem(row, 0, new QTableWidgetItem());
        t->setRowHeight(row, row_height);
    }
    t->setItem(fill_row_, fill_column_, new QTableWidgetItem(str));
    t->scrollToBottom();
    ++fill_column_;
    ++cell_count_;
}

void monitor::comboBox(int32_t language)
{
    bool loaded = false;
    if (language == 0)
        loaded = translator.load(QStringLiteral(":/chinese"));
    else if (language == 1)
        loaded = translator.load(QStringLiteral(":/english"));
    if (loaded)
        QApplication::installTranslator(&translator);
}

void monitor::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
}

void monitor::on_pushButton_clicked() { monitor_capture = 1; }

void monitor::on_pushButton_2_clicked() { monitor_capture = 0; }

void monitor::on_pushButton_3_clicked()
{
    QTableWidget *t = ui->tableWidget;
    t->clearContents();
    // Dropping the rows in one step is the same as removing them from the last down to row 1,
    // without the per-row cost on a long log.
    t->setRowCount(1);
    t->setRowHeight(0, row_height);
    reset_fill_position();
    monitor_seq = 1;
}

void monitor::on_export_2_clicked() {}

void monitor::on_close_clicked()
{
    close();
    monitor_open = 0;
    qDebug() << monitor_open;
}

void monitor::closeEvent(QCloseEvent *e)
{
    e->accept();
    ui->pushButton_3->click();
    reset_fill_position();
    monitor_seq = 1;
    monitor_open = 0;
}

void monitor::reset_fill_position()
{
    cell_count_ = 0;
    fill_row_ = 0;
    fill_column_ = 0;
}
