// The language machinery: catalogues from the embedded resources, the language menu and the
// translator of every window, what each language shows (English and Chinese alone, or the
// bilingual texts as they are), the choice kept for the next start, and the resize debug lines.
#include "app/command_line.h"
#include "app/startup.h"
#include "app/velmora.h"
#include "base/desktop_seams.h"
#include "base/language.h"
#include "base/resources_registration.h"
#include "base/shared_values.h"
#include "can/joint_can_set.h"
#include "can/vci/vci.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "custom_protocol/control_can.h"
#include "node/set_node.h"
#include "objects/lss_dialog.h"
#include "joints/joints_window.h"
#include "objects/object_dictionary.h"
#include "scope/scope_window.h"
#include "sequences/sequences_window.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/custom_send.h"
#include "tools/monitor.h"
#include "trace/bus_trace.h"

#include <QAction>
#include <QComboBox>
#include <QDomDocument>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <functional>
#include <memory>

using namespace test_support;

namespace {
QStringList debug_lines;
void capture(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtDebugMsg)
        debug_lines << msg;
}

// Where a widget is in its window, by object names ("Set_node/Scan"), for findings one can act on.
QString place_of(const QWidget *w, const QWidget *window)
{
    QStringList names;
    for (const QWidget *p = w; p && p != window; p = p->parentWidget())
        names.prepend(p->objectName().isEmpty() ? QLatin1String(p->metaObject()->className()) : p->objectName());
    const QString title = window->objectName().isEmpty() ? QLatin1String(window->metaObject()->className())
                                                         : window->objectName();
    return names.isEmpty() ? title : title + QLatin1Char('/') + names.join(QLatin1Char('/'));
}

// Every text a shown window shows, by where it is: the title, labels, buttons, group boxes,
// fields and their placeholders, text areas, tabs, combo box items, the status bar, table
// headers and cells (but the monitor's rows, which are the frames' own record), the menus.
QMap<QString, QString> shown_texts(QWidget *window)
{
    QMap<QString, QString> texts;
    texts.insert(place_of(window, window) + QStringLiteral(" (title)"), window->windowTitle());
    const auto add = [&](QWidget *w, const QString &what, const QString &text) {
        if (!text.isEmpty())
            texts.insert(place_of(w, window) + what, text);
    };
    const bool frame_record = qobject_cast<monitor *>(window) != nullptr;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        // A window inside another (the launcher's scope) is listed as a window of its own.
        if (!w->isVisibleTo(window) || w->window() != window)
            continue;
        if (auto *l = qobject_cast<QLabel *>(w))
            add(w, QString(), l->text());
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            add(w, QString(), b->text());
        else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            add(w, QString(), e->text());
            add(w, QStringLiteral(" (placeholder)"), e->placeholderText());
        } else if (auto *t = qobject_cast<QTextEdit *>(w))
            add(w, QString(), t->toPlainText());
        else if (auto *p = qobject_cast<QPlainTextEdit *>(w))
            add(w, QString(), p->toPlainText());
        else if (auto *tabs = qobject_cast<QTabBar *>(w))
            for (int i = 0; i < tabs->count(); ++i)
                add(w, QStringLiteral(" tab %1").arg(i), tabs->tabText(i));
        else if (auto *c = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < c->count(); ++i)
                add(w, QStringLiteral(" item %1").arg(i), c->itemText(i));
        else if (auto *bar = qobject_cast<QStatusBar *>(w))
            add(w, QString(), bar->currentMessage());
        else if (auto *v = qobject_cast<QAbstractItemView *>(w)) {
            const QAbstractItemModel *m = v->model();
            for (int c = 0; m && c < m->columnCount(); ++c) {
                add(w, QStringLiteral(" header %1").arg(c), m->headerData(c, Qt::Horizontal).toString());
                for (int r = 0; !frame_record && r < qMin(m->rowCount(), 50); ++r)
                    add(w, QStringLiteral(" cell %1,%2").arg(r).arg(c), m->index(r, c).data().toString());
            }
        } else if (auto *g = qobject_cast<QGroupBox *>(w))
            add(w, QString(), g->title());
    }
    if (auto *main = qobject_cast<QMainWindow *>(window))
        if (QMenuBar *bar = main->menuBar())
            for (QAction *menu : bar->actions()) {
                add(bar, QStringLiteral(" menu"), menu->text());
                if (menu->menu())
                    for (QAction *a : menu->menu()->actions())
                        add(bar, QStringLiteral(" menu entry"), a->text());
            }
    return texts;
}

const QRegularExpression &chinese()
{
    static const QRegularExpression re(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return re;
}

// The windows of the program: the launcher's windows and their own windows, shown.
QList<QWidget *> program_windows()
{
    QList<QWidget *> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && (qobject_cast<QMainWindow *>(w) || qobject_cast<QDialog *>(w)))
            windows << w;
    return windows;
}

QString box_text(const desktop_seams::box_request &b)
{
    QStringList parts{b.title, b.text};
    if (!b.informative.isEmpty())
        parts << b.informative;
    for (const auto &label : b.labels)
        parts << label.second;
    return parts.join(QStringLiteral(" | "));
}

QString source_file(const char *path)
{
    return QString::fromLocal8Bit(qgetenv("VELMORA_TEST_SOURCE_DIR")) + QLatin1Char('/') + QLatin1String(path);
}

// The catalogue's messages as (context, source, translation).
QList<QStringList> catalogue_messages(const QString &path)
{
    QFile f(path);
    QDomDocument doc;
    if (!f.open(QIODevice::ReadOnly) || !doc.setContent(&f))
        qFatal("cannot read %s", qPrintable(path));
    QList<QStringList> messages;
    const QDomNodeList contexts = doc.elementsByTagName(QStringLiteral("context"));
    for (int c = 0; c < contexts.size(); ++c) {
        const QString name = contexts.at(c).firstChildElement(QStringLiteral("name")).text();
        for (QDomElement m = contexts.at(c).firstChildElement(QStringLiteral("message")); !m.isNull();
             m = m.nextSiblingElement(QStringLiteral("message")))
            messages.append({name, m.firstChildElement(QStringLiteral("source")).text(),
                             m.firstChildElement(QStringLiteral("translation")).text()});
    }
    return messages;
}

}  // namespace

class test_language : public QObject {
    Q_OBJECT

    std::unique_ptr<Velmora> window;
    QList<desktop_seams::box_request> boxes;
    QTemporaryDir exports;
    QMap<QString, QString> bilingual_texts;
    QList<desktop_seams::box_request> bilingual_boxes;

    QAction *language_action(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }

    // Connects node 1 through the node window as a user does, opens every window, lets the
    // control windows poll once, and raises the boxes of the launcher, the node window, the
    // sender, the custom-protocol window and the monitor's export.
    void exercise()
    {
        // Each run opens the control windows afresh, the way the launcher allows.
        custom_control->close();
        canopen_control->close();
        boxes.clear();
        window->show();
        auto *node = set_node_window;
        node->show();
        child<QComboBox>(node, "comboBox")->setCurrentIndex(0);
        child<QLineEdit>(node, "Min")->setText(QStringLiteral("1"));
        child<QLineEdit>(node, "Max")->setText(QStringLiteral("1"));
        child<QPushButton>(node, "Scan")->click();
        auto *found = child<QListWidget>(node, "listWidget_2");
        QTRY_COMPARE_WITH_TIMEOUT(found->count(), 1, 10000);
        found->setCurrentRow(0);
        child<QPushButton>(node, "Connect")->click();
        QCOMPARE(node_connected, 1);
        // The selector may read "CAN"; every window compares the name the forms give.
        QCOMPARE(protocol_name, QStringLiteral("CAN自定义"));

        window->findChild<QToolButton *>(QStringLiteral("monitoring"))->click();
        window->findChild<QToolButton *>(QStringLiteral("custom_send"))->click();
        window->findChild<QToolButton *>(QStringLiteral("sport"))->click();
        QTRY_COMPARE(custom_link_active, 1);
        custom_control->thread();  // one poll: the error text from its document
        canopen_control->show();
        QTRY_COMPARE(canopen_link_active, 1);
        power_enabled = 1;
        canopen_control->tim();
        // Code 0 reads as the document writes it, whatever the field shows.
        QCOMPARE(power_enabled, 1);
        for (QAction *a : {window->findChild<QAction *>(QStringLiteral("actionBus_trace")),
                           window->findChild<QAction *>(QStringLiteral("actionSequences")),
                           window->findChild<QAction *>(QStringLiteral("actionJoints")),
                           window->findChild<QAction *>(QStringLiteral("actionScope")),
                           window->findChild<QAction *>(QStringLiteral("actionObjects"))})
            a->trigger();

        // Motion while the other kind is open, and the EtherCAT question.
        protocol_name = QStringLiteral("CANopen");
        window->findChild<QToolButton *>(QStringLiteral("sport"))->click();
        const int32_t custom_open = custom_control_open, canopen_open = canopen_control_open;
        custom_control_open = canopen_control_open = 0;
        canopen_supported = 0;
        window->findChild<QToolButton *>(QStringLiteral("sport"))->click();
        custom_control_open = custom_open;
        canopen_control_open = canopen_open;
        canopen_supported = 1;
        protocol_name = QStringLiteral("CAN自定义");

        child<QLineEdit>(node, "Max")->setText(QStringLiteral("99"));
        child<QPushButton>(node, "Scan")->click();
        child<QLineEdit>(node, "Max")->setText(QStringLiteral("1"));

        auto *sender = custom_send_window;
        child<QPushButton>(sender, "clear")->click();
        child<QLineEdit>(sender, "COB_ID")->setText(QStringLiteral("641"));
        child<QLineEdit>(sender, "data")->setText(QStringLiteral("00 8D 00 00 00 00"));
        child<QPushButton>(sender, "send")->click();
        QTRY_VERIFY(child<QTableWidget>(sender, "tableWidget")->rowCount() >= 2);
        child<QLineEdit>(sender, "data")->setText(QStringLiteral("123"));
        child<QPushButton>(sender, "send")->click();

        auto *speed = child<QLineEdit>(custom_control, "speed");
        const QString kept = speed->text();
        speed->setText(QStringLiteral("fast"));
        child<QPushButton>(custom_control, "apply")->click();
        speed->setText(kept);

        const QString workbook = exports.filePath(QStringLiteral("frames.xlsx"));
        QFile::remove(workbook);
        desktop_seams::set_file_chooser([workbook](const desktop_seams::file_request &) { return workbook; });
        child<QPushButton>(custom_monitor, "export_2")->click();
        desktop_seams::set_file_chooser(nullptr);
        QStringList raised;
        for (const auto &b : boxes)
            raised << box_text(b);
        QVERIFY2(boxes.size() == 6, qPrintable(raised.join(QLatin1Char('\n'))));
        QApplication::processEvents();
    }

    QMap<QString, QString> every_shown_text()
    {
        QMap<QString, QString> all;
        for (QWidget *w : program_windows()) {
            const QMap<QString, QString> texts = shown_texts(w);
            for (auto i = texts.begin(); i != texts.end(); ++i)
                all.insert(i.key(), i.value());
        }
        return all;
    }

private slots:
    void initTestCase()
    {
        velmora_resources_registered();
        fresh_settings();
        qputenv("VELMORA_CAN", "sim");
        reset_shared_values();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        desktop_seams::set_box_responder([this](const desktop_seams::box_request &r) {
            boxes.append(r);
            return r.buttons & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok;
        });
        desktop_seams::set_url_opener([](const QUrl &) { return true; });
        window = std::make_unique<Velmora>();
    }

    void cleanupTestCase()
    {
        for (QWidget *w : program_windows())
            if (w != window.get())
                w->hide();
        window.reset();
        CloseDevice(3, 0);
        uninstall_bus();
        desktop_seams::set_box_responder(nullptr);
        desktop_seams::set_url_opener(nullptr);
    }

    void catalogues_are_complete_and_load_from_the_resources_alone()
    {
        QVERIFY(!QFile::exists(QStringLiteral("chinese.qm")));
        QTranslator zh, en;
        QVERIFY(zh.load(QStringLiteral(":/chinese")));
        QVERIFY(en.load(QStringLiteral(":/english")));
        QCOMPARE(en.translate("Velmora", "连接\nConnect"), QStringLiteral("Connect"));
        QCOMPARE(zh.translate("Velmora", "连接\nConnect"), QStringLiteral("连接"));
        QCOMPARE(en.translate("monitor", "时间/Time"), QStringLiteral("Time"));
        QCOMPARE(en.translate("joint_CAN_set", "CAN自定义"), QStringLiteral("CAN"));
        // Every message has a translation, and the English one no Chinese but the name of the
        // other language; a line break that only ends a Chinese text is kept.
        QStringList faults;
        for (const QStringList &m : catalogue_messages(source_file("resources/english.ts"))) {
            if (m[2].isEmpty() || (m[2].contains(chinese()) && m[1] != QStringLiteral("简体中文")))
                faults << m.join(QStringLiteral(" -> "));
            if (m[1].endsWith(QLatin1Char('\n')) != m[2].endsWith(QLatin1Char('\n')))
                faults << QStringLiteral("line break: ") + m.join(QStringLiteral(" -> "));
        }
        for (const QStringList &m : catalogue_messages(source_file("resources/chinese.ts")))
            if (m[2].isEmpty())
                faults << m.join(QStringLiteral(" -> "));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    void a_text_shows_the_half_of_its_language()
    {
        QTranslator en;
        QVERIFY(en.load(QStringLiteral(":/english")));
        QCoreApplication::installTranslator(&en);
        const struct {
            const char *text, *zh, *en;
        } rows[] = {
            {"连接\nConnect", "连接", "Connect"},
            {"位置控制：第一行\n第二行。\n\nPosition control: one\ntwo.", "位置控制：第一行\n第二行。", "Position control: one\ntwo."},
            {"仿真总线 / Simulated bus", "仿真总线", "Simulated bus"},
            {"波特率 kbit/s/Bit rate kbit/s", "波特率 kbit/s", "Bit rate kbit/s"},
            {"%1 帧/frames, %2 显示/shown", "%1 帧/frames, %2 显示/shown", "%1 frames, %2 shown"},
            {"光标1/Cursor 1: 0.5 s    光标2/Cursor 2: 1.5 s", "光标1/Cursor 1: 0.5 s    光标2/Cursor 2: 1.5 s",
             "Cursor 1: 0.5 s    Cursor 2: 1.5 s"},
            // A document entry without its English line; a Chinese text and a file name.
            {"未检测到错误", "未检测到错误", "No error detected"},
            {"文件已导出\n/tmp/报告.xlsx", "文件已导出\n/tmp/报告.xlsx", "文件已导出\n/tmp/报告.xlsx"},
        };
        for (const auto &r : rows) {
            const QString text = QString::fromUtf8(r.text);
            QCOMPARE(in_language(text, language_chinese), QString::fromUtf8(r.zh));
            QCOMPARE(in_language(text, language_english), QString::fromUtf8(r.en));
            QCOMPARE(in_language(text, language_both), text);
        }
        QCoreApplication::removeTranslator(&en);
    }

    void every_window_installs_its_translator_and_both_removes_it()
    {
        const QString scanning = QStringLiteral("扫描\nScanning");
        for (const int32_t language : {language_english, language_chinese}) {
            Set_node node;
            node.comboBox(language);
            QCOMPARE(QCoreApplication::translate("Set_node", "扫描\nScanning"),
                     language == language_english ? QStringLiteral("Scanning") : QStringLiteral("扫描"));
            node.comboBox(language);  // once more: still one translator, which one removal takes away
            node.comboBox(language_both);
            QCOMPARE(QCoreApplication::translate("Set_node", "扫描\nScanning"), scanning);
        }
        monitor m;
        m.comboBox(language_english);
        QCOMPARE(QCoreApplication::translate("monitor", "时间/Time"), QStringLiteral("Time"));
        m.comboBox(5);  // no other index loads anything
        QCOMPARE(QCoreApplication::translate("monitor", "时间/Time"), QStringLiteral("时间/Time"));
    }

    void the_bilingual_default_is_as_the_forms_give_it()
    {
        exercise();
        QCOMPARE(current_language(), language_both);
        QVERIFY(language_action("actionLanguage_both")->isChecked());
        bilingual_texts = every_shown_text();
        bilingual_boxes = boxes;
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora_Ver1.0.2.0"));
        QCOMPARE(set_node_window->windowTitle(), QStringLiteral("设备连接"));
        QCOMPARE(custom_control->windowTitle(), QStringLiteral("CAN自定义协议控制"));
        QCOMPARE(canopen_control->windowTitle(), QStringLiteral("CANopen运动控制"));
        QCOMPARE(custom_monitor->windowTitle(), QStringLiteral("数据监控"));
        QCOMPARE(custom_send_window->windowTitle(), QStringLiteral("自定义数据收发"));
        QCOMPARE(child<QLabel>(canopen_control, "Error_2")->text(), QStringLiteral("未检测到错误"));
        QCOMPARE(child<QComboBox>(set_node_window, "comboBox")->itemText(0), QStringLiteral("CAN自定义"));
        QCOMPARE(child<QTableWidget>(custom_send_window, "tableWidget")->item(0, 1)->text(), QStringLiteral("发送成功"));
        const QStringList expected{
            QStringLiteral("提示 | 请先关闭当前运动控制界面"),
            QStringLiteral("提示 | 此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试"),
            QStringLiteral("错误 | 输入范围错误！\n"),
            QStringLiteral("错误 | 输入数据格式错误"),
            QStringLiteral("错误 | 输入数据格式错误"),
            QStringLiteral("完成 | 文件已导出，是否打开\n%1").arg(QDir::toNativeSeparators(exports.filePath(QStringLiteral("frames.xlsx")))),
        };
        QStringList seen;
        for (const auto &b : boxes)
            seen << box_text(b);
        QCOMPARE(seen, expected);
    }

    void english_mode_shows_no_chinese_in_any_window()
    {
        language_action("actionLanguage_english")->trigger();
        QCOMPARE(current_language(), language_english);
        exercise();
        QStringList found;
        const QMap<QString, QString> texts = every_shown_text();
        for (auto i = texts.begin(); i != texts.end(); ++i)
            if (i.value().contains(chinese()))
                found << i.key() + QStringLiteral(": ") + i.value();
        for (const auto &b : boxes)
            if (box_text(b).contains(chinese()))
                found << QStringLiteral("box of %1: %2").arg(b.parent ? place_of(b.parent, b.parent->window()) : QStringLiteral("no window"), box_text(b));
        for (const QString &f : found)
            qWarning("no English: %s", qPrintable(f));
        QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("%1 texts with Chinese, listed above").arg(found.size())));
        // The retranslation keeps the version title; the menu reads in English.
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora_Ver1.0.2.0"));
        QCOMPARE(window->findChild<QMenu *>(QStringLiteral("menuLanguage"))->title(), QStringLiteral("Language"));
        QCOMPARE(language_action("actionLanguage_both")->text(), QStringLiteral("Both languages"));
        QCOMPARE(language_action("actionLanguage_chinese")->text(), QStringLiteral("Chinese"));
        QCOMPARE(child<QLabel>(canopen_control, "Error_2")->text(), QStringLiteral("No error detected"));
        QCOMPARE(child<QComboBox>(set_node_window, "comboBox")->currentText(), QStringLiteral("CAN"));
    }

    void the_hidden_selector_still_drives_the_switch()
    {
        QList<int> emitted;
        const auto c = connect(window.get(), &Velmora::languagechange, this, [&emitted](int32_t l) { emitted << l; });
        auto *selector = window->findChild<QComboBox *>(QStringLiteral("comboBox"));
        selector->setCurrentIndex(0);
        window->on_comboBox_activated();
        disconnect(c);
        QCOMPARE(emitted, QList<int>{0});
        QTRY_COMPARE(window->findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("连接"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora_Ver1.0.2.0"));
    }

    void chinese_mode_shows_chinese_and_both_brings_the_forms_back()
    {
        language_action("actionLanguage_chinese")->trigger();
        exercise();
        // Where the bilingual interface shows a pair, Chinese shows its Chinese half alone.
        QStringList found;
        const QMap<QString, QString> texts = every_shown_text();
        for (auto i = bilingual_texts.begin(); i != bilingual_texts.end(); ++i) {
            const QString pair_half = in_language(i.value(), language_chinese);
            if (!texts.contains(i.key()) || pair_half == i.value() || !i.value().contains(chinese()))
                continue;
            if (!texts[i.key()].contains(chinese()) || texts[i.key()] == i.value())
                found << i.key() + QStringLiteral(": ") + texts[i.key()];
        }
        for (const QString &f : found)
            qWarning("not Chinese: %s", qPrintable(f));
        QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("%1 texts not in Chinese, listed above").arg(found.size())));
        QCOMPARE(custom_send_window->windowTitle(), QStringLiteral("自定义数据收发"));

        // Back to both languages: every text of the first run again, byte for byte, in the
        // launcher's windows and those it opens (the newer ones count frames as they go).
        language_action("actionLanguage_both")->trigger();
        exercise();
        const QMap<QString, QString> again = every_shown_text();
        static const QStringList originals{QStringLiteral("Velmora"),     QStringLiteral("Set_node"),
                                           QStringLiteral("control_CAN"), QStringLiteral("control_CANopen"),
                                           QStringLiteral("monitor"),     QStringLiteral("custom_send")};
        QStringList changed;
        for (auto i = bilingual_texts.begin(); i != bilingual_texts.end(); ++i)
            if (originals.contains(i.key().section(QLatin1Char('/'), 0, 0).section(QLatin1Char(' '), 0, 0))
                && again.value(i.key()) != i.value())
                changed << i.key() + QStringLiteral(": ") + again.value(i.key()) + QStringLiteral(" instead of ") + i.value();
        QVERIFY2(changed.isEmpty(), qPrintable(changed.join(QLatin1Char('\n'))));
        QCOMPARE(boxes.size(), bilingual_boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QCOMPARE(box_text(boxes[i]), box_text(bilingual_boxes[i]));
    }

    void the_choice_is_kept_for_the_next_start_and_lang_holds_for_one_run()
    {
        language_action("actionLanguage_english")->trigger();
        QCOMPARE(saved_language(), language_english);
        const auto start = [this](const QString &lang) {
            for (QWidget *w : program_windows())
                w->hide();
            window.reset();
            for (QWidget *w : std::initializer_list<QWidget *>{custom_send_window, custom_monitor, canopen_monitor,
                                                               custom_control, canopen_control, settings_window,
                                                               set_node_window})
                delete w;
            set_current_language(language_both);
            QCOMPARE(QCoreApplication::translate("Velmora", "连接\nConnect"), QStringLiteral("连接\nConnect"));
            window = std::make_unique<Velmora>();
            apply_start_language(*window, lang);
        };
        start(QString());
        QCOMPARE(window->findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("Connect"));
        QCOMPARE(set_node_window->windowTitle(), QStringLiteral("Connection Settings"));
        QVERIFY(language_action("actionLanguage_english")->isChecked());
        start(QStringLiteral("zh"));
        QCOMPARE(window->findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("连接"));
        QCOMPARE(saved_language(), language_english);  // the command line's is for this run only
        start(QStringLiteral("both"));
        QCOMPARE(window->findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("连接\nConnect"));
        QVERIFY(language_action("actionLanguage_both")->isChecked());
        QCOMPARE(parse_command_line({QStringLiteral("velmora"), QStringLiteral("--lang"), QStringLiteral("fr")}).error,
                 QStringLiteral("--lang takes both, en or zh, not fr"));
    }

    void resize_lines_reach_the_debug_log()
    {
        debug_lines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        Set_node node;
        node.show();
        QVERIFY(QTest::qWaitForWindowExposed(&node));
        qInstallMessageHandler(previous);
        const int at = debug_lines.indexOf(QStringLiteral("窗口宽度 %1").arg(node.width()));
        QVERIFY2(at >= 0, qPrintable(debug_lines.join(QLatin1Char('|'))));
        QCOMPARE(debug_lines.value(at + 1), QStringLiteral("窗口高度 %1").arg(node.height()));
        QCOMPARE(debug_lines.value(at + 3), QStringLiteral("5"));
    }

    // The newer windows share one frame for the switch and the remembered place: each must take
    // the language from its own slot and come back where the user left it.
    void every_newer_window_retranslates_and_keeps_its_place()
    {
        const std::vector<std::function<QWidget *()>> makers{
            [] { return new Object_dictionary; },
            [] { return new Lss([](const QString &) {}); },
            [] { return new Scope; },
            [] { return new Bus_trace; },
            [] { return new Sequences; },
            [] { return new Joints; },
        };
        const auto switch_to = [](QWidget *w, int32_t language) {
            if (auto *o = qobject_cast<Object_dictionary *>(w))
                o->comboBox(language);
            else if (auto *l = qobject_cast<Lss *>(w))
                l->comboBox(language);
            else if (auto *s = qobject_cast<Scope *>(w))
                s->comboBox(language);
            else if (auto *b = qobject_cast<Bus_trace *>(w))
                b->comboBox(language);
            else if (auto *q = qobject_cast<Sequences *>(w))
                q->comboBox(language);
            else if (auto *j = qobject_cast<Joints *>(w))
                j->comboBox(language);
            QApplication::processEvents();
        };
        for (const auto &make : makers) {
            std::unique_ptr<QWidget> first(make());
            const QString name = QString::fromLatin1(first->metaObject()->className());
            const QString bilingual = first->windowTitle();
            QVERIFY2(bilingual.contains(chinese()), qPrintable(name));
            switch_to(first.get(), language_english);
            QVERIFY2(!first->windowTitle().contains(chinese()) && !first->windowTitle().isEmpty(),
                     qPrintable(name + QStringLiteral(": ") + first->windowTitle()));
            switch_to(first.get(), language_both);
            QCOMPARE(first->windowTitle(), bilingual);

            first->show();
            QVERIFY(QTest::qWaitForWindowExposed(first.get()));
            // Small enough for the offscreen screen, so that nothing is clamped on the way back.
            first->resize(first->minimumSizeHint().expandedTo(first->minimumSize()).expandedTo(QSize(320, 240)));
            first->move(30, 40);
            QApplication::processEvents();
            const QRect left = first->normalGeometry();
            first->hide();
            first.reset();
            std::unique_ptr<QWidget> second(make());
            second->show();
            QVERIFY(QTest::qWaitForWindowExposed(second.get()));
            // A window larger than the offscreen screen comes back clamped onto it instead.
            const QRect area = second->screen()->availableGeometry();
            if (area.contains(left))
                QCOMPARE(second->normalGeometry(), left);
            else
                QVERIFY2(area.contains(second->normalGeometry().topLeft()), qPrintable(name));
        }
    }
};

QTEST_MAIN(test_language)
#include "test_language.moc"
