// A bench booted on the simulated bus as a commissioning engineer boots one: a node list with a
// DCF per node, fresh joints among them found by their serial numbers, the wrong product in a
// slot, a joint that falls silent after the start; and the report a CI server reads.
#include "base/language.h"
#include "base/shared_values.h"
#include "app/bus_choice.h"
#include "can/adapter.h"
#include "can/bus.h"
#include "can/exchange.h"
#include "can/step_job.h"
#include "canopen/canopen_frames.h"
#include "canopen/sdo_bus_link.h"
#include "objects/bench.h"
#include "objects/bench_boot.h"
#include "objects/bench_model.h"
#include "objects/eds.h"
#include "objects/object_dictionary.h"
#include "sim/canopen_node.h"
#include "sim/simulator.h"
#include "support/test_bus.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <map>

using namespace test_support;
using namespace objects;

namespace {

// The values every node's DCF sets, beside its heartbeat: a manufacturer object, a profile
// velocity of its own per node, and TPDO 1's event timer (a PDO group).
std::map<int, QString> bench_values(int node)
{
    return {{0x101700, QStringLiteral("100")},
            {0x210000, QStringLiteral("%1").arg(200 + node)},
            {0x608100, QStringLiteral("%1").arg(5000 + node)},
            {0x180005, QStringLiteral("250")}};
}

struct dcf_spec {
    int node;
    QString name;
    uint32_t serial = 0;       // [DeviceComissioning] LSS_SerialNumber; 0 none
    bool identity = true;      // [DeviceInfo] vendor, product and revision
    bool store = false;        // 0x1010:1 "save"
    uint32_t product = 0x402;  // the product the DCF asks for
    bool heartbeat = true;     // 0x1017 among the values
};

objects::eds_document joint_eds()
{
    QFile f(Object_dictionary::simulated_joint_eds());
    if (!f.open(QIODevice::ReadOnly))
        qFatal("simulated joint's EDS missing");
    return parse_eds(f.readAll()).document;
}

void write_bench(const QTemporaryDir &dir, const std::vector<dcf_spec> &nodes)
{
    cpj_network net;
    net.net_name = QStringLiteral("test bench");
    for (const dcf_spec &n : nodes) {
        eds_document d = joint_eds();
        const std::map<int, QString> own = bench_values(n.node);
        for (od_object &o : d.objects)
            for (od_entry &e : o.entries) {
                const int key = e.index << 8 | e.sub;
                e.parameter_value = own.count(key) && (n.heartbeat || key != 0x101700) ? own.at(key) : QString();
                if (n.store && key == 0x101001)
                    e.parameter_value = QStringLiteral("0x65766173");
            }
        key_values info;
        for (const auto &kv : d.device_info)
            if (n.identity || !kv.first.endsWith(QStringLiteral("Number")))
                info.push_back(kv);
        d.device_info = info;
        dcf_device device;
        device.node_id = n.node;
        device.node_name = n.name;
        device.baudrate_kbps = 1000;
        if (n.identity)
            device.product_number = canopen::identity_text(n.product);
        if (n.serial)
            device.serial_number = canopen::identity_text(n.serial);
        const QString file = n.name + QStringLiteral(".dcf");
        QFile out(dir.filePath(file));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(write_dcf(d, device, file));
        net.nodes.push_back({n.node, true, n.name, file, false, 0});
    }
    QFile cpj(dir.filePath(QStringLiteral("bench.cpj")));
    QVERIFY(cpj.open(QIODevice::WriteOnly));
    cpj.write(write_cpj(net));
}

canopen::sdo_outcome read(int node, uint16_t index, uint8_t sub)
{
    return canopen::read_object(canopen::exchange_sdo_link(adapter_bus_ops(), node, 100, {}), index, sub);
}

uint32_t value(const canopen::sdo_outcome &o)
{
    uint32_t v = 0;
    for (int i = 0; i < o.data.size() && i < 4; ++i)
        v |= uint32_t(uint8_t(o.data[i])) << (8 * i);
    return v;
}

// Each step's result and note, for a failure message.
QString boot_summary_of(const node_boot &n)
{
    QStringList out;
    for (int s = 0; s < boot_step_count; ++s)
        out << boot_step_name(static_cast<boot_step>(s)) + QLatin1Char('=') + step_result_text(n.steps[s].result) + QLatin1Char(' ')
                   + n.steps[s].note;
    return out.join(QStringLiteral("; "));
}

// Runs the boot through the job runner, as the page and the headless run do.
struct boot_run {
    std::vector<node_boot> nodes;
    QByteArray junit;
    bool cancelled = false;
};

boot_run boot(const bench_file &bench, const boot_options &options = {}, bench_model *model = nullptr, int bus = 0)
{
    auto run = std::make_shared<boot_run>();
    auto job = std::make_unique<bench_boot>(
        bench, options, bus_boot_wire(bus, {}),
        [model](const bench_boot &b, int i) {
            if (model)
                model->show_boot(b, i);
        },
        [run, model](const bench_boot &b, bool cancelled) {
            run->nodes = b.nodes();
            run->junit = boot_junit(outcome_of(b, QDateTime::currentDateTime()));
            run->cancelled = cancelled;
            if (model)
                model->watch(b);
        });
    if (!job_runner::instance().start(std::move(job)))
        qFatal("the job runner is busy");
    QElapsedTimer t;
    t.start();
    while (job_runner::instance().busy() && t.elapsed() < 30000)
        QTest::qWait(5);
    return *run;
}

}  // namespace

class test_bench : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    bench_file read_test_bench()
    {
        const bench_result r = read_bench(dir.filePath(QStringLiteral("bench.cpj")));
        if (!r.ok)
            qWarning("%s", qPrintable(r.error));
        return r.bench;
    }
    void joints(const char *nodes)
    {
        std::vector<sim::joint_config> j;
        QVERIFY(sim::parse_nodes(QLatin1String(nodes), &j, nullptr));
        sim::simulator::instance().configure(j);
    }

private slots:
    void init()
    {
        fresh_process();
        install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
    }

    void cleanup()
    {
        close_adapter();
        uninstall_bus();
    }

    // Four nodes, two of them fresh: one found by its whole identity, one by its serial number
    // alone (the fast scan tells the rest). Every value read back, node-IDs stored, every node
    // operational by its heartbeat; the report has one case per node and step.
    void a_fresh_bench_boots_to_operational()
    {
        joints("1:10231,2:10231,lss:0x2003,lss:0x2004");
        write_bench(dir, {{1, QStringLiteral("J1"), 0, true, true},
                          {2, QStringLiteral("J2")},
                          {3, QStringLiteral("J3"), 0x2003},
                          {4, QStringLiteral("J4"), 0x2004, false}});
        const bench_file bench = read_test_bench();
        QCOMPARE(bench.nodes.size(), size_t(4));
        bench_model model;
        model.set_bench(bench);
        const boot_run run = boot(bench, {}, &model);
        for (const node_boot &n : run.nodes) {
            QVERIFY2(n.done(), qPrintable(n.title() + QStringLiteral(": ") + boot_summary_of(n)));
            QCOMPARE(model.state_of(n.node), bench_model::state::done);
        }
        QVERIFY(run.nodes[2].by_lss && run.nodes[3].by_lss && !run.nodes[0].by_lss);
        QVERIFY(run.nodes[2].at(boot_step::present).done.contains(QStringLiteral("given node-ID 3, stored, booted")));
        QCOMPARE(run.nodes[0].at(boot_step::store).result, step_result::passed);
        QCOMPARE(run.nodes[1].at(boot_step::store).result, step_result::skipped);
        for (int node = 1; node <= 4; ++node) {
            for (const auto &v : bench_values(node))
                QCOMPARE(value(read(node, uint16_t(v.first >> 8), uint8_t(v.first))), v.second.toUInt());
            QCOMPARE(sim::simulator::instance().find(node)->canopen()->state(), sim::canopen_node::nmt_state::operational);
        }
        // The serial numbers are the simulator's: 0x00010000 + node for a configured joint.
        QVERIFY(run.nodes[0].at(boot_step::identity).found.contains(QStringLiteral("0x00010001")));

        QDomDocument xml;
        QVERIFY(xml.setContent(run.junit));
        const QDomNodeList cases = xml.elementsByTagName(QStringLiteral("testcase"));
        QCOMPARE(cases.size(), 1 + 4 * boot_step_count);
        QCOMPARE(cases.at(1 + boot_step_count + 1).toElement().attribute(QStringLiteral("name")), QStringLiteral("J2 (node 2): identity"));
        QCOMPARE(xml.elementsByTagName(QStringLiteral("failure")).size(), 0);
        QCOMPARE(xml.elementsByTagName(QStringLiteral("skipped")).size(), 3);  // stores not asked for

        // Node after node or all at once: the second time nothing differs and nothing is written.
        const boot_run again = boot(bench, {start_order::all_at_once, false});
        for (const node_boot &n : again.nodes) {
            QVERIFY2(n.done(), qPrintable(boot_summary_of(n)));
            QVERIFY(n.at(boot_step::configuration).done.startsWith(QStringLiteral("写入/written 0")));
        }

        // A node that stops its heartbeat is lost, the others stay; heard again, it is back.
        const vci::can_message off = make_message(0x602, {0x2B, 0x17, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00});
        QVERIFY(model.state_of(2) == bench_model::state::done);
        QSignalSpy lost(&model, &bench_model::lost_changed);
        sim::simulator::instance().process(off);  // straight to the joint, as a cut cable
        QTRY_VERIFY_WITH_TIMEOUT(model.lost(2), 2000);
        QVERIFY(!model.lost(1) && !model.lost(3) && !model.lost(4));
        QCOMPARE(lost.count(), 1);
        QVERIFY(model.state_text(model.row_of(2)).contains(QStringLiteral("lost")));
        // The table shows the state in the windows' language; the model keeps both.
        set_current_language(language_english);
        const QString shown = model.data(model.index(model.row_of(2), bench_model::col_state)).toString();
        set_current_language(language_both);
        QVERIFY2(shown.contains(QStringLiteral("lost")) && !has_chinese(shown), qPrintable(shown));
        sim::simulator::instance().process(make_message(0x602, {0x2B, 0x17, 0x10, 0x00, 100, 0x00, 0x00, 0x00}));
        QTRY_VERIFY_WITH_TIMEOUT(!model.lost(2), 2000);
    }

    // The wrong product in a slot fails with what it is and is left as it was; the others boot,
    // and no bench-wide case fails for it.
    void the_wrong_product_is_left_untouched()
    {
        joints("1:10231,2:canopen,3:10231");
        write_bench(dir, {{1, QStringLiteral("J1")}, {2, QStringLiteral("J2")}, {3, QStringLiteral("J3")}});
        const uint32_t velocity_before = value(read(2, 0x6081, 0));
        const uint32_t heartbeat_before = value(read(2, 0x1017, 0));
        const boot_run run = boot(read_test_bench());
        QCOMPARE(run.nodes.size(), size_t(3));
        const node_boot &wrong = run.nodes[1];
        QCOMPARE(wrong.at(boot_step::identity).result, step_result::failed);
        QVERIFY2(wrong.at(boot_step::identity).found.contains(QStringLiteral("产品/product 0x00002402")),
                 qPrintable(wrong.at(boot_step::identity).found));
        QVERIFY(wrong.at(boot_step::identity).note.contains(QStringLiteral("0x00000402")));
        QCOMPARE(wrong.at(boot_step::configuration).result, step_result::not_run);
        QCOMPARE(wrong.at(boot_step::start).result, step_result::not_run);
        QCOMPARE(value(read(2, 0x6081, 0)), velocity_before);
        QCOMPARE(value(read(2, 0x1017, 0)), heartbeat_before);
        QVERIFY(sim::simulator::instance().find(2)->canopen()->state() != sim::canopen_node::nmt_state::operational);
        QVERIFY(run.nodes[0].done() && run.nodes[2].done());

        QDomDocument xml;
        QVERIFY(xml.setContent(run.junit));
        const QDomNodeList failures = xml.elementsByTagName(QStringLiteral("failure"));
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.at(0).parentNode().toElement().attribute(QStringLiteral("name")),
                 QStringLiteral("J2 (node 2): identity"));
        QCOMPARE(xml.documentElement().firstChildElement(QStringLiteral("testsuite")).attribute(QStringLiteral("failures")),
                 QStringLiteral("1"));
    }

    // The bench on bus 1: its nodes found, configured and started there, their heartbeats heard
    // on bus 1; bus 0's joints of the same numbers are not touched.
    void a_bench_boots_on_bus_1()
    {
        joints("1:10231,2:10231");
        sim::simulator::instance(1).configure({{1, 10231}, {2, 10231}});
        qputenv("VELMORA_CAN", "sim,sim");
        use_bus_from_environment();
        QString why;
        QVERIFY2(can::bus::at(1).open(&why), qPrintable(why));
        struct closing {
            ~closing()
            {
                can::bus::at(1).close();
                qunsetenv("VELMORA_CAN");
            }
        } close_bus_1;
        write_bench(dir, {{1, QStringLiteral("J1")}, {2, QStringLiteral("J2")}});
        const boot_run run = boot(read_test_bench(), {}, nullptr, 1);
        for (const node_boot &n : run.nodes)
            QVERIFY2(n.done(), qPrintable(n.title() + QStringLiteral(": ") + boot_summary_of(n)));
        for (int node : {1, 2}) {
            QCOMPARE(sim::simulator::instance(1).find(node)->canopen()->state(), sim::canopen_node::nmt_state::operational);
            QVERIFY(sim::simulator::instance().find(node)->canopen()->state() != sim::canopen_node::nmt_state::operational);
            const auto values = bench_values(node);
            const auto &[key, wanted] = *values.begin();
            QCOMPARE(value(canopen::read_object(canopen::exchange_sdo_link(bus_ops(1), node, canopen::sdo_timeout_ms, {}),
                                                uint16_t(key >> 8), uint8_t(key))),
                     wanted.toUInt());
        }
    }

    // Each way a node fails leaves it as the report says and the others boot: a DCF without a
    // heartbeat time (configured, never started), a node not on the bus, a fresh one whose
    // serial number nobody has (no drive left in LSS configuration for the next), all started
    // at the end; the CSV report has a row per node and step and each node's boot time.
    void failures_leave_each_node_as_the_report_says()
    {
        joints("1:10231,2:10231,lss:0x2005");
        dcf_spec silent{2, QStringLiteral("J2")};
        silent.heartbeat = false;
        write_bench(dir, {{1, QStringLiteral("J1")}, silent, {3, QStringLiteral("J3")},
                          {4, QStringLiteral("J4"), 0x4444}, {5, QStringLiteral("J5"), 0x2005}});
        const bench_file bench = read_test_bench();
        bench_boot job(bench, {start_order::all_at_once, false}, adapter_boot_wire({}));
        while (job.step())
            QCoreApplication::processEvents();
        const std::vector<node_boot> &n = job.nodes();
        QVERIFY2(n[0].done() && n[4].done(), qPrintable(boot_summary_of(n[0]) + QStringLiteral(" | ") + boot_summary_of(n[4])));
        QCOMPARE(n[1].at(boot_step::configuration).result, step_result::passed);
        QCOMPARE(n[1].at(boot_step::heartbeat).result, step_result::failed);
        QVERIFY(n[1].at(boot_step::heartbeat).note.contains(QStringLiteral("0x1017")));
        QCOMPARE(n[1].at(boot_step::start).result, step_result::not_run);
        QVERIFY(n[2].at(boot_step::present).note.contains(QStringLiteral("no serial number")));
        QCOMPARE(n[3].at(boot_step::present).result, step_result::failed);
        QVERIFY2(n[3].at(boot_step::present).note.contains(QStringLiteral("0x00004444")), qPrintable(n[3].at(boot_step::present).note));
        QCOMPARE(n[3].at(boot_step::identity).result, step_result::not_run);
        QVERIFY(n[4].by_lss);
        const auto state = [](int node) { return sim::simulator::instance().find(node)->canopen()->state(); };
        QCOMPARE(state(1), sim::canopen_node::nmt_state::operational);
        QCOMPARE(state(5), sim::canopen_node::nmt_state::operational);
        QVERIFY(state(2) != sim::canopen_node::nmt_state::operational);
        QCOMPARE(job.nodes_done(), 2);

        const QString csv = dir.filePath(QStringLiteral("boot.csv"));
        QString error;
        QVERIFY2(save_boot_report(csv, outcome_of(job, QDateTime::currentDateTime()), &error), qPrintable(error));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2 + 1 + 5 * (boot_step_count + 1));  // title, headers, discovery, per node
        QVERIFY(lines[1].startsWith(QStringLiteral("节点/Node,名称/Name,步骤/Step,结果/Result")));
        QVERIFY2(lines[3 + boot_step_count + 1 + 4].startsWith(QStringLiteral("2,J2,heartbeat,失败/failed,")), qPrintable(lines[3 + 11]));
        const QStringList boot_row = lines[3 + boot_step_count].split(QLatin1Char(','));
        QCOMPARE(boot_row.mid(0, 4), QStringList({"1", "J1", "boot", "完成/done"}));
        QVERIFY(boot_row[6].toDouble() > 0);
        QVERIFY(save_boot_report(dir.filePath(QStringLiteral("boot.xlsx")), outcome_of(job, QDateTime::currentDateTime()), &error));
        QVERIFY(!save_boot_report(dir.filePath(QStringLiteral("no/such/boot.xml")), outcome_of(job, QDateTime::currentDateTime()), &error));
        QVERIFY(!error.isEmpty());
    }

    // Cancel between steps, or a cancel that cuts a download off: what was left is told, and no
    // node is started that was not checked.
    void cancel_leaves_the_rest_told()
    {
        joints("1:10231,2:10231");
        write_bench(dir, {{1, QStringLiteral("J1")}, {2, QStringLiteral("J2")}});
        bench_boot job(read_test_bench(), {}, adapter_boot_wire({}));
        while (job.step() && job.nodes()[0].current != int(boot_step::configuration))
            QCoreApplication::processEvents();
        job.stop_after_step();
        while (job.step())
            QCoreApplication::processEvents();
        QVERIFY(job.cancelled());
        QCOMPARE(job.nodes()[0].at(boot_step::configuration).result, step_result::failed);
        QCOMPARE(job.nodes()[1].at(boot_step::present).result, step_result::not_run);
        QVERIFY(job.nodes()[1].at(boot_step::present).note.contains(QStringLiteral("cancelled")));
        for (int node = 1; node <= 2; ++node)
            QVERIFY(sim::simulator::instance().find(node)->canopen()->state() != sim::canopen_node::nmt_state::operational);

        // Cut off inside the download (a Stop's cancel): what was written so far is told.
        bench_boot cut(read_test_bench(), {}, adapter_boot_wire({}));
        int into_download = 0;
        while (cut.step() && (cut.nodes()[0].current != int(boot_step::configuration) || ++into_download < 8))
            QCoreApplication::processEvents();
        cut.cancel();
        QVERIFY(cut.cancelled() && cut.finished());
        const step_record &c = cut.nodes()[0].at(boot_step::configuration);
        QCOMPARE(c.result, step_result::failed);
        QVERIFY2(c.found.contains(QStringLiteral("cut off")), qPrintable(c.found));
        QCOMPARE(cut.nodes()[0].at(boot_step::start).result, step_result::not_run);
        QVERIFY(!cut.step());
    }
};

QTEST_MAIN(test_bench)
#include "test_bench.moc"
