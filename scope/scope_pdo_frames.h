#pragma once
// The scope's PDOs as frames, free of any bus: which channels go into which 64-bit PDO, and
// the frames of those PDOs back into samples. Frames of one period make one sample: it is
// complete when every PDO has come, or when one comes again before the others. A frame shorter
// than its mapping gives the channels it holds whole; frames on other identifiers are ignored.
#include "scope/scope_sample.h"

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

// The periods a stream of samples missed, marked: a sample that comes more than one and a half
// periods after the one before is preceded by a sample without values for each whole period
// between them, so that a lost PDO is a gap on the time axis and in the files, not a longer period.
class gap_marker {
public:
    explicit gap_marker(int64_t period_us) : period_us_(period_us) {}
    void pass(const sample &s, std::vector<sample> &out);
    // Gaps marked since the start.
    uint64_t gaps() const { return gaps_; }

private:
    int64_t period_us_;
    int64_t last_us_ = 0;
    bool any_ = false;
    uint64_t gaps_ = 0;
};

}  // namespace scope
