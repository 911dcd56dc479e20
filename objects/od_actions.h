#pragma once
// What the object dictionary window does with the SDO client, free of widgets: check a value
// before it is sent, read every readable object into a document, save and restore parameters.
#include "objects/eds.h"
#include "objects/od_types.h"
#include "canopen/sdo_client.h"

#include <functional>

namespace objects {

using canopen::sdo_link;
using canopen::sdo_outcome;

// The bytes to write for text typed into an object of this type. The dictionary entry, when
// known, adds its limits and refuses an object that cannot be written.
encoded prepare_write(const od_entry *entry, uint16_t type, const QString &text);

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

// Reads every readable entry in dictionary order into parameter_value / differs. progress is
// called before each read with (done, total) and stops the run by returning false.
read_all_summary read_all(eds_document &document, const sdo_link &link, int node_id,
                          const std::function<bool(int done, int total)> &progress);

// Entries that hold a value (read, written, or from the file).
int values_held(const eds_document &document);
// Gives each entry of to that has no value of its own the value from holds for the same object;
// returns how many values of from found no place in to (no such object, or to's own value).
int carry_values(const eds_document &from, eds_document &to);

// 0x1010 sub 1 with "save", 0x1011 sub 1 with "load".
sdo_outcome store_parameters(const sdo_link &link);
sdo_outcome restore_default_parameters(const sdo_link &link);

}  // namespace objects
