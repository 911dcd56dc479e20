// Test sequences: the two examples headless on the simulated joints with a report an XML
// reader takes, a failing check (exit 1), runs cut short and a script error that stops the moving
// joints (exit 2), runaway scripts and dead engines that end their engine process (never this
// one) and stop the moving joints, stops the drive did not confirm, Stop in the window during a
// continuous move and during a busy loop, how checks compare, the check book's summaries of a
// long run, the engine's messages, firmware updates from a script, and the command line.
#include "app/command_line.h"
#include "base/desktop_seams.h"
#include "base/checksums.h"
#include "base/hex.h"
#include "base/drive_journal.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/step_job.h"
#include "canopen/joint_guard.h"
#include "sequences/joint_bus.h"
#include "sequences/check_book.h"
#include "sequences/engine_wire.h"
#include "sequences/headless_run.h"
#include "sequences/junit_report.h"
#include "sequences/results_model.h"
#include "sequences/sequences_window.h"
#include "sequences/window_joints.h"
#include "joints/joint_table.h"
#include "canopen/cia402.h"
#include "sim/canopen_node.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"

#include <QAbstractItemModelTester>
#include <QDomDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <cstring>
#include <map>

using namespace test_support;

namespace {

constexpr int generous_ms = 60000;  // only a ceiling for a stuck run, never a speed check

struct run_result {
    int code = -1;
    QString out;
};

run_result velmora(const QStringList &arguments, const QString &sim_nodes = QString(),
                   const QString &buses = QStringLiteral("sim"))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_CAN"), buses);
    env.remove(QStringLiteral("VELMORA_SIM_NODES"));
    if (!sim_nodes.isEmpty())
        env.insert(QStringLiteral("VELMORA_SIM_NODES"), sim_nodes);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("VELMORA_BIN_DIR") + QStringLiteral("/velmora"), arguments);
    run_result r;
    if (!p.waitForFinished(generous_ms) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return r;
}

QString write_script(const QTemporaryDir &dir, const char *name, const char *text)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
    return path;
}

QDomElement suite_of(const QString &report_path)
{
    QFile f(report_path);
    QDomDocument doc;
    if (!f.open(QIODevice::ReadOnly) || !doc.setContent(&f))
        return QDomElement();
    return doc.documentElement().firstChildElement(QStringLiteral("testsuite"));
}

sim::joint &sim_joint(int node) { return *sim::simulator::instance().find(node); }

// The joint's speed after the simulated time has moved on by us.
int32_t speed_after(int node, int64_t us)
{
    sim::clock::advance_us(us);
    sim_joint(node).motor().advance(sim::clock::now_us());
    return sim_joint(node).motor().speed();
}

// A run in this process (its engine in its own), on the bus installed and opened here.
struct here_run {
    sequences::run_end end = sequences::run_end::passed;
    QString message;
    QStringList log;
    int64_t peak_kib = 0;
    double seconds = 0;
};

here_run run_here(const QString &script, int time_limit_s = 0, const sequences::listed_joints &listed = {})
{
    sequences::sequence_runner runner;
    runner.set_listed_joints(listed);
    here_run r;
    bool done = false;
    QObject::connect(&runner, &sequences::sequence_runner::log_line, [&](const QString &line) { r.log << line; });
    QObject::connect(&runner, &sequences::sequence_runner::finished,
                     [&](sequences::run_end end, const QString &message) {
                         r.end = end;
                         r.message = message;
                         done = true;
                     });
    runner.set_time_limit_s(time_limit_s);
    QElapsedTimer clock;
    clock.start();
    runner.start(script, QStringLiteral("runaway.js"));
    if (!QTest::qWaitFor([&] { return done; }, generous_ms))
        r.message = QStringLiteral("(no end)");
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.peak_kib = runner.engine_peak_kib();
    return r;
}

// A stand-in for the engine program that does what text (a shell script) says.
QString fake_engine(const QTemporaryDir &dir, const char *name, const char *text)
{
    const QString path = write_script(dir, name, text);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

}  // namespace

class test_sequences : public QObject {
    Q_OBJECT

private slots:
    // The scripts' messages print hex in lower case, padded and never cut, as they always have.
    void messages_keep_their_lower_case_hex()
    {
        QCOMPARE(hex::lower_digits(0xAB, 4), QStringLiteral("00ab"));
        QCOMPARE(hex::lower_digits(0x6041, 4), QStringLiteral("6041"));
        QCOMPARE(hex::lower_digits(0x12345, 4), QStringLiteral("12345"));
    }

    // The enable walk's decisions, state by state, as both the scripts and the Joints window take
    // them: a fault reset is a rising edge of bit 7, a quick stop is offered the way back to
    // operation once and then taken through "switch on disabled", a state between states waits.
    void the_enable_walk_sends_the_next_controlword_of_each_state()
    {
        using canopen::enable_command;
        const auto sends = [](uint16_t sw, int look) {
            const enable_command c = canopen::next_enable_command(sw, look);
            QList<int> words;
            if (c.what == enable_command::action::send)
                for (int i = 0; i < c.count; ++i)
                    words << c.controlwords[i];
            return words;
        };
        QCOMPARE(canopen::next_enable_command(0x0627, 0).what, enable_command::action::done);
        QCOMPARE(sends(0x0008, 0), (QList<int>{0x0000, 0x0080}));
        QCOMPARE(sends(0x0240, 3), (QList<int>{0x0006}));
        QCOMPARE(sends(0x0221, 1), (QList<int>{0x0007}));
        QCOMPARE(sends(0x0233, 2), (QList<int>{0x000F}));
        QCOMPARE(sends(0x0007, 0), (QList<int>{0x000F}));
        QCOMPARE(sends(0x0007, 1), (QList<int>{0x0000}));
        for (const uint16_t between : {uint16_t(0x0000), uint16_t(0x000F)})
            QCOMPARE(canopen::next_enable_command(between, 0).what, enable_command::action::settle);
        // From fault to operation enabled within the looks the walk allows: fault (reset),
        // switch on disabled, ready to switch on, switched on, operation enabled.
        QVERIFY(canopen::enable_looks >= 5);
    }

    void examples_pass_headless_with_a_report()
    {
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("report.xml"));
        const QString log = dir.filePath(QStringLiteral("run.log"));
        const QString example =
            qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/sequences/endurance.js");
        const run_result r = velmora(
            {QStringLiteral("--run"), example, QStringLiteral("--report"), report, QStringLiteral("--log"), log});
        QVERIFY2(r.code == 0, qPrintable(r.out));
        // Each check printed as it happened.
        QVERIFY(r.out.contains(QStringLiteral("PASS  custom 3 at 5000  actual 0  expected 0 ± 10")));
        const QDomElement suite = suite_of(report);
        QCOMPARE(suite.attribute(QStringLiteral("name")), QStringLiteral("endurance"));
        // Three joints, ten rounds of two stops, and two closing checks each.
        QCOMPARE(suite.attribute(QStringLiteral("tests")), QStringLiteral("66"));
        QCOMPARE(suite.attribute(QStringLiteral("failures")), QStringLiteral("0"));
        QCOMPARE(suite.elementsByTagName(QStringLiteral("testcase")).size(), 66);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("position error over 20 stops"));

        // The arm example: six joints homed, then moved together to a pose and back.
        const run_result arm = velmora({QStringLiteral("--run"),
                                        qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/sequences/arm.js"),
                                        QStringLiteral("--report"), report},
                                       QStringLiteral("1:10231,2:10231,3:10231,4:10231,5:10231,6:10231"));
        QVERIFY2(arm.code == 0, qPrintable(arm.out));
        QCOMPARE(suite_of(report).attribute(QStringLiteral("tests")), QStringLiteral("12"));

        // The commissioning example: identity, parameters and a relative move on each protocol.
        const run_result c = velmora({QStringLiteral("--run"),
                                      qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") +
                                          QStringLiteral("/Document/sequences/commissioning.js"),
                                      QStringLiteral("--report"), report});
        QVERIFY2(c.code == 0, qPrintable(c.out));
        QCOMPARE(suite_of(report).attribute(QStringLiteral("tests")), QStringLiteral("13"));
    }

    void failing_check_exits_1_with_a_failure_element()
    {
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("report.xml"));
        const QString script =
            write_script(dir, "fails.js",
                         "var j = custom(3);\ncheck('position', j.position() + 7, j.position(), 5);\n"
                         "check('name', 'abc', 'abc');\n");
        const run_result r = velmora({QStringLiteral("--run"), script, QStringLiteral("--report"), report});
        QVERIFY2(r.code == 1, qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("FAIL  position  actual 7  expected 0 ± 5")));
        const QDomElement suite = suite_of(report);
        QCOMPARE(suite.attribute(QStringLiteral("failures")), QStringLiteral("1"));
        const QDomElement failure =
            suite.firstChildElement(QStringLiteral("testcase")).firstChildElement(QStringLiteral("failure"));
        QVERIFY(failure.text().contains(QStringLiteral("actual: 7")));
        QVERIFY(failure.text().contains(QStringLiteral("expected: 0")));
        QVERIFY(suite.elementsByTagName(QStringLiteral("testcase"))
                    .at(1)
                    .firstChildElement(QStringLiteral("failure"))
                    .isNull());
    }

    // Whatever a script names its checks, the report is XML every reader takes, a test case a check.
    void report_parses_whatever_the_names_hold()
    {
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("names.xml"));
        const QString script = write_script(dir, "names.js",
                                            "check('half \\uD800 pair', 1, 1);\n"
                                            "check('bell \\x07 esc \\x1b nul \\x00 \\uFFFE', 1, 2);\n"
                                            "check('tail \\uDC00', 'a\\u0001', 'a\\u0001');\n"
                                            "check('pair \\uD83D\\uDE00', 1, 1);\n");
        const run_result r = velmora({QStringLiteral("--run"), script, QStringLiteral("--report"), report});
        QVERIFY2(r.code == 1, qPrintable(r.out));
        QFile f(report);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&f);
        QStringList names;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("testcase"))
                names << xml.attributes().value(QLatin1String("name")).toString();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(names, QStringList({QStringLiteral("half \uFFFD pair"), QStringLiteral("bell \uFFFD esc \uFFFD nul \uFFFD \uFFFD"),
                                     QStringLiteral("tail \uFFFD"), QStringLiteral("pair \U0001F600")}));
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, xml.etree.ElementTree as E; print(len(list(E.parse(sys.argv[1]).iter('testcase'))))"),
                      report});
        QVERIFY(python.waitForFinished(generous_ms));
        QCOMPARE(python.readAllStandardOutput().trimmed(), QByteArray("4"));
    }

    // A run that could not do all it was asked never exits 0: a report or log it cannot write, a
    // script it cannot read, a terminate signal meanwhile (which stops the moving joint first).
    void runs_cut_short_exit_2()
    {
        QTemporaryDir dir;
        const QString ok = write_script(dir, "ok.js", "check('one', 1, 1);\n");
        run_result r = velmora({QStringLiteral("--run"), ok, QStringLiteral("--report"), dir.filePath(QStringLiteral("no/report.xml"))});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.out.contains(QStringLiteral("PASS  one")) && r.out.contains(QStringLiteral("cannot write the report")),
                 qPrintable(r.out));
        r = velmora({QStringLiteral("--run"), ok, QStringLiteral("--log"), dir.filePath(QStringLiteral("no/run.log"))});
        QCOMPARE(r.code, 2);
        QVERIFY2(!r.out.contains(QStringLiteral("PASS")), qPrintable(r.out));  // nothing ran
        QCOMPARE(velmora({QStringLiteral("--run"), dir.filePath(QStringLiteral("none.js"))}).code, 2);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_CAN"), QStringLiteral("sim"));
        env.remove(QStringLiteral("VELMORA_SIM_NODES"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString loop = write_script(dir, "loop.js",
                                          "var j = canopen(1); j.enable(); j.velocity(3000);\n"
                                          "log('moving'); while (true) wait(10);\n");
        p.start(qEnvironmentVariable("VELMORA_BIN_DIR") + QStringLiteral("/velmora"), {QStringLiteral("--run"), loop});
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                p.waitForReadyRead(100);
                out += p.readAll();
                return out.contains("moving");
            },
            generous_ms));
        p.terminate();
        QVERIFY(p.waitForFinished(generous_ms));
        out += p.readAll();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(out.contains("CANopen joint 1 stopped"), out.constData());
    }

    // Two simulated buses with node 1 on each: one script moves both to their own targets, each
    // bus's frames are traced under its own interface, and a bus not open is refused by name.
    void two_buses_move_their_own_joints()
    {
        QTemporaryDir dir;
        const QString trace = dir.filePath(QStringLiteral("two.log"));
        const QString script = write_script(dir, "two.js",
                                            "var a = canopen(1), b = canopen(1, 1), m = custom(2, 1);\n"
                                            "a.enable(); b.enable();\n"
                                            "a.moveTo(2000); b.moveTo(-3000);\n"
                                            "check('bus 0 joint 1', a.position(), 2000, 20);\n"
                                            "check('bus 1 joint 1', b.position(), -3000, 20);\n"
                                            "check('bus 1 maker joint', m.error(), 0);\n"
                                            "a.disable(); b.disable();\n"
                                            "try { custom(2).error(); check('node 2 absent on bus 0', 1, 0); }\n"
                                            "catch (e) { check('node 2 absent on bus 0', 0, 0); }\n"
                                            // its reboot is watched for on bus 1, where it boots
                                            "check('bus 1 firmware', b.updateFirmware('joint.bin').after.version, 'SIM-FW 3.1');\n"
                                            "var known = joints().map(function (j) { return j.bus + ':' + j.node + ' ' + j.name; });\n"
                                            "check('joints of both buses', known.join(', '), '0:1 J1, 1:1 J1, 1:2 wrist');\n"
                                            "var w = joint('WRIST');\n"
                                            "check('joint by its window name', w.bus * 100 + w.node, 102);\n"
                                            "w.enable(); w.moveBy(500); w.disable();\n"
                                            "check('the named joint moved', w.position(), 500, 20);\n"
                                            "var missing = '';\n"
                                            "try { joint('elbow'); } catch (e) { missing = e.message; }\n"
                                            "check('unknown name', missing.indexOf('no joint named elbow') >= 0, true);\n"
                                            "check('stopAll over each joint\\'s bus', stopAll(), true);\n"
                                            "canopen(1, 2);\n");
        QByteArray image(4000, 'f');
        image.replace(50, 19, "VERSION=SIM-FW 3.1\n");
        write_script(dir, "joint.bin", image.constData());
        write_script(dir, "joint.bin.json", R"({"product": "0x00000402", "version": "SIM-FW 3.1"})");
        // Named as the Joints window keeps names, per bus and node.
        fresh_settings();
        joints::save_name({1, 2}, QStringLiteral("wrist"));
        qputenv("VELMORA_CAN_TRACE", trace.toLocal8Bit());
        const run_result r = velmora({QStringLiteral("--run"), script, QStringLiteral("--no-guard")},
                                     QStringLiteral("1:10231;1:10231,2:10231"), QStringLiteral("sim,sim"));
        qunsetenv("VELMORA_CAN_TRACE");
        QVERIFY2(r.out.contains(QStringLiteral("PASS  bus 0 joint 1")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("PASS  bus 1 joint 1")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("PASS  bus 1 maker joint")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("PASS  node 2 absent on bus 0")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("PASS  bus 1 firmware")), qPrintable(r.out));
        for (const char *name : {"joints of both buses", "joint by its window name", "the named joint moved", "unknown name",
                                 "stopAll over each joint's bus"})
            QVERIFY2(r.out.contains(QStringLiteral("PASS  ") + QLatin1String(name)), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("bus 2 is not open")), qPrintable(r.out));
        QCOMPARE(r.code, 2);

        QFile f(trace);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString lines = QString::fromLatin1(f.readAll());
        // The target of each bus goes out on that bus alone: 0x607A = 2000 (D0 07) on sim0,
        // -3000 (48 F4 FF FF) on sim1.
        QVERIFY(lines.contains(QStringLiteral(" sim0 601#237A6000D0070000 T")));
        QVERIFY(lines.contains(QStringLiteral(" sim1 601#237A600048F4FFFF T")));
        QVERIFY(!lines.contains(QStringLiteral(" sim1 601#237A6000D0070000")));
        QVERIFY(!lines.contains(QStringLiteral(" sim0 601#237A600048F4FFFF")));
        // stopAll's quick stop (0x6040 = 0x02) of the joints of bus 1 goes out on bus 1.
        QVERIFY(lines.contains(QStringLiteral(" sim1 601#2B40600002000000 T")));
        QVERIFY(lines.contains(QStringLiteral(" sim1 602#2B40600002000000 T")));
        QVERIFY(lines.contains(QStringLiteral(" sim0 601#2B40600002000000 T")));
        QVERIFY(!lines.contains(QStringLiteral(" sim0 602#2B40600002000000")));
    }

    // In this process, so that the simulated joints can be looked at afterwards.
    void script_error_exits_2_and_stops_the_moving_joints()
    {
        fresh_process();
        sim::clock::set_manual(true);
        sim::simulator::instance().configure({{1, 10231}, {3, 10230}});
        install_simulated_bus();
        QTemporaryDir dir;
        const QString script = write_script(dir, "error.js",
                                            "var a = canopen(1); a.enable(); a.velocity(4000);\n"
                                            "var b = custom(3); b.enable(); b.velocity(-4000);\n"
                                            "a.moveTo('far');\n");
        const QString report = dir.filePath(QStringLiteral("report.xml"));
        QCOMPARE(sequences::run_headless({script, report, QString()}), 2);
        QCOMPARE(sim_joint(1).canopen()->power(), sim::canopen_node::power_state::quick_stop_active);
        QCOMPARE(speed_after(1, 2000000), 0);
        QCOMPARE(speed_after(3, 0), 0);
        // The error is in the report, with where it happened.
        const QDomElement error =
            suite_of(report).firstChildElement(QStringLiteral("testcase")).firstChildElement(QStringLiteral("error"));
        QVERIFY2(error.attribute(QStringLiteral("message")).contains(QStringLiteral("error.js:3")),
                 qPrintable(error.attribute(QStringLiteral("message"))));

        // A syntax error runs nothing.
        const QString broken = write_script(dir, "broken.js", "var a = canopen(1); a.enable(\n");
        QCOMPARE(sequences::run_headless({broken, QString(), QString()}), 2);
        QCOMPARE(sim_joint(1).canopen()->power(), sim::canopen_node::power_state::quick_stop_active);
        // The next run enables the joint out of its quick stop.
        const QString again = write_script(dir, "again.js", "canopen(1).enable();\n");
        QCOMPARE(sequences::run_headless({again, QString(), QString()}), 0);
        QCOMPARE(sim_joint(1).canopen()->power(), sim::canopen_node::power_state::operation_enabled);
        sim::clock::set_manual(false);
    }

    // Objects of every kind of value, registers, refusals and a joint in fault, as a script meets
    // them; each expectation is a check of the script itself.
    // A script's enable guards the joint before the first controlword, its disable puts the
    // consumer back first; a change left by a killed run is told by a headless run, not asked.
    // The arm bench of the manual boots without a window on the joints its .sim line gives;
    // the wrong product in a slot makes the exit code 1 and only its case fails; a script boots
    // it and names its joints as the node list does; a broken node list is refused with its
    // line (exit 2).
    void the_arm_bench_boots_headless()
    {
        const QString bench = qEnvironmentVariable("VELMORA_TEST_SOURCE_DIR") + QStringLiteral("/Document/bench/");
        QFile sim(bench + QStringLiteral("arm.sim"));
        QVERIFY(sim.open(QIODevice::ReadOnly));
        const QString nodes = QString::fromUtf8(sim.readAll()).trimmed().section(QLatin1Char('='), 1);
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("r.xml"));
        const QStringList line = {QStringLiteral("--boot"), bench + QStringLiteral("arm.cpj"), QStringLiteral("--report"), report};
        QElapsedTimer t;
        t.start();
        run_result r = velmora(line, nodes);
        QVERIFY2(r.code == 0, qPrintable(r.out));
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(r.out.contains(QStringLiteral("6 of 6 nodes done")));
        QFile xml(report);
        QVERIFY(xml.open(QIODevice::ReadOnly));
        QDomDocument doc;
        QVERIFY(doc.setContent(&xml));
        QCOMPARE(doc.elementsByTagName(QStringLiteral("testcase")).size(), 1 + 6 * 6);
        QCOMPARE(doc.elementsByTagName(QStringLiteral("failure")).size(), 0);

        r = velmora(line, QString(nodes).replace(QStringLiteral("3:10231"), QStringLiteral("3:canopen")));
        QVERIFY2(r.code == 1, qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("FAIL  J3 (node 3): identity")));
        QVERIFY(r.out.contains(QStringLiteral("5 of 6 nodes done")));

        // A script boots it too, and reaches the joints by the names of the node list.
        const QString script = dir.filePath(QStringLiteral("bench.js"));
        QFile js(script);
        QVERIFY(js.open(QIODevice::WriteOnly));
        js.write(QStringLiteral("var bench = bootBench('%1arm.cpj');\n"
                                "check('done', bench.done, 6);\n"
                                "check('J3 velocity', joint('J3').read(0x6081, 0), 30000);\n"
                                "joint('J9');\n").arg(bench).toUtf8());
        js.close();
        r = velmora({QStringLiteral("--run"), script}, nodes);
        QVERIFY2(r.code == 2, qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("PASS  done")) && r.out.contains(QStringLiteral("PASS  J3 velocity")));
        QVERIFY2(r.out.contains(QStringLiteral("no joint named J9")), qPrintable(r.out));

        const QString broken = write_script(dir, "broken.cpj", "[Topology]\nNodes=1\nNode1Present=2\n");
        r = velmora({QStringLiteral("--boot"), broken}, nodes);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.out.contains(QStringLiteral("broken.cpj: 第3行/line 3:")), qPrintable(r.out));
    }

    void a_script_guards_what_it_enables_and_a_headless_run_tells_what_was_left()
    {
        fresh_process();
        std::map<uint32_t, uint32_t> od{{0x101600, 1}, {0x101601, 0}, {0x600700, 2}, {0x604100, 0x0237},
                                        {0x604000, 0}};
        QStringList wire;
        canopen::sdo_link link;
        link.transact = [&](const canopen::sdo_frame &request, const std::function<bool(const canopen::sdo_frame &)> &,
                            canopen::sdo_frame *reply) {
            const uint16_t index = uint16_t(request.data[1] | request.data[2] << 8);
            const uint32_t key = uint32_t(index) << 8 | request.data[3];
            uint32_t value = 0;
            std::memcpy(&value, request.data + 4, 4);
            const bool read = (request.data[0] & 0xE0) == 0x40;
            wire << QStringLiteral("%1 %2:%3%4").arg(read ? "r" : "w").arg(index, 4, 16).arg(request.data[3])
                        .arg(read ? QString() : QStringLiteral("=%1").arg(value, 0, 16));
            *reply = request;
            if (!od.count(key))
                *reply = canopen::sdo_abort_frame(index, request.data[3], 0x06020000);
            else if (read)
                reply->data[0] = index >= 0x6000 ? 0x4B : 0x43, std::memcpy(reply->data + 4, &od[key], 4);
            else
                reply->data[0] = 0x60, od[key] = value;
            return true;
        };
        link.send = [](const canopen::sdo_frame &) {};
        QStringList notes;
        sequences::joint_bus bus;
        bus.sdo = [&](int) { return link; };
        bus.pause = [](int) { return true; };
        bus.note = [&](const QString &text) { notes << text; };
        sequences::canopen_joint joint(1, bus);
        joint.enable();
        // No 0x1029 on this drive: skipped with a note.
        QCOMPARE(wire, QStringList({"r 1016:0", "r 1016:1", "r 6007:0", "r 1029:1", "w 1016:1=7f015e", "w 6007:0=3",
                                    "r 6041:0"}));
        QCOMPARE(notes.size(), 1);
        QVERIFY2(notes[0].startsWith("CANopen joint 1: ") && notes[0].contains("the drive has no 0x1029:1: skipped"),
                 qPrintable(notes[0]));
        wire.clear();
        joint.disable();
        QCOMPARE(wire, QStringList({"w 6040:0=6", "w 1016:1=0", "w 6007:0=2"}));
        QVERIFY(!canopen::guarded(0, 1));

        // Killed while guarded: the journal entry stays, and the next headless run says so and runs.
        joint.enable();
        QTemporaryDir dir;
        const run_result r = velmora({QStringLiteral("--run"), write_script(dir, "ok.js", "check('one', 1, 1);\n")});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("velmora: drive left changed by an earlier run: bus 0 node 1: heartbeat guard "
                                "(0x1016:1, 0x6007)"),
                 qPrintable(r.out));
        joint.disable();
        QVERIFY(drive_journal::all().empty());
    }

    void objects_registers_and_refusals_from_a_script()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {3, 10230}});
        install_simulated_bus();
        sim::simulator::instance().inject_fault(1, 0x2310);
        QTemporaryDir dir;
        const QString script = write_script(dir, "objects.js", R"JS(
var c = canopen(1), m = custom(3);
c.write(0x2110, 0, "bench joint 7", "VISIBLE_STRING");
check("label", c.read(0x2110, 0, "VISIBLE_STRING"), "bench joint 7");
check("standard string", c.read(0x1008, 0), "Velmora simulated joint");
check("label bytes", c.read(0x2110, 0, "OCTET_STRING").slice(0, 8), "62 65 6E");
check("signed", c.read(0x2103, 1, "INTEGER32"), -1000000);
check("unknown object by size", c.read(0x2100, 0), 100);
var refused = "";
try { c.read(0x1018, 3, "UNSIGNED64"); } catch (e) { refused = e.message; }
check("size mismatch named", refused.indexOf("0x1018:03 answered 4 bytes, not a UNSIGNED64") > 0, true);
m.setRegister(0x0088, -5);
check("register", m.register(0x0088), -5);
try { c.write(0x6083, 0, 0, "UNSIGNED32"); } catch (e) { refused = e.message; }
check("abort named", refused.indexOf("0x06090032") > 0 && refused.indexOf("CANopen joint 1") == 0, true);
try { c.write(0x6083, 0, 70000, "UNSIGNED8"); } catch (e) { refused = e.message; }
check("value refused before sending", refused.indexOf("0x6083:00 = 70000") > 0, true);
try { c.moveTo(100, 1000); } catch (e) { refused = e.message; }
check("not enabled", refused.indexOf("moveTo(100): the joint is in") > 0, true);
check("the fault named", refused.indexOf("error code 0x2310") > 0, true);
c.enable();
check("enabled out of the fault", c.error(), 0);
// Continuous motion once stopped stays stopped when the halt is lifted.
c.profile(50000, 500000, 500000);
c.velocity(4000);
wait(100);
check("turning", c.speed(), 4000, 100);
c.stop();
wait(50);
c.write(0x6040, 0, 0x0F, "UNSIGNED16");
wait(100);
check("stays stopped without the halt", c.speed(), 0);
// A single move after continuous motion goes at the profile's speed again, not the last one.
m.profile(50000, 500000, 500000);
m.enable();
m.velocity(-4000);
m.stop();
wait(50);
var home = m.position();
m.moveBy(1000, 5000);
check("profile speed back", m.register(0x008A), 50000);
check("moved by", m.position(), home + 1000, 10);
m.disable();
// 64-bit integers travel as decimal text, exact beyond the 53 bits a script number holds.
c.write(0x2110, 0, "18446744073709551615", "UNSIGNED64");
check("unsigned 64", c.read(0x2110, 0, "UNSIGNED64"), "18446744073709551615");
c.write(0x2110, 0, -2, "INTEGER64");
check("signed 64", c.read(0x2110, 0, "INTEGER64"), "-2");
check("signed 64 as unsigned", c.read(0x2110, 0, "UNSIGNED64"), "18446744073709551614");
c.write(0x2110, 0, 9007199254740991, "UNSIGNED64");
check("largest exact script number", c.read(0x2110, 0, "UNSIGNED64"), "9007199254740991");
c.write(0x2110, 0, "01 00 ff 7F", "OCTET_STRING");
check("hex bytes", c.read(0x2110, 0, "DOMAIN"), "01 00 FF 7F");
check("the same bytes as a number", c.read(0x2110, 0, "INTEGER32"), 0x7FFF0001);
c.write(0x2110, 0, 1.5, "REAL32");
check("real", c.read(0x2110, 0, "REAL32"), 1.5);
// Registers take the signed value or its 32-bit pattern, nothing wider.
m.setRegister(0x0088, 0xFFFFFFFF);
check("register pattern", m.register(0x0088), -1);
try { m.setRegister(0x0088, 0x100000000); } catch (e) { refused = e.message; }
check("register too wide", refused.indexOf("the value must be a whole number") == 0, true);
try { m.register(0x10000); } catch (e) { refused = e.message; }
check("register beyond 0xFFFF", refused.indexOf("the register must be a whole number") == 0, true);
try { check("negative tolerance", 1, 1, -1); } catch (e) { refused = e.message; }
check("tolerance refused", refused.indexOf("the tolerance must be a number of 0 or more") > 0, true);
)JS");
        QCOMPARE(sequences::run_headless({script, QString(), QString()}), 0);
    }

    // Firmware from a script, run by the program's firmware job: two joints updated from an image
    // beside the script, the drive of another make refused for its product until forced, misuse
    // named; a run stopped mid-update says in its log that the node was left without a program.
    void a_script_updates_firmware()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}, {4, 10231, 0, 0, false}});
        install_simulated_bus();
        QTemporaryDir dir;
        QByteArray image(20000, 'f');
        image.replace(50, 19, "VERSION=SIM-FW 3.1\n");
        QFile f(dir.filePath(QStringLiteral("joint.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        write_script(dir, "joint.bin.json", R"({"product": "0x00000402", "version": "SIM-FW 3.1"})");
        const QString crc = hex::prefixed(checksums::crc32(image.constData(), size_t(image.size())), 8);
        const QString log = dir.filePath(QStringLiteral("run.log"));
        const QString script = write_script(dir, "firmware.js", QStringLiteral(R"JS(
var one = canopen(1).updateFirmware("joint.bin");
check("before", one.before.version, "SIM-FW 1.0.2");
check("after", one.after.version, "SIM-FW 3.1");
check("identification", one.after.identification, "%1");
check("changed", one.before.identification != one.after.identification, true);
check("timed", one.seconds > 0 && one.seconds <= (Date.parse(one.ended) - Date.parse(one.started)) / 1000 + 0.001, true);
check("two", canopen(2).updateFirmware("joint.bin").after.identification, "%1");
var refused = "";
try { canopen(4).updateFirmware("joint.bin"); } catch (e) { refused = e.message; }
check("refused for its product", refused.indexOf("CANopen joint 4: updateFirmware(joint.bin): 已拒绝/refused: ") == 0 &&
      refused.indexOf("the image is for product 0x00000402, the node is 0x00002402") > 0, true);
check("left running", canopen(4).read(0x1F51, 1), 1);
check("forced", canopen(4).updateFirmware("joint.bin", {force: true}).after.identification, "%1");
try { canopen(1).updateFirmware("missing.bin"); } catch (e) { refused = e.message; }
check("no image", refused.indexOf("updateFirmware(missing.bin): ") > 0, true);
try { canopen(1).updateFirmware("joint.bin", {forced: true}); } catch (e) { refused = e.message; }
check("unknown option", refused.indexOf('unknown option "forced"') > 0, true);
)JS").arg(crc).toUtf8().constData());
        QCOMPARE(sequences::run_headless({script, QString(), log, 0}), 0);
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(written.readAll());
        QVERIFY2(lines.contains(QStringLiteral("CANopen joint 2: firmware 已更新/updated")), qPrintable(lines));
        QVERIFY2(lines.contains(QStringLiteral("CANopen joint 4: firmware 已拒绝/refused")), qPrintable(lines));

        // The largest image flashes for two seconds: the time limit comes first.
        QByteArray big(1 << 20, 'b');
        QFile large(dir.filePath(QStringLiteral("large.bin")));
        QVERIFY(large.open(QIODevice::WriteOnly));
        large.write(big);
        large.close();
        open_adapter();
        const here_run cut = run_here(QStringLiteral("canopen(1).updateFirmware('%1', {force: true});")
                                          .arg(dir.filePath(QStringLiteral("large.bin"))),
                                      1);
        QCOMPARE(cut.end, sequences::run_end::error);
        const QString said = cut.log.join(QLatin1Char('\n'));
        QVERIFY2(said.contains(QStringLiteral("CANopen joint 1: firmware 已取消/cancelled")) &&
                     said.contains(QLatin1String("without a program")),
                 qPrintable(said));
        QVERIFY(!job_runner::instance().busy());
    }

    // Homing from a script: a drive's homing error and a timeout fail the call, a limit switch
    // method and the current position end attained at the offset, and the machine stays put.
    void a_script_homes_a_joint()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}});
        install_simulated_bus();
        sim_joint(1).motor().set_position(-49500);  // the next index pulse below is past the limit switch
        QTemporaryDir dir;
        const QString script = write_script(dir, "home.js", R"JS(
var j = canopen(1), failed = "";
j.enable();
var fast = {switchSpeed: 200000, zeroSpeed: 20000, acceleration: 2000000, timeout: 20000};
try { j.home(33, fast); } catch (e) { failed = e.message; }
check("homing error", failed.indexOf("home(33): the drive reports a homing error") > 0, true);
check("error bit", j.read(0x6041, 0) & 0x3000, 0x2000);
fast.offset = 5000;
j.home(17, fast);
check("at the offset", j.position(), 5000);
check("attained", j.read(0x6041, 0) & 0x3400, 0x1400);
j.home(35, {offset: -300});
check("here", j.position(), -300);
check("attained here", j.read(0x6041, 0) & 0x3400, 0x1400);
// The limit switch is 50,000 cnt below the home cam, whatever the counted position says.
j.profile(200000, 2000000, 2000000);
j.moveTo(49700, 5000);
check("home cam", j.read(0x60FD, 0), 4);
try { j.home(3); } catch (e) { failed = e.message; }
check("method refused", failed.indexOf("0x06090030") > 0, true);
try { j.home(17, {speed: 1}); } catch (e) { failed = e.message; }
check("unknown option", failed.indexOf('unknown option "speed"') > 0, true);
try { j.home(18, {switchSpeed: 1000, timeout: 200}); } catch (e) { failed = e.message; }
check("timed out", failed.indexOf("home(18) timed out after 200 ms") > 0, true);
wait(100);
check("halted", j.speed(), 0);
check("not attained", j.read(0x6041, 0) & 0x3400, 0x0400);
// Two joints homed together: each start returns at once and waitAll waits for both. Joint 1
// is attained from a homing on the spot before, which must not end the wait for the new one.
j.home(35, {});
var k = canopen(2);
k.enable();
fast.wait = false;
j.home(17, fast);
k.home(17, fast);
check("1 under way", j.read(0x6041, 0) & 0x1000, 0);
check("2 under way", k.read(0x6041, 0) & 0x1000, 0);
waitAll(j, k);
check("1 attained together", j.read(0x6041, 0) & 0x3400, 0x1400);
check("2 attained together", k.read(0x6041, 0) & 0x3400, 0x1400);
check("1 at its offset", j.position(), 5000);
check("2 at its offset", k.position(), 5000);
fast.timeout = 100;
k.home(18, fast);
try { k.wait(); } catch (e) { failed = e.message; }
check("wait reports the time out of the homing", failed.indexOf("home(18) timed out after 100 ms") > 0, true);
try { k.home(17, {wait: 0}); } catch (e) { failed = e.message; }
check("wait is true or false", failed.indexOf("wait must be true or false") > 0, true);
)JS");
        QCOMPARE(sequences::run_headless({script, QString(), QString()}), 0);
    }

    // A homing started without waiting, against a drive whose statusword is scripted look by
    // look: attained left from the homing before ends the wait only once the new one was seen
    // under way (a drive may answer the start before it clears bit 12); a homing error ends it
    // with the error and enable operation sent; a method that homes on the spot ends at once.
    void a_homing_started_without_waiting_ends_on_its_own_attained()
    {
        fresh_process();
        QList<uint16_t> looks;  // the statusword of each read from the start on
        uint16_t before = 0;    // the statusword until the start
        bool started = false;
        QStringList controlwords;
        canopen::sdo_link link;
        link.transact = [&](const canopen::sdo_frame &request, const std::function<bool(const canopen::sdo_frame &)> &,
                            canopen::sdo_frame *reply) {
            const uint16_t index = uint16_t(request.data[1] | request.data[2] << 8);
            *reply = request;
            if ((request.data[0] & 0xE0) == 0x40 && index != canopen::object::statusword) {
                reply->data[0] = 0x43;  // four bytes of 0: the position, the error code
                std::memset(reply->data + 4, 0, 4);
                return true;
            }
            if ((request.data[0] & 0xE0) == 0x40) {
                const uint16_t sw = !started ? before : looks.size() > 1 ? looks.takeFirst() : looks.value(0);
                reply->data[0] = 0x4B;
                reply->data[4] = uint8_t(sw);
                reply->data[5] = uint8_t(sw >> 8);
                reply->data[6] = reply->data[7] = 0;
                return true;
            }
            reply->data[0] = 0x60;
            if (index == canopen::object::controlword) {
                const uint16_t cw = uint16_t(request.data[4] | request.data[5] << 8);
                controlwords << QString::number(cw, 16);
                started = started || cw == canopen::cw_homing_start;
            }
            return true;
        };
        link.send = [](const canopen::sdo_frame &) {};
        sequences::joint_bus bus;
        bus.sdo = [&](int) { return link; };
        bus.pause = [](int) { return true; };
        sequences::canopen_joint joint(1, bus);
        sequences::homing_options o;
        o.timeout_ms = 60000;

        before = 0x1637;  // operation enabled, attained, target reached: the homing before
        looks = {0x1637, 0x0237, 0x0237, 0x1637};
        joint.start_home(17, o);
        QVERIFY(joint.motion_pending());
        QVERIFY(!joint.motion_done());  // stale: the start not seen under way yet
        QVERIFY(!joint.motion_done());
        QVERIFY(!joint.motion_done());
        QVERIFY(joint.motion_done());
        QCOMPARE(controlwords, QStringList({"f", "1f", "f"}));  // edge, start, bit 4 clear at the end

        started = false;
        controlwords.clear();
        looks = {0x0237, 0x2237};
        joint.start_home(17, o);
        QVERIFY(!joint.motion_done());
        try {
            joint.wait_motion(0);
            QFAIL("a homing error must end the wait");
        } catch (const sequences::joint_failure &f) {
            QVERIFY2(f.message().contains("home(17): the drive reports a homing error (statusword 0x2237)"),
                     qPrintable(f.message()));
        }
        QVERIFY(!joint.motion_pending());
        QCOMPARE(controlwords.last(), QStringLiteral("f"));

        // On the spot: attained before and after, never seen under way.
        started = false;
        looks = {0x1637};
        joint.start_home(35, o);
        QVERIFY(joint.motion_done());
    }

    // Two joints set moving with {wait: false} move together and waitAll waits for both; target
    // reached still set from the rest before does not end the wait early. stopAll then stops
    // every joint the script reached, and says so only when each confirmed.
    void joints_move_together_and_wait_all_waits_for_each()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}, {3, 10230}});
        install_simulated_bus();
        QTemporaryDir dir;
        const QString script = write_script(dir, "together.js", R"JS(
var a = canopen(1), b = canopen(2), c = custom(3);
a.enable(); b.enable(); c.enable();
a.profile(20000, 200000, 200000); b.profile(20000, 200000, 200000); c.profile(20000, 200000, 200000);
a.moveTo(20000, {wait: false, timeout: 10000});
b.moveTo(-20000, {wait: false});
c.moveTo(15000, {wait: false});
check("a returned at once", Math.abs(a.position()) < 5000, true);
waitAll(a, b, c);
check("a there", a.position(), 20000);
check("b there", b.position(), -20000);
check("c there", c.position(), 15000, 10);
a.moveBy(-20000, {wait: false});
a.wait(10000);
check("a back", a.position(), 0);
b.moveTo(0, {wait: false});
var failed = "";
try { waitAll(b, 50); } catch (e) { failed = e.message; }
check("waitAll timed out", failed.indexOf("waitAll timed out after 50 ms: CANopen joint 2") >= 0, true);
check("stopAll", stopAll(), true);
// Two moves under way and a joint that never answers: both moving joints stop, the silent
// one is not reported stopped, and stopAll says not all were.
a.enable(); b.enable();
a.moveTo(-20000, {wait: false});
b.moveTo(20000, {wait: false});
try { canopen(9).velocity(100); } catch (e) {}
check("stopAll with a silent joint", stopAll(), false);
)JS");
        const QString log = dir.filePath(QStringLiteral("together.log"));
        QCOMPARE(sequences::run_headless({script, QString(), log, 0}), 0);
        QCOMPARE(canopen::state_of(sim_joint(1).canopen()->statusword()), canopen::drive_state::quick_stop_active);
        QCOMPARE(canopen::state_of(sim_joint(2).canopen()->statusword()), canopen::drive_state::quick_stop_active);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(f.readAll());
        // The second stopAll: each moved joint once, the silent one not confirmed.
        QCOMPARE(lines.count(QStringLiteral("CANopen joint 1: stopped")), 2);
        QCOMPARE(lines.count(QStringLiteral("CANopen joint 2: stopped")), 2);
        QVERIFY2(lines.contains(QStringLiteral("CANopen joint 9: stop not confirmed")), qPrintable(lines));
        QVERIFY(!lines.contains(QStringLiteral("CANopen joint 9: stopped")));
    }

    // A window run knows the Joints window's list: joints() gives its joints by their names,
    // joint(name) finds one with its protocol, and stopAll stops its enabled joints besides the
    // script's own, through the table's stop, "stopped" only for those that acknowledged.
    void a_window_run_reaches_the_joints_window_list()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}, {2, 10231}, {3, 10230}});
        install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        joints::joint_table table;
        for (const int node : {1, 2, 9})
            table.add({0, node}, joints::joint_protocol::canopen);
        table.add({0, 3}, joints::joint_protocol::custom);
        table.rename(3, QStringLiteral("gripper"));
        table.enable(1);
        QVERIFY(table.rows()[1].enabled);
        table.enable(3);
        QVERIFY(table.rows()[3].enabled);
        // Enabled before it went silent.
        table.rows()[2].enabled = true;
        const here_run r = run_here(QString::fromUtf8(R"JS(
var l = joints().map(function (j) { return j.name + (j.protocol === "custom" ? " custom" : ""); });
check("listed", l.join(", "), "J1, J2, J9, gripper custom");
check("by the name in the window, with its protocol", typeof joint("Gripper").register, "function");
var a = joint("J1");
a.enable();
a.moveTo(20000, {wait: false});
check("stopAll", stopAll(), false);
)JS"), 0, sequences::listed_joints_of(table));
        const QString log = r.log.join(QLatin1Char('\n'));
        QVERIFY2(r.end == sequences::run_end::failed || r.end == sequences::run_end::passed, qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("FAIL")) && r.end == sequences::run_end::passed, qPrintable(log));
        QCOMPARE(r.log.filter(QStringLiteral("CANopen joint 1: stopped")).size(), 1);
        QCOMPARE(r.log.filter(QStringLiteral("CANopen joint 2 (J2): stopped")).size(), 1);
        QCOMPARE(r.log.filter(QStringLiteral("custom joint 3 (gripper): stopped")).size(), 1);
        QCOMPARE(r.log.filter(QStringLiteral("CANopen joint 9 (J9): stop not confirmed")).size(), 1);
        // The script's own joint is not stopped a second time through the list.
        QVERIFY(r.log.filter(QStringLiteral("CANopen joint 1 (J1)")).isEmpty());
        QCOMPARE(canopen::state_of(sim_joint(1).canopen()->statusword()), canopen::drive_state::quick_stop_active);
        QCOMPARE(canopen::state_of(sim_joint(2).canopen()->statusword()), canopen::drive_state::quick_stop_active);
        close_adapter();
    }

    // Stop during a continuous move: the joint is told to stop before the click returns, and a
    // script that never calls out of its loop ends too.
    void stop_in_the_window_stops_the_joint_and_ends_any_loop()
    {
        fresh_process();
        sim::clock::set_manual(true);
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        Sequences window;
        window.show();
        auto *script = child<QPlainTextEdit>(&window, "script");
        auto *stop = child<QPushButton>(&window, "stop");
        sequences::sequence_runner *runner = window.runner();

        script->setPlainText(
            QStringLiteral("var j = canopen(1);\nj.enable();\nj.velocity(5000);\nwhile (true) j.position();\n"));
        child<QPushButton>(&window, "run")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            window.findChild<QPlainTextEdit *>(QStringLiteral("log"))->toPlainText().contains(QStringLiteral("start")),
            generous_ms);
        sim::joint &joint = sim_joint(1);
        QTRY_VERIFY_WITH_TIMEOUT(joint.canopen()->power() == sim::canopen_node::power_state::operation_enabled &&
                                     joint.motor().current_mode() == sim::motor_model::mode::velocity,
                                 generous_ms);
        // Less than the guard's 350 ms: the joint's clock stands still between advances while
        // Velmora's heartbeat keeps real time, so a longer jump reads as Velmora gone. The mode
        // is written before the target velocity, so the joint's clock goes on in small steps
        // until the target has come too (a loaded machine brings it after the jump).
        sim::clock::advance_us(200000);
        QTRY_VERIFY_WITH_TIMEOUT(speed_after(1, 1000) != 0, generous_ms);
        QVERIFY(stop->isEnabled());
        stop->click();
        QCOMPARE(joint.canopen()->power(), sim::canopen_node::power_state::quick_stop_active);
        QTRY_VERIFY_WITH_TIMEOUT(!runner->running(), generous_ms);
        QCOMPARE(speed_after(1, 2000000), 0);
        QVERIFY(child<QLabel>(&window, "progress")->text().contains(QStringLiteral("Stopped")));
        // Saved through the one file question, and the window says where.
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("stopped.xml"));
        desktop_seams::set_file_chooser([&report](const desktop_seams::file_request &r) {
            return r.kind == QLatin1String("report") ? report : QString();
        });
        child<QPushButton>(&window, "save_results")->click();
        desktop_seams::set_file_chooser(nullptr);
        QVERIFY(QFile::exists(report));
        QVERIFY(window.statusBar()->currentMessage().contains(report));
        const QStringList cut = cut_texts_in_every_language(&window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

        script->setPlainText(QStringLiteral("log('busy');\nwhile (true) {}\n"));
        child<QPushButton>(&window, "run")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            window.findChild<QPlainTextEdit *>(QStringLiteral("log"))->toPlainText().contains(QStringLiteral("busy")),
            generous_ms);
        QVERIFY(runner->running());
        stop->click();
        QTRY_VERIFY_WITH_TIMEOUT(!runner->running(), generous_ms);
        QVERIFY(child<QPushButton>(&window, "run")->isEnabled());
        // It made no check, and the progress line says so rather than "0 checks".
        QVERIFY2(child<QLabel>(&window, "progress")->text().contains(QStringLiteral("没有检查/no checks")),
                 qPrintable(child<QLabel>(&window, "progress")->text()));
        close_adapter();
        sim::clock::set_manual(false);
    }

    // A script that takes all memory ends its engine, not this process, and the joint it set
    // moving is stopped; so does one that runs past its time limit, and a stack overflow names
    // the script's line.
    void runaway_scripts_end_their_engine_and_stop_the_joints()
    {
        fresh_process();
        sim::clock::set_manual(true);
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        const struct {
            const char *what;
            const char *grow;
        } runaways[] = {{"a doubling string", "var s = 'x'; while (true) s = s + s;\n"},
                        {"a growing array", "var a = []; while (true) a.push({n: a.length, t: 'v' + a.length});\n"}};
        for (const auto &runaway : runaways) {
            const here_run r = run_here(QStringLiteral("var j = canopen(1); j.enable(); j.velocity(50000);\n") +
                                        QLatin1String(runaway.grow));
            qInfo("%s: ended after %.1f s, engine peak %lld MiB: %s", runaway.what, r.seconds,
                  static_cast<long long>(r.peak_kib / 1024), qPrintable(r.message));
            QCOMPARE(r.end, sequences::run_end::error);
            QCOMPARE(r.message, QStringLiteral("script engine out of memory (limit 1024 MiB)"));
            QVERIFY2(r.log.filter(QStringLiteral("CANopen joint 1 stopped")).size() == 1, qPrintable(r.log.join('\n')));
            // Bounded: the engine's memory stayed within its limit (and the sanitizer's margin).
            QVERIFY(r.peak_kib > 0 && r.peak_kib < (1024 + 600) * 1024);
            QCOMPARE(sim_joint(1).canopen()->power(), sim::canopen_node::power_state::quick_stop_active);
            QCOMPARE(speed_after(1, 2000000), 0);
        }

        // The time limit ends a loop that never calls out, as an error, and stops the joint.
        here_run r = run_here(QStringLiteral("var j = canopen(1); j.enable(); j.velocity(5000);\nwhile (true) {}\n"), 1);
        QCOMPARE(r.end, sequences::run_end::error);
        QCOMPARE(r.message, QStringLiteral("script ran longer than its time limit of 1 s"));
        QVERIFY2(r.log.filter(QStringLiteral("CANopen joint 1 stopped")).size() == 1, qPrintable(r.log.join('\n')));
        QVERIFY(r.seconds < 30);
        QCOMPARE(speed_after(1, 2000000), 0);

        r = run_here(QStringLiteral("// deep\nfunction f(n) {\n    return f(n + 1) + 1;\n}\nf(0);\n"));
        QCOMPARE(r.end, sequences::run_end::error);
        QVERIFY2(r.message.startsWith(QStringLiteral("runaway.js:3: RangeError")), qPrintable(r.message));

        // The runner goes at once with its engine in a busy loop; a Stop as the engine starts
        // ends it before the script's first line.
        {
            sequences::sequence_runner busy;
            busy.start(QStringLiteral("while (true) {}\n"), QStringLiteral("busy.js"));
            QTest::qWait(200);
        }
        {
            sequences::sequence_runner runner;
            QStringList log;
            connect(&runner, &sequences::sequence_runner::log_line, [&](const QString &line) { log << line; });
            runner.start(QStringLiteral("log('ran');\n"), QStringLiteral("early.js"));
            runner.stop();
            QTRY_VERIFY_WITH_TIMEOUT(!runner.running(), generous_ms);
            QVERIFY2(log.filter(QStringLiteral("ran")).isEmpty() && log.last().contains(QStringLiteral("end: stopped")),
                     qPrintable(log.join('\n')));
        }
        close_adapter();
        sim::clock::set_manual(false);
    }

    // An engine that dies, writes garbage or cannot be started ends the run as an error that
    // says so, and a run without checks says that it had none.
    void dead_engines_and_runs_without_checks()
    {
        fresh_process();
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        open_adapter();
        device_open = 1;
        QTemporaryDir dir;
        const struct {
            const char *name;
            const char *text;
            QString message;
        } engines[] = {
            {"segv.sh", "#!/bin/sh\nkill -SEGV $$\n", QStringLiteral("script engine ended by signal 11 (Segmentation fault)")},
            {"garbage.sh", "#!/bin/sh\nprintf 'Segmentation fault (core dumped)\\n'\nsleep 5\n",
             QStringLiteral("script engine sent garbled data")},
            {"quiet.sh", "#!/bin/sh\nexit 0\n", QStringLiteral("script engine ended with exit code 0 before the script's end")},
        };
        for (const auto &e : engines) {
            qputenv("VELMORA_SCRIPT_ENGINE", QFile::encodeName(fake_engine(dir, e.name, e.text)));
            const here_run r = run_here(QStringLiteral("check('one', 1, 1);\n"));
            QCOMPARE(r.end, sequences::run_end::error);
            QCOMPARE(r.message, e.message);
            QVERIFY2(r.seconds < 4, e.name);  // garbage ends the engine, not its sleep
        }
        qputenv("VELMORA_SCRIPT_ENGINE", QFile::encodeName(dir.filePath(QStringLiteral("none"))));
        QVERIFY(run_here(QStringLiteral("check('one', 1, 1);\n")).message.startsWith(QStringLiteral("script engine could not start: ")));
        qunsetenv("VELMORA_SCRIPT_ENGINE");
        close_adapter();

        const QString report = dir.filePath(QStringLiteral("none.xml"));
        const run_result none = velmora({QStringLiteral("--run"), write_script(dir, "none.js", "log('nothing to see');\n"),
                                         QStringLiteral("--report"), report});
        QCOMPARE(none.code, 0);
        QVERIFY2(none.out.contains(QStringLiteral("end: 没有检查/no checks")), qPrintable(none.out));
        const QDomElement suite = suite_of(report);
        QCOMPARE(suite.attribute(QStringLiteral("tests")), QStringLiteral("0"));
        const QDomElement property =
            suite.firstChildElement(QStringLiteral("properties")).firstChildElement(QStringLiteral("property"));
        QCOMPARE(property.attribute(QStringLiteral("name")), QStringLiteral("checks"));
        QCOMPARE(property.attribute(QStringLiteral("value")), QStringLiteral("0"));
        QVERIFY(suite.firstChildElement(QStringLiteral("system-out")).text().contains(QStringLiteral("no checks")));

        // The program killed while its script computes: the engine goes with it.
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_CAN"), QStringLiteral("sim"));
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("VELMORA_BIN_DIR") + QStringLiteral("/velmora"),
                {QStringLiteral("--run"), write_script(dir, "spin.js", "log('spinning');\nwhile (true) {}\n")});
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                p.waitForReadyRead(100);
                out += p.readAll();
                return out.contains("spinning");
            },
            generous_ms));
        const auto children_of = [](qint64 parent) {
            QList<qint64> found;
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
                if (!stat.open(QIODevice::ReadOnly))
                    continue;
                // pid (name) state ppid ...
                const QList<QByteArray> fields = stat.readAll().split(')').value(1).trimmed().split(' ');
                if (fields.size() > 1 && fields[1].toLongLong() == parent)
                    found << pid.toLongLong();
            }
            return found;
        };
        const QList<qint64> spawned = children_of(p.processId());
        QCOMPARE(spawned.size(), 1);
        p.kill();
        QVERIFY(p.waitForFinished(generous_ms));
        // Gone, or a zombie until whoever inherited it reaps it.
        const auto gone = [](qint64 pid) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().split(')').value(1).trimmed().startsWith('Z');
        };
        QTRY_VERIFY_WITH_TIMEOUT(gone(spawned[0]), generous_ms);

        // Headless with a time limit: exit 2 with the cause.
        const run_result limited = velmora({QStringLiteral("--run"), write_script(dir, "busy.js", "while (true) {}\n"),
                                            QStringLiteral("--time-limit"), QStringLiteral("1")});
        QCOMPARE(limited.code, 2);
        QVERIFY2(limited.out.contains(QStringLiteral("velmora: script ran longer than its time limit of 1 s")),
                 qPrintable(limited.out));
    }

    // The stops a failed script leaves say what the drive confirmed: nothing from a bus that
    // does not answer, nothing sent on a bus that is lost.
    void stops_say_what_the_drive_confirmed()
    {
        fresh_process();
        const std::shared_ptr<scripted_bus_state> silent = install_scripted_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        here_run r = run_here(QStringLiteral("canopen(1).velocity(1000);\n"));
        QCOMPARE(r.end, sequences::run_end::error);
        QVERIFY2(r.log.filter(QStringLiteral("CANopen joint 1: stop sent, not confirmed")).size() == 1,
                 qPrintable(r.log.join('\n')));
        QVERIFY(r.log.filter(QStringLiteral("stopped")).isEmpty());
        // The quick stop went out: controlword 0x6040 = 0x02.
        QVERIFY(std::any_of(silent->sent.begin(), silent->sent.end(), [](const vci::can_message &m) {
            return m.id == 0x601 && m.data[1] == 0x40 && m.data[2] == 0x60 && m.data[4] == 0x02;
        }));
        close_adapter();

        // The simulated bus cut while the joint moves: the stop cannot go out.
        fresh_process();
        sim::simulator::instance().configure({{3, 10230}});
        install_simulated_bus();
        open_adapter();
        device_open = 1;
        sequences::sequence_runner runner;
        QStringList log;
        connect(&runner, &sequences::sequence_runner::log_line, [&](const QString &line) { log << line; });
        runner.start(QStringLiteral("var j = custom(3); j.enable(); j.velocity(2000);\nlog('moving');\nwhile (true) wait(10);\n"),
                     QStringLiteral("cut.js"));
        QTRY_VERIFY_WITH_TIMEOUT(!log.filter(QStringLiteral("moving")).isEmpty(), generous_ms);
        sim::simulator::instance().set_cut(true);
        runner.stop();
        QVERIFY2(log.filter(QStringLiteral("custom joint 3: stop not sent: bus lost")).size() == 1, qPrintable(log.join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(!runner.running(), generous_ms);
        sim::simulator::instance().set_cut(false);
        close_adapter();
    }

    // What the engine writes is taken only as whole messages of a known kind within the limit.
    void engine_messages_are_read_defensively()
    {
        sequences::wire_message m;
        m.kind = sequences::wire_kind::check;
        m.node = -7;
        m.flag = 3;
        m.numbers[0] = 0.5;
        m.texts[0] = QStringLiteral("half \xD800 pair \U0001F600");  // an unpaired surrogate as a script may make it
        m.texts[2] = QString(sequences::wire_text_limit, QLatin1Char('x'));
        const QByteArray bytes = sequences::encode(m);
        sequences::wire_reader in(sequences::wire_engine_message_limit);
        sequences::wire_message out;
        // Byte by byte, as a socket may hand it over.
        for (int i = 0; i + 1 < bytes.size(); ++i) {
            in.feed(bytes.constData() + i, 1);
            QCOMPARE(in.next(&out), sequences::wire_reader::status::more);
        }
        in.feed(bytes.constData() + bytes.size() - 1, 1);
        QCOMPARE(in.next(&out), sequences::wire_reader::status::message);
        QCOMPARE(out.kind, sequences::wire_kind::check);
        QCOMPARE(out.node, -7);
        QCOMPARE(out.numbers[0], 0.5);
        QCOMPARE(out.texts[0], m.texts[0]);
        // Cut to the limit, and said so.
        QCOMPARE(out.texts[2].size(), sequences::wire_text_limit / 2);
        QVERIFY(out.texts[2].endsWith(QChar(0x2026)));
        QCOMPARE(in.pending(), 0);

        QByteArray unknown_kind = sequences::encode(m);
        unknown_kind[4] = char(0x7F);
        QByteArray odd_text = sequences::encode(sequences::wire_message());
        odd_text[odd_text.size() - 4] = 1;  // the last text claims one byte of UTF-16
        QByteArray short_text = sequences::encode(sequences::wire_message());
        short_text[0] = char(short_text[0] + 2);  // two bytes more than its texts hold
        short_text += "zz";
        const QByteArray huge("\xFF\xFF\xFF\x7F", 4);
        // The joints a reply lists: a line that is no joint (a bus there cannot be, a node out of
        // range, an unknown protocol, a torn line) is left out; a name keeps its spaces and stays
        // on its line.
        const std::vector<sequences::known_joint> known = sequences::decode_known_joints(
            QStringLiteral("canopen 1 2 1 left wrist\ncustom 0 3 0 J3\ncanopen 8 1 0 x\ncanopen 0 128 0 x\n"
                           "servo 0 1 0 x\ncanopen 0 1 7 x\ncanopen 0\ncanopen -1 1 0 x\n"));
        QCOMPARE(known.size(), size_t(2));
        QCOMPARE(known[0].key.bus, 1);
        QCOMPARE(known[0].key.node, 2);
        QVERIFY(known[0].enabled);
        QCOMPARE(known[0].name, QStringLiteral("left wrist"));
        QVERIFY(known[1].key.protocol == sequences::joint_protocol::custom);
        sequences::known_joint two_lines = known[1];
        two_lines.name = QStringLiteral("J3\ncanopen 0 5 1 injected");
        QCOMPARE(sequences::decode_known_joints(sequences::encode_known_joints({two_lines})).size(), size_t(1));

        for (const QByteArray &bad : {unknown_kind, odd_text, short_text, huge}) {
            sequences::wire_reader r(sequences::wire_engine_message_limit);
            r.feed(bad.constData(), bad.size());
            QCOMPARE(r.next(&out), sequences::wire_reader::status::garbled);
            // Once garbled, a good message after it is not taken.
            r.feed(bytes.constData(), bytes.size());
            QCOMPARE(r.next(&out), sequences::wire_reader::status::garbled);
        }
    }

    // A long run keeps the first rows and one summary per name (a bounded number of names).
    void long_runs_are_summarised_beyond_the_limits()
    {
        // Numbers within the tolerance pass (NaN never does); a text compares as text.
        const auto passes = [](sequences::check_value actual, sequences::check_value expected, double tolerance) {
            return sequences::evaluate_check(0, QString(), actual, expected, tolerance).passed;
        };
        QVERIFY(passes(sequences::check_value::of(7.0), sequences::check_value::of(10.0), 3));
        QVERIFY(!passes(sequences::check_value::of(13.5), sequences::check_value::of(10.0), 3));
        QVERIFY(!passes(sequences::check_value::of(qQNaN()), sequences::check_value::of(0.0), 1e300));
        QVERIFY(!passes(sequences::check_value::of(QStringLiteral("5.0")), sequences::check_value::of(5.0), 1));
        QCOMPARE(sequences::check_number_text(123456789012.0), QStringLiteral("123456789012"));

        sequences::check_book book(3, 2);
        sequences::results_model model(book);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto check = [&](const char *name, double actual) {
            const int at = book.add(sequences::evaluate_check(0, QLatin1String(name), sequences::check_value::of(actual),
                                                              sequences::check_value::of(0.0), 1));
            model.sync();
            return at;
        };
        for (int i = 0; i < 3; ++i)
            QCOMPARE(check("a", 0), i);
        QCOMPARE(check("a", 5), -1);
        QCOMPARE(check("a", -1), -1);
        QCOMPARE(check("b", 0), -2);
        QCOMPARE(check("c", 3), -3);
        QCOMPARE(check("d", 0), -3);
        QCOMPARE(int(book.rows().size()), 3);
        QCOMPARE(int(book.summaries().size()), 3);
        const sequences::check_summary &a = book.summaries()[0];
        QCOMPARE(a.count, 2);
        QCOMPARE(a.failed, 1);
        QCOMPARE(a.first_failure.actual, QStringLiteral("5"));
        QCOMPARE(a.min, -1.0);
        QCOMPARE(a.max, 5.0);
        QCOMPARE(a.mean(), 2.0);
        QVERIFY(book.summaries()[2].name.isEmpty());
        QCOMPARE(book.summaries()[2].count, 2);
        QCOMPARE(book.total(), 8);
        QCOMPARE(book.failed(), 2);
        // The table: the rows, then a summary a row.
        const auto cell = [&model](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(cell(3, sequences::results_model::check_column), QStringLiteral("a (+2)"));
        QCOMPARE(cell(3, sequences::results_model::actual_column), QStringLiteral("-1 … 5 (⌀ 2)"));
        QVERIFY(cell(3, sequences::results_model::result_column).startsWith(QStringLiteral("1 ")));
        QVERIFY(cell(5, sequences::results_model::check_column).endsWith(QStringLiteral("other checks (+2)")));

        // The report: a test case per row and per summary, names as scripts give them.
        QDomDocument doc;
        QVERIFY(doc.setContent(sequences::junit_report(book, {QStringLiteral("long.js"), QDateTime(), 1, QString()})));
        const QDomNodeList cases = doc.elementsByTagName(QStringLiteral("testcase"));
        QCOMPARE(cases.size(), 6);
        QCOMPARE(cases.at(3).toElement().attribute(QStringLiteral("name")), QStringLiteral("a (2 more checks)"));
        QVERIFY(cases.at(3)
                    .firstChildElement(QStringLiteral("failure"))
                    .attribute(QStringLiteral("message"))
                    .contains(QStringLiteral("1 of 2 failed")));
        book.clear();
        model.reset();
        check("e", 0);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(cell(0, sequences::results_model::check_column), QStringLiteral("e"));

        sequences::check_book odd;
        odd.add(sequences::evaluate_check(0, QStringLiteral("bell\x07 <&>"),
                                          sequences::check_value::of(QStringLiteral("\x01")),
                                          sequences::check_value::of(QString()), 0));
        QVERIFY(doc.setContent(sequences::junit_report(odd, {})));
        QCOMPARE(doc.elementsByTagName(QStringLiteral("testcase")).at(0).toElement().attribute(QStringLiteral("name")),
                 QStringLiteral("bell\uFFFD <&>"));
    }

    void help_names_every_option_and_the_bus_variable()
    {
        const run_result r = velmora({QStringLiteral("--help")});
        QCOMPARE(r.code, 0);
        for (const char *word : {"--help", "--version", "--bus", "--run", "--report", "--log", "--time-limit", "VELMORA_CAN"})
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
        QCOMPARE(velmora({QStringLiteral("--report"), QStringLiteral("x.xml")}).code, 2);
        QCOMPARE(velmora({QStringLiteral("--bus")}).code, 2);

        // Values inline or apart; the toolkit's options, with their values, are left alone.
        const auto parse = [](const char *line) {
            return parse_command_line(QString::fromLatin1(line).split(QLatin1Char(' ')));
        };
        command_line c = parse("velmora -platform offscreen --bus=sim --run a.js --report=r.xml -style fusion");
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        QCOMPARE(c.bus, QStringLiteral("sim"));
        QCOMPARE(c.run, QStringLiteral("a.js"));
        QCOMPARE(c.report, QStringLiteral("r.xml"));
        QCOMPARE(parse("velmora --run a.js --time-limit 30").time_limit_s, 30);
        QCOMPARE(parse("velmora -platform --help").error, QString());  // "--help" is -platform's value
        QVERIFY(!parse("velmora -platform --help").help);
        const struct {
            const char *line;
            const char *error;
        } refused[] = {{"velmora --bus=", "--bus needs a value"},
                       {"velmora --run", "--run needs a value"},
                       {"velmora --help=yes", "--help takes no value"},
                       {"velmora a.js", "unknown argument a.js"},
                       {"velmora --runs a.js", "unknown argument --runs"},
                       {"velmora --log run.log", "--report and --log go with --run or --boot"},
                       {"velmora --run a.js --boot b.cpj", "--run and --boot are one at a time"},
                       {"velmora --start-all", "--start-all and --store go with --boot"},
                       {"velmora --time-limit 5", "--time-limit goes with --run"},
                       {"velmora --run a.js --time-limit -1", "--time-limit takes whole seconds (0: none), not -1"},
                       {"velmora --run a.js --time-limit=1.5", "--time-limit takes whole seconds (0: none), not 1.5"}};
        for (const auto &r : refused)
            QCOMPARE(parse(r.line).error, QLatin1String(r.error));
        c = parse("velmora --boot=b.cpj --start-all --report r.xlsx --store");
        QVERIFY(c.error.isEmpty());
        QVERIFY(c.start_all && c.store && c.boot == QLatin1String("b.cpj") && c.report == QLatin1String("r.xlsx"));
    }
};

QTEST_MAIN(test_sequences)
#include "test_sequences.moc"
