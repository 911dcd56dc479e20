// The launcher window: form, geometry, the windows it creates, the guards of its buttons and
// the start-up failure path.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "app/startup.h"
#include "app/velmora.h"
#include "can/adapter.h"
#include "can/joint_can_set.h"
#include "can/vci/bus_tap.h"
#include "can/vci/qt_bus_status.h"
#include "can/step_job.h"
#include "can/vci/vci.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "node/set_node.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "tools/custom_send.h"
#include "tools/monitor.h"
#include "trace/bus_trace.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QApplication>
#include <QSpinBox>
#include <QPushButton>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QScreen>
#include <QtTest>
#include <memory>

using namespace test_support;

namespace {

void delete_windows()
{
    delete custom_send_window;
    delete custom_monitor;
    delete canopen_monitor;
    delete custom_control;
    delete canopen_control;
    delete settings_window;
    delete set_node_window;
}

// True when a frame can really be sent, that is the adapter is open.
bool adapter_sends()
{
    vci_frame f = {};
    f.id = 0x641;
    f.data_len = 2;
    f.data[1] = 0x02;
    return Transmit(3, 0, 0, &f, 1) == 1;
}

struct box_log {
    QList<desktop_seams::box_request> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

}  // namespace

class test_main_window : public QObject {
    Q_OBJECT

    std::unique_ptr<Velmora> window;
    std::shared_ptr<box_log> log;

    void click(const char *name)
    {
        auto *button = window->findChild<QAbstractButton *>(QLatin1String(name));
        QVERIFY2(button, name);
        button->click();
    }

    // A window of fixed size opens at the place the launcher gives it, or, where its frame would
    // leave the screen there (the offscreen screen is 800x600), inside the screen at its size.
    static bool placed(QWidget *w, const QPoint &wanted, const QSize &size)
    {
        const QRect area = w->screen()->availableGeometry();
        const QRect frame(w->pos(), w->frameGeometry().size());
        if (area.contains(QRect(wanted, frame.size())))
            return w->pos() == wanted;
        // Where the window is larger than the screen its top left corner is the screen's.
        const bool across = frame.left() >= area.left() && (frame.right() <= area.right() || frame.left() == area.left());
        const bool down = frame.top() >= area.top() && (frame.bottom() <= area.bottom() || frame.top() == area.top());
        return w->size() == size && across && down;
    }

    void hide_children()
    {
        for (QWidget *w : std::initializer_list<QWidget *>{custom_send_window, custom_monitor, canopen_monitor,
                                                           custom_control, canopen_control, set_node_window})
            w->hide();
        custom_control_open = canopen_control_open = 0;
        motion_window_open = monitor_open = 0;
    }

private slots:
    void initTestCase()
    {
        qputenv("VELMORA_CAN", "sim");
        reset_shared_values();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        log = std::make_shared<box_log>();
        auto l = log;
        desktop_seams::set_box_responder([l](const desktop_seams::box_request &r) {
            l->boxes.append(r);
            return l->answer;
        });
        window = std::make_unique<Velmora>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanupTestCase()
    {
        window.reset();
        CloseDevice(3, 0);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
    }

    void init()
    {
        log->boxes.clear();
        log->answer = QMessageBox::Ok;
        hide_children();
        node_connected = 0;
        protocol_name.clear();
        canopen_supported = 0;
        device_open = 1;
    }

    void opens_the_adapter_and_looks_as_designed()
    {
        QCOMPARE(adapter_error, 0);
        QCOMPARE(device_open, 1);
        QCOMPARE(int(app_running), 1);
        QVERIFY(log->boxes.isEmpty());
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora_Ver1.0.2.0"));
        QCOMPARE(window->width(), 394);
        QCOMPARE(window->minimumSize(), window->maximumSize());
        // The launcher keeps its whole 394x337 grid between the Tools menu and the status bar:
        // no button is cut by either.
        const int below_menu = window->menuBar()->geometry().bottom();
        const int above_status = window->statusBar()->geometry().top();
        for (QToolButton *b : window->centralWidget()->findChildren<QToolButton *>()) {
            const QRect at(b->mapTo(window.get(), QPoint()), b->size());
            QVERIFY2(at.top() > below_menu && at.bottom() < above_status, qPrintable(b->objectName()));
        }
        QCOMPARE(window->pos(), QPoint(0, 100));
        QVERIFY(!window->findChild<QComboBox *>(QStringLiteral("comboBox"))->isVisible());
        QVERIFY(!window->findChild<QLabel *>(QStringLiteral("label"))->isVisible());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus"));
        const struct { const char *name; const char *text; } buttons[] = {
            {"connect_device", "连接\nConnect"}, {"sport", "运动\nMotion"},
            {"monitoring", "监控\nMonitor"},     {"custom_send", "自定义\nCustom"},
            {"scope", "示波器\nScope"},
        };
        for (const auto &b : buttons)
            QCOMPARE(window->findChild<QAbstractButton *>(QLatin1String(b.name))->text(), QString::fromUtf8(b.text));
        auto *sport = window->findChild<QToolButton *>(QStringLiteral("sport"));
        QCOMPARE(sport->iconSize(), QSize(70, 70));
        QVERIFY(!sport->icon().isNull());
        QCOMPARE(sport->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    }

    void creates_every_window_once_hidden()
    {
        QVERIFY(custom_send_window && custom_monitor && canopen_monitor && custom_control && canopen_control
                && settings_window && set_node_window);
        QVERIFY(custom_monitor != canopen_monitor);
        QCOMPARE(custom_control->windowTitle(), QStringLiteral("CAN自定义协议控制"));
        QCOMPARE(canopen_control->windowTitle(), QStringLiteral("CANopen运动控制"));
        QVERIFY(!settings_window->isVisible());
        QVERIFY(!custom_control->parent());
    }

    void scope_opens_from_its_launcher_cell()
    {
        auto *button = window->findChild<QToolButton *>(QStringLiteral("scope"));
        QCOMPARE(button->geometry(), QRect(131, 173, 131, 131));
        QCOMPARE(button->styleSheet(), window->findChild<QToolButton *>(QStringLiteral("custom_send"))->styleSheet());
        click("scope");
        auto *scope = window->findChild<QMainWindow *>(QStringLiteral("Scope"));
        QVERIFY(scope && scope->isVisible() && scope->isWindow());
        QCOMPARE(scope->windowTitle(), QStringLiteral("示波器/Scope"));
        scope->close();
    }

    void restoring_the_window_runs_the_open_sequence_again()
    {
        auto restore = [this] {
            window->showMinimized();
            window->showNormal();
            QCoreApplication::processEvents();
        };
        // Closed behind the window's back: the restore opens it again, without a warning.
        CloseDevice(3, 0);
        QVERIFY(!adapter_sends());
        restore();
        QVERIFY(adapter_sends());
        QVERIFY(log->boxes.isEmpty());
        QCOMPARE(adapter_error, 0);
        // Still open: opening an open adapter is no failure.
        restore();
        QVERIFY(log->boxes.isEmpty());
        QCOMPARE(adapter_error, 0);

        // Refused: the warning again; device_open keeps its value.
        CloseDevice(3, 0);
        install_scripted_bus()->fail_connect = true;
        restore();
        QVERIFY(!log->boxes.isEmpty());  // the platform may add a show of its own
        for (const auto &box : log->boxes)
            QCOMPARE(box.title, QStringLiteral("警告"));
        QCOMPARE(adapter_error, 1);
        QCOMPARE(device_open, 1);
        QCOMPARE(int(app_running), 0);
        install_simulated_bus();
        adapter_error = 0;
        open_adapter();
        QCOMPARE(adapter_error, 0);
        app_running = 1;
    }

    void motion_needs_a_connected_node_and_an_open_adapter()
    {
        protocol_name = QStringLiteral("CAN自定义");
        click("sport");
        QVERIFY(!custom_control->isVisible());
        node_connected = 1;
        device_open = 0;
        click("sport");
        QVERIFY(!custom_control->isVisible());
        device_open = 1;
        click("sport");
        QVERIFY(custom_control->isVisible());
        QVERIFY(placed(custom_control, QPoint(0, 250), custom_control->size()));
        QCOMPARE(motion_window_open, 1);
        hide_children();
        protocol_name = QStringLiteral("CAN");
        click("sport");
        QVERIFY(custom_control->isVisible());
        hide_children();
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        click("sport");
        QVERIFY(canopen_control->isVisible());
        QVERIFY(!custom_control->isVisible());
        QVERIFY(log->boxes.isEmpty());
    }

    void ethercat_firmware_asks_before_switching_protocol()
    {
        node_connected = 1;
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 0;
        device_open = 0;  // this path does not look at the adapter
        log->answer = QMessageBox::No;
        click("sport");
        QCOMPARE(log->boxes.size(), 1);
        QCOMPARE(log->boxes[0].kind, desktop_seams::box_kind::question);
        QCOMPARE(log->boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(log->boxes[0].text,
                 QStringLiteral("此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试"));
        QVERIFY(!custom_control->isVisible() && !canopen_control->isVisible());
        log->answer = QMessageBox::Yes;
        click("sport");
        QVERIFY(custom_control->isVisible());
        QVERIFY(!canopen_control->isVisible());
        QCOMPARE(protocol_name, QStringLiteral("CANopen"));
    }

    void motion_refuses_the_other_kind_while_one_is_open()
    {
        node_connected = 1;
        custom_control_open = 1;
        protocol_name = QStringLiteral("CANopen");
        click("sport");
        QCOMPARE(log->boxes.size(), 1);
        QCOMPARE(log->boxes[0].text, QStringLiteral("请先关闭当前运动控制界面"));
        QVERIFY(!canopen_control->isVisible());
        log->boxes.clear();
        protocol_name = QStringLiteral("CAN自定义");
        click("sport");
        QVERIFY(log->boxes.isEmpty());
        custom_control_open = 0;
        canopen_control_open = 1;
        click("sport");
        QCOMPARE(log->boxes.size(), 1);
        log->boxes.clear();
        protocol_name = QStringLiteral("CAN");  // only the Chinese label is tested here
        click("sport");
        QVERIFY(log->boxes.isEmpty());
        QVERIFY(!custom_control->isVisible());
    }

    void monitor_follows_the_protocol()
    {
        protocol_name = QStringLiteral("CANopen");
        click("monitoring");
        QVERIFY(!custom_monitor->isVisible() && !canopen_monitor->isVisible());  // no node
        node_connected = 1;
        device_open = 0;
        click("monitoring");
        QVERIFY(!custom_monitor->isVisible() && !canopen_monitor->isVisible());
        device_open = 1;
        canopen_supported = 0;
        click("monitoring");
        QVERIFY(custom_monitor->isVisible());
        QVERIFY(placed(custom_monitor, QPoint(730, 250), QSize(1076, 553)));
        QCOMPARE(monitor_open, 1);
        hide_children();
        canopen_supported = 1;
        click("monitoring");
        QVERIFY(canopen_monitor->isVisible());
        QVERIFY(placed(canopen_monitor, QPoint(800, 250), QSize(1076, 553)));
        hide_children();
        protocol_name = QStringLiteral("other");
        click("monitoring");
        QCOMPARE(monitor_open, 0);
    }

    void custom_needs_the_adapter_and_connect_always_works()
    {
        device_open = 0;
        click("custom_send");
        QVERIFY(!custom_send_window->isVisible());
        device_open = 1;
        click("custom_send");
        QVERIFY(custom_send_window->isVisible());
        QVERIFY(placed(custom_send_window, QPoint(200, 200), custom_send_window->size()));
        device_open = 0;
        click("connect_device");
        QVERIFY(set_node_window->isVisible());
    }

    void help_opens_the_manual_only_when_it_exists()
    {
        QList<QUrl> opened;
        desktop_seams::set_url_opener([&opened](const QUrl &u) {
            opened.append(u);
            return true;
        });
        const QString path = QCoreApplication::applicationDirPath()
            + QStringLiteral("/Document/Velmora用户手册_Ver1.1.pdf");
        const bool existed = QFile::exists(path);
        if (existed) {
            click("Help");
            QCOMPARE(opened.size(), 1);
            QCOMPARE(opened[0], QUrl::fromLocalFile(path));
        } else {
            click("Help");
            QVERIFY(opened.isEmpty());
            QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/Document"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            click("Help");
            QFile::remove(path);
            QCOMPARE(opened.size(), 1);
            QVERIFY(opened[0].isLocalFile());
            QCOMPARE(opened[0].toLocalFile(), path);
        }
        QVERIFY(log->boxes.isEmpty());
        // Without a viewer the user is told where the manual is.
        if (existed) {
            desktop_seams::set_url_opener([](const QUrl &) { return false; });
            click("Help");
            QCOMPARE(log->boxes.size(), 1);
            QVERIFY(log->boxes[0].text.endsWith(QDir::toNativeSeparators(path)));
            log->boxes.clear();
        }
        desktop_seams::set_url_opener(nullptr);
    }

    void closing_after_the_ethercat_question_closes_what_is_shown()
    {
        node_connected = 1;
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 0;
        log->answer = QMessageBox::Yes;
        click("sport");
        click("monitoring");
        QVERIFY(custom_control->isVisible() && custom_monitor->isVisible());
        window->close();
        QVERIFY(!custom_control->isVisible());
        QVERIFY(!custom_monitor->isVisible());
        QCOMPARE(device_open, 0);
        QVERIFY(!adapter_sends());
        // Nothing left on screen, so the toolkit ends the process.
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        window->show();  // back for the cases below; the show opens the adapter again
        QVERIFY(adapter_sends());
        QCOMPARE(device_open, 1);
    }

    void closing_closes_the_open_windows_and_the_adapter()
    {
        protocol_name = QStringLiteral("CAN自定义");
        node_connected = 1;
        click("sport");
        click("monitoring");
        click("custom_send");
        click("connect_device");
        set_node_open = 1;
        custom_send_open = 1;
        window->close();
        QVERIFY(!custom_control->isVisible());
        QVERIFY(!custom_monitor->isVisible());
        QVERIFY(!custom_send_window->isVisible());
        QVERIFY(!set_node_window->isVisible());
        QCOMPARE(device_open, 0);
        QCOMPARE(GetReceiveNum(3, 0, 0), 0);
        const uint8_t probe[2] = {0, 2};
        vci_frame f = {};
        f.id = 0x641;
        f.data_len = 2;
        f.data[1] = probe[1];
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);  // the adapter really is closed
    }

    void status_bar_tells_when_the_adapter_is_lost()
    {
        adapter_error = 0;
        open_adapter();  // closed by the previous case
        QCOMPARE(adapter_error, 0);
        const uint8_t probe[2] = {0, 2};
        vci_frame f = {};
        f.id = 0x641;
        f.data_len = 2;
        f.data[1] = probe[1];
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 1);
        sim::simulator::instance().set_cut(true);
        QCOMPARE(Transmit(3, 0, 0, &f, 1), 0);
        window->refresh_bus_status();
        QVERIFY(window->statusBar()->currentMessage().startsWith(QStringLiteral("CAN适配器已断开 / Adapter lost")));
        sim::simulator::instance().set_cut(false);
        // A fresh open (as the node scan does) brings the bus back.
        CloseDevice(3, 0);
        open_adapter();
        QCOMPARE(adapter_error, 0);
        window->refresh_bus_status();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus | 总线正常/Error active"));
    }

    void tools_menu_opens_the_bus_trace_and_the_status_bar_shows_the_bus_state()
    {
        auto *action = window->findChild<QAction *>(QStringLiteral("actionBus_trace"));
        QVERIFY(action);
        QCOMPARE(window->menuBar()->actions().value(0)->text(), QStringLiteral("工具/Tools"));
        Bus_trace *trace = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *t = qobject_cast<Bus_trace *>(w))
                trace = t;
        QVERIFY(trace);
        QVERIFY(!trace->isVisible());
        action->trigger();
        QVERIFY(trace->isVisible());
        QCOMPARE(trace->windowTitle(), QStringLiteral("总线跟踪/Bus trace"));

        // The bus state as a SocketCAN controller announces it in its error frames.
        const auto error_frame = [](QCanBusFrame::FrameErrors errors, char detail) {
            QCanBusFrame f(QCanBusFrame::ErrorFrame);
            f.setError(errors);
            f.setPayload(QByteArray(1, '\0') + QByteArray(1, detail) + QByteArray(6, '\0'));
            return f;
        };
        vci::tap_error_frame(error_frame(QCanBusFrame::ControllerError, 0x08));  // TX warning
        window->refresh_bus_status();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus | 总线警告/Error warning"));
        vci::tap_error_frame(error_frame(QCanBusFrame::ControllerError, 0x20));  // TX passive
        window->refresh_bus_status();
        QVERIFY(window->statusBar()->currentMessage().endsWith(QStringLiteral("总线被动错误/Error passive")));
        vci::tap_error_frame(error_frame(QCanBusFrame::BusOffError, 0));
        window->refresh_bus_status();
        QVERIFY(window->statusBar()->currentMessage().endsWith(QStringLiteral("总线关闭/Bus off")));
        trace->drain();
        QVERIFY(trace->findChild<QLabel *>(QStringLiteral("trace_status"))->text().endsWith(QStringLiteral("总线关闭/Bus off")));
        const auto *m = trace->model();
        QCOMPARE(m->data(m->index(m->rowCount() - 1, trace::trace_model::meaning_column)).toString(),
                 QStringLiteral("error frame: bus-off"));
        vci::tap_error_frame(error_frame(QCanBusFrame::ControllerRestartError, 0));
        QCOMPARE(vci::bus_tap::current_bus_state(), vci::bus_state::error_active);
        QCOMPARE(vci::bus_state_from(QCanBusDevice::CanBusStatus::Error), vci::bus_state::error_passive);
        // A fresh open forgets the old bus's state; the simulated bus reports error active.
        CloseDevice(3, 0);
        open_adapter();
        window->refresh_bus_status();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("仿真总线 / Simulated bus | 总线正常/Error active"));
        trace->close();
    }

    // The newer windows reach the monitors only through the main window's wiring: an object
    // dictionary write and the scope's own set-up traffic go to the CANopen monitor, the
    // register page's frames to the custom-protocol one.
    void newer_windows_log_into_the_monitors_they_are_wired_to()
    {
        const auto top = [](const char *name) {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String(name))
                    return w;
            return static_cast<QWidget *>(nullptr);
        };
        const auto ids_since = [](monitor *m, int32_t cells) {
            QStringList ids;
            for (int row = cells / 6; row < m->cell_count() / 6; ++row)
                ids << m->table()->item(row, 3)->text();
            return ids;
        };
        monitor_open = 1;
        node_connected = 1;
        node_id = 1;
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        sdo_request_id = 0x601;
        QWidget *objects = top("Object_dictionary");
        QVERIFY(objects);
        int32_t canopen_cells = canopen_monitor->cell_count();
        int32_t custom_cells = custom_monitor->cell_count();
        objects->findChild<QSpinBox *>(QStringLiteral("node"))->setValue(1);
        objects->findChild<QLineEdit *>(QStringLiteral("index"))->setText(QStringLiteral("6081"));
        objects->findChild<QComboBox *>(QStringLiteral("type"))->setCurrentText(QStringLiteral("UNSIGNED32"));
        objects->findChild<QLineEdit *>(QStringLiteral("value"))->setText(QStringLiteral("1000"));
        objects->findChild<QPushButton *>(QStringLiteral("write"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!job_runner::instance().busy(), 20000);
        QCOMPARE(objects->findChild<QLabel *>(QStringLiteral("status"))->text(), QStringLiteral("写入完成/written"));
        const QStringList written = ids_since(canopen_monitor, canopen_cells);
        QVERIFY2(written.contains(QStringLiteral("601")) && written.contains(QStringLiteral("581")), qPrintable(written.join(' ')));
        QCOMPARE(custom_monitor->cell_count(), custom_cells);

        // The register page speaks the drive's own protocol: its monitor, not the CANopen one.
        canopen_cells = canopen_monitor->cell_count();
        objects->findChild<QLineEdit *>(QStringLiteral("register_index"))->setText(QStringLiteral("2"));
        objects->findChild<QPushButton *>(QStringLiteral("register_read"))->click();
        QVERIFY(custom_monitor->cell_count() > custom_cells);
        QCOMPARE(canopen_monitor->cell_count(), canopen_cells);

        // Shown with a CANopen joint connected, the scope asks the drive for its recorder.
        auto *scope = window->findChild<QMainWindow *>(QStringLiteral("Scope"));
        QVERIFY(scope);
        scope->show();
        QTRY_VERIFY(ids_since(canopen_monitor, canopen_cells).contains(QStringLiteral("601")));
        scope->close();
        objects->close();
    }

    void startup_without_a_bus_offers_the_simulated_bus()
    {
        // The first window's adapter is closed by now; a bus that cannot be reached fails the open.
        window.reset();
        delete_windows();
        CloseDevice(3, 0);
        auto bus = install_scripted_bus();
        bus->fail_connect = true;
        log->boxes.clear();
        reset_shared_values();
        log->answer = QMessageBox::Close;
        const int code = run_velmora(*qApp);  // would hang in the event loop if it entered it
        QCOMPARE(code, 1);  // refusing the simulated bus is a failure, not a success
        QCOMPARE(log->boxes.size(), 1);
        const desktop_seams::box_request box = log->boxes[0];
        QCOMPARE(box.kind, desktop_seams::box_kind::warning);
        QCOMPARE(box.title, QStringLiteral("警告"));
        QCOMPARE(box.text, QStringLiteral("请先关闭其他上位机程序或检查是否连接好调试器\n"));
        QVERIFY2(box.informative.startsWith(QStringLiteral("Could not open the CAN bus <b>sim</b>.")), qPrintable(box.informative));
        QVERIFY(box.buttons.testFlag(QMessageBox::Yes));
        QCOMPARE(int(app_running), 0);
        QCOMPARE(adapter_error, 1);
        QCOMPARE(bus->bitrate_calls, 0);
        delete_windows();
        reset_shared_values();

        // Choosing the simulated bus goes on with the simulated joints.
        install_scripted_bus()->fail_connect = true;
        log->boxes.clear();
        log->answer = QMessageBox::Yes;
        {
            Velmora started;
            started.show();
            QCOMPARE(log->boxes.size(), 1);
            QCOMPARE(int(app_running), 1);
            QCOMPARE(int(device_open), 1);
            QVERIFY(adapter_sends());
            QVERIFY(started.statusBar()->currentMessage().startsWith(QStringLiteral("仿真总线 / Simulated bus")));
        }
        delete_windows();
        CloseDevice(3, 0);
        reset_shared_values();

        // An adapter that opened but would not start is closed before the simulated bus
        // takes its place.
        auto held = install_scripted_bus();
        held->fail_start = true;
        log->boxes.clear();
        {
            Velmora started;
            started.show();
            QCOMPARE(log->boxes.size(), 1);
            QCOMPARE(held->disconnect_calls, 1);
            QCOMPARE(int(app_running), 1);
            QVERIFY(adapter_sends());
            QVERIFY(held->sent.empty());
            QVERIFY(started.statusBar()->currentMessage().startsWith(QStringLiteral("仿真总线 / Simulated bus")));
        }
        log->answer = QMessageBox::Ok;
        delete_windows();
        CloseDevice(3, 0);
        reset_shared_values();
    }
};

QTEST_MAIN(test_main_window)
#include "test_main_window.moc"
