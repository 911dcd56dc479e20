#include "node/set_node.h"

#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/screen_scale.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_tap.h"
#include "canopen/canopen_frames.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/custom_commands.h"
#include "custom_protocol/custom_exchange.h"
#include "node/node_state.h"
#include "node/progress_threads.h"
#include "ui_set_node.h"

#include <QBrush>
#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QListWidgetItem>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace {

constexpr uint32_t custom_request_base = custom_id::request_base;
constexpr uint32_t sdo_request_base = canopen::sdo_request_base;
constexpr int connect_retry_ms = 2000;

const custom_request probe_request = read_actual_position();
const custom_request firmware_request = read_firmware_number();
const custom_request save_request = save_parameters();

// save_status while a save waits for its progress to finish: 2 acknowledged, 1 no reply.
constexpr int32_t save_acknowledged = 2;
constexpr int32_t save_unanswered = 1;

}  // namespace

Set_node::Set_node(QWidget *parent) : QMainWindow(parent), ui(new Ui::Set_node)
{
    ui->setupUi(this);
    setWindowTitle(tr("设备连接"));
    move(400, 100);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size_for_dpi(QSize(350, 640), screen_logical_dpi()));
    ui->progressBar->hide();
    ui->Save->setEnabled(false);

    scan_progress_thread = new progressBars_thread(this);
    save_progress_thread = new progressBars_thread2(this);
    connect_timer = new QTimer(this);
    connect_timer->setObjectName(QStringLiteral("connect_timer"));
    connect_timer->setInterval(connect_retry_ms);

    connect(this, &Set_node::func3, this, &Set_node::probar);
    connect(this, &Set_node::Scan, this, &Set_node::scan_node);
    connect(this, &Set_node::func4, this, &Set_node::save);
    // The main window creates both control windows before this one; a window built on its own
    // (tests, tools) simply has nobody to notify.
    if (custom_control) {
        connect(this, &Set_node::connect_, custom_control, &control_CAN::casual);
        connect(this, &Set_node::func2, custom_control, &control_CAN::cut);
    }
    if (canopen_control) {
        connect(this, &Set_node::_connect, canopen_control, &control_CANopen::casuals);
        connect(this, &Set_node::func, canopen_control, &control_CANopen::disconnects);
    }
    connect(connect_timer, &QTimer::timeout, this, &Set_node::off);
    connect(ui->Save, &QPushButton::clicked, this, &Set_node::save2);
}

Set_node::~Set_node()
{
    // The workers emit on this window; let a running one finish before the window goes.
    scan_progress_thread->wait();
    save_progress_thread->wait();
    delete ui;
}

bool Set_node::node_exchange(uint32_t identifier, const uint8_t *payload, uint8_t length, uint32_t *reply_id,
                             bool command, const std::vector<uint32_t> &not_replies)
{
    const exchange_request request(identifier, payload, length, custom_reply_window_ms);
    const custom_reply_shape shape = command ? custom_reply_shape::value_or_ack : custom_reply_shape::value;
    const exchange_outcome out = custom_transaction(adapter_bus_ops(), request, shape, exchange_hooks(), not_replies);
    if (out.sent && !out.received)
        take_late_answer();
    if (!out.answered)
        return false;
    reply_value = custom_reply_value(out.reply.data, static_cast<uint8_t>(bus_frame_bytes(out.reply)));
    if (reply_id)
        *reply_id = out.reply.id;
    return true;
}

void Set_node::take_late_answer()
{
    // Nothing was pending after the reply window, yet the batch receive still waits its 10 ms:
    // an answer that comes late is taken off the queue here and counts for nothing, instead of
    // arriving during the next node's probe as that node's answer.
    uint32_t ids[frame_batch_size] = {};
    uint8_t payloads[frame_batch_size][8] = {};
    uint8_t lens[frame_batch_size] = {};
    uint8_t flags[frame_batch_size] = {};
    adapter_bus_ops().receive(ids, payloads, lens, flags);
}

bool Set_node::probe(int32_t node)
{
    // Learned afresh: the drive on that number may have been replaced since.
    const uint32_t request_id = custom_request_base + static_cast<uint32_t>(node);
    // The identifier it answered from before is its own, however recently it was heard.
    std::vector<uint32_t> not_replies = other_traffic_;
    not_replies.erase(std::remove(not_replies.begin(), not_replies.end(), custom_learned_reply_id(request_id)),
                      not_replies.end());
    custom_learn_reply_id(request_id, 0);
    uint32_t answered_on = 0;
    if (!node_exchange(request_id, probe_request.data, probe_request.length, &answered_on, false, not_replies))
        return false;
    custom_learn_reply_id(request_id, answered_on);
    return true;
}

void Set_node::set_progress_visible(bool visible) { ui->progressBar->setVisible(visible); }

void Set_node::on_Scan_clicked()
{
    const int32_t max = ui->Max->text().toInt(nullptr, 10);
    const int32_t min = ui->Min->text().toInt(nullptr, 10);
    // A Min below 1 would probe node 0 and negative nodes, with identifiers outside 11 bits.
    if (max > last_scan_node || min < first_scan_node) {
        desktop_seams::critical(this, tr("错误"), tr("输入范围错误！\n"));
        return;
    }
    if (device_open == 1)
        close_adapter();
    protocol_name = chosen_protocol();

    progress_step_ms = 1;
    ui->progressBar->show();
    // Does nothing while a previous first phase still runs, so a double click probes once.
    scan_progress_thread->start();

    open_adapter();
    int32_t failure = 0;
    if (adapter_error == 0) {
        device_open = 1;
    } else {
        failure = adapter_error;
        // A half-opened adapter is released; a failed close leaves nothing to release.
        if (failure != 4)
            close_adapter();
        adapter_error = 0;
    }

    // Disconnect before the message box: the box runs its own event loop, in which the probe
    // phase may already rebuild the list, and the old connection must not outlive it.
    if (node_connected == 1)
        ui->Disconnect->click();
    if (failure != 0)
        report_adapter_error(failure);
}

void Set_node::report_adapter_error(int32_t code)
{
    QString text;
    switch (code) {
    case 1:
        text = tr("打开CAN设备失败，CAN通道被占用或未连接设备...\n");
        break;
    case 2:
        text = tr("初始化CAN设备失败\n");
        break;
    case 3:
        text = tr("启动CAN通道失败\n");
        break;
    case 4:
        text = tr("关闭CAN设备失败\n");
        break;
    default:
        return;
    }
    desktop_seams::critical(this, tr("错误"), text);
}

void Set_node::scan_node()
{
    found_node_count = 0;
    ui->listWidget_2->clear();

    // The range fields stay editable during the first phase, so they are checked again here:
    // never probe outside 1..64, which also bounds found_nodes.
    const int32_t min = ui->Min->text().toInt(nullptr, 10);
    const int32_t max = ui->Max->text().toInt(nullptr, 10);
    if (min >= first_scan_node && max >= min) {
        // Everything heard since the adapter opened for this scan came before any probe.
        other_traffic_ = vci::bus_tap::heard_since(0);
        const float step = 80.0f / static_cast<float>(static_cast<int64_t>(max) - min + 1);
        for (int32_t n = min; n <= ui->Max->text().toInt(nullptr, 10) && n <= last_scan_node; ++n) {
            if (probe(n) && found_node_count < max_found_nodes)
                found_nodes[found_node_count++] = n;
            // By the place within Min..Max, so that the bar ends at 100 on Max whatever Min is.
            ui->progressBar->setValue(static_cast<int>(static_cast<float>(n - min + 1) * step + 20));
        }
    }
    other_traffic_.clear();
    ui->progressBar->hide();

    for (int32_t i = 0; i < found_node_count; ++i)
        ui->listWidget_2->addItem(QStringLiteral("%1 %2 %3").arg(QStringLiteral("CAN_ID"), QStringLiteral("      "),
                                                                   QString::number(found_nodes[i])));
    ui->progressBar->setValue(100);
}

void Set_node::on_Connect_clicked()
{
    if (found_node_count == 0 || ui->listWidget_2->count() == 0)
        return;
    protocol_name = chosen_protocol();
    if (node_connected == 1) {
        connect_timer->start(connect_retry_ms);
        return;
    }

    int row = ui->listWidget_2->currentRow();
    if (row < 0 || row > 64)
        row = 0;
    selected_row = row;
    QListWidgetItem *item = ui->listWidget_2->item(row);
    if (!item)
        return;
    const int32_t node = item->text().right(2).trimmed().toInt(nullptr, 10);
    if (node < first_scan_node || node > last_scan_node)
        return;
    node_id = node;
    sdo_request_id = static_cast<int32_t>(sdo_request_base) + node_id;
    custom_request_id = static_cast<int32_t>(custom_request_base) + node_id;

    // The probe answers with the drive's reply identifier; every later exchange keeps to it.
    custom_reply_id = 0;
    other_traffic_ = custom_other_traffic();
    const bool answered = probe(node_id);
    other_traffic_.clear();
    if (!answered) {
        desktop_seams::critical(this, tr("错误"), tr("未找到正确ID号请重新扫描"));
        return;
    }
    item->setBackground(QBrush(Qt::green));
    custom_reply_id = static_cast<int32_t>(custom_learned_reply_id(static_cast<uint32_t>(custom_request_id)));

    // Without a reply the field shows whatever the probe left in reply_value.
    node_exchange(static_cast<uint32_t>(custom_request_id), firmware_request.data, firmware_request.length);
    ui->Firmware->setText(QStringLiteral("%1").arg(static_cast<uint32_t>(reply_value)));
    // Firmware numbers ending in 0 are EtherCAT builds without CANopen.
    canopen_supported = ui->Firmware->text().endsWith(QLatin1Char('0')) ? 0 : 1;
    ui->cycle_period->setText(QStringLiteral("1000"));

    if (protocol::is_custom(protocol_name) && custom_control_open == 1)
        emit connect_();
    else if (protocol::is_canopen(protocol_name) && canopen_control_open == 1)
        emit _connect();

    node_connected = 1;
    ui->Save->setEnabled(true);
    connect_timer->start(connect_retry_ms);
}

void Set_node::on_Disconnect_clicked()
{
    if (node_connected != 1 || found_node_count == 0 || ui->listWidget_2->count() == 0)
        return;
    connect_timer->stop();
    if (QListWidgetItem *item = ui->listWidget_2->item(selected_row))
        item->setBackground(QBrush(Qt::white));
    ui->Firmware->clear();
    emit func2();
    emit func();
    node_connected = 0;
    ui->Save->setEnabled(false);
    ui->cycle_period->clear();
    custom_request_id = static_cast<int32_t>(custom_request_base);
    custom_reply_id = 0;
}

void Set_node::off()
{
    // Repeats the hand-over until the control window of the chosen protocol reports that it
    // has taken the node; a window opened after the connect gets it within one period.
    if (custom_link_active == 0 && custom_request_id > static_cast<int32_t>(custom_request_base)) {
        if (protocol::is_custom(protocol_name) && custom_control_open == 1) {
            emit connect_();
            return;
        }
    }
    if (canopen_link_active == 0 && sdo_request_id > static_cast<int32_t>(sdo_request_base)) {
        if (protocol::is_canopen(protocol_name) && canopen_control_open == 1)
            emit _connect();
    }
}

void Set_node::probar(int num) { ui->progressBar->setValue(num); }

void Set_node::save2()
{
    if (node_connected != 1)
        return;
    save_status = save_acknowledged;
    progress_step_ms = save_pause_ms;
    ui->Save->setEnabled(false);
    save_progress_thread->start();
    qDebug() << custom_request_id;
    if (node_exchange(static_cast<uint32_t>(custom_request_id), save_request.data, save_request.length, nullptr, true))
        qDebug() << "保存";
    else
        save_status = save_unanswered;  // never tell the user a save that nobody took succeeded
}

void Set_node::save()
{
    if (save_status == save_acknowledged)
        desktop_seams::information(this, tr("提示"), tr("保存成功，断电重连后生效"));
    else if (save_status == save_unanswered)
        desktop_seams::critical(this, tr("错误"), tr("保存失败，驱动器无应答\n"));
    save_status = 0;
    ui->Save->setEnabled(node_connected == 1);
}

void Set_node::comboBox(int32_t language) { switch_language(translator, language); }

void Set_node::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(tr("设备连接"));
    }
}

void Set_node::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    qDebug() << "窗口宽度" << width();
    qDebug() << "窗口高度" << height();
    qDebug() << screen_logical_dpi();
    qDebug() << 5;
}

void Set_node::on_comboBox_activated(QString text)
{
    (void)text;
    protocol_name = chosen_protocol();
}

QString Set_node::chosen_protocol() const
{
    // The windows compare the name with the selector's own items, whatever language shows them.
    switch (ui->comboBox->currentIndex()) {
    case 0: return QStringLiteral("CAN自定义");
    case 1: return QStringLiteral("CANopen");
    default: return ui->comboBox->currentText();
    }
}

void Set_node::on_cycle_period_textChanged(QString text)
{
    (void)text;
    comm_cycle_us = ui->cycle_period->text().toInt(nullptr, 10);
}

void Set_node::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    set_node_open = 1;
}

void Set_node::closeEvent(QCloseEvent *event)
{
    set_node_open = 0;
    QMainWindow::closeEvent(event);
}
