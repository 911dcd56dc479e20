#pragma once
// What the object dictionary window does with the SDO client, free of widgets: check a value
// before it is sent, read every readable object into a document, save and restore parameters.
#include "objects/eds.h"
#include "canopen/value_codec.h"
#include "canopen/sdo_client.h"
#include "canopen/sdo_job.h"

#include <functional>
#include <memory>

namespace objects {

using canopen::sdo_link;
using canopen::sdo_outcome;

// The bytes to write for text typed into an object of this type. The dictionary entry, when
// known, adds its limits and refuses an object that cannot be written.
canopen::encoded prepare_write(const od_entry *entry, uint16_t type, const QString &text);

// The read value as the tree and the DCF show it: unsigned numbers in hex when the data sheet
// writes their default in hex ("0x80", "$NODEID+0x180"), everything else as format_value gives it.
QString value_text(const od_entry &entry, const QByteArray &bytes);
// False when the entry has no default, or the default (node id put in) is the value read.
bool differs_from_default(const od_entry &entry, const QByteArray &bytes, int node_id);

struct read_all_summary {
    int read = 0;
    int refused = 0;          // objects the node aborted (their value stays empty)
    bool cancelled = false;
    bool no_answer = false;   // the node fell silent: reading stopped
};

// Read all as a job of steps: every readable entry in dictionary order into parameter_value /
// differs, DOMAINs left out (their data is no parameter, and a DCF keeps no value for them).
// The first read the node leaves unanswered ends it. done gets the summary at the end. The
// document must stay as it is while the job runs.
std::unique_ptr<canopen::sdo_job> read_all_job(eds_document &document, const sdo_link &link, int node_id,
                                               std::function<void(const read_all_summary &)> done);

// Entries that hold a value (read, written, or from the file).
int values_held(const eds_document &document);
// Gives each entry of to that has no value of its own the value from holds for the same object;
// returns how many values of from found no place in to (no such object, or to's own value).
int carry_values(const eds_document &from, eds_document &to);

// "总线断开/bus lost" and the adapter's reason, when the bus is lost; empty while it is not.
// Once the bus is gone every transfer fails at once, and a timeout would tell the user nothing.
QString bus_lost_text();
// Why a transfer failed: the lost bus when it is, else the abort's text.
QString failure_text(const sdo_outcome &o);

// 0x1010 sub 1 with "save", 0x1011 sub 1 with "load".
canopen::sdo_transfer store_parameters();
canopen::sdo_transfer restore_default_parameters();

}  // namespace objects
