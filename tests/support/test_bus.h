#pragma once
// Test doubles for the adapter library: a scripted bus that records what is sent and answers
// from a script, with switches to make each adapter step fail.
#include "can/vci/bus_backend.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace test_support {

struct scripted_bus_state {
    bool fail_connect = false;
    bool fail_bitrate = false;
    bool fail_start = false;
    bool fail_transmit = false;
    int connect_calls = 0;
    int bitrate_calls = 0;
    int start_calls = 0;
    int disconnect_calls = 0;
    int last_bitrate = 0;
    std::vector<vci::can_message> sent;
    // Called for every transmitted frame; whatever it returns arrives on the bus at once.
    std::function<std::vector<vci::can_message>(const vci::can_message &)> responder;
    vci::frame_sink *sink = nullptr;

    // Puts a frame on the bus as if another node had sent it.
    void inject(const vci::can_message &m)
    {
        if (sink)
            sink->deliver(m);
    }
};

// Installs a scripted bus as the adapter's bus (until uninstall or the next install) and
// returns its shared state.
std::shared_ptr<scripted_bus_state> install_scripted_bus();
// Routes the adapter to the in-process simulator, whatever VELMORA_CAN says.
void install_simulated_bus();
// Back to the bus VELMORA_CAN selects, as the program opens it.
void uninstall_bus();

// A clean process for the next test: the adapter closed, the shared values, every window's
// state and the settings as at start-up.
void fresh_process();
// Opens the adapter on the installed bus and leaves what the connection window leaves for
// CANopen node 1 (communication cycle 1000 us). False when the adapter did not open.
bool open_canopen_node_1();
// The same for node 1 found speaking `protocol` (the CANopen cycle only for CANopen).
bool open_node_1(const QString &protocol);

// Answers every message box with OK and keeps its text in `texts`, emptied first.
void collect_box_texts(QStringList *texts);

vci::can_message make_message(uint32_t id, std::initializer_list<uint8_t> bytes, bool remote = false);
// The frame as "641: 00 8D 00 00 00 00" ("701: R" for a remote frame), for readable comparisons.
QString frame_text(const vci::can_message &m);

}  // namespace test_support
