// The bus trace window on the simulated bus during a CANopen session run by the CANopen window:
// frames decoded live, filters, the node table, an injected fault's EMCY, save (read back by
// python3-can), open (a can-utils log) and replay onto the bus; heartbeats and an emergency
// from velmora-sim over a real (virtual) bus. Set VELMORA_SCREENSHOT=FILE to
// keep a picture of the trace after the session.
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/vci/bus_tap.h"
#include "can/vci/vci.h"
#include "canopen/canopen_state.h"
#include "canopen/control_canopen.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/sim_host.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "trace/bus_trace.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace test_support;

class test_bus_trace : public QObject {
    Q_OBJECT

    Bus_trace *trace = nullptr;
    control_CANopen *canopen = nullptr;

    trace::trace_model *model() { return trace->model(); }
    QStringList meanings()
    {
        QStringList out;
        for (int i = 0; i < model()->rowCount(); ++i)
            out << model()->data(model()->index(i, trace::trace_model::meaning_column)).toString();
        return out;
    }
    QString node_cell(int row, int column) { return child<QTableWidget>(trace, "nodes")->item(row, column)->text(); }

    void commission()
    {
        canopen->casuals();
        for (const char *name : canopen_column_names) {
            auto *b = child<QPushButton>(canopen, name);
            if (b->isEnabled())
                b->click();
        }
        // A guarding request shows the node's state in the node table.
        QVERIFY(send_frame(0x701, nullptr, 0, 1));
    }

private slots:
    void initTestCase() { sim::clock::set_manual(true); }

    void init()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        QVERIFY(open_canopen_node_1());
        desktop_seams::set_box_responder([](const desktop_seams::box_request &) { return QMessageBox::Ok; });
        std::vector<vci::tapped_frame> stale;
        vci::bus_tap::drain(stale);
        trace = new Bus_trace();
        canopen = new control_CANopen();
    }

    void cleanup()
    {
        delete canopen;
        delete trace;
        desktop_seams::set_file_chooser(nullptr);
        desktop_seams::set_box_responder(nullptr);
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void session_decoded_live_with_node_table_and_emcy()
    {
        trace->resize(1100, 680);
        trace->show();
        commission();
        trace->drain(true);
        const QStringList seen = meanings();
        for (const char *expected :
             {"NMT stop → node 1", "NMT reset communication → node 1", "boot-up node 1",
              "SDO write 6060:00 modes of operation", "NMT start → node 1", "SYNC", "TPDO1 node 1",
              "SDO write confirmed", "guarding request node 1", "guarding node 1: operational"})
            QVERIFY2(!seen.filter(QString::fromUtf8(expected)).isEmpty(), expected);
        QCOMPARE(model()->data(model()->index(0, trace::trace_model::direction_column)).toString(),
                 QStringLiteral("Tx"));
        QCOMPARE(node_cell(0, 0), QStringLiteral("1"));
        QCOMPARE(node_cell(0, 1), QStringLiteral("运行/Operational"));
        QCOMPARE(node_cell(0, 4), QStringLiteral("0"));

        // A drive fault: its EMCY goes out with the node's next answer (the window's poll).
        sim::simulator::instance().find(1)->canopen()->inject_fault(0x2310);
        canopen->tim();
        trace->drain(true);
        QVERIFY(!meanings()
                     .filter(QStringLiteral("EMCY node 1: 0x2310 持续过流(0x2310) / Continuous over-current"))
                     .isEmpty());
        QCOMPARE(node_cell(0, 4), QStringLiteral("1"));
        QVERIFY(node_cell(0, 5).startsWith(QStringLiteral("0x2310 持续过流")));
        QVERIFY(trace->statusBar()->currentMessage().contains(QStringLiteral("显示/shown")));
        const QStringList cut = cut_texts_in_every_language(trace);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

        const QByteArray shot = qgetenv("VELMORA_SCREENSHOT");
        if (!shot.isEmpty())
            QVERIFY(trace->grab().save(QString::fromLocal8Bit(shot)));

        // Filters: by kind, by node, by identifier (with and without a mask), pause.
        const int all = model()->rowCount();
        for (const char *kind : {"kind_nmt", "kind_sync", "kind_pdo", "kind_sdo", "kind_error_control", "kind_maker",
                                 "kind_error_frame", "kind_other"})
            child<QCheckBox>(trace, kind)->setChecked(false);
        QCOMPARE(meanings().size(), 1);
        QVERIFY(meanings().at(0).startsWith(QStringLiteral("EMCY")));
        child<QCheckBox>(trace, "kind_sdo")->setChecked(true);
        child<QLineEdit>(trace, "filter_id")->setText(QStringLiteral("581"));
        QVERIFY(model()->rowCount() > 0);
        for (const QString &m : meanings())
            QVERIFY2(m.startsWith(QStringLiteral("SDO write confirmed")) ||
                         m.startsWith(QStringLiteral("SDO read reply")),
                     qPrintable(m));
        child<QLineEdit>(trace, "filter_id")->setText(QStringLiteral("001"));
        child<QLineEdit>(trace, "filter_mask")->setText(QStringLiteral("07F"));  // node 1's SDO both ways
        QVERIFY(meanings().filter(QStringLiteral("SDO write 6060")).size() > 0);
        QVERIFY(meanings().filter(QStringLiteral("SDO write confirmed")).size() > 0);
        child<QLineEdit>(trace, "filter_id")->clear();
        child<QLineEdit>(trace, "filter_mask")->clear();
        for (QCheckBox *box : trace->findChildren<QCheckBox *>(QRegularExpression(QStringLiteral("^kind_"))))
            box->setChecked(true);
        child<QSpinBox>(trace, "filter_node")->setValue(2);
        QCOMPARE(meanings().filter(QStringLiteral("node 1")).size(), 0);
        child<QSpinBox>(trace, "filter_node")->setValue(0);
        QCOMPARE(model()->rowCount(), all);
        child<QPushButton>(trace, "pause")->click();
        QVERIFY(send_frame(0x080, nullptr, 0, 0));
        trace->drain();
        QCOMPARE(model()->rowCount(), all);
        child<QPushButton>(trace, "pause")->click();
        QVERIFY(model()->rowCount() > all);  // the SYNC, and the node's TPDO
        QCOMPARE(size_t(model()->rowCount()), model()->frame_count());
        QVERIFY(child<QTableWidget>(trace, "identifiers")->rowCount() > 5);
    }

    void saved_trace_reads_back_with_python_can_and_replays()
    {
        commission();
        trace->drain();
        const int frames = model()->rowCount();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.log"));
        desktop_seams::set_file_chooser([path](const desktop_seams::file_request &) { return path; });
        child<QPushButton>(trace, "save_trace")->click();

        const char *script =
            "import can, json, sys\n"
            "print(json.dumps([{'id': m.arbitration_id, 'data': m.data.hex(), 'remote': m.is_remote_frame,"
            " 't': m.timestamp} for m in can.CanutilsLogReader(sys.argv[1])]))\n";
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
        QVERIFY(py.waitForFinished(60000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        const QJsonArray back = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
        QCOMPARE(back.size(), frames);
        for (int i = 0; i < frames; ++i) {
            const trace::trace_record &r = model()->row_record(i);
            QCOMPARE(back[i].toObject()[QStringLiteral("id")].toInt(), int(r.id));
            QCOMPARE(back[i].toObject()[QStringLiteral("remote")].toBool(), r.remote());
            if (!r.remote())
                QCOMPARE(back[i].toObject()[QStringLiteral("data")].toString(),
                         QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(r.data), r.len).toHex()));
        }
        QVERIFY(back[0].toObject()[QStringLiteral("t")].toDouble() > 1.5e9);  // wall-clock time

        // Replay the saved session onto the simulated bus, twice as fast: the same requests go
        // out in order, and the joint answers them again.
        delete canopen;  // its poll would talk on the bus during the replay
        canopen = nullptr;
        child<QPushButton>(trace, "open_trace")->click();
        QCOMPARE(model()->rowCount(), frames);
        sim::simulator::instance().configure({{1, 10231}});
        child<QDoubleSpinBox>(trace, "speed")->setValue(2.0);
        QElapsedTimer clock;
        clock.start();
        child<QPushButton>(trace, "replay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(trace, "replay")->isChecked(), 20000);
        trace->drain();
        std::vector<uint32_t> sent, replayed;
        for (const QJsonValue &v : back)
            sent.push_back(uint32_t(v.toObject()[QStringLiteral("id")].toInt()));
        for (int i = 0; i < model()->rowCount(); ++i) {
            if (model()->row_record(i).transmitted())
                replayed.push_back(model()->row_record(i).id);
        }
        // Every frame of the log goes out, the node's own answers included (as canplayer does).
        QCOMPARE(replayed, sent);
        const double span_s =
            back.last().toObject()[QStringLiteral("t")].toDouble() - back[0].toObject()[QStringLiteral("t")].toDouble();
        QVERIFY(clock.elapsed() >= qint64(span_s / 2 * 1000) - 1);
    }

    void heartbeats_and_an_emergency_from_another_process()
    {
        sim_host host;
        QString why;
        QVERIFY2(host.start(QStringLiteral("1:10231,5:heartbeat/50"), &why, {QStringLiteral("--fault"), QStringLiteral("1:2310@300")}),
                 qPrintable(why));
        CloseDevice(3, 0);
        uninstall_bus();
        qputenv("VELMORA_CAN", (QStringLiteral("virtualcan:") + host.interface()).toLocal8Bit());
        open_adapter();
        qunsetenv("VELMORA_CAN");
        QCOMPARE(adapter_error, 0);
        trace->show();
        const auto node_row = [this](int node) {
            auto *t = child<QTableWidget>(trace, "nodes");
            for (int r = 0; r < t->rowCount(); ++r)
                if (t->item(r, 0)->text() == QString::number(node))
                    return r;
            return -1;
        };
        // The emergency arrives by itself, and the producer's heartbeat shows node 5 operational.
        QTRY_VERIFY_WITH_TIMEOUT(!meanings().filter(QStringLiteral("EMCY node 1: 0x2310 持续过流")).isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(node_row(5) >= 0 && node_cell(node_row(5), 1) == QStringLiteral("运行/Operational"), 20000);
        QVERIFY(node_cell(node_row(5), 3) != QStringLiteral("-"));
        QCOMPARE(node_cell(node_row(1), 4), QStringLiteral("1"));
        // The producer goes away: three missed heartbeats later node 5 is lost.
        host.kill();
        QTRY_COMPARE_WITH_TIMEOUT(node_cell(node_row(5), 1), QStringLiteral("丢失/Lost"), 20000);
    }

    void can_utils_log_opens_and_bad_lines_are_skipped()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("candump.log"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("(1733650000.000000) can0 701#00\n"
                "(1733650000.100000) can0 701#05 R\n"
                "garbage line\n"
                "(1733650000.150000) can0 081#1023030000000000\n"
                "(1733650000.200000) can0 000#0101 T\n"
                "(1733650000.250000) can0 20000040#0000000000000000\n");
        f.close();
        QString why;
        QVERIFY(trace->load_log(path, &why));
        QCOMPARE(model()->rowCount(), 5);
        QCOMPARE(model()->row_record(1).t_us, 100000LL);
        QVERIFY(model()->row_record(3).transmitted());
        QVERIFY(meanings().at(4).contains(QStringLiteral("bus-off")));
        trace->drain(true);
        QCOMPARE(node_cell(0, 1), QStringLiteral("运行/Operational"));
        QVERIFY(node_cell(0, 5).startsWith(QStringLiteral("0x2310")));
        QVERIFY(trace->statusBar()->currentMessage().contains(QStringLiteral("log file")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("nothing here\n");
        f.close();
        QVERIFY(!trace->load_log(path, &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(model()->rowCount(), 5);  // the loaded log stays
    }
};

QTEST_MAIN(test_bus_trace)
#include "test_bus_trace.moc"
