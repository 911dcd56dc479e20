// The adapter settings window: fixed geometry and choices, and its two buttons.
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/joint_can_set.h"
#include "can/vci/vci.h"
#include "support/test_bus.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

class test_settings_window : public QObject {
    Q_OBJECT

private slots:
    void form_shows_the_fixed_settings()
    {
        joint_CAN_set w;
        QCOMPARE(w.windowTitle(), QStringLiteral("连接设置"));
        QCOMPARE(w.size(), QSize(500, 350));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.pos(), QPoint(360, 0));
        const struct { const char *name; QStringList items; } combos[] = {
            {"DeviceType", {QStringLiteral("USBCAN-Ⅰ")}},
            {"protocol", {QStringLiteral("CAN自定义"), QStringLiteral("CANopen")}},
            {"CANInd", {QStringLiteral("0")}},
            {"work_mode", {QStringLiteral("正常模式")}},
            {"baut_", {QStringLiteral("1000")}},
        };
        for (const auto &c : combos) {
            auto *box = w.findChild<QComboBox *>(QLatin1String(c.name));
            QVERIFY2(box, c.name);
            QStringList items;
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
            QCOMPARE(items, c.items);
        }
    }

    void close_button_closes_the_adapter_whatever_the_result()
    {
        reset_shared_values();
        auto bus = test_support::install_scripted_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        joint_CAN_set w;
        QSignalSpy f1(&w, &joint_CAN_set::func), f2(&w, &joint_CAN_set::func2), f3(&w, &joint_CAN_set::func3);

        w.findChild<QPushButton *>(QStringLiteral("OPDevice"))->click();
        QCOMPARE(device_open, 1);
        QCOMPARE(bus->connect_calls, 1);
        QCOMPARE(bus->disconnect_calls, 0);

        w.findChild<QPushButton *>(QStringLiteral("CLDevice"))->click();
        QCOMPARE(device_open, 0);
        QCOMPARE(adapter_error, 0);
        QCOMPARE(bus->disconnect_calls, 1);

        device_open = 1;
        w.findChild<QPushButton *>(QStringLiteral("CLDevice"))->click();  // already closed: fails
        QCOMPARE(adapter_error, 4);
        QCOMPARE(device_open, 0);
        QCOMPARE(f1.count() + f2.count() + f3.count(), 0);
        test_support::uninstall_bus();
    }
};

QTEST_MAIN(test_settings_window)
#include "test_settings_window.moc"
