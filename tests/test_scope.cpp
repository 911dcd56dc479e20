// The scope: recordings reduced for display without losing peaks, the pre-trigger ring, the CSV
// text, the sources' reply matching, and whole recordings of the simulated joint through the
// scope window while the control window moves it (time is the simulator's manual clock).
#include "app/bus_choice.h"
#include "base/drive_journal.h"
#include "base/desktop_seams.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "can/bus.h"
#include "can/vci/bus_tap.h"
#include "can/vci/vci.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/sdo_bus_link.h"
#include "canopen/cia402.h"
#include "canopen/data_types.h"
#include "canopen/drive_changes.h"
#include "custom_protocol/control_can.h"
#include "custom_protocol/control_can_state.h"
#include "objects/eds.h"
#include "base/motion_notifier.h"
#include "scope/scope_chart.h"
#include "scope/scope_csv.h"
#include "scope/scope_pdo.h"
#include "scope/scope_recorder.h"
#include "scope/scope_sampler.h"
#include "scope/scope_window.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"
#include "support/widgets.h"
#include "tools/monitor.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <map>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

using namespace test_support;

namespace {

scope::sample make_sample(int64_t t_us, int32_t pos)
{
    scope::sample s;
    s.t_us = t_us;
    s.set(scope::position, pos);
    return s;
}

struct csv_table {
    QStringList header;
    QList<QStringList> rows;
};

csv_table parse_csv(const QByteArray &text)
{
    csv_table t;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = QString::fromUtf8(lines[i]).split(QLatin1Char(','));
        if (i == 0)
            t.header = cells;
        else
            t.rows << cells;
    }
    return t;
}

QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class test_scope : public QObject {
    Q_OBJECT

    control_CAN *control = nullptr;
    Scope *window = nullptr;
    QTemporaryDir dir;

    void run_ms(int ms) { sim::clock::advance_us(int64_t(ms) * 1000); }
    // One sampler tick every period for duration_ms of simulated time.
    void sample_for(int duration_ms, int period_ms)
    {
        for (int t = 0; t < duration_ms; t += period_ms) {
            window->sampler().tick();
            run_ms(period_ms);
        }
    }
    void click(QWidget *w, const char *name) { child<QPushButton>(w, name)->click(); }
    // Simulated time in 1 ms steps, each delivered by the simulated bus before the next.
    void run_bus_ms(int ms, int bus = 0)
    {
        sim::simulator &sim = sim::simulator::instance(bus);
        for (int i = 0; i < ms; ++i) {
            run_ms(1);
            QElapsedTimer guard;
            guard.start();
            while (sim.next_due_us() <= sim::clock::now_us() && guard.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    static uint32_t read(const canopen::sdo_link &link, uint16_t index, uint8_t sub)
    {
        const canopen::sdo_outcome o = canopen::read_object(link, index, sub);
        uint32_t v = 0;
        for (int i = 0; i < o.data.size(); ++i)
            v |= uint32_t(uint8_t(o.data[i])) << (8 * i);
        return o.ok ? v : 0xDEADBEEF;
    }
    // COB-ID, type, inhibit time, event timer, mapping count and entries 1-4 of a TPDO.
    static QList<uint32_t> tpdo(const canopen::sdo_link &link, int n)
    {
        QList<uint32_t> v;
        for (uint8_t sub : {1, 2, 3, 5})
            v << read(link, scope::tpdo_comm_index(n), sub);
        for (uint8_t sub = 0; sub <= 4; ++sub)
            v << read(link, scope::tpdo_map_index(n), sub);
        return v;
    }
    QString export_csv()
    {
        const QString path = dir.filePath(QStringLiteral("scope"));
        desktop_seams::set_file_chooser([path](const desktop_seams::file_request &) { return path; });
        click(window, "export_csv");
        return path + QStringLiteral(".csv");
    }
    // Enables the joint with a quick profile through the control window; returns its position.
    int32_t enable_joint()
    {
        control->show();
        click(control, "enable");
        child<QLineEdit>(control, "speed")->setText(QStringLiteral("20000"));
        child<QLineEdit>(control, "acceleration")->setText(QStringLiteral("100000"));
        child<QLineEdit>(control, "deceleration")->setText(QStringLiteral("100000"));
        click(control, "apply");
        return sim::simulator::instance().find(1)->motor().position();
    }

    // TPDO 2-4 of a drive as it starts (not valid, unmapped), index << 8 | sub.
    static std::map<uint32_t, uint32_t> fresh_tpdos()
    {
        std::map<uint32_t, uint32_t> od;
        for (int n = 2; n <= 4; ++n) {
            od[scope::tpdo_comm_index(n) << 8 | 1] = 0x80000000u + 0x80 + 0x100 * n + 1;
            od[scope::tpdo_comm_index(n) << 8 | 2] = 255;
            od[scope::tpdo_comm_index(n) << 8 | 3] = od[scope::tpdo_comm_index(n) << 8 | 5] = 0;
            for (uint8_t sub = 0; sub <= 8; ++sub)
                od[scope::tpdo_map_index(n) << 8 | sub] = 0;
        }
        od[0x607500] = 3000;
        return od;
    }

    // A drive holding od that takes mapping writes only while not operational.
    static canopen::sdo_link od_link(std::map<uint32_t, uint32_t> &od, const bool &operational)
    {
        canopen::sdo_link link;
        link.transact = [&od, &operational](const canopen::sdo_frame &request,
                                            const std::function<bool(const canopen::sdo_frame &)> &,
                                            canopen::sdo_frame *reply) {
            const uint16_t index = uint16_t(request.data[1] | request.data[2] << 8);
            const uint32_t key = uint32_t(index) << 8 | request.data[3];
            uint32_t value = 0;
            std::memcpy(&value, request.data + 4, 4);
            *reply = request;
            if (!od.count(key))
                *reply = canopen::sdo_abort_frame(index, request.data[3], 0x06020000);
            else if ((request.data[0] & 0xE0) == 0x40)
                reply->data[0] = 0x43, std::memcpy(reply->data + 4, &od[key], 4);
            else if (operational && index >= 0x1A00)
                *reply = canopen::sdo_abort_frame(index, request.data[3], 0x08000022);
            else
                reply->data[0] = 0x60, od[key] = value & (request.data[0] == 0x2F ? 0xFF : request.data[0] == 0x2B ? 0xFFFF : ~0u);
            return true;
        };
        link.send = [](const canopen::sdo_frame &) {};
        return link;
    }

private slots:
    void initTestCase()
    {
        sim::clock::set_manual(true);
        // Frames carry the simulated time they went out at, as a drive's frames carry its own.
        vci::bus_tap::set_clock(&sim::clock::now_us);
    }
    void cleanupTestCase()
    {
        vci::bus_tap::set_clock(nullptr);
        sim::clock::set_manual(false);
        desktop_seams::set_file_chooser(nullptr);
    }

    void init()
    {
        fresh_process();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231}});
        QVERIFY(open_node_1(QStringLiteral("CAN自定义")));
        custom_monitor = new monitor();
        control = custom_control = new control_CAN();
        window = new Scope();
        window->sampler().set_clock(&sim::clock::now_us);
    }

    void cleanup()
    {
        delete window;
        delete control;
        delete custom_monitor;
        custom_monitor = nullptr;
        custom_control = nullptr;
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void recording_reduces_for_display_and_keeps_the_peaks()
    {
        scope::recording r;
        for (int i = 0; i < 100000; ++i) {
            const int v = i == 54321 ? 999999 : (i == 77777 ? -5 : i % 100);
            r.append(make_sample(int64_t(i) * 10000, v));
        }
        QCOMPARE(r.size(), size_t(100000));
        QCOMPARE(r.end_s(), 999.99);
        QVERIFY(r.memory_bytes() < 36 * (r.size() + scope::recording::block_size));

        const QVector<QPointF> all = r.points(scope::position, 0.0, r.end_s(), 500);
        QVERIFY(all.size() <= 2000);
        double peak = 0, dip = 0;
        for (int i = 1; i < all.size(); ++i) {
            QVERIFY(all[i].x() > all[i - 1].x());
            peak = std::max(peak, all[i].y());
            dip = std::min(dip, all[i].y());
        }
        QCOMPARE(peak, 999999.0);
        QCOMPARE(dip, -5.0);
        // Slices that start inside a summary group and end in another agree with the samples.
        const QVector<QPointF> odd = r.points(scope::position, 543.0, 544.0, 3);
        QCOMPARE(std::max_element(odd.begin(), odd.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); })->x(),
                 543.21);

        // A close view gives the samples themselves, one beyond each end.
        const QVector<QPointF> close = r.points(scope::position, 10.0, 10.1, 500);
        QCOMPARE(close.size(), 12);
        QCOMPARE(close.first(), QPointF(9.99, 99));
        double lo = 0, hi = 0;
        QVERIFY(r.value_range(scope::position, 10.0, 10.1, &lo, &hi));
        QCOMPARE(lo, 0.0);
        QCOMPARE(hi, 99.0);
        QVERIFY(r.points(scope::velocity, 0.0, 1.0, 500).isEmpty());
        QCOMPARE(r.nearest(10.004), size_t(1000));
        QCOMPARE(r.nearest(10.006), size_t(1001));
        QCOMPARE(r.nearest(-5.0), size_t(0));
        QCOMPARE(r.nearest(5000.0), size_t(99999));
    }

    void the_setpoint_line_starts_where_the_setpoint_became_known()
    {
        // Known from 5.26 s on: no line before, whatever the zoom.
        scope::recording r;
        for (int i = 0; i < 20000; ++i) {
            scope::sample s = make_sample(int64_t(i) * 1000, i % 300);
            if (i >= 5260)
                s.set(scope::setpoint, 7000);
            r.append(s);
        }
        scope::chart chart;
        chart.resize(800, 600);
        chart.set_recording(&r);
        chart.set_available(scope::all_channels);
        chart.set_live(false);
        // The whole recording (reduced) and a close view (the samples themselves).
        for (double t1 : {20.0, 6.0}) {
            chart.set_view(0.0, t1);
            chart.refresh();
            double first = -1;
            for (QwtPlot *p : chart.findChildren<QwtPlot *>())
                for (QwtPlotItem *item : p->itemList(QwtPlotItem::Rtti_PlotCurve)) {
                    auto *curve = static_cast<QwtPlotCurve *>(item);
                    if (curve->title().text() == r.channel_defs()[scope::setpoint].label && curve->dataSize() > 0)
                        first = curve->sample(0).x();
                }
            QCOMPARE(first, 5.26);
        }
    }

    void trigger_keeps_the_samples_before_the_command()
    {
        scope::capture c;
        c.feed(make_sample(0, 1));
        QVERIFY(c.data().empty());
        QVERIFY(!c.trigger(0));  // nothing armed

        c.arm(scope::default_channels(), 5);
        for (int i = 0; i < 12; ++i)
            c.feed(make_sample(i * 1000, i));
        QVERIFY(c.data().empty());
        QVERIFY(c.trigger(12000));
        QCOMPARE(c.state(), scope::capture::phase::recording);
        QCOMPARE(c.data().size(), size_t(5));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(c.data().at(i).value[scope::position], 7 + i);
        QCOMPARE(c.data().trigger_s(), 0.005);
        QVERIFY(!c.trigger(13000));  // a second command does not restart it
        c.feed(make_sample(13000, 13));
        QCOMPARE(c.data().size(), size_t(6));

        // A ring that never filled, and none at all.
        c.arm(scope::default_channels(), 5);
        c.feed(make_sample(0, 1));
        c.feed(make_sample(1000, 2));
        c.trigger(1500);
        QCOMPARE(c.data().size(), size_t(2));
        QCOMPARE(c.data().at(0).value[scope::position], 1);
        c.arm(scope::default_channels(), 0);
        c.feed(make_sample(0, 1));
        c.trigger(500);
        QVERIFY(c.data().empty());
        QCOMPARE(c.data().trigger_s(), 0.0);
    }

    void the_motion_trigger_fires_at_the_drives_answer()
    {
        // A profile position drive at rest, target reached; the command reaches it at a SYNC
        // 6 ms after the click, and it acknowledges the set-point then.
        auto at = [](int64_t t_ms, int32_t velocity, int32_t statusword) {
            scope::sample s;
            s.t_us = t_ms * 1000;
            s.set(scope::velocity, velocity);
            s.set(scope::state, 4);
            s.statusword = statusword;
            return s;
        };
        scope::capture c;
        c.arm(scope::default_channels(), 3);
        for (int t = 0; t < 10; ++t)
            QVERIFY(!c.feed(at(t, 0, 0x0427)));
        QVERIFY(!c.expect_motion(9500));
        for (int t = 10; t < 16; ++t)
            QVERIFY(!c.feed(at(t, 0, 0x0427)));
        QCOMPARE(c.state(), scope::capture::phase::armed);
        QVERIFY(c.feed(at(16, 0, 0x1027)));  // acknowledged, target no longer reached
        QCOMPARE(c.state(), scope::capture::phase::recording);
        QCOMPARE(c.data().size(), size_t(4));  // the pre-trigger kept, then the answer
        QCOMPARE(c.data().trigger_s(), 0.003);
        QCOMPARE(c.data().at(3).t_us, 16000);

        // A change before the command is no answer; after it, the velocity leaving 0 is one.
        c.arm(scope::default_channels(), 0);
        QVERIFY(!c.feed(at(0, 0, 0x0427)));
        QVERIFY(!c.feed(at(1, 0, 0x1027)));
        c.expect_motion(1500);
        QVERIFY(!c.feed(at(2, 0, 0x1027)));
        QVERIFY(c.feed(at(3, 40, 0x1027)));
        QCOMPARE(c.data().trigger_s(), 0.0);
        QCOMPARE(c.data().size(), size_t(1));

        // A joint that never answers leaves the capture armed; nothing that could show an answer
        // makes the command the trigger.
        c.arm(scope::default_channels(), 0);
        c.expect_motion(0);
        for (int t = 0; t < 100; ++t)
            QVERIFY(!c.feed(at(t, 0, 0x0427)));
        QCOMPARE(c.state(), scope::capture::phase::armed);
        scope::channel_list position_only = {scope::default_channels()[scope::position]};
        c.arm(position_only, 0);
        QVERIFY(c.expect_motion(500));
        QCOMPARE(c.state(), scope::capture::phase::recording);
    }

    void csv_names_units_and_leaves_missing_values_empty()
    {
        scope::recording r;
        scope::sample a = make_sample(5000000, -12);
        a.set(scope::velocity, 300);
        scope::sample b = make_sample(5010000, -10);  // the velocity read went unanswered
        b.set(scope::setpoint, 250);
        r.append(a);
        r.append(b);
        r.set_unit(scope::setpoint_unit::cnt_per_s);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(scope::write_csv(r, scope::all_channels, &out));
        const csv_table t = parse_csv(out.data());
        QCOMPARE(t.header, QStringList({"time_s", "position_cnt", "velocity_cnt_per_s", "setpoint_cnt_per_s"}));
        QCOMPARE(t.rows.size(), 2);
        QCOMPARE(t.rows[0], QStringList({"0.000000", "-12", "300", ""}));
        QCOMPARE(t.rows[1], QStringList({"0.010000", "-10", "", "250"}));

        QBuffer refused;  // never opened: every write fails
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
        QVERIFY(!scope::write_csv(r, scope::all_channels, &refused));
    }

    void statusword_states()
    {
        // Traps of the two masks: bit 5 counts only in the powered states, bits above 6 never.
        using canopen::drive_state;
        const struct { uint16_t sw; drive_state state; } cases[] = {
            {0x0020, drive_state::not_ready},          {0x0060, drive_state::switch_on_disabled},
            {0x0031, drive_state::ready_to_switch_on}, {0x0233, drive_state::switched_on},
            {0xFF37, drive_state::operation_enabled},  {0x0007, drive_state::quick_stop_active},
            {0x002F, drive_state::fault_reaction_active}, {0x0028, drive_state::fault},
            {0x0001, drive_state::unknown},            {0x0047, drive_state::unknown},
        };
        for (const auto &c : cases) {
            QCOMPARE(canopen::state_of(c.sw), c.state);
            // The chart names the state as the control window does.
            const QString chart = QString::fromUtf8(scope::state_name(scope::state_number(c.sw)));
            const QString window = canopen::state_text(c.state).section(QLatin1Char('\n'), 1);
            QCOMPARE(chart.section(QLatin1Char('/'), 1), c.state == drive_state::unknown ? QString() : window);
        }
    }

    void sdo_reads_take_only_their_own_reply()
    {
        CloseDevice(3, 0);
        auto bus = install_scripted_bus();
        open_adapter();
        bus->responder = [](const vci::can_message &m) -> std::vector<vci::can_message> {
            if (m.id != 0x601)
                return {};
            const uint8_t lo = m.data[1], hi = m.data[2];
            if (lo == 0x64)  // 0x6064: another node's answer and a reply to another object first
                return {make_message(0x582, {0x43, 0x64, 0x60, 0, 9, 9, 9, 9}),
                        make_message(0x581, {0x43, 0x6C, 0x60, 0, 8, 8, 8, 8}),
                        make_message(0x581, {0x43, 0x64, 0x60, 0, 0xD2, 0x04, 0, 0})};
            if (lo == 0x6C)  // velocity refused
                return {make_message(0x581, {0x80, 0x6C, 0x60, 0, 0x00, 0x00, 0x02, 0x06})};
            if (lo == 0x75)
                return {make_message(0x581, {0x43, lo, hi, 0, 0xB8, 0x0B, 0, 0})};  // 3000 mA
            if (lo == 0x78)
                return {make_message(0x581, {0x4B, lo, hi, 0, 0xF4, 0x01, 0, 0})};  // 500 per mille
            return {make_message(0x581, {0x4B, lo, hi, 0, 0x37, 0x16, 0, 0})};  // statusword 0x1637
        };
        scope::canopen_source source(scope::sampler_bus(), 0x601);
        scope::sample s;
        QVERIFY(source.read(&s));
        QCOMPARE(s.value[scope::position], 1234);
        QVERIFY(!s.has(scope::velocity));
        QCOMPARE(s.value[scope::current], 1500);
        QCOMPARE(s.value[scope::state], 4);

        bus->responder = nullptr;  // a silent node
        scope::sample none;
        QVERIFY(!source.read(&none));
        QCOMPARE(none.present, scope::channel_mask(0));
    }

    void canopen_joint_is_read_while_it_moves()
    {
        // One joint, two protocols: the custom window moves it, the scope reads it over CANopen.
        const int32_t start = enable_joint();
        child<QLineEdit>(control, "relative_position")->setText(QStringLiteral("3000"));
        click(control, "forward");
        scope::canopen_source source(scope::sampler_bus(), 0x601);
        scope::sample s;
        run_ms(100);
        QVERIFY(source.read(&s));
        QVERIFY(s.value[scope::velocity] > 0);
        QCOMPARE(s.value[scope::state], 1);  // power-on: switch on disabled
        QVERIFY(s.has(scope::current));
        run_ms(2000);
        QVERIFY(source.read(&s));
        QCOMPARE(s.value[scope::position], start + 3000);
        QCOMPARE(s.value[scope::velocity], 0);
    }

    void relative_move_recorded_and_exported()
    {
        const int32_t start = enable_joint();
        window->show();
        child<QComboBox>(window, "rate")->setCurrentIndex(2);  // 50 Hz
        // A relative move before the recording gives no set-point: its start position is unknown.
        scope::motion_notifier::sent(scope::motion_kind::relative, 100);
        click(window, "record");
        QVERIFY(window->sampler().sampling());
        QVERIFY(!child<QPushButton>(window, "export_csv")->isEnabled());
        sample_for(200, 20);
        child<QLineEdit>(control, "relative_position")->setText(QStringLiteral("4000"));
        click(control, "forward");
        sample_for(2000, 20);
        window->chart().refresh();
        click(window, "record");
        QVERIFY(!window->sampler().sampling());
        QCOMPARE(window->sampler().data().size(), size_t(110));

        const csv_table t = parse_csv(read_file(export_csv()));
        QCOMPARE(t.header, QStringList({"time_s", "position_cnt", "velocity_cnt_per_s", "current_mA", "setpoint_cnt"}));
        QCOMPARE(t.rows.size(), 110);
        bool moved = false;
        for (int i = 0; i < t.rows.size(); ++i) {
            QCOMPARE(t.rows[i].size(), 5);
            QCOMPARE(t.rows[i][0], QString::number(i * 0.02, 'f', 6));  // exactly the rate
            moved = moved || t.rows[i][2].toInt() > 0;
            QCOMPARE(t.rows[i][4], i < 10 ? QString() : QString::number(start + 4000));
        }
        QVERIFY(moved);
        QCOMPARE(t.rows.first()[1].toInt(), start);
        QCOMPARE(t.rows.last()[1].toInt(), start + 4000);
        QCOMPARE(t.rows.last()[2].toInt(), 0);

        // Two cursors: both times and their difference; per channel both values and theirs.
        window->chart().set_cursor(0, 0.1);
        const QString reading = window->chart().set_cursor(1, 1.0);
        QCOMPARE(reading, QStringLiteral("光标1/Cursor 1: 0.1000 s    光标2/Cursor 2: 1.0000 s    Δt = 0.9000 s"));
        QCOMPARE(child<QLabel>(window, "cursor_readout")->text(), reading);
        auto *table = child<QTableWidget>(window, "channels");
        QCOMPARE(table->item(scope::position, 4)->text(), QString::number(start));
        QCOMPARE(table->item(scope::position, 5)->text(), t.rows[50][1]);
        QCOMPARE(table->item(scope::position, 6)->text().toInt(), t.rows[50][1].toInt() - start);
        // Strips for the custom protocol's channels, the set-point drawn over the position;
        // normalised, one plot; a hidden channel takes its strip with it.
        auto shown_plots = [this] {
            int n = 0;
            for (QwtPlot *p : window->chart().findChildren<QwtPlot *>())
                n += p->isVisibleTo(&window->chart()) ? 1 : 0;
            return n;
        };
        QCOMPARE(shown_plots(), 3);
        child<QCheckBox>(window, "normalised")->setChecked(true);
        QCOMPARE(shown_plots(), 1);
        child<QCheckBox>(window, "normalised")->setChecked(false);
        table->item(scope::current, 0)->setCheckState(Qt::Unchecked);
        QCOMPARE(shown_plots(), 2);
        window->chart().zoom(0.5, 1.0);
        QCOMPARE(window->chart().view_end() - window->chart().view_start(), 1.09);

        // The picture has a title band and no cursor lines unless asked; each export says where
        // it went.
        const QString png = dir.filePath(QStringLiteral("chart"));
        desktop_seams::set_file_chooser([png](const desktop_seams::file_request &) { return png; });
        auto cursor_pixels = [](const QImage &image) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += image.pixelColor(x, y) == QColor(0, 150, 200) ? 1 : 0;  // cursor 2, in view
            return n;
        };
        for (bool with_cursors : {false, true}) {
            child<QCheckBox>(window, "png_cursors")->setChecked(with_cursors);
            click(window, "export_png");
            QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存/Saved: %1.png").arg(png));
            QImage image(png + QStringLiteral(".png"));
            QCOMPARE(image.width(), window->chart().width());
            QVERIFY(image.height() > window->chart().height());
            QCOMPARE(cursor_pixels(image) > 0, with_cursors);
        }
    }

    void trigger_captures_the_start_of_the_move()
    {
        const int32_t start = enable_joint();
        child<QComboBox>(window, "rate")->setCurrentIndex(3);  // 100 Hz
        child<QCheckBox>(window, "trigger")->setChecked(true);
        child<QDoubleSpinBox>(window, "pretrigger")->setValue(0.2);
        click(window, "record");
        QCOMPARE(window->sampler().state(), scope::capture::phase::armed);
        sample_for(1000, 10);
        QVERIFY(window->sampler().data().empty());
        child<QLineEdit>(control, "relative_position")->setText(QStringLiteral("-3000"));
        click(control, "forward");
        // The trigger is the joint starting to move, which the next sample shows.
        QCOMPARE(window->sampler().state(), scope::capture::phase::armed);
        sample_for(1000, 10);
        click(window, "record");

        const scope::recording &r = window->sampler().data();
        QCOMPARE(r.size(), size_t(119));  // the sample at the click still shows the joint at rest
        QCOMPARE(r.trigger_s(), 0.2);
        QCOMPARE(r.at(19).value[scope::velocity], 0);
        QVERIFY(r.at(20).value[scope::velocity] != 0);
        for (size_t i = 0; i < 20; ++i)
            QCOMPARE(r.at(i).value[scope::position], start);
        QVERIFY(r.at(21).value[scope::position] < start);
        QCOMPARE(r.at(118).value[scope::position], start - 3000);
        QCOMPARE(r.at(118).value[scope::setpoint], start - 3000);
    }

    void pdo_mode_records_a_step_at_1_khz_and_puts_the_pdos_back()
    {
        const int32_t start = enable_joint();
        control->close();
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        const canopen::sdo_link link = canopen::exchange_sdo_link(adapter_bus_ops(), 1, canopen::sdo_timeout_ms, monitor_sink());
        // TPDO 3 is in use (synchronous, the statusword); TPDO 2 and 4 are as the drive starts.
        for (const scope::sdo_write &w : std::vector<scope::sdo_write>{
                 {0x1802, 2, 1, 1}, {0x1A02, 0, 0, 1}, {0x1A02, 1, 0x60410010, 4}, {0x1A02, 0, 1, 1}, {0x1802, 1, 0x381, 4}})
            QVERIFY(canopen::write_object(link, w.index, w.sub, QByteArray(reinterpret_cast<const char *>(&w.value), w.size)).ok);
        const canopen::frame operational = canopen::nmt(canopen::nmt_start, 0x601);
        run_canopen_exchange(adapter_bus_ops(), operational.id, operational.data, operational.len, 0, QString(), 0,
                             monitor_sink());
        QList<uint32_t> before;
        for (int n : {2, 3, 4})
            before << tpdo(link, n);

        // An object picked from the dictionary's list, scaled: the position again, in half counts.
        auto *choice = child<QComboBox>(window, "object_choice");
        choice->setCurrentIndex(choice->findText(QStringLiteral("6064h:00 Position actual value (INTEGER32)")));
        click(window, "add_channel");
        auto *table = child<QTableWidget>(window, "channels");
        table->item(5, 2)->setText(QStringLiteral("0.5"));
        table->item(5, 3)->setText(QStringLiteral("half cnt"));
        child<QComboBox>(window, "source")->setCurrentText(QStringLiteral("PDO"));
        auto *rate = child<QComboBox>(window, "rate");
        rate->setCurrentIndex(rate->findData(1000));
        QStringList asked;
        desktop_seams::set_box_responder([&asked](const desktop_seams::box_request &r) {
            asked << r.text;
            return QMessageBox::Yes;
        });
        click(window, "record");
        desktop_seams::set_box_responder(nullptr);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("TPDO 4 (1803h, 1A03h; 未使用/unused)")));
        QVERIFY(asked[0].contains(QStringLiteral("TPDO 3 (1802h, 1A02h; 使用中/in use)")));
        QVERIFY(!asked[0].contains(QStringLiteral("TPDO 2")));
        // Event-driven at the period, values largest first: two 32-bit values, then 32 + 16 + 16.
        QCOMPARE(tpdo(link, 4), (QList<uint32_t>{0x481, 254, 5, 1, 2, 0x60640020, 0x606C0020, 0, 0}));
        QCOMPARE(tpdo(link, 3), (QList<uint32_t>{0x381, 254, 5, 1, 3, 0x60640020, 0x60780010, 0x60410010, 0}));

        run_bus_ms(100);
        control->show();
        child<QLineEdit>(control, "relative_position")->setText(QStringLiteral("4000"));
        click(control, "forward");
        run_bus_ms(500);
        // The joint looked at 5 ms late sends what it owed at once: every period still there, on
        // its time. Looked at 81 ms late (a paused process) it has lost 80: marked as gaps.
        run_ms(4);
        run_bus_ms(50);
        run_ms(80);
        run_bus_ms(50);
        click(window, "record");
        const scope::recording &r = window->sampler().data();
        QCOMPARE(r.size(), size_t(784));  // one a millisecond
        for (size_t i = 0; i < r.size(); ++i) {
            QCOMPARE(r.t_us(i) - r.t_us(0), int64_t(i) * 1000);
            QCOMPARE(r.at(i).present == 0, i >= 654 && i < 734);
        }
        QList<uint32_t> after;
        for (int n : {2, 3, 4})
            after << tpdo(link, n);
        QCOMPARE(after, before);

        const csv_table t = parse_csv(read_file(export_csv()));
        QCOMPARE(t.header, QStringList({"time_s", "position_cnt", "velocity_cnt_per_s", "current_mA", "setpoint_cnt",
                                        "state_cia402", "position_actual_value_half_cnt"}));
        QCOMPARE(t.rows.size(), 784);
        for (const QStringList &row : t.rows)
            QCOMPARE(row[6], row[1].isEmpty() ? QString() : QString::number(row[1].toInt() * 0.5, 'g', 10));
        QCOMPARE(t.rows[654], (QStringList{"0.654000", "", "", "", "", "", ""}));
        QCOMPARE(t.rows.first()[1].toInt(), start);
        QCOMPARE(t.rows[99][4], QString());
        QCOMPARE(t.rows.last()[4].toInt(), start + 4000);
        QCOMPARE(t.rows.last()[1].toInt(), start + 4000);  // the step, sample by sample
    }

    void the_drives_recorder_captures_four_channels_at_4_khz_around_its_trigger()
    {
        const int32_t start = enable_joint();
        const canopen::sdo_link link = canopen::exchange_sdo_link(adapter_bus_ops(), 1, canopen::sdo_timeout_ms, monitor_sink());
        QCOMPARE(scope::recorder_cycle_us(link), 250);
        // Position, velocity, current and state (the set-point is no object); the velocity
        // rising through 1000 cnt/s, 50 ms before it kept, half a second in all.
        scope::recorder_plan plan;
        QString why;
        QVERIFY(scope::plan_recording(scope::default_channels(), {scope::velocity, 1000.0, true}, 0.05, 0.5, 250, 3000,
                                      &plan, &why));
        QCOMPARE(plan.entries, (std::vector<uint32_t>{0x60640020, 0x606C0020, 0x60780010, 0x60410010}));
        QCOMPARE(plan.pretrigger, 200);
        QCOMPARE(plan.length, 2000);
        scope::recorder_setup setup(link, 1, plan);
        QVERIFY2(setup.arm(&why), qPrintable(why));
        QVERIFY(drive_journal::find(0, 1, QStringLiteral("recorder")));  // told before it changed anything
        scope::recorder_state state = scope::recorder_state::idle;
        run_ms(100);
        QVERIFY(setup.state(&state) && state == scope::recorder_state::armed);
        child<QLineEdit>(control, "relative_position")->setText(QStringLiteral("3000"));
        click(control, "forward");
        for (int i = 0; i < 100 && state != scope::recorder_state::done; ++i) {
            run_ms(10);
            QVERIFY(setup.state(&state));
        }
        QCOMPARE(state, scope::recorder_state::done);
        const int trigger = setup.trigger_sample();
        QCOMPARE(trigger, 200);
        const canopen::sdo_outcome upload = canopen::run_sdo(link, canopen::sdo_transfer::block_upload(0x2136, 0));
        QVERIFY(upload.ok);
        QCOMPARE(upload.data.size(), 2000 * 12);
        scope::recording r;
        const scope::channel_list channels = scope::default_channels();
        const auto keys = [&channels](int ch, uint32_t raw, int32_t *key) {
            return scope::stored_key(channels[size_t(ch)], raw, true, 3000, key);
        };
        QVERIFY2(scope::decode_recording(upload.data, plan, channels, trigger, keys, &r, &why), qPrintable(why));
        QCOMPARE(r.size(), size_t(2000));
        QCOMPARE(r.t_us(1999), int64_t(1999) * 250);
        QCOMPARE(r.trigger_s(), 0.05);
        QVERIFY(r.at(199).value[scope::velocity] < 1000 && r.at(200).value[scope::velocity] >= 1000);
        QCOMPARE(r.at(0).value[scope::position], start);
        QCOMPARE(r.at(0).value[scope::state], 1);  // switch on disabled: the custom protocol moved it
        QVERIFY(!r.at(0).has(scope::setpoint));
        // Put back as found, and the journal forgets it.
        QVERIFY(setup.restore(&why));
        QVERIFY(!drive_journal::find(0, 1, QStringLiteral("recorder")));
        QCOMPARE(read(link, 0x2131, 0), 0u);
        QCOMPARE(read(link, 0x2133, 0), 4096u);
        QCOMPARE(read(link, 0x2130, 0), 0u);
        // Data that does not fit the channels is refused, not read past.
        QVERIFY(!scope::decode_recording(upload.data.left(25), plan, channels, 0, keys, &r, &why));

        // Through the window: offered for this drive, recorded at once as long as the recorder
        // holds (16,384 samples of 12 bytes, beyond what one segmented upload may carry), shown
        // and marked, the drive as found after.
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        control->close();
        window->show();
        auto *source = child<QComboBox>(window, "source");
        const int item = source->findText(QStringLiteral("recorder"), Qt::MatchContains);
        QVERIFY(item >= 0);
        source->setCurrentIndex(item);
        click(window, "record");
        QCOMPARE(child<QPushButton>(window, "record")->text(), QStringLiteral("停止/Stop"));
        run_ms(4500);
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(window, "export_csv")->isEnabled(), 10000);
        QCOMPARE(window->sampler().data().size(), size_t(16384));
        const QString told = window->statusBar()->currentMessage();
        QVERIFY2(told.startsWith(QStringLiteral("驱动器记录器，4 kHz/drive recorder, 4 kHz — ")) && told.contains(QStringLiteral("/16384 samples, 196608 bytes")),
                 qPrintable(told));
        QCOMPARE(read(link, 0x2131, 0), 0u);
        QVERIFY(!drive_journal::find(0, 1, QStringLiteral("recorder")));
        window->close();

        // A drive of another make has no recorder: not offered.
        CloseDevice(3, 0);
        uninstall_bus();
        install_simulated_bus();
        sim::simulator::instance().configure({{1, 10231, 0, 0, false}});
        QVERIFY(open_node_1(QStringLiteral("CANopen")));
        window->show();
        QCOMPARE(source->findText(QStringLiteral("recorder"), Qt::MatchContains), -1);
    }

    void a_level_crossing_triggers_and_the_cap_drops_the_oldest()
    {
        // Falling through 2.5 on a channel scaled by 0.5: the rise past it before does not fire.
        scope::channel_list channels = scope::default_channels();
        channels[scope::velocity].scale = 0.5;
        scope::capture c;
        c.arm(channels, 3, {scope::velocity, 2.5, false});
        const int keys[] = {0, 4, 8, 9, 7, 6, 5, 4, 3};
        int fired_at = -1;
        for (int i = 0; i < 9; ++i) {
            scope::sample s = make_sample(i * 1000, i);
            s.set(scope::velocity, keys[i]);
            if (c.feed(s))
                fired_at = i;
        }
        QCOMPARE(fired_at, 6);
        QCOMPARE(c.data().size(), size_t(6));  // three before the crossing, it, two after
        QCOMPARE(c.data().at(0).value[scope::position], 3);
        QCOMPARE(c.data().trigger_s(), 0.003);

        scope::recording r;
        r.set_cap(10000);
        for (int i = 0; i < 25000; ++i)
            r.append(make_sample(int64_t(i) * 1000, i));
        QCOMPARE(r.size(), size_t(10000));
        QCOMPARE(r.dropped(), size_t(15000));
        QCOMPARE(r.at(0).value[scope::position], 15000);
        QCOMPARE(r.start_s(), 15.0);  // what is kept keeps its place in time
        QVERIFY(r.memory_bytes() < 40 * (r.size() + 2 * scope::recording::block_size));
        double lo = 0, hi = 0;
        QVERIFY(r.value_range(scope::position, 0.0, 30.0, &lo, &hi));
        QCOMPARE(lo, 15000.0);
        QCOMPARE(hi, 24999.0);
    }

    // An object of each type the scope carries keeps its value, and as a key its order (the
    // reduction for display keeps the least and greatest key): unsigned values past 2^31 and
    // negative floats included; bits above the type's are not its own.
    void object_channels_keep_the_value_and_order_of_every_type()
    {
        using canopen::data_type;
        const auto bits_of = [](float f) {
            uint32_t raw = 0;
            std::memcpy(&raw, &f, 4);
            return raw;
        };
        const struct {
            data_type type;
            std::vector<uint32_t> raw;
            std::vector<double> value;  // in increasing order
        } cases[] = {
            {data_type::integer8, {0xFFFFFF80, 0xFF, 0x100, 0x7F}, {-128, -1, 0, 127}},
            {data_type::unsigned8, {0x100, 0x7F, 0x12345680, 0xFF}, {0, 127, 128, 255}},
            {data_type::integer16, {0x8000, 0xFFFF, 0x10000, 0x7FFF}, {-32768, -1, 0, 32767}},
            {data_type::unsigned16, {0, 0x7FFF, 0x8000, 0xFFFFFFFF}, {0, 32767, 32768, 65535}},
            {data_type::integer32, {0x80000000, 0xFFFFFFFF, 0, 0x7FFFFFFF}, {-2147483648.0, -1, 0, 2147483647}},
            {data_type::unsigned32, {0, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}, {0, 2147483647, 2147483648.0, 4294967295.0}},
            {data_type::real32,
             {bits_of(-3e38f), bits_of(-1.5f), bits_of(-1e-30f), bits_of(0.0f), bits_of(1e-30f), bits_of(2.5f), bits_of(3e38f)},
             {double(-3e38f), -1.5, double(-1e-30f), 0, double(1e-30f), 2.5, double(3e38f)}},
        };
        for (const auto &c : cases) {
            scope::channel_def ch;
            ch.type = uint16_t(c.type);
            for (size_t i = 0; i < c.raw.size(); ++i) {
                const int32_t key = ch.key_of_raw(c.raw[i]);
                QCOMPARE(ch.value(key), c.value[i]);
                if (i > 0)
                    QVERIFY2(key > ch.key_of_raw(c.raw[i - 1]), qPrintable(QString::number(int(c.type), 16)));
            }
        }
        scope::channel_def u32;
        u32.type = uint16_t(data_type::unsigned32);
        QCOMPARE(u32.value_text(u32.key_of_raw(0xFFFFFFFF)), QStringLiteral("4294967295"));
        u32.scale = 0.001;
        QCOMPARE(u32.value_text(u32.key_of_raw(0xFFFFFFFF)), QStringLiteral("4294967.295"));
        // A recording of such a channel spans its values on both sides of 2^31, a negative
        // scale turning them round.
        u32.scale = -1;
        scope::recording r;
        r.reset({u32});
        for (uint32_t raw = 0x7FFFFF00u; raw <= 0x80000100u; ++raw) {
            scope::sample s;
            s.t_us = raw - 0x7FFFFF00u;
            s.set(0, u32.key_of_raw(raw));
            r.append(s);
        }
        double lo = 0, hi = 0;
        QVERIFY(r.value_range(0, 0.0, 1.0, &lo, &hi));
        QCOMPARE(lo, -2147483904.0);
        QCOMPARE(hi, -2147483392.0);
        scope::channel_def real;
        real.type = uint16_t(data_type::real32);
        QCOMPARE(real.value_text(real.key_of_raw(bits_of(2.5f))), QStringLiteral("2.5"));

        // Which objects can be channels, and their names.
        objects::od_entry e;
        e.index = 0x6077;
        e.name = QStringLiteral("Torque actual value");
        e.type = uint16_t(data_type::integer16);
        e.access = QStringLiteral("ro");
        scope::channel_def ch;
        QVERIFY(scope::object_channel(e, &ch));
        QCOMPARE(ch.key, QStringLiteral("torque_actual_value"));
        QCOMPARE(ch.label, QStringLiteral("6077h:00 Torque actual value"));
        e.name = QStringLiteral("速度");
        QVERIFY(scope::object_channel(e, &ch));
        QCOMPARE(ch.key, QStringLiteral("object_6077_00"));
        e.access = QStringLiteral("wo");
        QVERIFY(!scope::object_channel(e, &ch));
        e.access = QStringLiteral("rw");
        for (const data_type t : {data_type::unsigned64, data_type::integer64, data_type::real64, data_type::visible_string})
        {
            e.type = uint16_t(t);
            QVERIFY(!scope::object_channel(e, &ch));
        }
    }

    void a_drive_that_maps_only_in_pre_operational_gets_its_pdos_there()
    {
        // TPDO 2-4 as the joint starts; mapping writes refused while operational.
        std::map<uint32_t, uint32_t> od = fresh_tpdos();
        bool operational = true;
        QStringList nmt;
        const canopen::sdo_link link = od_link(od, operational);
        scope::pdo_setup setup(link, 1, scope::default_channels(), scope::all_channels, 2);
        setup.nmt = [&](uint8_t command) {
            operational = command == 0x01;
            nmt << QString::number(command, 16);
        };
        QString why;
        QVERIFY(setup.prepare(&why));
        const std::map<uint32_t, uint32_t> found = od;
        QCOMPARE(setup.set_up(false, &why), scope::pdo_setup::result::refused_in_state);
        QVERIFY(why.startsWith(QStringLiteral("1A03h:00 = 0x0: ")));
        QVERIFY(why.endsWith(QStringLiteral("(0x08000022)")));
        QVERIFY(od == found);  // what it had changed is back
        QVERIFY(nmt.isEmpty());

        QCOMPARE(setup.set_up(true, &why), scope::pdo_setup::result::ok);
        QCOMPARE(nmt, QStringList({"80", "1"}));
        QVERIFY(operational);
        QCOMPARE(od[0x1A0300], 2u);
        QCOMPARE(od[0x1A0301], 0x60640020u);
        QCOMPARE(od[0x180305], 2u);
        QCOMPARE(od[0x180303], 10u);  // half the period
        QCOMPARE(od[0x180302], 254u);
        QCOMPARE(od[0x180301], 0x481u);
        QVERIFY(setup.restore(&why));
        QCOMPARE(nmt, QStringList({"80", "1", "80", "1"}));
        QVERIFY(od == found);

        // A TPDO whose mapping count is no count is passed over, not taken for a cancel.
        od[0x1A0300] = 0xFF;
        scope::pdo_setup odd(link, 1, scope::default_channels(), scope::all_channels, 2);
        QVERIFY2(odd.prepare(&why), qPrintable(why));
        QCOMPARE(odd.found().front().number, 3);
    }

    void a_kill_mid_recording_is_found_and_put_back_as_found()
    {
        std::map<uint32_t, uint32_t> od = fresh_tpdos();
        const bool operational = false;
        const canopen::sdo_link link = od_link(od, operational);
        const std::map<uint32_t, uint32_t> found = od;
        QString why;
        {
            // Killed while recording: the journal and the changes stay, no restore.
            scope::pdo_setup killed(link, 1, scope::default_channels(), scope::all_channels, 1);
            QVERIFY(killed.prepare(&why));
            QCOMPARE(killed.set_up(false, &why), scope::pdo_setup::result::ok);
        }
        QVERIFY(od != found);
        QCOMPARE(drive_journal::of_node(0, 1).size(), size_t(2));

        // The next recording takes the PDOs for what they were before the killed one, not "in
        // use", and Stop puts that back.
        scope::pdo_setup next(link, 1, scope::default_channels(), scope::all_channels, 2);
        QVERIFY(next.prepare(&why));
        QVERIFY(next.summary().contains(QStringLiteral("TPDO 4 (1803h, 1A03h; 未使用/unused)")));
        QVERIFY(!next.summary().contains(QStringLiteral("使用中/in use")));
        QCOMPARE(next.set_up(false, &why), scope::pdo_setup::result::ok);
        QVERIFY(next.restore(&why));
        QVERIFY(od == found);
        QVERIFY(drive_journal::all().empty());

        // Killed again; at the next connect the user is offered the change by name, and Yes
        // writes back the values found.
        {
            scope::pdo_setup killed(link, 1, scope::default_channels(), scope::all_channels, 1);
            QVERIFY(killed.prepare(&why));
            QCOMPARE(killed.set_up(false, &why), scope::pdo_setup::result::ok);
        }
        QStringList asked;
        desktop_seams::set_box_responder([&asked](const desktop_seams::box_request &r) {
            asked << r.text;
            return QMessageBox::Yes;
        });
        QVERIFY(canopen::offer_put_back(nullptr, link, 0, 1).empty());
        desktop_seams::set_box_responder(nullptr);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("TPDO 4 (0x1803/0x1A03)")));
        QVERIFY(asked[0].contains(QStringLiteral("TPDO 3 (0x1802/0x1A02)")));
        QVERIFY(od == found);
        QVERIFY(drive_journal::all().empty());
        QVERIFY(canopen::left_behind_report().isEmpty());
    }

    // Node 1 on two buses, at places of their own. The scope on bus 1 polls bus 1's joint, and by
    // PDO sets up, listens to, journals and puts back bus 1's TPDOs; bus 0's joint is not asked.
    void the_scope_on_bus_1_records_bus_1s_joint()
    {
        sim::simulator::instance(1).configure({{1, 10231}});
        sim::simulator::instance().find(1)->motor().set_position(1000);
        sim::simulator::instance(1).find(1)->motor().set_position(-2500);
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
        Scope two;
        two.sampler().set_clock(&sim::clock::now_us);
        auto *bus = child<QComboBox>(&two, "bus");
        QCOMPARE(bus->count(), 2);
        bus->setCurrentIndex(1);

        // Polled by the custom protocol.
        click(&two, "record");
        QVERIFY(two.sampler().sampling());
        QVERIFY(!bus->isEnabled());
        for (int i = 0; i < 5; ++i) {
            two.sampler().tick();
            run_ms(20);
        }
        click(&two, "record");
        QVERIFY(bus->isEnabled());
        QCOMPARE(two.sampler().data().size(), size_t(5));
        for (size_t i = 0; i < two.sampler().data().size(); ++i)
            QCOMPARE(two.sampler().data().at(i).value[scope::position], -2500);

        // By PDO over CANopen: bus 1's joint started, bus 0's left pre-operational.
        protocol_name = QStringLiteral("CANopen");
        canopen_supported = 1;
        const canopen::sdo_link link0 = canopen::exchange_sdo_link(bus_ops(0), 1, canopen::sdo_timeout_ms, monitor_sink());
        const canopen::sdo_link link1 = canopen::exchange_sdo_link(bus_ops(1), 1, canopen::sdo_timeout_ms, monitor_sink());
        const canopen::frame start = canopen::nmt(canopen::nmt_start, 0x601);
        run_canopen_exchange(bus_ops(1), start.id, start.data, start.len, 0, QString(), 0, monitor_sink());
        QList<uint32_t> before0, before1;
        for (int n : {2, 3, 4}) {
            before0 << tpdo(link0, n);
            before1 << tpdo(link1, n);
        }
        child<QComboBox>(&two, "source")->setCurrentText(QStringLiteral("PDO"));
        auto *rate = child<QComboBox>(&two, "rate");
        rate->setCurrentIndex(rate->findData(1000));
        desktop_seams::set_box_responder([](const desktop_seams::box_request &) { return QMessageBox::Yes; });
        click(&two, "record");
        desktop_seams::set_box_responder(nullptr);
        QVERIFY(two.sampler().sampling());
        QCOMPARE(drive_journal::of_node(1, 1).size(), size_t(2));
        QVERIFY(drive_journal::of_node(0, 1).empty());
        QCOMPARE(tpdo(link1, 4)[0], uint32_t(0x481));  // valid now, on bus 1 only
        QList<uint32_t> during0;
        for (int n : {2, 3, 4})
            during0 << tpdo(link0, n);
        QCOMPARE(during0, before0);
        run_bus_ms(100, 1);
        click(&two, "record");
        const scope::recording &r = two.sampler().data();
        QVERIFY2(r.size() >= 90, qPrintable(QString::number(r.size())));
        for (size_t i = 0; i < r.size(); ++i)
            if (r.at(i).has(scope::position))
                QCOMPARE(r.at(i).value[scope::position], -2500);
        QList<uint32_t> after1;
        for (int n : {2, 3, 4})
            after1 << tpdo(link1, n);
        QCOMPARE(after1, before1);
        QVERIFY(drive_journal::all().empty());
    }

    void a_silent_joint_stops_the_recording()
    {
        click(window, "record");  // 50 Hz
        sample_for(100, 20);
        sim::simulator::instance().configure({{2, 10231}});
        sample_for(980, 20);
        QVERIFY(window->sampler().sampling());
        sample_for(20, 20);
        QVERIFY(!window->sampler().sampling());
        QCOMPARE(window->sampler().data().size(), size_t(54));  // 5 answered, 49 silent kept
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("无应答，记录已停止/No reply: recording stopped"));
        QVERIFY(child<QPushButton>(window, "export_csv")->isEnabled());
    }

    void record_needs_a_joint()
    {
        node_connected = 0;
        click(window, "record");
        QVERIFY(!window->sampler().sampling());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("未连接关节/No joint connected"));
    }

    void texts_whole_at_every_size_and_language()
    {
        window->show();
        QStringList cut = cut_texts_in_every_language(window);
        window->resize(900, 620);  // as the manual pictures it
        cut << cut_texts(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(test_scope)
#include "test_scope.moc"
