#pragma once
// The drive's own recorder as a source, free of widgets: a trace buffer inside the drive that
// samples at the drive's cycle (4 kHz on ours) far beyond what the bus could carry, armed before
// and read back after (objects 0x2130-0x2137 of Document/velmora_joint.eds). A drive without them
// offers no recorder.
//
// The set-up reads the recorder's configuration as found, journals it (base/drive_journal.h:
// a killed program's change is put back or told at the next connect), writes the channels, the
// trigger and the length, and arms it; the window polls the state until the recording is done,
// uploads it (SDO block transfer) and puts the configuration back.
#include "base/drive_journal.h"
#include "canopen/sdo_client.h"
#include "scope/scope_capture.h"
#include "scope/scope_pdo_frames.h"
#include "scope/scope_recording.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace scope {

namespace recorder_object {
constexpr uint16_t control = 0x2130;   // 1 arms, 0 stops; reads recorder_state
constexpr uint16_t channels = 0x2131;  // sub 0 the number, 1-8 the objects as PDO entries
constexpr uint16_t trigger = 0x2132;   // 1 channel (0: at once), 2 level (raw), 3 edge (0 rising), 4 pre-trigger
constexpr uint16_t length = 0x2133;
constexpr uint16_t divider = 0x2134;  // a sample every n cycles
constexpr uint16_t trigger_sample = 0x2135;
constexpr uint16_t data = 0x2136;
constexpr uint16_t cycle = 0x2137;  // us
}  // namespace recorder_object

enum class recorder_state { idle = 0, armed = 1, triggered = 2, done = 3 };
constexpr int recorder_channel_count = 8;
constexpr int recorder_max_length = 16384;

// The drive's recorder cycle in us, or 0 when it has no recorder.
int recorder_cycle_us(const canopen::sdo_link &link);

// What the recorder is to record: the scope's channels it can sample (objects of 8 to 32 bits,
// at most eight, never the set-point), the trigger, the length and the sample time.
struct recorder_plan {
    std::vector<int> channels;     // the scope's channel behind each recorder channel
    std::vector<uint32_t> entries;  // index << 16 | sub << 8 | bits
    int trigger_channel = 0;       // the recorder's, from 1; 0 at once
    int32_t level_raw = 0;
    bool rising = true;
    int pretrigger = 0;  // samples
    int length = 0;      // samples
    int divider = 1;
    int sample_us = 0;
    int sample_bytes() const;
};
// level: a channel of the list crossing a level in its scaled unit (its raw value is the level
// over the scale; a current in mA is turned into the drive's per mille of rated_ma); none
// records at once. False with the reason when nothing can be recorded.
bool plan_recording(const channel_list &channels, const level_trigger &level, double pretrigger_s, double length_s,
                    int cycle_us, int32_t rated_ma, recorder_plan *plan, QString *why);

// The recording of the recorder's data: one sample per sample time from 0 s, the trigger at its
// sample, each channel's raw value through keys (stored_key() of scope_source.h, as the other
// sources). False with the reason when the data does not fit the plan.
bool decode_recording(const QByteArray &data, const recorder_plan &plan, const channel_list &channels,
                      int trigger_sample, const pdo_decoder::key_function &keys, recording *out, QString *why);

// The set-up on one drive, each SDO transaction through link.
class recorder_setup {
public:
    // bus: the bus link speaks on, under which the set-up is journalled.
    recorder_setup(const canopen::sdo_link &link, int node, recorder_plan plan, int bus = 0);

    // Reads the configuration as found, journals it, writes the plan and arms the recorder;
    // on a refusal puts back what it had changed. False with the reason.
    bool arm(QString *why);
    // The recorder's state now; false when the drive did not answer.
    bool state(recorder_state *out);
    int trigger_sample();
    // Stops the recorder and puts the configuration found back; the journal entry goes once the
    // drive took it all. False with what it refused.
    bool restore(QString *why);
    bool active() const { return active_; }
    const recorder_plan &plan() const { return plan_; }

private:
    bool read_u32(uint16_t index, uint8_t sub, uint32_t *value);
    bool write(uint16_t index, uint8_t sub, uint32_t value, int size, uint32_t *abort);

    const canopen::sdo_link &link_;
    int node_;
    int bus_;
    recorder_plan plan_;
    std::vector<drive_journal::write> found_;  // the writes that put the configuration found back
    bool active_ = false;
};

}  // namespace scope
