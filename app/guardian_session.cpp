#include "app/guardian_session.h"

#include "base/guard_settings.h"
#include "can/vci/bus_backend.h"
#include "custom_protocol/guardian_link.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

guardian_session::guardian_session()
{
    if (!guard::enabled())
        return;
    // Only buses a second process can join: an adapter plugin owns its device alone, and the
    // in-process simulated joints end with the program anyway.
    const QStringList descriptions = vci::selected_bus_descriptions(0);
    const QStringList buses = guardian_link::guarded_buses(descriptions);
    QStringList watched, not_watched;
    for (int k = 0; k < buses.size(); ++k)
        (buses[k] == QLatin1String("-") ? not_watched : watched) << QStringLiteral("%1 (%2)").arg(k).arg(descriptions[k]);
    if (watched.isEmpty())
        return;
    if (!guardian_link::start(QCoreApplication::applicationFilePath(), buses)) {
        std::fprintf(stderr, "velmora: the guardian could not be started; joints of the maker's protocol are not guarded\n");
        return;
    }
    // With one bus there is nothing to tell apart.
    if (!not_watched.isEmpty())
        std::fprintf(stderr,
                     "velmora: the guardian watches the maker's joints on bus %s; not on bus %s (a second "
                     "process cannot reach that bus)\n",
                     qPrintable(watched.join(QStringLiteral(", "))), qPrintable(not_watched.join(QStringLiteral(", "))));
}

guardian_session::~guardian_session() { guardian_link::goodbye(); }

bool is_guardian_process(int argc, char **argv) { return argc > 1 && std::strcmp(argv[1], "--guardian") == 0; }
