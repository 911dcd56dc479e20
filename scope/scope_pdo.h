#pragma once
// Sampling from the drive's own transmit PDOs, free of widgets.
//
// The scope borrows spare TPDOs (4 first, then 3 and 2; TPDO 1 belongs to the control window)
// and makes them event-driven by the maker's event (type 254) with the event timer at the sample
// period and an inhibit time of half of it, so that a frame comes once a period whatever the
// values do and a late one does not make the next late (a drive sending on change too is held
// to two a period). A period the drive's frame did not come in is a gap in the recording: a
// sample of its time without values. Each carries up to 64 bits
// of channels (two 32-bit or four 16-bit values, largest first). Before writing anything it
// reads each borrowed PDO's communication and mapping parameters; at stop it puts them back
// with the mapping procedure of CiA 301:
//
//   set-up  (TPDO n: comm 0x1800+n-1, mapping 0x1A00+n-1)   restore
//   comm:1  COB-ID | 0x80000000  (not valid)               comm:1  found COB-ID | 0x80000000
//   comm:2  254                                             map:0   0
//   comm:3  half the period      (when the PDO has one)     map:k   found entries
//   comm:5  period in ms                                    map:0   found count
//   map:0   0                                               comm:2,3,5  found values
//   map:k   the channels' objects                           comm:1  found COB-ID (when valid)
//   map:0   their count
//   comm:1  COB-ID, identifier kept (valid)
//
// Samples come from the frames as the bus tap sees them arrive, no request per sample
// (scope_pdo_frames.h).
#include "base/drive_journal.h"
#include "can/vci/bus_tap.h"
#include "canopen/sdo_client.h"
#include "scope/scope_pdo_frames.h"
#include "scope/scope_source.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace scope {

// The TPDOs the scope may borrow, in the order it takes them.
constexpr int borrowable_tpdos[] = {4, 3, 2};

constexpr uint16_t tpdo_comm_index(int n) { return static_cast<uint16_t>(0x1800 + n - 1); }
constexpr uint16_t tpdo_map_index(int n) { return static_cast<uint16_t>(0x1A00 + n - 1); }
constexpr uint32_t cob_not_valid = 0x80000000u;
constexpr uint8_t event_driven_type = 254;

// A TPDO's parameters, as found on the drive or as the scope sets them.
struct tpdo_params {
    int number = 0;
    uint32_t cob_id = 0;
    uint8_t type = 0;
    bool has_inhibit = false;
    uint16_t inhibit_100us = 0;
    uint16_t event_ms = 0;
    std::vector<uint32_t> map;     // the mapped entries (sub 0 is their count)
    std::vector<uint32_t> beyond;  // entries after the count that a set-up overwrites, as found
};

// Event timer and inhibit time for a sample period.
tpdo_params event_driven(const tpdo_params &found, const std::vector<uint32_t> &entries, int period_ms, int node);

// One expedited SDO download. may_fail: the entry lies beyond the count found, so the drive need
// not take it back.
struct sdo_write {
    uint16_t index = 0;
    uint8_t sub = 0;
    uint32_t value = 0;
    int size = 4;
    bool may_fail = false;
};
std::vector<sdo_write> setup_writes(const tpdo_params &found, const tpdo_params &wanted);
// mapping: the set-up got as far as the mapping, which then goes back too.
std::vector<sdo_write> restore_writes(const tpdo_params &found, bool mapping = true);

// The journal's record of a borrowed PDO (base/drive_journal.h), written before the set-up
// changes it: the restore writes for what was found (mapping: the set-up reaches the mapping).
QString tpdo_name(int n);
drive_journal::entry journal_entry(int node, const tpdo_params &found, bool mapping, int bus = 0);
// What an earlier run found in TPDO n of node before borrowing it, when that run never put it
// back; with_journal completes it with entries that run did not touch, as present holds them.
std::optional<tpdo_params> found_in_journal(int node, int n, int bus = 0);
tpdo_params with_journal(const tpdo_params &present, const tpdo_params &journalled, size_t entries_needed);

// An abort that says the drive takes no mapping change in its present state (operational),
// so that the change may work in pre-operational.
bool refused_in_state(uint32_t abort_code);

// The set-up on one drive: read, plan, write, restore. Every SDO transaction goes through
// link; before each, between() may keep the GUI alive and returns false to cancel. nmt sends
// an NMT command to the node (0x80 pre-operational, 0x01 start).
class pdo_setup {
public:
    // bus: the bus link speaks on, under which the borrowed PDOs are journalled.
    pdo_setup(const canopen::sdo_link &link, int node, const channel_list &channels, channel_mask wanted,
              int period_ms, int bus = 0);

    std::function<bool()> between;
    std::function<void(uint8_t command)> nmt;

    // Reads the PDOs it needs (and the rated current for a current channel); false with the
    // reason when the channels cannot go by PDO.
    bool prepare(QString *why);
    // What set_up() will write, for the user to agree to.
    QString summary() const;

    enum class result { ok, refused_in_state, failed, cancelled };
    // Writes the plan; on anything but ok, puts back what it had changed. in_pre_operational:
    // the node goes to pre-operational first and is started again after.
    result set_up(bool in_pre_operational, QString *why);
    // Puts every borrowed PDO back as it was found (in pre-operational when the set-up needed
    // it); false with the failures when the drive refused some of it.
    bool restore(QString *why);
    bool active() const { return active_; }
    bool used_pre_operational() const { return pre_operational_; }

    // The decoder of the set-up plan, and the channels it fills.
    std::unique_ptr<pdo_decoder> decoder() const;
    channel_mask channels() const { return mapped_; }
    const std::vector<tpdo_params> &found() const { return found_; }
    const std::vector<tpdo_params> &wanted() const { return wanted_; }

private:
    bool proceed() { return !between || between(); }
    bool upload(uint16_t index, uint8_t sub, uint32_t *value, uint32_t *abort);
    bool read_tpdo(int n, size_t entries_needed, tpdo_params *out, uint32_t *abort);
    // False when the drive refused a write it must take.
    bool write(const sdo_write &w, uint32_t *abort);
    // Puts back what the set-up changed, on past refusals; false with them.
    bool put_back(QString *why);

    const canopen::sdo_link &link_;
    int node_;
    int bus_;
    channel_list channels_;
    channel_mask wanted_mask_;
    channel_mask mapped_ = 0;
    int period_ms_;
    pdo_packing packing_;
    std::vector<tpdo_params> found_;
    std::vector<tpdo_params> wanted_;
    enum class change { none, communication, mapping };  // how far the set-up got, per PDO
    std::vector<change> changed_;
    std::vector<change> journalled_;  // how far each PDO's journal entry reaches
    bool rated_known_ = false;
    int32_t rated_ma_ = 0;
    bool active_ = false;
    bool pre_operational_ = false;
};

// A streaming source over the bus tap: the samples of the decoder's PDOs as they arrive.
class pdo_source : public sample_source {
public:
    // period_us: the PDOs' period, on which the samples are timed (period_timer; 0: by their
    // arrival, as they come).
    // bus: whose frames it listens to.
    pdo_source(std::unique_ptr<pdo_decoder> decoder, channel_mask channels, int64_t period_us = 0, int bus = 0);
    channel_mask channels() const override { return channels_; }
    bool read(sample *) override { return false; }
    bool streaming() const override { return true; }
    void collect(std::vector<sample> &out) override;
    void finish(std::vector<sample> &out) override;
    // How long a sample is held before it is timed: a burst after a late stretch comes within it.
    static constexpr int64_t hold_us = 50000;

private:
    std::unique_ptr<pdo_decoder> decoder_;
    vci::bus_tap::listener listener_;
    channel_mask channels_;
    int64_t period_us_;
    period_timer timer_;
    std::vector<vci::tapped_frame> frames_;
    std::vector<sample> decoded_;
};

}  // namespace scope
