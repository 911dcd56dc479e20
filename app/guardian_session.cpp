#include "app/guardian_session.h"

#include "base/guard_settings.h"
#include "can/vci/bus_backend.h"
#include "custom_protocol/guardian_link.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

guardian_session::guardian_session()
{
    if (!guard::enabled())
        return;
    // Only buses a second process can join: an adapter plugin owns its device alone, and the
    // in-process simulated joints end with the program anyway.
    const QString bus = vci::selected_bus_description(0);
    if (!bus.startsWith(QLatin1String("socketcan:")) && !bus.startsWith(QLatin1String("virtualcan:")))
        return;
    if (!guardian_link::start(QCoreApplication::applicationFilePath(), bus))
        std::fprintf(stderr, "velmora: the guardian could not be started; joints of the maker's protocol are not guarded\n");
}

guardian_session::~guardian_session() { guardian_link::goodbye(); }

bool is_guardian_process(int argc, char **argv) { return argc > 1 && std::strcmp(argv[1], "--guardian") == 0; }
