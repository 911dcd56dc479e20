#pragma once
// A bench booted without a window (velmora --boot BENCH.cpj): on the bus VELMORA_CAN names (bus
// 0), each node's steps printed as they end, the log written where asked, the report at the end
// (JUnit XML, a workbook or CSV by the file's ending). Needs a QCoreApplication and no display;
// asks nothing.
#include <QString>

namespace sequences {

struct boot_options {
    QString bench;   // the .cpj
    QString report;  // empty: none
    QString log;     // empty: none
    bool start_all = false;
    bool store = false;
};

// The process's exit code: 0 every node done, 1 a node failed, 2 the boot could not run (the
// bench unreadable, the bus not open or lost, interrupted, the report not written).
int boot_headless(const boot_options &options);

}  // namespace sequences
