#pragma once
// The program's side of the guardian (custom_protocol/guardian.h): starts it, tells it which
// joints of the maker's protocol were set moving and brought to rest, ticks from the event loop
// of the thread that started it, and says goodbye at a normal quit. Every call is safe from any
// thread and does nothing while no guardian runs or while the simulated bus is in use (those
// joints live and die with the program). Writing never blocks: a guardian that stopped reading
// loses lines instead of holding the program.
#include <QString>

namespace guardian_link {

enum class motion { profile, analog, all };

// Spawns `program --guardian bus` in a session of its own (so that a Ctrl+C or a kill of the
// program's process group does not take it along), its input connected to this process; the
// tick starts on the calling thread's event loop. False when it could not be started.
bool start(const QString &program, const QString &bus);
bool running();

void moving(int node, motion kind);
// Call when the stop or disable was sent (all: the power stage went off).
void at_rest(int node, motion kind);

// A normal quit: the guardian exits without sending anything. Both return the guardian's
// process id (0 when none ran), so that a caller may wait for its end.
int goodbye();
// Ends the link as a dying program would, without a goodbye (for tests).
int drop();

}  // namespace guardian_link
