// velmora-pictures: photographs the program's windows for the user manual. It starts the real
// main window on the simulated bus, works the windows the way a user would (scan, connect, move,
// run the CANopen sequence, send a frame) and saves each window, framed with its title bar, as
// a PNG, plus captions.tsv (file, caption) in the order of the table below, and one composed
// picture of the program at work for the README. Runs at build time on the offscreen platform:
//   velmora-pictures OUTPUT_DIR [--timeout SECONDS] [--lang both|en|zh]
// Its working directory must hold Document/ (the windows read their texts from there).
#include "app/bus_choice.h"
#include "base/desktop_seams.h"
#include "base/guard_settings.h"
#include "base/shared_values.h"
#include "app/startup.h"
#include "app/velmora.h"
#include "scope/scope_chart.h"
#include "scope/scope_recording.h"
#include "scope/scope_sampler.h"
#include "scope/scope_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Steps wait for the windows' own timers (connect retry 2 s, status poll 1 s); a step that
// is not done within this is a fault in the staging or in the program, not a slow machine.
constexpr int step_ms = 20000;

void fail(const QString &why) { std::fprintf(stderr, "velmora-pictures: %s\n", qPrintable(why)); }

// Runs the event loop until done() holds or the step's time is up.
bool wait_for(const std::function<bool()> &done, int ms = step_ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle(int ms)
{
    wait_for([] { return false; }, ms);
}

// Lets the event loop run undisturbed, so that timers of a millisecond (the simulated joint's
// PDOs) keep their pace.
void run_for(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One working session of the program, shared by the table's entries in order: each entry
// starts where the previous one left the windows.
struct session {
    Velmora *main = nullptr;
    QStringList unexpected_boxes;
    // Questions the next steps are to meet, answered with Yes.
    int expected_questions = 0;

    // The shown top-level window of that class (by its C++ class name, so that an entry needs
    // no header of the window it pictures), or null after waiting a step for it.
    QWidget *shown(const char *class_name) const
    {
        QWidget *found = nullptr;
        wait_for([&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && qstrcmp(w->metaObject()->className(), class_name) == 0)
                    found = w;
            }
            return found != nullptr;
        });
        if (!found)
            fail(QStringLiteral("no %1 window was shown").arg(QLatin1String(class_name)));
        return found;
    }

    template <typename T>
    T *child(QWidget *w, const char *name) const
    {
        T *c = w ? w->findChild<T *>(QLatin1String(name)) : nullptr;
        if (!c)
            fail(QStringLiteral("no widget %1").arg(QLatin1String(name)));
        return c;
    }

    // Presses a button of the window (the main window when none is named).
    bool click(const char *name, QWidget *w = nullptr) const
    {
        auto *b = child<QAbstractButton>(w ? w : main, name);
        if (!b)
            return false;
        b->click();
        QApplication::processEvents();
        return true;
    }

    // Triggers a menu action of the main window.
    bool trigger(const char *name) const
    {
        auto *a = main->findChild<QAction *>(QLatin1String(name));
        if (!a) {
            fail(QStringLiteral("no action %1").arg(QLatin1String(name)));
            return false;
        }
        a->trigger();
        QApplication::processEvents();
        return true;
    }

    bool type(QWidget *w, const char *name, const QString &text) const
    {
        auto *field = child<QLineEdit>(w, name);
        if (!field)
            return false;
        field->setText(text);
        return true;
    }

    bool choose(QWidget *w, const char *name, const QString &item) const
    {
        auto *combo = child<QComboBox>(w, name);
        if (!combo)
            return false;
        // The items as the forms write them, or as the window's catalogue shows them.
        int at = combo->findText(item);
        if (at < 0) {
            const QByteArray context = w->objectName().toLatin1(), source = item.toUtf8();
            at = combo->findText(QCoreApplication::translate(context.constData(), source.constData()));
        }
        if (at < 0)
            return false;
        combo->setCurrentIndex(at);
        // As a user's pick does; by name, since the windows still listen to the text overload.
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, combo->currentIndex()));
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(QString, combo->currentText()));
        return true;
    }

    // Node window: scan 1..4, pick the first node found, connect with that protocol.
    QWidget *scan_and_connect(const QString &protocol) const
    {
        click("connect_device");
        QWidget *node = shown("Set_node");
        if (!node || !choose(node, "comboBox", protocol) || !type(node, "Max", QStringLiteral("4")))
            return nullptr;
        auto *bar = child<QProgressBar>(node, "progressBar");
        auto *list = child<QListWidget>(node, "listWidget_2");
        if (!bar || !list || !click("Scan", node))
            return nullptr;
        if (!wait_for([bar, list] { return bar->isHidden() && list->count() > 0; })) {
            fail(QStringLiteral("the scan found no node"));
            return nullptr;
        }
        list->setCurrentRow(0);
        click("Connect", node);
        if (node_connected != 1) {
            fail(QStringLiteral("connect failed"));
            return nullptr;
        }
        list->clearSelection();  // so the connected row shows its green
        return node;
    }

    // The object dictionary on its commissioning page, as the user left it.
    QWidget *commissioning() const
    {
        QWidget *w = shown("Object_dictionary");
        auto *pages = child<QTabWidget>(w, "pages");
        if (!pages)
            return nullptr;
        pages->setCurrentIndex(1);
        return w;
    }

    // Answers the questions a step is expected to ask with Yes; any other box still fails.
    void answer_questions(bool yes)
    {
        desktop_seams::set_box_responder([this, yes](const desktop_seams::box_request &r) {
            if (yes && r.kind == desktop_seams::box_kind::question)
                return QMessageBox::Yes;
            unexpected_boxes << r.text;
            fail(QStringLiteral("message box \"%1\"").arg(r.text.trimmed()));
            return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }

    QWidget *label_settles(QWidget *w, const char *name, const std::function<bool(const QString &)> &ok) const
    {
        auto *l = child<QLabel>(w, name);
        if (!l || !wait_for([&] { return ok(l->text()); })) {
            fail(QStringLiteral("%1 never showed the expected status").arg(QLatin1String(name)));
            return nullptr;
        }
        return w;
    }
};

struct picture {
    const char *file;
    const char *caption;
    // Opens and stages the window; returns it (null when staging failed, after saying why).
    std::function<QWidget *(session &)> stage;
};

bool nonzero(const QString &s) { return !s.isEmpty() && s != QLatin1String("0"); }

// One entry per window, in the order they are staged. A new window is one more entry: open it
// the way a user does (a main-window button, a menu action, a button of another window), bring
// it into a state worth showing, return it; then place its picture in the manual with
// ![name](pictures/FILE) next to the text about that window.
const std::vector<picture> &pictures()
{
    static const std::vector<picture> table = {
        {"main_window.png", "主窗口 / The main window on the simulated bus",
         [](session &s) -> QWidget * { return s.main; }},

        {"node_window.png", "设备连接 / The node connection window after a scan of nodes 1 to 4, node 1 connected",
         [](session &s) { return s.scan_and_connect(QStringLiteral("CAN自定义")); }},

        {"custom_control.png",
         "CAN自定义协议控制 / The custom-protocol control window during an absolute move to 400000 cnt",
         [](session &s) -> QWidget * {
             s.click("sport");
             QWidget *w = s.shown("control_CAN");
             if (!w || !wait_for([] { return custom_link_active == 1; }))
                 return nullptr;
             s.type(w, "speed", QStringLiteral("60000"));
             s.click("apply", w);
             s.click("enable", w);
             // About seven seconds of motion: several polls see it whatever the machine's load.
             s.type(w, "absolute_position", QStringLiteral("400000"));
             s.click("move_to", w);
             // Caught mid-move: the poll shows a speed and a position on the way.
             return s.label_settles(w, "vel_2", nonzero);
         }},

        {"canopen_control.png",
         "CANopen运动控制 / The CANopen control window on the PP page, its command column green after the "
         "guided sequence, the joint moved to 5000 cnt",
         [](session &s) -> QWidget * {
             // As a user would: stop the joint and switch it off before changing the protocol.
             QWidget *custom = s.shown("control_CAN");
             if (!custom || !s.click("stop", custom) || !s.click("disable", custom))
                 return nullptr;
             QWidget *node = s.shown("Set_node");
             if (!s.click("Disconnect", node))
                 return nullptr;
             custom->close();
             if (!s.choose(node, "comboBox", QStringLiteral("CANopen")) || !s.click("Connect", node))
                 return nullptr;
             s.click("sport");
             QWidget *w = s.shown("control_CANopen");
             if (!w || !wait_for([] { return canopen_link_active == 1; }))
                 return nullptr;
             // The monitor logs the sequence for the monitor's picture.
             s.click("monitoring");
             for (const char *step : {"Stop_remote_node", "Reset_communication", "Operating_mode", "Set_velocity",
                                      "Disable_Sync", "Set_cycle_period", "TPDO_MAP", "RPDO_MAP",
                                      "Start_remote_node", "Enable_Sync", "Enable"}) {
                 auto *b = s.child<QAbstractButton>(w, step);
                 if (!b || !b->isEnabled()) {
                     fail(QStringLiteral("CANopen step %1 is not available").arg(QLatin1String(step)));
                     return nullptr;
                 }
                 b->click();
                 if (!b->styleSheet().contains(QLatin1String("0,255,0"))) {
                     fail(QStringLiteral("CANopen step %1 did not turn green").arg(QLatin1String(step)));
                     return nullptr;
                 }
             }
             s.type(w, "Target_position", QStringLiteral("5000"));
             s.click("Move_to", w);
             s.click("Enable_Sync", w);
             // An empty mode description means the documents beside the program were not found:
             // the picture would show a broken window.
             auto *description = s.child<QTextEdit>(w, "textEdit");
             if (!description || description->toPlainText().isEmpty()) {
                 fail(QStringLiteral("the CANopen window shows no mode description (Document/ not found)"));
                 return nullptr;
             }
             return s.label_settles(w, "position", [](const QString &p) { return p == QLatin1String("5000"); });
         }},

        {"monitor.png", "数据监控 / The CANopen monitor with the frames of the guided sequence",
         [](session &s) -> QWidget * {
             QWidget *w = s.shown("monitor");
             auto *table = s.child<QTableWidget>(w, "tableWidget");
             if (!table || !wait_for([table] { return table->rowCount() > 10; }))
                 return nullptr;
             table->scrollToTop();
             return w;
         }},

        {"bus_trace.png", "总线跟踪 / The bus trace during the CANopen session, every frame decoded, with the node table",
         [](session &s) -> QWidget * {
             auto *open_trace = s.main->findChild<QAction *>(QStringLiteral("actionBus_trace"));
             if (!open_trace) {
                 fail(QStringLiteral("no Tools menu entry for the bus trace"));
                 return nullptr;
             }
             open_trace->trigger();
             QWidget *w = s.shown("Bus_trace");
             if (!w)
                 return nullptr;
             w->resize(1080, 600);
             auto *nodes = s.child<QTableWidget>(w, "nodes");
             if (!nodes || !wait_for([nodes] { return nodes->rowCount() > 0; }))
                 return nullptr;
             return w;
         }},

        {"frame_sender.png", "自定义数据收发 / The frame sender after reading the statusword of node 1 (SDO upload 6041h)",
         [](session &s) -> QWidget * {
             s.click("custom_send");
             QWidget *w = s.shown("custom_send");
             if (!w || !s.type(w, "COB_ID", QStringLiteral("601"))
                 || !s.type(w, "data", QStringLiteral("40 41 60 00 00 00 00 00")) || !s.click("send", w))
                 return nullptr;
             auto *table = s.child<QTableWidget>(w, "tableWidget");
             if (!table || !wait_for([table] { return table->rowCount() >= 2; }))
                 return nullptr;
             return w;
         }},

        {"scope.png",
         "示波器 / The scope after a move from 5000 to 30000 cnt, recorded from the joint's PDOs at 1 kHz from the "
         "motion command on, with the cursors on the command and where the position reached 90 % of the step",
         [](session &s) -> QWidget * {
             s.click("scope");
             auto *w = static_cast<Scope *>(s.shown("Scope"));
             QWidget *control = s.shown("control_CANopen");
             auto *source = s.child<QComboBox>(w, "source");
             auto *rate = s.child<QComboBox>(w, "rate");
             auto *trigger = s.child<QAbstractButton>(w, "trigger");
             if (!w || !control || !source || !rate || !trigger)
                 return nullptr;
             w->resize(1000, 700);
             source->setCurrentText(QStringLiteral("PDO"));
             rate->setCurrentIndex(rate->findData(1000));
             trigger->setChecked(true);
             s.expected_questions = 1;  // what the scope will write to the joint's TPDOs
             if (!s.click("record", w) || s.expected_questions != 0)
                 return nullptr;
             run_for(300);
             if (!s.type(control, "Target_position", QStringLiteral("30000")) || !s.click("Move_to", control)
                 || !s.click("Enable_Sync", control))
                 return nullptr;
             run_for(4000);  // the whole move and a little after
             if (!s.click("record", w))
                 return nullptr;
             // Cursor 1 on the command, cursor 2 where the position first reached 90 % of the step.
             const scope::recording &r = w->sampler().data();
             if (r.empty() || r.trigger_s() < 0.0)
                 return nullptr;
             size_t at = 0;
             while (at + 1 < r.size() && !(r.has(at, scope::position) && r.value(at, scope::position) >= 27500))
                 ++at;
             w->chart().set_cursor(0, r.trigger_s());
             w->chart().set_cursor(1, r.time_s(at));
             return w;
         }},

        {"scope_recorder.png",
         "示波器 / The drive's own recorder at 4 kHz: the move from 30000 back to 20000 cnt, triggered by the velocity "
         "falling through -1000 cnt/s with 0.2 s before it, uploaded by block transfer",
         [](session &s) -> QWidget * {
             auto *w = static_cast<Scope *>(s.shown("Scope"));
             QWidget *control = s.shown("control_CANopen");
             auto *source = s.child<QComboBox>(w, "source");
             auto *level = s.child<QAbstractButton>(w, "level_trigger");
             auto *motion = s.child<QAbstractButton>(w, "trigger");
             auto *channel = s.child<QComboBox>(w, "trigger_channel");
             auto *edge = s.child<QComboBox>(w, "trigger_edge");
             auto *at = s.child<QDoubleSpinBox>(w, "trigger_level");
             auto *before = s.child<QDoubleSpinBox>(w, "pretrigger");
             auto *status = w ? w->findChild<QStatusBar *>() : nullptr;
             if (!w || !control || !source || !level || !motion || !channel || !edge || !at || !before || !status)
                 return nullptr;
             const int item = source->findText(QStringLiteral("recorder"), Qt::MatchContains);
             if (item < 0) {
                 fail(QStringLiteral("the scope offers no recorder"));
                 return nullptr;
             }
             // The move to 30000 of the picture before is over first.
             if (!s.label_settles(control, "position", [](const QString &p) { return p == QLatin1String("30000"); }))
                 return nullptr;
             source->setCurrentIndex(item);
             motion->setChecked(false);
             level->setChecked(true);
             channel->setCurrentIndex(scope::velocity);
             edge->setCurrentIndex(1);  // falling
             at->setValue(-1000);
             before->setValue(0.2);
             if (!s.click("record", w))
                 return nullptr;
             run_for(300);
             if (!s.type(control, "Target_position", QStringLiteral("20000")) || !s.click("Move_to", control)
                 || !s.click("Enable_Sync", control))
                 return nullptr;
             if (!wait_for([status] { return status->currentMessage().contains(QLatin1String("samples")); })) {
                 fail(QStringLiteral("recorder: ") + status->currentMessage());
                 return nullptr;
             }
             const scope::recording &r = w->sampler().data();
             if (r.empty() || r.trigger_s() < 0.0)
                 return nullptr;
             w->chart().set_cursor(0, r.trigger_s());
             w->chart().set_cursor(1, std::min(r.end_s(), r.trigger_s() + 0.5));
             // Back to 30000 for the pictures after, once this one is taken.
             QTimer::singleShot(0, control, [&s, control] {
                 s.type(control, "Target_position", QStringLiteral("30000"));
                 s.click("Move_to", control);
                 s.click("Enable_Sync", control);
             });
             return w;
         }},

        {"object_dictionary.png", "对象字典 / The object dictionary of the simulated joint after Read all",
         [](session &s) -> QWidget * {
             s.click("objects");
             QWidget *w = s.shown("Object_dictionary");
             if (!w || !s.click("read_all", w))
                 return nullptr;
             w->resize(1280, 680);  // as it opens on a laptop; the offscreen screen is smaller
             auto *status = s.child<QLabel>(w, "status");
             if (!status || !wait_for([status] { return status->text().contains(QLatin1String("read")); }))
                 return nullptr;
             return w;
         }},

        {"lss.png", "LSS节点配置 / LSS: a fresh joint given node-ID 5 and stored, the next one just found by the fast scan",
         [](session &s) -> QWidget * {
             QWidget *objects = s.shown("Object_dictionary");
             if (!objects || !s.click("lss", objects))
                 return nullptr;
             QWidget *w = s.shown("Lss");
             auto *status = s.child<QLabel>(w, "lss_status");
             auto *node = s.child<QSpinBox>(w, "lss_node_id");
             const auto found = [&] {
                 return s.click("lss_scan", w)
                        && wait_for([status] { return status->text().contains(QLatin1String("in configuration")); });
             };
             if (!status || !node || !found())
                 return nullptr;
             node->setValue(5);
             if (!s.click("lss_configure", w) || !s.click("lss_store", w) || !status->text().contains(QLatin1String("booted"))
                 || !found()) {
                 fail(QStringLiteral("LSS staging: ") + (status ? status->text() : QString()));
                 return nullptr;
             }
             node->setValue(6);
             return w;
         }},

        {"sequences.png", "测试序列 / The sequences window after the commissioning check of the simulated joints",
         [](session &s) -> QWidget * {
             // The joint the scope watched first finishes its move, as a user would wait for it.
             QWidget *control = s.shown("control_CANopen");
             if (!control || !s.label_settles(control, "position", [](const QString &p) { return p == QLatin1String("30000"); }) ||
                 !s.trigger("actionSequences"))
                 return nullptr;
             QWidget *w = s.shown("Sequences");
             if (w)
                 w->resize(960, 700);
             auto *script = s.child<QPlainTextEdit>(w, "script");
             auto *progress = s.child<QLabel>(w, "progress");
             QFile example(QStringLiteral("Document/sequences/commissioning.js"));
             if (!script || !progress || !example.open(QIODevice::ReadOnly)) {
                 fail(QStringLiteral("no commissioning example to run"));
                 return nullptr;
             }
             script->setPlainText(QString::fromUtf8(example.readAll()));
             if (!s.click("run", w) || !wait_for([progress] { return progress->text().contains(QLatin1String("Passed")); })) {
                 fail(QStringLiteral("the commissioning example did not pass: ") + progress->text());
                 return nullptr;
             }
             return w;
         }},

        {"commissioning_discovery.png", "调试：发现节点 / Discovery: the maker's joints, a CANopen drive of another make (node 4) and the drive LSS gave node-ID 5",
         [](session &s) -> QWidget * {
             QWidget *w = s.commissioning();
             if (w)
                 w->resize(w->width(), 860);  // room for every node found
             if (!w || !s.click("discover", w) || !s.label_settles(w, "commissioning_status", [](const QString &t) {
                     return t.contains(QLatin1String("found"));
                 }))
                 return nullptr;
             return w;
         }},

        {"commissioning_compare.png", "调试：比较 / Nodes 2 and 4 compared with the DCF exported from node 1 (differences only)",
         [](session &s) -> QWidget * {
             // Node 1 gets its own position loop gain and acceleration, then its DCF is exported.
             QWidget *w = s.shown("Object_dictionary");
             auto *pages = s.child<QTabWidget>(w, "pages");
             auto *node = s.child<QSpinBox>(w, "node");
             if (!pages || !node)
                 return nullptr;
             pages->setCurrentIndex(0);
             node->setValue(1);
             const QString dcf = QDir::temp().filePath(QStringLiteral("velmora_pictures_node1.dcf"));
             desktop_seams::set_file_chooser([dcf](const desktop_seams::file_request &) { return dcf; });
             const char *const writes[][3] = {{"2100", "UNSIGNED16", "250"}, {"6083", "UNSIGNED32", "20000"}};
             for (const auto &value : writes) {
                 if (!s.type(w, "index", QLatin1String(value[0])) || !s.type(w, "subindex", QStringLiteral("0"))
                     || !s.choose(w, "type", QLatin1String(value[1])) || !s.type(w, "value", QLatin1String(value[2]))
                     || !s.click("write", w))
                     return nullptr;
             }
             s.click("export_dcf", w);
             w = s.commissioning();
             if (!w || !s.click("open_dcf", w) || !s.type(w, "dcf_nodes", QStringLiteral("2,4")))
                 return nullptr;
             desktop_seams::set_file_chooser(nullptr);
             s.click("dcf_differences_only", w);
             if (!s.click("compare_dcf", w) || !s.label_settles(w, "commissioning_status", [](const QString &t) {
                     return t.contains(QLatin1String("compared"));
                 }))
                 return nullptr;
             return w;
         }},

        {"commissioning_download.png", "调试：下载 / The DCF downloaded to nodes 2 and 4, read back and stored",
         [](session &s) -> QWidget * {
             QWidget *w = s.commissioning();
             s.answer_questions(true);
             const bool done = w && s.click("download_dcf", w) && s.label_settles(w, "commissioning_status", [](const QString &t) {
                 return t.contains(QLatin1String("stored"));
             });
             s.answer_questions(false);
             return done ? w : nullptr;
         }},

        {"commissioning_bench.png", "调试：试验台 / The bench on the bus saved as a node list with a DCF per node, then booted in one step",
         [](session &s) -> QWidget * {
             QWidget *w = s.commissioning();
             if (w)
                 w->resize(w->width(), 860);  // room for the bench's table beside the rest of the page
             const QString cpj = QDir::temp().filePath(QStringLiteral("velmora_pictures_bench/bench.cpj"));
             QDir().mkpath(QFileInfo(cpj).path());
             desktop_seams::set_file_chooser([cpj](const desktop_seams::file_request &) { return cpj; });
             const bool saved = w && s.click("save_bench", w) && s.label_settles(w, "bench_status", [](const QString &t) {
                 return t.contains(QLatin1String("bench saved"));
             });
             desktop_seams::set_file_chooser(nullptr);
             if (!saved || !s.click("boot_bench", w) || !s.label_settles(w, "bench_status", [](const QString &t) {
                     return t.contains(QLatin1String("nodes done"));
                 }))
                 return nullptr;
             return w;
         }},

        {"commissioning_firmware.png",
         "调试：固件更新 / Firmware SIM-FW 2.1.0 on nodes 1 and 2; the drive of another make (node 4) refused for its product",
         [](session &s) -> QWidget * {
             QWidget *w = s.commissioning();
             const QString image = QDir::temp().filePath(QStringLiteral("velmora_pictures_joint.bin"));
             QFile bin(image), sidecar(image + QStringLiteral(".json"));
             QByteArray bytes(48 * 1024, '\x5A');
             const QByteArray marker("VERSION=SIM-FW 2.1.0\n");
             bytes.replace(0, marker.size(), marker);
             if (!w || !bin.open(QIODevice::WriteOnly) || bin.write(bytes) != bytes.size() ||
                 !sidecar.open(QIODevice::WriteOnly) ||
                 sidecar.write(R"({"product": "0x00000402", "version": "SIM-FW 2.1.0"})") < 0) {
                 fail(QStringLiteral("cannot write the firmware image"));
                 return nullptr;
             }
             bin.close();
             sidecar.close();
             desktop_seams::set_file_chooser([image](const desktop_seams::file_request &) { return image; });
             s.answer_questions(true);
             const bool done = s.type(w, "firmware_nodes", QStringLiteral("1,2,4")) && s.click("update_firmware", w) &&
                               s.label_settles(w, "commissioning_status", [](const QString &t) {
                                   return t.contains(QLatin1String("firmware updated on 2 of 3"));
                               });
             s.answer_questions(false);
             desktop_seams::set_file_chooser(nullptr);
             return done ? w : nullptr;
         }},

        // Last: the joints it enables stay enabled under the guard.
        {"joints.png", "关节 / The Joints window: six CANopen joints and one of the maker's protocol with their states, two of them enabled under the guard",
         [](session &s) -> QWidget * {
             if (!s.trigger("actionJoints"))
                 return nullptr;
             QWidget *w = s.shown("Joints");
             if (w)
                 w->resize(1280, 440);
             auto *node = s.child<QSpinBox>(w, "add_node");
             auto *protocol = s.child<QComboBox>(w, "add_protocol");
             auto *table = s.child<QTableView>(w, "joints");
             if (!node || !protocol || !table)
                 return nullptr;
             for (const int n : {1, 2, 4, 5, 6, 7}) {
                 node->setValue(n);
                 protocol->setCurrentIndex(0);
                 if (!s.click("add_joint", w))
                     return nullptr;
             }
             node->setValue(3);
             protocol->setCurrentIndex(1);
             if (!s.click("add_joint", w))
                 return nullptr;
             table->selectRow(0);
             table->selectionModel()->select(table->model()->index(1, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
             if (!s.click("enable", w) || !s.label_settles(w, "joints_status", [](const QString &t) {
                     return t.contains(QLatin1String("enabled 2 of 2"));
                 }))
                 return nullptr;
             table->clearSelection();
             // The poll fills in every row's values.
             QElapsedTimer settle;
             settle.start();
             while (settle.elapsed() < 600)
                 QApplication::processEvents(QEventLoop::AllEvents, 20);
             table->resizeColumnsToContents();
             return w;
         }},
    };
    return table;
}

// The window as the desktop shows it: a plain title bar with icon and title above its contents.
QImage framed(QWidget *w)
{
    if (QWidget *focused = w->focusWidget())
        focused->clearFocus();  // no stray text cursor in the picture
    const QImage content = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int bar = 26;
    const int border = 1;
    QImage out(content.width() + 2 * border, content.height() + bar + border, QImage::Format_RGB32);
    out.fill(QColor(0x8a, 0x90, 0x99));
    QPainter p(&out);
    p.fillRect(QRect(border, border, content.width(), bar - border), QColor(0xe4, 0xe7, 0xeb));
    const QIcon icon = w->windowIcon().isNull() ? QApplication::windowIcon() : w->windowIcon();
    int text_x = border + 8;
    if (!icon.isNull()) {
        p.drawPixmap(text_x, (bar - 16) / 2, icon.pixmap(16, 16));
        text_x += 22;
    }
    QFont f = QApplication::font();
    f.setPointSizeF(9.5);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x30, 0x33, 0x38));
    p.drawText(QRect(text_x, 0, content.width() - text_x - 60, bar), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    // Minimise and close marks at the right.
    p.setPen(QPen(QColor(0x50, 0x55, 0x5c), 1.4));
    const int right = out.width() - border - 14;
    const int mid = bar / 2;
    p.drawLine(right - 4, mid - 4, right + 4, mid + 4);
    p.drawLine(right - 4, mid + 4, right + 4, mid - 4);
    p.drawLine(right - 32, mid + 3, right - 24, mid + 3);
    p.drawImage(border, bar, content);
    return out;
}

// The README's picture: the main window, the CANopen window and its monitor side by side as on
// a desktop.
QImage at_work(const QImage &main, const QImage &control, const QImage &monitor)
{
    const QPoint main_at(16, 16), control_at(main.width() + 32, 16);
    const QPoint monitor_at(16, 16 + qMax(main.height(), control.height()) + 16);
    const int width = qMax(control_at.x() + control.width(), monitor_at.x() + monitor.width()) + 16;
    const int height = qMax(control_at.y() + control.height(), monitor_at.y() + monitor.height()) + 16;
    QImage out(width, height, QImage::Format_RGB32);
    out.fill(QColor(0x3b, 0x4a, 0x5c));
    QPainter p(&out);
    p.drawImage(main_at, main);
    p.drawImage(control_at, control);
    p.drawImage(monitor_at, monitor);
    return out;
}

// Ends the process if the staging hangs, so a build can never wait for ever.
class watchdog {
public:
    explicit watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  std::fprintf(stderr, "velmora-pictures: not finished after %d s, giving up\n", seconds);
                  std::_Exit(3);
              }
          })
    {
    }
    ~watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace

int main(int argc, char *argv[])
{
    // The simulated joints, always: the pictures must not depend on the machine's adapters.
    qputenv("VELMORA_CAN", "sim");
    use_bus_from_environment();
    // Node 4 is a CANopen drive of another make; the two drives without node-ID are for LSS
    // (one becomes node 5); six CANopen joints and one of the maker's protocol fill the Joints window.
    qputenv("VELMORA_SIM_NODES", "1:10231,2:10231,3:10230,4:canopen,6:10231,7:10231,lss:0x1001,lss:0x1002");
    qunsetenv("VELMORA_CAN_TRACE");
    // On a machine busy building, the GUI thread can miss a heartbeat by the guard's 350 ms and
    // the joint quick-stops mid-picture; the pictures show the windows, not the guard.
    guard::disable_for_run();
    // Nor on where the user left the windows last time.
    const QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(velmora_icon);
    app.setWindowIcon(QIcon(QStringLiteral(":/velmora.png")));

    QStringList args = app.arguments();
    int timeout_s = 180;
    const int t = args.indexOf(QStringLiteral("--timeout"));
    if (t > 0 && t + 1 < args.size()) {
        timeout_s = args[t + 1].toInt();
        args.erase(args.begin() + t, args.begin() + t + 2);
    }
    // The manual's pictures show both languages; the others are for looking at one language.
    QString language = QStringLiteral("both");
    const int l = args.indexOf(QStringLiteral("--lang"));
    if (l > 0 && l + 1 < args.size()) {
        language = args[l + 1];
        args.erase(args.begin() + l, args.begin() + l + 2);
    }
    if (args.size() != 2 || timeout_s <= 0) {
        std::fprintf(stderr, "usage: velmora-pictures OUTPUT_DIR [--timeout SECONDS] [--lang both|en|zh]\n");
        return 2;
    }
    const QDir out(args[1]);
    if (!QDir().mkpath(out.path())) {
        fail(QStringLiteral("cannot create %1").arg(out.path()));
        return 1;
    }
    if (!QFile::exists(QStringLiteral("Document/Err.xml")))
        fail(QStringLiteral("no Document/ in the working directory: status texts will be empty"));
    watchdog guard(timeout_s);

    session s;
    // A message box here means the staging went wrong; answer it so nothing waits, and fail.
    desktop_seams::set_box_responder([&s](const desktop_seams::box_request &r) {
        if (r.kind == desktop_seams::box_kind::question && s.expected_questions > 0) {
            --s.expected_questions;
            return QMessageBox::Yes;
        }
        s.unexpected_boxes << r.text;
        fail(QStringLiteral("message box \"%1\"").arg(r.text.trimmed()));
        return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
    desktop_seams::set_url_opener([](const QUrl &) { return true; });

    int failures = 0;
    {
        Velmora main;
        apply_start_language(main, language);
        s.main = &main;
        main.show();
        if (!app_running) {
            fail(QStringLiteral("the simulated bus did not open"));
            return 1;
        }
        settle(100);

        // captions.tsv is the build's mark that the pictures are complete: it appears last.
        QFile::remove(out.filePath(QStringLiteral("captions.tsv")));
        QFile captions(out.filePath(QStringLiteral("captions.tsv.part")));
        if (!captions.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            fail(QStringLiteral("cannot write %1").arg(captions.fileName()));
            return 1;
        }
        QTextStream list(&captions);
        list.setCodec("UTF-8");
        QHash<QString, QImage> shots;
        for (const picture &entry : pictures()) {
            const int boxes_before = s.unexpected_boxes.size();
            QWidget *w = entry.stage(s);
            settle(50);  // let layouts and pending repaints finish
            if (!w || s.unexpected_boxes.size() != boxes_before) {
                fail(QStringLiteral("could not stage %1").arg(QLatin1String(entry.file)));
                ++failures;
                continue;
            }
            const QImage shot = framed(w);
            if (!shot.save(out.filePath(QLatin1String(entry.file)), "PNG", 9)) {
                fail(QStringLiteral("cannot write %1").arg(QLatin1String(entry.file)));
                ++failures;
                continue;
            }
            shots.insert(QLatin1String(entry.file), shot);
            list << entry.file << '\t' << QString::fromUtf8(entry.caption) << '\n';
        }
        list.flush();
        const QImage main_shot = shots.value(QStringLiteral("main_window.png"));
        const QImage control_shot = shots.value(QStringLiteral("canopen_control.png"));
        const QImage monitor_shot = shots.value(QStringLiteral("monitor.png"));
        if (!main_shot.isNull() && !control_shot.isNull() && !monitor_shot.isNull())
            at_work(main_shot, control_shot, monitor_shot).save(out.filePath(QStringLiteral("velmora_at_work.png")), "PNG", 9);
        main.close();
        captions.close();
        if (failures == 0 && !captions.rename(out.filePath(QStringLiteral("captions.tsv")))) {
            fail(QStringLiteral("cannot write %1").arg(out.filePath(QStringLiteral("captions.tsv"))));
            ++failures;
        }
    }
    std::printf("velmora-pictures: %d of %d windows pictured in %s\n", int(pictures().size()) - failures,
                int(pictures().size()), qPrintable(out.path()));
    return failures == 0 ? 0 : 1;
}
