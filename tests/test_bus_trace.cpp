// The bus trace window on the simulated bus during a CANopen session run by the CANopen window:
// frames decoded live, filters, the node table, an injected fault's EMCY, save (read back by
// python3-can), logs opened in tabs of their own (byte for byte through open and save, the cap
// and what it let go), played back and sent with care; heartbeats and an emergency from
// velmora-sim over a real (virtual) bus; the window at its default size (five nodes, a replay
// followed, the status line whole). Set VELMORA_SCREENSHOT=FILE to
// keep a picture of the trace after the session.
#include "base/desktop_seams.h"
#include "base/elided_label.h"
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
#include "trace/node_table.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QSettings>
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

    static QJsonArray python_can_read(const QString &path)
    {
        const char *script =
            "import can, json, sys\n"
            "print(json.dumps([{'id': m.arbitration_id, 'data': m.data.hex() if m.data else '', 'remote': m.is_remote_frame,"
            " 't': m.timestamp, 'rx': m.is_rx, 'channel': m.channel, 'dlc': m.dlc, 'fd': m.is_fd,"
            " 'extended': m.is_extended_id} for m in can.CanutilsLogReader(sys.argv[1])]))\n";
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
        if (!py.waitForFinished(60000) || py.exitCode() != 0)
            qWarning() << py.readAllStandardError();
        return QJsonDocument::fromJson(py.readAllStandardOutput()).array();
    }

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
        // The session below is the control window's own frames; the guard's are tested beside it.
        QSettings(desktop_seams::settings_file(), QSettings::IniFormat).setValue("guard/enabled", false);
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
        QVERIFY(child<elided_label>(trace, "trace_status")->full_text().contains(QStringLiteral("显示/shown")));
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

    void saved_session_reads_back_and_plays_back_without_touching_the_bus()
    {
        commission();
        trace->drain();
        const int frames = model()->rowCount();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.log"));
        desktop_seams::set_file_chooser([path](const desktop_seams::file_request &) { return path; });
        child<QPushButton>(trace, "save_trace")->click();
        QVERIFY(trace->statusBar()->currentMessage().contains(path));
        const QJsonArray back = python_can_read(path);
        QCOMPARE(back.size(), frames);
        for (int i = 0; i < frames; ++i) {
            const trace::trace_record &r = model()->row_record(i);
            const QJsonObject m = back[i].toObject();
            QCOMPARE(m[QStringLiteral("id")].toInt(), int(r.id));
            QCOMPARE(m[QStringLiteral("remote")].toBool(), r.remote());
            QCOMPARE(m[QStringLiteral("rx")].toBool(), !r.transmitted());
            QCOMPARE(m[QStringLiteral("channel")].toString(), QStringLiteral("sim0"));
            if (!r.remote())
                QCOMPARE(m[QStringLiteral("data")].toString(),
                         QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(r.data), r.len).toHex()));
        }
        QVERIFY(back[0].toObject()[QStringLiteral("t")].toDouble() > 1.5e9);  // wall-clock time

        // Opened in a tab of its own beside the live capture, played back into that tab: the
        // tab fills again and nothing reaches the bus.
        delete canopen;  // its poll would talk on the bus
        canopen = nullptr;
        child<QPushButton>(trace, "open_trace")->click();
        QCOMPARE(child<QTabBar>(trace, "sources")->count(), 2);
        QVERIFY(model() != trace->live_model());
        QCOMPARE(model()->rowCount(), frames);
        int64_t fake_us = 0;
        trace->set_replay_clock([&fake_us] { return fake_us += 1000; });
        trace->drain();
        const size_t live_before = trace->live_model()->frame_count();
        QVERIFY(trace->start_replay());
        QVERIFY(model()->shown_frames() < size_t(frames));
        QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(trace, "replay_stop")->isEnabled(), 20000);
        trace->drain();
        QCOMPARE(trace->live_model()->frame_count(), live_before);
        QCOMPARE(model()->rowCount(), frames);
        QCOMPARE(child<QProgressBar>(trace, "replay_progress")->value(), 1000);

        // Sent to the bus: asked first, then only what this program sent, without its NMT
        // commands and without the node's own identifiers.
        std::vector<uint32_t> expected;
        for (int i = 0; i < frames; ++i) {
            const trace::trace_record &r = model()->row_record(i);
            if (r.transmitted() && !trace::held_back_by_default(r.id))
                expected.push_back(r.id);
        }
        QStringList asked;
        QMessageBox::StandardButton answer = QMessageBox::No;
        desktop_seams::set_box_responder([&](const desktop_seams::box_request &b) {
            asked << b.text;
            return answer;
        });
        child<QRadioButton>(trace, "send_to_bus")->setChecked(true);
        child<QPushButton>(trace, "replay_start")->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(QStringLiteral("%1 frames go onto the bus").arg(expected.size())),
                 qPrintable(asked[0]));
        QVERIFY(asked[0].contains(QStringLiteral("601 ×")) && !asked[0].contains(QStringLiteral("000 ×")) &&
                !asked[0].contains(QStringLiteral("581 ×")));
        QVERIFY(!child<QPushButton>(trace, "replay_stop")->isEnabled());
        answer = QMessageBox::Yes;
        sim::simulator::instance().configure({{1, 10231}});
        child<QPushButton>(trace, "replay_start")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(trace, "replay_stop")->isEnabled(), 20000);
        trace->drain();
        std::vector<uint32_t> sent;
        for (size_t i = live_before; i < trace->live_model()->frame_count(); ++i)
            if (trace->live_model()->frame(i).transmitted())
                sent.push_back(trace->live_model()->frame(i).id);
        QCOMPARE(sent, expected);
        QVERIFY(trace->statusBar()->currentMessage().contains(QStringLiteral("%1 frames sent").arg(sent.size())));
    }

    void log_keeps_what_happened_through_open_and_save()
    {
        const QByteArray log = "(1733650000.000000) can1 000#8201 T\n"
                               "(1733650000.000100) can1 601#4041600000000000 T\n"
                               "(1733650000.000400) can1 581#4B41600037020000 R\n"
                               "(1733650000.100000) can1 701#R1 T\n"
                               "(1733650000.100300) can0 18FF0102#0102030405060708 R\n"
                               "(1733650000.200000) can0 123##1000102030405060708090A0B R\n"
                               "(1733650000.300000) can0 20000004#0004000000000000 R\n"
                               "(1733650000.400000) vcan0 123#1122334455667788_E R\n"
                               "(1733649999.900000) vcan0 080# T\n";
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.log")), out = dir.filePath(QStringLiteral("out.log"));
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log.left(log.indexOf("(1733650000.100000)")) + "(1733650000.000500) can1 123#GG R\n" +
                log.mid(log.indexOf("(1733650000.100000)")));
        f.close();
        QStringList boxes;
        collect_box_texts(&boxes);
        QString why;
        QVERIFY(trace->load_log(in, &why));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains(QStringLiteral("line 4: 数据无效/bad data")), qPrintable(boxes[0]));
        const QString said = trace->statusBar()->currentMessage();
        QVERIFY(said.contains(QStringLiteral("1 lines skipped")));
        for (int i = 0; i < 3; ++i)
            trace->drain();  // the status refresh leaves the message alone
        QCOMPARE(trace->statusBar()->currentMessage(), said);
        QCOMPARE(trace->live_model()->frame_count(), size_t(0));

        const auto time_cell = [this](int row) { return model()->data(model()->index(row, 0)).toString(); };
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.000100$")).match(time_cell(1)).hasMatch());
        child<QCheckBox>(trace, "relative_time")->setChecked(true);
        QCOMPARE(time_cell(1), QStringLiteral("0.000100"));
        QCOMPARE(time_cell(8), QStringLiteral("-0.100000"));

        QVERIFY(trace->save_log(out));
        QFile saved(out);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), log);

        // python-can reads every line but the raw length code, which it does not know.
        QFile known(dir.filePath(QStringLiteral("known.log")));
        QVERIFY(known.open(QIODevice::WriteOnly));
        for (const QByteArray &line : log.split('\n'))
            if (!line.isEmpty() && !line.contains("_E"))
                known.write(line + '\n');
        known.close();
        const QJsonArray read = python_can_read(known.fileName());
        QCOMPARE(read.size(), 8);
        QCOMPARE(read[3].toObject()[QStringLiteral("dlc")].toInt(), 1);
        QVERIFY(read[3].toObject()[QStringLiteral("remote")].toBool() && !read[3].toObject()[QStringLiteral("rx")].toBool());
        QVERIFY(read[4].toObject()[QStringLiteral("extended")].toBool());
        QVERIFY(read[5].toObject()[QStringLiteral("fd")].toBool());
        QCOMPARE(read[5].toObject()[QStringLiteral("data")].toString().size(), 24);
        QCOMPARE(read[7].toObject()[QStringLiteral("channel")].toString(), QStringLiteral("vcan0"));
    }

    void a_log_beyond_the_cap_says_what_it_let_go()
    {
        child<QSpinBox>(trace, "cap")->setValue(0);  // the least: two chunks of frames
        QByteArray log;
        for (int i = 0; i < 150000; ++i)
            log += QByteArray("(1000.") + QByteArray::number(i).rightJustified(6, '0') + ") can0 181#01 R\n";
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("long.log")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
        f.close();
        child<QCheckBox>(trace, "relative_time")->setChecked(true);
        QVERIFY(trace->load_log(f.fileName()));
        QCOMPARE(model()->frame_count(), size_t(150000 - 65536));
        auto *notice = child<QLabel>(trace, "dropped_notice");
        QVERIFY(notice->isVisibleTo(trace));
        QVERIFY2(notice->text().contains(QStringLiteral("the oldest 65536 frames (0.000000 s to 0.065535 s)")),
                 qPrintable(notice->text()));
        child<QTabBar>(trace, "sources")->setCurrentIndex(0);  // the live capture lost nothing
        QVERIFY(!notice->isVisibleTo(trace));
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
        const trace::frame_log &live = trace->live_model()->log();
        QCOMPARE(live.interface_of(live.size() - 1), QStringLiteral("can0"));  // the channel, not the bus address
        // The producer goes away: three missed heartbeats later node 5 is lost.
        host.kill();
        QTRY_COMPARE_WITH_TIMEOUT(node_cell(node_row(5), 1), QStringLiteral("丢失/Lost"), 20000);
    }

    void default_size_shows_five_nodes_follows_a_replay_and_keeps_the_status_whole()
    {
        // Six nodes beating for four seconds: more rows than the frame view shows.
        QByteArray log;
        for (int tick = 0; tick < 40; ++tick)
            for (int node = 1; node <= 6; ++node)
                log += "(" + QByteArray::number(1000 + tick / 10) + "." +
                       QByteArray::number((tick % 10) * 100000 + node).rightJustified(6, '0') + ") can0 70" +
                       QByteArray::number(node) + "#05\n";
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("nodes.log")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
        f.close();
        delete canopen;  // its poll would talk on the bus
        canopen = nullptr;
        QVERIFY(trace->load_log(f.fileName()));
        trace->resize(1100, 680);  // the form's size (the test screen is smaller)
        trace->show();
        QVERIFY(QTest::qWaitForWindowExposed(trace));

        auto *nodes = child<QTableWidget>(trace, "nodes");
        QCOMPARE(nodes->rowCount(), 6);
        const QRect fifth = nodes->visualItemRect(nodes->item(4, 0));
        QVERIFY2(fifth.bottom() < nodes->viewport()->height(),
                 qPrintable(QStringLiteral("%1 of %2").arg(fifth.bottom()).arg(nodes->viewport()->height())));

        // Playing back, Follow keeps the newest row shown in view; without it the view stays.
        auto *view = child<QTableView>(trace, "trace");
        int64_t now = 0;
        trace->set_replay_clock([&now] { return now; });
        QVERIFY(trace->start_replay());
        now = 2000000;
        QTRY_VERIFY(model()->shown_frames() > 60);
        QVERIFY(child<QPushButton>(trace, "replay_stop")->isEnabled());
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
        QCOMPARE(view->rowAt(view->viewport()->height() - 1), model()->rowCount() - 1);
        child<QCheckBox>(trace, "follow")->setChecked(false);
        view->scrollToTop();
        const size_t shown = model()->shown_frames();
        now = 3000000;
        QTRY_VERIFY(model()->shown_frames() > shown);
        QCOMPARE(view->verticalScrollBar()->value(), 0);
        trace->stop_replay();

        // A message too long for the room beside the status: the status gives way, whole in its
        // tooltip, and is whole again once the message goes.
        auto *status = child<elided_label>(trace, "trace_status");
        QStatusBar *bar = trace->statusBar();
        bar->clearMessage();  // the one the opened log left
        QTRY_COMPARE(status->text(), status->full_text());
        const QString prefix = QStringLiteral("已保存/Saved: ");
        QString name = QStringLiteral("session");
        const auto message_width = [&] {
            return bar->fontMetrics().horizontalAdvance(prefix +
                                                        QDir::toNativeSeparators(dir.filePath(name + ".log")));
        };
        while (message_width() < bar->width() - status->sizeHint().width() / 2)
            name += QLatin1Char('x');
        const QString path = dir.filePath(name + ".log");
        desktop_seams::set_file_chooser([path](const desktop_seams::file_request &) { return path; });
        child<QPushButton>(trace, "save_trace")->click();
        QCOMPARE(bar->currentMessage(), prefix + QDir::toNativeSeparators(path));
        QTRY_VERIFY(status->x() >= 6 + message_width());
        QVERIFY(status->text().endsWith(QChar(0x2026)));
        QCOMPARE(status->toolTip(), status->full_text());
        QVERIFY(status->full_text().contains(QStringLiteral("log file")));
        bar->clearMessage();
        QTRY_COMPARE(status->text(), status->full_text());
    }

    // The playback panel holds the log it plays, not a tab number: closing another tab leaves
    // the playback on its log, and closing or clearing the log played ends it.
    void closing_or_clearing_tabs_during_playback()
    {
        QByteArray log;
        for (int tick = 0; tick < 20; ++tick)
            log += "(1000." + QByteArray::number(tick * 100000).rightJustified(6, '0') + ") can0 701#05\n";
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("beats.log")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(log) == log.size());
        f.close();
        delete canopen;  // its poll would talk on the bus
        canopen = nullptr;
        QVERIFY(trace->load_log(f.fileName()));
        QVERIFY(trace->load_log(f.fileName()));
        auto *sources = child<QTabBar>(trace, "sources");
        auto *stop = child<QPushButton>(trace, "replay_stop");
        QCOMPARE(sources->currentIndex(), 2);
        trace::trace_model *played = model();
        int64_t now = 0;
        trace->set_replay_clock([&now] { return now; });
        QVERIFY(trace->start_replay());
        QVERIFY(stop->isEnabled() && played->shown_frames() < 20);

        emit sources->tabCloseRequested(1);
        QCOMPARE(sources->count(), 2);
        QCOMPARE(model(), played);
        QVERIFY(stop->isEnabled());
        now = 500000;
        QTRY_VERIFY(played->shown_frames() >= 5);
        QVERIFY(played->shown_frames() < 20);

        // Clearing the log played ends the playback before its rows go.
        child<QPushButton>(trace, "clear")->click();
        QVERIFY(!stop->isEnabled());
        QCOMPARE(model()->rowCount(), 0);

        // Closing the log played ends it too; the clock going on afterwards touches nothing.
        QVERIFY(trace->load_log(f.fileName()));
        QVERIFY(trace->start_replay());
        emit sources->tabCloseRequested(sources->currentIndex());
        QVERIFY(!stop->isEnabled());
        QCOMPARE(model(), trace->live_model());
        QVERIFY(!child<QPushButton>(trace, "replay_start")->isEnabled());
        now = 5000000;
        QTest::qWait(150);
        QVERIFY(!stop->isEnabled());
    }

    // The node table on its own: its rows as given, a lost node in red, an error code with the
    // text it is given for it, or the code alone.
    void node_table_on_its_own()
    {
        Node_table table;
        trace::node_health_row beating;
        beating.node = 2;
        beating.nmt_state = 0x05;
        beating.last_seen_us = 1500000;
        beating.heartbeat_period_us = 100000;
        trace::node_health_row lost;
        lost.node = 7;
        lost.lost = true;
        lost.last_seen_us = 0;
        lost.emcy_count = 3;
        lost.last_error = 0x8130;
        table.show_rows({beating, lost}, 2000000);
        QTableWidget *t = child<QTableWidget>(&table, "nodes");
        QCOMPARE(t->rowCount(), 2);
        const QStringList first{QStringLiteral("2"), Bus_trace::node_state_text(0x05), QStringLiteral("0.5"),
                                QStringLiteral("100.0"), QStringLiteral("0"), QStringLiteral("-")};
        for (int c = 0; c < first.size(); ++c)
            QCOMPARE(t->item(0, c)->text(), first[c]);
        QCOMPARE(t->item(1, 1)->text(), QStringLiteral("丢失/Lost"));
        QCOMPARE(t->item(1, 1)->foreground().color(), QColor(Qt::red));
        QCOMPARE(t->item(1, 4)->text(), QStringLiteral("3"));
        QCOMPARE(t->item(1, 5)->text(), QStringLiteral("0x8130 "));
        table.set_error_text([](uint16_t code) { return code == 0x8130 ? QStringLiteral("心跳错误\nHeartbeat error") : QString(); });
        table.show_rows({lost}, 2000000);
        QCOMPARE(t->rowCount(), 1);
        QCOMPARE(t->item(0, 5)->text(), QStringLiteral("0x8130 心跳错误 / Heartbeat error"));
        QVERIFY(table.height_for_rows(5) > table.height_for_rows(1));
        // With several buses each node says which.
        table.show_rows({beating}, 2000000, [](uint16_t) { return QStringLiteral("can0.1"); });
        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("can0.1 2"));
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
        QVERIFY(child<elided_label>(trace, "trace_status")->full_text().contains(QStringLiteral("log file")));
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
