// The language machinery: catalogues from the embedded resources, which windows install their
// translator, retranslation of the forms, and the resize debug lines.
#include "base/desktop_seams.h"
#include "base/resources_registration.h"
#include "base/shared_values.h"
#include "app/velmora.h"
#include "can/vci/vci.h"
#include "node/set_node.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "tools/monitor.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

namespace {
QStringList debug_lines;
void capture(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtDebugMsg)
        debug_lines << msg;
}
}  // namespace

class test_language : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { velmora_resources_registered(); }

    void catalogues_load_from_the_resources_alone()
    {
        QVERIFY(!QFile::exists(QStringLiteral("chinese.qm")));
        QTranslator zh, en;
        QVERIFY(zh.load(QStringLiteral(":/chinese")));
        QVERIFY(en.load(QStringLiteral(":/english")));
        QCOMPARE(en.translate("Velmora", "连接\nConnect"), QStringLiteral("Connect"));
        QCOMPARE(zh.translate("Velmora", "连接\nConnect"), QStringLiteral("连接"));
        QCOMPARE(en.translate("Set_node", "扫描\nScanning"), QStringLiteral("Scanning"));
        QCOMPARE(en.translate("monitor", "时间/Time"), QStringLiteral("Time"));
        QCOMPARE(zh.translate("monitor", "时间/Time"), QStringLiteral("时间"));
        QCOMPARE(en.translate("joint_CAN_set", "CAN自定义"), QStringLiteral("CAN"));
    }

    void only_some_windows_install_their_translator()
    {
        {
            Set_node node;  // loads but does not install
            node.comboBox(1);
            QCOMPARE(QCoreApplication::translate("Set_node", "扫描\nScanning"), QStringLiteral("扫描\nScanning"));
        }
        monitor m;  // installs
        m.comboBox(1);
        QCOMPARE(QCoreApplication::translate("monitor", "时间/Time"), QStringLiteral("Time"));
        m.comboBox(5);  // no other index loads anything new
        QCOMPARE(QCoreApplication::translate("monitor", "时间/Time"), QStringLiteral("Time"));
    }

    void main_window_switch_retranslates_every_form()
    {
        qputenv("VELMORA_CAN", "sim");
        reset_shared_values();
        test_support::install_simulated_bus();
        Velmora w;
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Velmora_Ver1.0.2.0"));
        QList<int> emitted;
        connect(&w, &Velmora::languagechange, this, [&emitted](int32_t language) { emitted << language; });
        auto *selector = w.findChild<QComboBox *>(QStringLiteral("comboBox"));
        selector->setCurrentIndex(1);
        w.on_comboBox_activated();
        QCOMPARE(emitted, QList<int>{1});
        QTRY_COMPARE(w.windowTitle(), QStringLiteral("BrevoltTest"));  // the form's own title comes back
        QCOMPARE(w.findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("Connect"));
        QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("record"))->text(), QStringLiteral("Record"));
        selector->setCurrentIndex(0);
        w.on_comboBox_activated();
        QTRY_COMPARE(w.findChild<QToolButton *>(QStringLiteral("connect_device"))->text(), QStringLiteral("连接"));
        w.close();
        CloseDevice(3, 0);
        test_support::uninstall_bus();
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
};

QTEST_MAIN(test_language)
#include "test_language.moc"
