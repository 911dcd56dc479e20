#pragma once
// A configuration from a DCF put on drives, free of widgets: which nodes (a list as typed), which
// values the DCF sets for a node ($NODEID put in), how each compares with the drive, and in
// which order the differing ones are written.
//
// Write order for one node: the node goes pre-operational first (the caller sends it); then
// the objects in index order, each PDO as one group in CiA 301's procedure:
//
//   comm 1400+n / 1800+n sub 1   COB-ID with bit 31 set          the PDO is not valid
//   comm subs 2, 3, 5 ...        the values that differ          (inhibit time only now)
//   mapping 1600+n / 1A00+n 0    0                               entries may change
//   mapping subs 1..8            the entries that differ
//   mapping sub 0                the DCF's count (else the drive's)
//   comm sub 1                   the DCF's COB-ID (else the drive's) valid again
//
// (the mapping steps only when a mapping entry or count differs). A group is not interrupted:
// Cancel waits for its end, so that no PDO is left disabled or half mapped.
#include "objects/eds.h"
#include "canopen/value_codec.h"
#include "canopen/sdo_client.h"

#include <QString>
#include <vector>

namespace objects {

// "1-6", "2,4,5", "1-3, 7": nodes 1..127 in the order given, each once; false (with a reason)
// for anything else.
bool parse_node_list(const QString &text, std::vector<int> *nodes, QString *error);

// One value a DCF sets, for one node.
struct dcf_value {
    uint16_t index = 0;
    uint8_t sub = 0;
    QString name;
    uint16_t type = 0;
    QString access;
    QString text;   // the ParameterValue with $NODEID put in
    canopen::encoded bytes;  // not ok: the DCF's value is no value of the type
};

// Every entry with a ParameterValue, in the document's order.
std::vector<dcf_value> dcf_values(const eds_document &dcf, int node);

enum class dcf_state {
    same,
    differs,
    not_readable,
    read_only_differs,
    // An object that commands instead of configuring (store, restore, controlword): compared,
    // never written from a file.
    command_differs,
    invalid,  // the DCF's value does not fit its type
};
QString state_text(dcf_state state);

struct dcf_row {
    int node = 0;
    dcf_value value;
    bool read = false;
    QByteArray drive;    // the value read, when read
    uint32_t abort = 0;  // why it was not read
    dcf_state state = dcf_state::same;
};

dcf_state compare(const dcf_value &value, const canopen::sdo_outcome &read);
// The drive's bytes in the DCF value's style (hex when the DCF writes hex).
QString drive_text(const dcf_value &value, const QByteArray &drive);
bool is_command_object(uint16_t index);
// Written by a download: the value differs, or the object can only be written.
bool wants_write(const dcf_row &row);

struct dcf_write {
    uint16_t index = 0;
    uint8_t sub = 0;
    QByteArray data;
    int row = -1;  // the row it sets to the DCF's value; -1 for a step of the PDO procedure
};
struct dcf_group {
    std::vector<dcf_write> writes;
    std::vector<int> rows;  // read back after the group: every row of its objects the DCF sets
};

// The groups for one node's rows (all of the same node), in writing order.
std::vector<dcf_group> plan_download(const std::vector<dcf_row> &rows);

}  // namespace objects
