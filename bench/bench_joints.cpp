// The Joints window's figures for twelve CiA 402 joints on one bus (the simulated bus, or the one
// VELMORA_CAN names with velmora-sim serving it): the time from the Stop all press to the last
// stop frame on the bus and to the last acknowledgement, and the age of the values the table
// shows under its round-robin poll at the window's rate, with the bus load that poll causes, and
// how long one step of Enable all holds the GUI thread.
#include "app/bus_choice.h"
#include "base/shared_values.h"
#include "can/adapter.h"
#include "joints/joint_table.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int joint_count = 12;
// Frames of an SDO exchange (request and answer), each a standard frame of 8 data bytes: 111 bits
// before stuffing, about 125 with it.
constexpr double bits_per_frame = 125;

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("VELMORA_CAN"))
        qputenv("VELMORA_CAN", "sim");
    if (qEnvironmentVariableIsEmpty("VELMORA_SIM_NODES")) {
        QByteArray nodes;
        for (int n = 1; n <= joint_count; ++n)
            nodes += (n > 1 ? "," : "") + QByteArray::number(n) + ":10231";
        qputenv("VELMORA_SIM_NODES", nodes);
    }
    use_bus_from_environment();
    QCoreApplication app(argc, argv);
    open_adapter();
    if (adapter_error != 0) {
        std::fprintf(stderr, "the bus did not open\n");
        return 1;
    }
    joints::joint_table table;
    for (int n = 1; n <= joint_count; ++n)
        table.add({0, n}, joints::joint_protocol::canopen);

    const int runs = 5;
    std::vector<double> to_last_frame, to_last_answer;
    int confirmed = 0;
    // Enable all as the window runs it: a step at a time, the GUI thread held one step.
    double longest_step = 0;
    double enable_ms = 0;
    int steps = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer all;
        all.start();
        for (int r = 0; r < joint_count; ++r) {
            joints::enable_walk w;
            w.row = r;
            for (bool more = true; more; ++steps) {
                QElapsedTimer t;
                t.start();
                more = table.enable_step(w);
                longest_step = std::max(longest_step, t.nsecsElapsed() / 1e6);
            }
        }
        enable_ms = std::max(enable_ms, all.nsecsElapsed() / 1e6);
        QElapsedTimer press;
        press.start();
        const joints::stop_report s = table.stop_all();
        to_last_answer.push_back(press.nsecsElapsed() / 1e6);
        to_last_frame.push_back((s.last_sent_us - s.pressed_us) / 1e3);
        confirmed = s.confirmed;
    }
    std::sort(to_last_frame.begin(), to_last_frame.end());
    std::sort(to_last_answer.begin(), to_last_answer.end());
    std::printf("stop all, %d joints, %d runs: %d confirmed\n", joint_count, runs, confirmed);
    std::printf("  press to last stop frame   median %6.2f ms  max %6.2f ms\n", to_last_frame[runs / 2], to_last_frame.back());
    std::printf("  press to last answer       median %6.2f ms  max %6.2f ms\n", to_last_answer[runs / 2], to_last_answer.back());
    std::printf("enable all, %d joints as steps: %d steps in %d runs, longest step (GUI thread held) %.2f ms, "
                "slowest run %.1f ms\n",
                joint_count, steps, runs, longest_step, enable_ms);

    // The poll at the window's rate (one look per 1 ms tick) for two seconds.
    int looks = 0;
    double longest_look = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QElapsedTimer t;
        t.start();
        table.poll_next();
        longest_look = std::max(longest_look, t.nsecsElapsed() / 1e6);
        ++looks;
    });
    QElapsedTimer wall;
    wall.start();
    tick.start();
    QTimer::singleShot(2000, &app, &QCoreApplication::quit);
    app.exec();
    const double seconds = wall.nsecsElapsed() / 1e9;
    // Each joint gets one look per round; its statusword every second look, the other values every
    // eighth at most.
    const double round_ms = 1000.0 * seconds / (looks / double(joint_count));
    std::printf("poll, %d joints: %d looks in %.2f s, a round %.1f ms\n", joint_count, looks, seconds, round_ms);
    std::printf("  state age at most %6.1f ms, other values at most %6.1f ms\n", 2 * round_ms, 8 * round_ms);
    std::printf("  longest look (GUI thread held) %.2f ms\n", longest_look);
    std::printf("  bus load of the poll %.1f %% of 1 Mbit/s\n", 100.0 * looks * 2 * bits_per_frame / seconds / 1e6);
    close_adapter();
    return 0;
}
