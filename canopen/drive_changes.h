#pragma once
// Putting a journalled change back (base/drive_journal.h) over an SDO link, and what becomes of a
// change a killed program left behind: at the next connect the user is offered to put the values
// found back; a run without a window only reports it.
#include "base/drive_journal.h"
#include "canopen/sdo_client.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace canopen {

struct put_back_result {
    bool done = false;    // every write went through, or the drive lacks the object it names
    QStringList notes;    // objects skipped and writes refused, one a line
};

// The entry's writes in order; a drive that lacks an object skips it with a note, any other
// refusal is noted and the rest still go; no answer ends it there. The entry leaves the journal
// only when done.
put_back_result put_back(const sdo_link &link, const drive_journal::entry &e);

// "TPDO 3 (0x1802/0x1A02)", one a line, for a box or a log.
QString describe(const std::vector<drive_journal::entry> &entries);

// When the journal holds changes left on bus:node, asks (desktop_seams) whether to put them back
// and does so on Yes; an entry not put back stays. Returns the entries still left.
std::vector<drive_journal::entry> offer_put_back(QWidget *parent, const sdo_link &link, int bus, int node);

// For a run without a window: every change left on any drive, as lines; empty when none.
QString left_behind_report();

}  // namespace canopen
