#include "objects/register_page.h"

#include "base/shared_values.h"
#include "canopen/canopen_frames.h"
#include "canopen/value_codec.h"
#include "custom_protocol/custom_exchange.h"

#include "ui_register_page.h"

#include <QEvent>

using canopen::number;
using canopen::parse_number;
using canopen::parse_register_value;
using canopen::register_value_text;

namespace {

// Decimal or 0x-hexadecimal ("24641", "0x6041"); false for anything else or beyond max.
bool parse_bounded(const QString &text, uint64_t max, uint64_t *value)
{
    number n;
    if (!parse_number(text, &n) || n.negative || n.magnitude > max)
        return false;
    *value = n.magnitude;
    return true;
}

}  // namespace

Register_page::Register_page(QWidget *parent) : QWidget(parent), ui(new Ui::Register_page) { ui->setupUi(this); }

Register_page::~Register_page() { delete ui; }

void Register_page::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

bool Register_page::custom_ready()
{
    if (device_open == 0 || node_connected == 0) {
        ui->register_status->setText(tr("请先连接节点/Connect a joint first"));
        return false;
    }
    return true;
}

bool Register_page::read_register_number(uint16_t *reg)
{
    uint64_t r = 0;
    if (!parse_bounded(ui->register_index->text(), 0xFFFF, &r)) {
        ui->register_status->setText(tr("寄存器号无效/Register number out of range (0-0xFFFF)"));
        return false;
    }
    *reg = static_cast<uint16_t>(r);
    return true;
}

void Register_page::on_register_read_clicked()
{
    uint16_t reg = 0;
    if (!read_register_number(&reg) || !custom_ready())
        return;
    reply_length = 0;
    custom_request request = custom_read(reg, QStringLiteral("读寄存器/Read register 0x%1").arg(reg, 4, 16, QLatin1Char('0')));
    request.log = 1;
    const bool ok = custom_exchange([this](const QString &t) { emit send_custom_data(t); }, static_cast<uint32_t>(custom_request_id), request);
    if (!ok || reply_length < 4) {
        ui->register_status->setText(tr("无应答/No reply"));
        return;
    }
    ui->register_value->setText(register_value_text(reply_value, ui->register_hex->isChecked()));
    ui->register_status->setText(tr("读取完成/read"));
}

void Register_page::on_register_write_clicked()
{
    uint16_t reg = 0;
    if (!read_register_number(&reg))
        return;
    int32_t value = 0;
    if (!parse_register_value(ui->register_value->text(), &value)) {
        ui->register_status->setText(tr("数值无效/Not a 32-bit value"));
        return;
    }
    if (!custom_ready())
        return;
    const bool ok = custom_exchange([this](const QString &t) { emit send_custom_data(t); }, static_cast<uint32_t>(custom_request_id),
                                    custom_write(reg, value, QStringLiteral("写寄存器/Write register 0x%1").arg(reg, 4, 16, QLatin1Char('0')), 1));
    ui->register_status->setText(ok ? tr("已发送，已收到应答/sent, answered") : tr("无应答/No reply"));
}
