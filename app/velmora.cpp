#include "app/velmora.h"

#include "can/bus.h"

#include "app/bus_choice.h"

#include "base/language.h"
#include "base/resources_registration.h"
#include "base/shared_values.h"
#include "base/window_place.h"
#include "base/desktop_seams.h"
#include "base/document_lookup.h"
#include "can/adapter.h"
#include "can/joint_can_set.h"
#include "can/vci/bus_backend.h"
#include "can/vci/bus_tap.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "node/set_node.h"
#include "objects/object_dictionary.h"
#include "objects/od_tree_model.h"
#include "scope/scope_window.h"
#include "joints/joints_window.h"
#include "sequences/sequences_window.h"
#include "sequences/window_joints.h"
#include "tools/custom_send.h"
#include "tools/monitor.h"
#include "trace/bus_trace.h"
#include "ui_velmora.h"

#include <QCloseEvent>
#include <algorithm>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QUrl>

namespace {

// The monitor the Monitor button shows for the current protocol, or null.
monitor *chosen_monitor()
{
    if (canopen_supported == 0 && protocol::is_canopen(protocol_name))
        return custom_monitor;
    if (protocol::is_custom(protocol_name))
        return custom_monitor;
    if (protocol::is_canopen(protocol_name))
        return canopen_monitor;
    return nullptr;
}

}  // namespace

Velmora::Velmora(QWidget *parent) : QMainWindow(parent), ui(new Ui::Velmora)
{
    velmora_resources_registered();
    ui->setupUi(this);
    ui->label->hide();
    ui->comboBox->hide();
    setWindowTitle(QStringLiteral("Velmora_Ver1.0.2.0"));

    ui->connect_device->setIcon(QIcon(QStringLiteral(":/Resources/connect.png")));
    ui->connect_device->setIconSize(ui->connect_device->size());
    ui->connect_device->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QPixmap run(QStringLiteral(":/Resources/run.PNG"));
    ui->sport->setIcon(QIcon(run));
    ui->sport->setIconSize(run.size());
    ui->sport->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QPixmap mon(QStringLiteral(":/Resources/monitor.png"));
    ui->monitoring->setIcon(QIcon(mon));
    ui->monitoring->setIconSize(mon.size());
    ui->monitoring->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    const QString button_style =
        tr("QToolButton{background-color:white;}QToolButton:hover{background-color:cyan;}"
           "QToolButton:pressed{background-color:red;}");
    ui->connect_device->setStyleSheet(button_style);
    ui->sport->setStyleSheet(button_style);
    ui->monitoring->setStyleSheet(button_style);
    ui->custom_send->setStyleSheet(button_style);
    ui->objects->setStyleSheet(button_style);
    ui->scope->setStyleSheet(button_style);

    // The order is binding: each constructor reads the pointers set before it.
    custom_send_window = new custom_send();
    custom_monitor = new monitor();
    canopen_monitor = new monitor();
    custom_control = new control_CAN();
    canopen_control = new control_CANopen();
    settings_window = new joint_CAN_set();
    set_node_window = new Set_node();
    objects_window = new Object_dictionary();
    scope_view = new Scope(this);
    scope_view->setWindowFlag(Qt::Window);
    // The trace records from the start, whether or not its window is shown.
    bus_trace_window = new Bus_trace();
    sequences_window = new Sequences();
    joints_window = new Joints();
    wire_newer_windows();

    move(0, 100);

    connect(settings_window, &joint_CAN_set::func, this, &Velmora::on_sport_clicked);
    connect(settings_window, &joint_CAN_set::func2, this, &Velmora::on_monitoring_clicked);
    connect(this, &Velmora::func, set_node_window, &Set_node::save2);
    connect(this, &Velmora::languagechange, custom_control, &control_CAN::comboBox);
    connect(this, &Velmora::languagechange, canopen_control, &control_CANopen::comboBox);
    connect(this, &Velmora::languagechange, custom_monitor, &monitor::comboBox);
    connect(this, &Velmora::languagechange, canopen_monitor, &monitor::comboBox);
    connect(this, &Velmora::languagechange, settings_window, &joint_CAN_set::comboBox);
    connect(this, &Velmora::languagechange, custom_send_window, &custom_send::comboBox);
    connect(this, &Velmora::languagechange, set_node_window, &Set_node::comboBox);
    // The language menu drives the switch the hidden selector was made for.
    language_choice = new QActionGroup(this);
    language_choice->setExclusive(true);
    const std::pair<QAction *, int32_t> languages[] = {{ui->actionLanguage_both, language_both},
                                                       {ui->actionLanguage_english, language_english},
                                                       {ui->actionLanguage_chinese, language_chinese}};
    for (const auto &choice : languages) {
        QAction *action = choice.first;
        const int32_t language = choice.second;
        action->setData(language);
        language_choice->addAction(action);
        connect(action, &QAction::triggered, this, [this, language] { set_language(language, true); });
    }
    // The Tools menu reaches the same windows as their launcher buttons.
    connect(ui->actionScope, &QAction::triggered, this, &Velmora::on_scope_clicked);
    connect(ui->actionObjects, &QAction::triggered, this, &Velmora::on_objects_clicked);

    // The launcher's grid was laid out for 394×337 without a menu; the Tools menu adds its own
    // height so that the bottom row of buttons stays whole above the status bar.
    setFixedSize(394, 337 + menuBar()->sizeHint().height());

    bus_status_timer = new QTimer(this);
    bus_status_timer->setInterval(500);
    connect(bus_status_timer, &QTimer::timeout, this, &Velmora::refresh_bus_status);
    bus_status_timer->start();
    refresh_bus_status();
}

void Velmora::wire_newer_windows()
{
    // CANopen traffic (SDO, NMT, LSS) to the CANopen monitor, the drive's own protocol to its own.
    connect(objects_window, &Object_dictionary::senddata, canopen_monitor, &monitor::recedata);
    connect(objects_window, &Object_dictionary::send_custom_data, custom_monitor, &monitor::recedata);
    QPointer<monitor> canopen_log = canopen_monitor;
    scope_view->set_monitor_sink([canopen_log](const QString &text) {
        if (canopen_log)
            canopen_log->recedata(text);
    });
    // The scope offers the objects of the dictionary window: its data sheet or the built-in list.
    scope_view->set_dictionary([this] { return objects_window->model()->document(); });
    connect(this, &Velmora::languagechange, objects_window, &Object_dictionary::comboBox);
    connect(this, &Velmora::languagechange, scope_view, &Scope::comboBox);
    connect(this, &Velmora::languagechange, bus_trace_window, &Bus_trace::comboBox);
    connect(this, &Velmora::languagechange, sequences_window, &Sequences::comboBox);
    connect(this, &Velmora::languagechange, joints_window, &Joints::comboBox);
    // A window run's joints() and stopAll() reach the Joints window's list.
    sequences_window->runner()->set_listed_joints(sequences::listed_joints_of(joints_window->table()));
}

Velmora::~Velmora()
{
    delete joints_window;
    delete sequences_window;
    delete objects_window;
    delete bus_trace_window;
    delete ui;
}

namespace {

QStringList &other_bus_failures()
{
    static QStringList failures;
    return failures;
}

}  // namespace

QString Velmora::bus_status_text()
{
    if (vci::bus_lost()) {
        const QString why = vci::bus_lost_reason();
        return in_language(QStringLiteral("CAN适配器已断开 / Adapter lost")) + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    }
    const QString bus = vci::simulated_bus_selected() ? in_language(QStringLiteral("仿真总线 / Simulated bus"))
                                                      : QStringLiteral("CAN: %1").arg(vci::selected_bus_description(can_index));
    const vci::bus_state state = vci::bus_tap::current_bus_state();
    QString text = bus;
    if (state != vci::bus_state::unknown)
        text += QStringLiteral(" | ") + Bus_trace::bus_state_text(static_cast<int>(state));
    // Every further bus by its interface, or what kept it shut.
    for (int i = 1; i < can::bus::selected(); ++i) {
        if (vci::bus_lost(i))
            text += QStringLiteral(" | %1: ").arg(can::bus::at(i).name()) +
                    in_language(QStringLiteral("CAN适配器已断开 / Adapter lost"));
        else if (can::bus::at(i).is_open())
            text += QStringLiteral(" | ") + can::bus::at(i).name();
    }
    for (const QString &failed : other_bus_failures())
        text += QStringLiteral(" | ") + failed;
    return text;
}

void Velmora::open_other_buses()
{
    if (can::bus::selected() < 2)
        return;
    other_bus_failures() = can::open_other_buses();
    refresh_bus_status();
}

void Velmora::refresh_bus_status()
{
    const QString text = bus_status_text();
    if (statusBar()->currentMessage() != text)
        statusBar()->showMessage(text);
}

void Velmora::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    qDebug() << "窗口宽度" << width();
    qDebug() << "窗口高度" << height();
    qDebug() << QGuiApplication::primaryScreen()->logicalDotsPerInch();
    qDebug() << 5;
}

void Velmora::closeEvent(QCloseEvent *event)
{
    // Close what is shown, not what the protocol name suggests: after the EtherCAT question the
    // name still reads CANopen while the custom-protocol window is the one open.
    if (custom_control_open == 1)
        custom_control->close();
    if (canopen_control_open == 1)
        canopen_control->close();
    if (monitor_open == 1) {
        for (monitor *m : {custom_monitor, canopen_monitor})
            if (m->isVisible())
                m->close();
    }
    if (set_node_open)
        set_node_window->close();
    if (custom_send_open)
        custom_send_window->close();
    objects_window->close();
    scope_view->close();
    bus_trace_window->close();
    // Before the adapter closes: a running sequence stops its joints on the way out.
    sequences_window->close();
    joints_window->close();
    can::close_other_buses();
    if (device_open == 1)
        close_adapter();
    // With nothing else shown the toolkit ends the process once this window is gone.
    event->accept();
}

void Velmora::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    const bool starting = !shown_before_;
    shown_before_ = true;
    open_adapter();
    if (adapter_error == 0) {
        app_running = 1;
        device_open = 1;
        open_other_buses();
        return;
    }
    if (starting && offer_simulated_bus())
        return;
    if (!starting)
        desktop_seams::warning(this, tr("警告"), tr("请先关闭其他上位机程序或检查是否连接好调试器\n"));
    app_running = 0;
}

namespace {

// What to do about the bus that could not be opened, in a line a newcomer can act on (rich
// text, so that the command stays on one line).
QString bus_advice(const QString &bus)
{
    const QString tried = QStringLiteral("Could not open the CAN bus <b>%1</b>.").arg(bus.toHtmlEscaped());
    if (bus.startsWith(QLatin1String("socketcan:"))) {
        const QString iface = bus.mid(bus.indexOf(QLatin1Char(':')) + 1).toHtmlEscaped();
        return tried + QStringLiteral("<br>Bring the interface up with<br><nobr><tt>sudo ip link set %1 up type can "
                                      "bitrate 1000000</tt></nobr><br>and start again, or continue on the "
                                      "simulated bus.")
                           .arg(iface);
    }
    return tried + QStringLiteral("<br>Check that the adapter is connected and VELMORA_CAN names it, or continue "
                                  "on the simulated bus.");
}

}  // namespace

bool Velmora::offer_simulated_bus()
{
    desktop_seams::box_request box{desktop_seams::box_kind::warning, this, tr("警告"),
                                   tr("请先关闭其他上位机程序或检查是否连接好调试器\n"),
                                   QMessageBox::Yes | QMessageBox::Close};
    box.informative = bus_advice(vci::selected_bus_description(0));
    box.labels = {{QMessageBox::Yes, QStringLiteral("仿真总线/Simulated bus")},
                  {QMessageBox::Close, QStringLiteral("退出/Quit")}};
    if (desktop_seams::ask(box) != QMessageBox::Yes)
        return false;
    // An adapter that opened but would not initialise or start is still held: the simulated
    // bus takes its place only once it is closed (an open adapter is kept as it is).
    if (adapter_error != 1)
        close_adapter();
    qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    adapter_error = 0;  // the open sequence only ever sets it
    open_adapter();
    if (adapter_error != 0) {
        desktop_seams::warning(this, tr("警告"), tr("仿真总线无法打开/The simulated bus could not be opened"));
        return false;
    }
    app_running = 1;
    device_open = 1;
    refresh_bus_status();
    return true;
}

void Velmora::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        // The form's own title is a leftover; the window keeps its version.
        setWindowTitle(QStringLiteral("Velmora_Ver1.0.2.0"));
        refresh_bus_status();
    }
}

void Velmora::on_comboBox_activated()
{
    const int index = ui->comboBox->currentIndex();
    set_current_language(index);  // the texts code sets follow the selector as the forms do
    load_language(translator, index);
    emit languagechange(index);
    QCoreApplication::installTranslator(&translator);
}

void Velmora::set_language(int32_t language, bool keep)
{
    if (language != language_chinese && language != language_english)
        language = language_both;
    set_current_language(language);
    for (QAction *action : language_choice->actions())
        action->setChecked(action->data().toInt() == language);
    emit languagechange(language);
    switch_language(translator, language);
    // The toolkit posts the change to the windows; they take it now, before anything is shown.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    if (keep)
        save_language(language);
}

void Velmora::show_motion_window(QMainWindow *window)
{
    move_onto_screen(window, QPoint(0, 250));
    window->show();
    window->activateWindow();
    motion_window_open = 1;
}

void Velmora::on_sport_clicked()
{
    bool already_open = false;
    if (custom_control_open == 1) {
        if (protocol::is_canopen(protocol_name))
            already_open = true;
        else if (canopen_control_open != 1)
            return;
    }
    if (!already_open && canopen_control_open == 1) {
        if (protocol_name == QStringLiteral("CAN自定义"))
            already_open = true;
        else
            return;
    }
    if (already_open) {
        desktop_seams::information(this, tr("提示"), tr("请先关闭当前运动控制界面"));
        return;
    }
    if (node_connected == 0)
        return;
    if (canopen_supported == 0 && protocol::is_canopen(protocol_name)) {
        const auto answer = desktop_seams::question(
            this, tr("提示"), tr("此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            show_motion_window(custom_control);
        return;
    }
    if (device_open == 0)
        return;
    if (protocol::is_custom(protocol_name))
        show_motion_window(custom_control);
    else if (protocol::is_canopen(protocol_name))
        show_motion_window(canopen_control);
}

void Velmora::on_monitoring_clicked()
{
    if (device_open == 0 || node_connected == 0)
        return;
    monitor *m = chosen_monitor();
    if (!m)
        return;
    if (m == custom_monitor)
        move_onto_screen(m, QPoint(730, 250));
    else
        move_onto_screen(m, QPoint(800, 250));
    m->show();
    m->activateWindow();
    monitor_open = 1;
}

void Velmora::on_custom_send_clicked()
{
    if (device_open == 0)
        return;
    move_onto_screen(custom_send_window, QPoint(200, 200));
    custom_send_window->show();
    custom_send_window->activateWindow();
}

void Velmora::on_actionBus_trace_triggered()
{
    bus_trace_window->show();
    bus_trace_window->raise();
    bus_trace_window->activateWindow();
}

void Velmora::on_actionJoints_triggered()
{
    joints_window->show();
    joints_window->raise();
    joints_window->activateWindow();
}

void Velmora::on_actionSequences_triggered()
{
    sequences_window->show();
    sequences_window->raise();
    sequences_window->activateWindow();
}

void Velmora::on_Help_clicked()
{
    const QString path = document_lookup::locate(QStringLiteral("Document/Velmora用户手册_Ver1.1.pdf"));
    if (QFile::exists(path) && !desktop_seams::open_url(QUrl::fromLocalFile(path)))
        desktop_seams::information(this, tr("帮助/Help"),
                                   tr("没有能打开 PDF 的程序。手册在：\nNo PDF viewer could open the manual. It is at:\n%1")
                                       .arg(QDir::toNativeSeparators(path)));
}

void Velmora::on_scope_clicked()
{
    scope_view->show();
    scope_view->activateWindow();
}

void Velmora::on_connect_device_clicked()
{
    set_node_window->show();
    set_node_window->activateWindow();
}

void Velmora::on_objects_clicked()
{
    if (device_open == 0)
        return;
    objects_window->show();
    objects_window->activateWindow();
}
