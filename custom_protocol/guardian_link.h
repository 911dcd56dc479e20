#pragma once
// The program's side of the guardian (custom_protocol/guardian.h): starts it, tells it which
// joints of the maker's protocol were set moving and brought to rest, ticks from the event loop
// of the thread that started it, and says goodbye at a normal quit. Every call is safe from any
// thread and does nothing while no guardian runs or for a bus it does not watch (the simulated
// bus's joints live and die with the program; an adapter plugin owns its device alone). Writing never blocks: a guardian that stopped reading
// loses lines instead of holding the program.
#include <QString>
#include <QStringList>

namespace guardian_link {

enum class motion { profile, analog, all };

// Spawns `program --guardian bus` in a session of its own (so that a Ctrl+C or a kill of the
// program's process group does not take it along), its input connected to this process; the
// tick starts on the calling thread's event loop. False when it could not be started.
bool start(const QString &program, const QString &bus);
// The same for several buses, in bus order, as guarded_buses() gives them.
bool start(const QString &program, const QStringList &buses);
bool running();
// Whether the running guardian watches bus (false while none runs).
bool watches(int bus);

// What the guardian is given for the buses VELMORA_CAN lists (in bus order): a bus a second
// process can join (SocketCAN, the virtual bus) as it is, any other as "-", not watched.
QStringList guarded_buses(const QStringList &descriptions);

void moving(int node, motion kind, int bus = 0);
// Call when the stop or disable was sent (all: the power stage went off).
void at_rest(int node, motion kind, int bus = 0);

// A normal quit: the guardian exits without sending anything. Both return the guardian's
// process id (0 when none ran), so that a caller may wait for its end.
int goodbye();
// Ends the link as a dying program would, without a goodbye (for tests).
int drop();

}  // namespace guardian_link
