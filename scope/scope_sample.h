#pragma once
// What the scope records: the channels (the default five, or objects of the drive's dictionary
// with a scale and unit each), one sample of up to max_channels values as it travels from a
// source to the recording, and how channels are named in the chart and in exported files.
//
// A channel's value is kept as a 32-bit key whose signed order is the order of the values
// (unsigned 32-bit and REAL32 objects are folded), so that extremes and trigger crossings
// compare keys; value() turns a key back into the scaled number the user sees.
#include <QString>
#include <cstdint>
#include <vector>

namespace objects {
struct od_entry;
}

namespace scope {

constexpr int max_channels = 8;
using channel_mask = uint8_t;
constexpr channel_mask bit(int ch) { return static_cast<channel_mask>(1u << ch); }
constexpr channel_mask all_channels = 0xFF;

// Where the channels of default_channels() sit.
enum channel : int { position = 0, velocity, current, setpoint, state, default_channel_count };

struct sample {
    int64_t t_us = 0;  // monotonic time of the read or of the frame
    int32_t value[max_channels] = {};
    channel_mask present = 0;  // channels that were read (or known) for this sample
    // The raw statusword behind a state channel, for the motion trigger's set-point acknowledge
    // and target reached bits; -1 when not read. Not kept in the recording.
    int32_t statusword = -1;

    bool has(int ch) const { return (present & bit(ch)) != 0; }
    void set(int ch, int32_t v)
    {
        value[ch] = v;
        present = static_cast<channel_mask>(present | bit(ch));
    }
};

// What the set-point channel holds: the value of the last motion command as the window sent it.
enum class setpoint_unit : uint8_t { cnt, cnt_per_s, milliamps, per_mille };

// What a channel shows. The roles other than object are the defaults: position, velocity and
// current (mA, from the per mille of 0x6078 and the rated current 0x6075) are read in either
// protocol, the state (CiA 402, from the statusword) on CANopen; the set-point is the last
// motion command, never read.
enum class role : uint8_t { object, position, velocity, current, setpoint, state };

struct channel_def {
    role kind = role::object;
    uint16_t index = 0;
    uint8_t sub = 0;
    uint16_t type = 0;  // CANopen data type code of the object
    QString key;        // ASCII stem of its exported column ("position", "torque_actual_value")
    QString label;      // name in the chart and tables ("位置/Position", "6077h Torque actual value")
    double scale = 1.0;
    QString unit;       // after scaling; the set-point's follows the motion command
    bool shown = true;

    bool is_object() const { return kind != role::setpoint; }
    // Scale and unit are the user's, except for the set-point and the state.
    bool scalable() const { return kind != role::setpoint && kind != role::state; }
    // Length in a PDO: 8, 16 or 32 bits; 0 for the set-point or a type the scope cannot carry.
    int bits() const;
    // The key of the object's raw little-endian bits (their low bits() bits).
    int32_t key_of_raw(uint32_t raw) const;
    // The scaled value of a key.
    double value(int32_t key) const;
    // The value as the chart and the files write it: a whole number while unscaled.
    QString value_text(int32_t key) const;
    QString unit_text(setpoint_unit u) const;
    // Column of an exported file, unit included ("position_cnt", "velocity_cnt_per_s").
    QString column_name(setpoint_unit u) const;
};
using channel_list = std::vector<channel_def>;

// "6064h:00".
QString object_address(uint16_t index, uint8_t sub);

// Position, velocity, current, set-point and state, at the indices of enum channel.
channel_list default_channels();
// The channels of the list that have this role.
channel_mask channels_of(const channel_list &channels, role kind);
// An object of the dictionary as a channel: unscaled, its name as label, no unit. False when
// the object is nothing the scope can plot (not readable, or not a number of at most 32 bits).
bool object_channel(const objects::od_entry &entry, channel_def *out);

// CiA 402 state of a statusword (canopen::state_of) as a small number for plotting, in the
// order of canopen::drive_state: 0 not ready to switch on, 1 switch on disabled, 2 ready to
// switch on, 3 switched on, 4 operation enabled, 5 quick stop active, 6 fault reaction active,
// 7 fault; -1 for a pattern outside the table.
int32_t state_number(uint16_t statusword);
// Bilingual name of a state number ("运行使能/Operation enabled"); empty outside 0-7.
const char *state_name(int32_t number);

}  // namespace scope
