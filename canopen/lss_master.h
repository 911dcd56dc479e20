#pragma once
// The master of layer setting services (CiA 305), free of widgets: requests on 0x7E5, answers on
// 0x7E4, every frame 8 bytes with the command specifier in byte 0 and values little-endian from
// byte 1.
//
//   request                                  | answer (0x7E4)
//   -----------------------------------------|-------------------------------------------------
//   switch state global 04 mode              | none (mode 0 waiting, 1 configuration)
//   switch state selective 40..43 value      | 44 from the slave whose identity matched all four
//   configure node-ID 11 id                  | 11 error (0 ok, 1 out of range, FF specific)
//   configure bit timing 13 00 index         | 13 error (0 ok, 1 not supported, FF specific)
//   activate bit timing 15 delay_lo delay_hi | none
//   store configuration 17                   | 17 error (0 ok, 1 not supported, 2 storage, FF)
//   inquire 5A..5D identity part, 5E node-ID | the same specifier with the value
//   fast scan 51 IDNumber BitChecked Sub Next| 4F from every slave whose part matches
//
// Only slaves in configuration take the configure, store, activate and inquire requests; a
// switch state global to configuration therefore makes every node on the bus obey them.
#include "can/exchange.h"

#include <QString>
#include <array>
#include <cstdint>
#include <set>
#include <vector>

namespace canopen {

constexpr uint32_t lss_request_id = 0x7E5;
constexpr uint32_t lss_answer_id = 0x7E4;

namespace lss_cs {
constexpr uint8_t switch_global = 0x04;
constexpr uint8_t configure_node = 0x11;
constexpr uint8_t configure_bit_timing = 0x13;
constexpr uint8_t activate_bit_timing = 0x15;
constexpr uint8_t store = 0x17;
constexpr uint8_t select_vendor = 0x40;  // ... 0x43 serial number
constexpr uint8_t selected = 0x44;
constexpr uint8_t identified = 0x4F;
constexpr uint8_t fast_scan = 0x51;
constexpr uint8_t inquire_vendor = 0x5A;  // ... 0x5D serial number
constexpr uint8_t inquire_node = 0x5E;
}  // namespace lss_cs

// The node-ID a slave without one reports, and the one that takes its node-ID away.
constexpr uint8_t lss_unconfigured = 0xFF;

// Vendor-ID, product code, revision number, serial number (object 0x1018 subs 1-4).
struct lss_identity {
    uint32_t part[4] = {0, 0, 0, 0};
};

enum class lss_mode : uint8_t { waiting = 0, configuration = 1 };

struct lss_frame {
    uint8_t data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

lss_frame lss_switch_global(lss_mode mode);
// Vendor, product, revision, serial: the slave answers the last one.
std::array<lss_frame, 4> lss_switch_selective(const lss_identity &id);
lss_frame lss_configure_node(uint8_t node);
lss_frame lss_configure_bit_timing(uint8_t table_index);
lss_frame lss_activate_bit_timing(uint16_t switch_delay_ms);
lss_frame lss_store_configuration();
// part 0..3 of the identity, 4 the node-ID.
lss_frame lss_inquire(int part);

// The command specifier that answers a request with this one; 0 when none is awaited.
uint8_t lss_answer_to(uint8_t request_cs);
// Takes the 8-byte standard data frame on 0x7E4 whose byte 0 is answer_cs.
reply_decoder lss_answer_decoder(uint8_t answer_cs);
// The answer's value: bytes 1-4.
uint32_t lss_answer_value(const bus_frame &answer);

// The node-IDs the identifiers of received frames show in use: a boot-up or heartbeat on
// 0x700+n, an SDO answer on 0x580+n (n 1..127).
std::set<int> node_ids_heard(const std::vector<uint32_t> &ids);
// The first node-ID after `after` (1..127, round to 1 past 127) not in used; 0 when all are.
int next_free_node_id(int after, const std::set<int> &used);

// The standard bit timing table: index 0..8 (5 is reserved); 0 for no entry.
int lss_bit_rate_kbps(int table_index);
// The table's indices in order, for choosers.
extern const std::array<uint8_t, 8> lss_bit_rate_indices;

// "完成/done" for error code 0, else what a configure or store answer's error code means.
QString lss_error_text(uint8_t request_cs, uint8_t code, uint8_t specific);

// How long a confirmed service (select, configure, store, inquire) may take: slaves serve them
// like SDO requests, and a store writes non-volatile memory, so the SDO timeout fits.
constexpr int lss_answer_window_ms = 1000;
// One fast-scan step. Each step nobody answers costs the whole window and about half of the
// 128 bits go unanswered, so this sets the scan's length (under a second here). It still holds an
// answer through a USB adapter or a network bridge (1-3 ms each way) from a slave that serves
// LSS in its main loop. A lost answer does not pass unnoticed: the step confirming its part
// goes unanswered and the scan ends as lost.
constexpr int lss_scan_window_ms = 10;

// The fast scan as steps: each step is one request and whether any slave answered it within
// lss_scan_window_ms. It finds the unconfigured slave with the lowest identity among those
// waiting, bit by bit from the top, and leaves that one slave in configuration.
class lss_fast_scan {
public:
    enum class result { running, found, none, lost };
    // The reset step, the 32 bits of each part, and the step confirming each part.
    static constexpr int step_count = 1 + 4 * 33;

    lss_frame request() const;
    void take(bool answered);
    result state() const { return state_; }
    int step() const { return step_; }
    const lss_identity &identity() const { return id_; }

private:
    int part_ = -1;  // -1: the reset step that asks whether any unconfigured slave waits
    int bit_ = 31;   // the bit under test; -1: the part's confirmation
    int step_ = 0;
    lss_identity id_;
    result state_ = result::running;
};

}  // namespace canopen
