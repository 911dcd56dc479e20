#include "tools/custom_send.h"

#include "ui_custom_send.h"

#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/shared_values.h"
#include "can/exchange.h"
#include "tools/custom_send_payload.h"
#include "can/monitor_record.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QShowEvent>

int32_t row_cursor = 0;

namespace {
constexpr int sender_reply_window_ms = 5;
}

custom_send::custom_send(QWidget *parent) : QMainWindow(parent), ui(new Ui::custom_send)
{
    ui->setupUi(this);
    setWindowTitle(tr("自定义数据收发"));
    setFixedSize(761, 553);
    ui->tableWidget->setRowCount(0);
    ui->tableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

custom_send::~custom_send() { delete ui; }

void custom_send::comboBox(int32_t language)
{
    switch_language(translator, language);
}

void custom_send::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("自定义数据收发"));
        // The status column keeps the untranslated word beside the one shown.
        for (int r = 0; r < ui->tableWidget->rowCount(); ++r)
            if (QTableWidgetItem *item = ui->tableWidget->item(r, 1))
                item->setText(status_text(item->data(Qt::UserRole).toInt()));
    }
}

void custom_send::showEvent(QShowEvent *e)
{
    custom_send_open = 1;
    QMainWindow::showEvent(e);
}

void custom_send::closeEvent(QCloseEvent *e)
{
    QMainWindow::closeEvent(e);
    custom_send_open = 0;
}

QString custom_send::status_text(int status)
{
    return status == sent ? tr("发送成功") : tr("接收");
}

void custom_send::append_entry(const QString &id, int status, const QString &data)
{
    QTableWidget *table = ui->tableWidget;
    table->insertRow(table->rowCount());
    table->setItem(row_cursor, 0, new QTableWidgetItem(id));
    auto *status_item = new QTableWidgetItem(status_text(status));
    status_item->setData(Qt::UserRole, status);
    table->setItem(row_cursor, 1, status_item);
    table->setItem(row_cursor, 2, new QTableWidgetItem(data));
    ++row_cursor;
}

void custom_send::on_send_clicked()
{
    const parsed_payload payload = parse_payload_text(ui->data->text());
    uint32_t id = 0;
    // More than eight bytes cannot travel in one frame, an identifier beyond 11 bits would be
    // cut down by the bus and reach a different node, and one that is not a number would go
    // out as 0 (an NMT command to every node): all are refused like a bad piece.
    if (payload.status != payload_status::ok
        || parse_identifier_text(ui->COB_ID->text(), &id) != identifier_status::ok) {
        desktop_seams::question(this, tr("错误"), tr("输入数据格式错误"), QMessageBox::Ok);
        return;
    }
    // Whatever the adapter holds after the send is listed, answer to this frame or not: the
    // buffer is deliberately not cleared before the send, and no reply is awaited.
    exchange_request request(id, payload.bytes.data(), uint8_t(payload.count), sender_reply_window_ms);
    request.remote = ui->checkBox->isChecked() ? 1 : 0;
    request.clear_first = false;
    exchange_hooks hooks;
    hooks.sent = [this](const bus_frame &) {
        append_entry(ui->COB_ID->text(), sent, ui->data->text().toUpper());
    };
    hooks.received = [this](const bus_frame &f, const reply_verdict &) {
        append_entry(monitor_id_text(f.id), received, monitor_data_text(f.data, bus_frame_bytes(f)));
    };
    run_exchange(adapter_bus_ops(), request, hooks);
}

void custom_send::on_clear_clicked()
{
    ui->tableWidget->clearContents();
    ui->tableWidget->setRowCount(0);
    row_cursor = 0;
}
