#include "tools/monitor.h"

#include "base/language.h"
#include "base/screen_scale.h"
#include "base/shared_values.h"
#include "tools/monitor_export.h"
#include "ui_monitor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QHeaderView>
#include <QTableWidgetItem>

namespace {
constexpr int column_widths[6] = {90, 200, 100, 120, 250, 100};

// A cell that keeps its text in a plain string instead of the generic role/value list: the log
// holds six of these per frame and never trims, so the per-cell overhead decides how long a run
// fits in memory. Anything else set on the cell (and any later change of the text) goes through
// the ordinary storage, so the item behaves like any QTableWidgetItem.
class monitor_item final : public QTableWidgetItem {
public:
    explicit monitor_item(const QString &text) : QTableWidgetItem(QTableWidgetItem::UserType), text_(text) {}

    QVariant data(int role) const override
    {
        if (!text_.isNull() && (role == Qt::DisplayRole || role == Qt::EditRole))
            return text_;
        return QTableWidgetItem::data(role);
    }
    void setData(int role, const QVariant &value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            text_ = QString();
        QTableWidgetItem::setData(role, value);
    }
    QTableWidgetItem *clone() const override { return new monitor_item(*this); }

private:
    // A null string hands the text over to the base storage; an empty text is null and reads
    // back empty either way. No flag beside it keeps the item in the next smaller heap block.
    QString text_;
};

}  // namespace

monitor::monitor(QWidget *parent) : QMainWindow(parent), ui(new Ui::monitor)
{
    ui->setupUi(this);
    setWindowTitle(tr("数据监控"));

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

    ui->limit_notice->hide();
    show_row_limit();
    setFixedSize(form_width, height_for_dpi(screen_logical_dpi()));
}

void monitor::set_row_limit(int rows)
{
    row_limit_ = qMax(1, rows);
    show_row_limit();
}

void monitor::show_row_limit()
{
    ui->row_limit->setText(tr("行数上限/Row limit: %1").arg(row_limit_));
    ui->limit_notice->setText(
        tr("已达行数上限，记录已暂停；导出或清空后继续/Row limit reached: logging paused; export or clear to go on"));
}

monitor::~monitor() { delete ui; }

QTableWidget *monitor::table() const { return ui->tableWidget; }

int monitor::height_for_dpi(int logical_dpi)
{
    return scaled_for_dpi(form_height, logical_dpi, dpi_height::taller);
}

void monitor::recedata(QString str)
{
    QTableWidget *t = ui->tableWidget;
    if (full_)
        return;
    if (fill_column_ > 5 && t->rowCount() >= row_limit_) {
        // Everything logged stays; the rest of this record and what follows are not placed.
        // Only this window pauses: the logging switch is shared, and the other protocol's
        // window, which has rows to spare, goes on.
        full_ = true;
        ui->limit_notice->show();
        return;
    }
    fill_row_ = cell_count_ / 6;
    if (fill_column_ > 5) {
        fill_column_ %= 6;
        const int row = t->rowCount();
        t->insertRow(row);
        t->setItem(row, 0, new QTableWidgetItem());
        // The new row is already row_height high: the vertical header's fixed default section
        // size. Setting it again would force the table's pending layout once per row, which
        // more than halves the rate at which a burst of frames can be logged.
    }
    t->setItem(fill_row_, fill_column_, new monitor_item(fill_column_ >= 2 ? shared_text(str) : str));
    scroll_to_bottom();
    ++fill_column_;
    ++cell_count_;
}

void monitor::comboBox(int32_t language)
{
    switch_language(translator, language);
}

void monitor::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("数据监控"));
        show_row_limit();
    }
}

void monitor::on_pushButton_clicked() { monitor_capture = 1; }

void monitor::on_pushButton_2_clicked() { monitor_capture = 0; }

void monitor::on_pushButton_3_clicked()
{
    drop_rows();
    monitor_seq = 1;
}

void monitor::drop_rows()
{
    QTableWidget *t = ui->tableWidget;
    t->clearContents();
    // Dropping the rows in one step is the same as removing them from the last down to row 1,
    // without the per-row cost on a long log.
    t->setRowCount(1);
    t->setRowHeight(0, row_height);
    reset_fill_position();
    text_pool_.clear();
    ++drops_;
    if (full_) {
        // Logging paused at the row limit goes on.
        full_ = false;
        ui->limit_notice->hide();
    }
}

void monitor::on_export_2_clicked()
{
    const bool was_full = full_;
    const uint32_t drops = drops_;
    if (!export_monitor_table(ui->tableWidget, this))
        return;
    // A full table takes no rows, so the workbook holds all of them: they can go, and logging
    // goes on. Numbering goes on too, so that the next workbook continues this one (the frames
    // that passed while paused leave their numbers out). A table cleared meanwhile has new rows
    // that are in no file, and stays.
    if (was_full && full_ && drops == drops_)
        drop_rows();
}

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

QString monitor::shared_text(const QString &str)
{
    // Direction, identifier, payload and description repeat from frame to frame (the same few
    // commands and their acknowledgements), so equal texts share one copy. The pool is bounded:
    // when it is full it starts over, which keeps the texts of the recent traffic.
    constexpr int pool_limit = 1024;
    const auto found = text_pool_.constFind(str);
    if (found != text_pool_.constEnd())
        return *found;
    if (text_pool_.size() >= pool_limit)
        text_pool_.clear();
    text_pool_.insert(str, str);
    return str;
}

void monitor::scroll_to_bottom()
{
    // Scrolling lays out the whole table first, so it is done once when control returns to the
    // event loop, before anything is painted, rather than once per text of a burst.
    if (scroll_pending_)
        return;
    scroll_pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scroll_pending_ = false;
            ui->tableWidget->scrollToBottom();
        },
        Qt::QueuedConnection);
}

void monitor::reset_fill_position()
{
    cell_count_ = 0;
    fill_row_ = 0;
    fill_column_ = 0;
}
