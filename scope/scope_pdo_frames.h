#pragma once
// The scope's PDOs as frames, free of any bus: which channels go into which 64-bit PDO, and
// the frames of those PDOs back into samples. Frames of one period make one sample: it is
// complete when every PDO has come, or when one comes again before the others. A frame shorter
// than its mapping gives the channels it holds whole; frames on other identifiers are ignored.
#include "scope/scope_sample.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace scope {

constexpr int pdo_bits = 64;

// Where a channel's value lies: in which of the plan's PDOs, from which byte, how many bits.
struct pdo_field {
    int channel = 0;
    int pdo = 0;
    int byte = 0;
    int bits = 0;
};

// The channels in 64-bit PDOs, largest values first, each into the first PDO it fits.
struct pdo_packing {
    std::vector<std::vector<uint32_t>> entries;  // mapping entries per PDO
    std::vector<pdo_field> fields;
};
pdo_packing pack_channels(const channel_list &channels, channel_mask wanted);

// Frames to samples for the plan's PDOs (cob_ids in the plan's order). keys turns a channel's
// raw value into the key stored, false to leave it out.
class pdo_decoder {
public:
    using key_function = std::function<bool(int channel, uint32_t raw, int32_t *key)>;
    pdo_decoder(std::vector<uint32_t> cob_ids, std::vector<pdo_field> fields, key_function keys);
    void feed(uint32_t id, const uint8_t *data, int len, int64_t t_us, std::vector<sample> &out);
    // The sample still waiting for PDOs of its period.
    void flush(std::vector<sample> &out);
    const std::vector<uint32_t> &cob_ids() const { return cob_ids_; }
    // The channel carrying the statusword, whose raw value the samples keep too (-1: none).
    void set_statusword_channel(int ch) { statusword_channel_ = ch; }

private:
    std::vector<uint32_t> cob_ids_;
    std::vector<pdo_field> fields_;
    key_function keys_;
    sample pending_;
    uint32_t seen_ = 0;  // PDOs in pending_, one bit each
    int statusword_channel_ = -1;
};

// Times a drive's periodic samples on its period. The drive sends once a period on its own clock;
// what arrives is late by the bus and this computer, unevenly, and a late stretch comes in a
// burst. Each sample is taken as the period after the one before, never later than it arrived
// (which also follows a drive whose clock runs ahead); periods are lost only where every sample
// after one comes at least three quarters of a period later than that would make them, and each
// lost period becomes a sample of its time without values: a gap on the time axis and in the
// files, not a longer period. Samples are held until hold_us after they arrived, so that a burst
// after a late stretch is seen before the stretch is judged.
class period_timer {
public:
    period_timer(int64_t period_us, int64_t hold_us) : period_us_(period_us), hold_us_(hold_us) {}
    // A sample, timed by its arrival.
    void take(const sample &s) { pending_.push_back(s); }
    // Hands out, timed, the samples that arrived before now_us - hold; all of them with flush.
    void release(int64_t now_us, std::vector<sample> &out);
    void flush(std::vector<sample> &out) { hand_out(pending_.size(), out); }
    // Lost periods marked since the start.
    uint64_t gaps() const { return gaps_; }

private:
    void hand_out(size_t count, std::vector<sample> &out);

    int64_t period_us_;
    int64_t hold_us_;
    std::vector<sample> pending_;
    std::vector<int64_t> suffix_;  // scratch: least (arrival - k periods) from each pending sample on
    bool any_ = false;
    int64_t last_us_ = 0;  // the time given to the last sample handed out
    uint64_t gaps_ = 0;
};

}  // namespace scope
