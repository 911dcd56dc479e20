#pragma once
// What the scope records: one compact record per sample (32 bytes), the channels it can carry
// and how each is named in the chart and in exported files.
#include <cstdint>

namespace scope {

enum channel : int { position = 0, velocity, current, setpoint, state, channel_count };

using channel_mask = uint8_t;
constexpr channel_mask bit(channel ch) { return static_cast<channel_mask>(1u << ch); }
constexpr channel_mask all_channels = (1u << channel_count) - 1;

struct sample {
    int64_t t_us = 0;                 // monotonic time of the read
    int32_t value[channel_count] = {};
    channel_mask present = 0;         // channels that were read (or known) for this sample

    bool has(channel ch) const { return (present & bit(ch)) != 0; }
    void set(channel ch, int32_t v)
    {
        value[ch] = v;
        present = static_cast<channel_mask>(present | bit(ch));
    }
};
static_assert(sizeof(sample) == 32, "one sample record stays 32 bytes");

// What the set-point channel holds: the value of the last motion command as the window sent it.
enum class setpoint_unit : uint8_t { cnt, cnt_per_s, milliamps, per_mille };

// Name of a channel's column in an exported file, unit included ("position_cnt").
const char *column_name(channel ch, setpoint_unit unit);
// Bilingual label of a channel for the chart ("位置/Position (cnt)").
const char *channel_label(channel ch);
const char *unit_text(channel ch, setpoint_unit unit);

// CiA 402 state of a statusword (canopen::state_of) as a small number for plotting, in the
// order of canopen::drive_state: 0 not ready to switch on, 1 switch on disabled, 2 ready to
// switch on, 3 switched on, 4 operation enabled, 5 quick stop active, 6 fault reaction active,
// 7 fault; -1 for a pattern outside the table.
int32_t state_number(uint16_t statusword);
// Bilingual name of a state number ("操作使能/Operation enabled"); empty outside 0-7.
const char *state_name(int32_t number);

}  // namespace scope
