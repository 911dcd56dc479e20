#pragma once
// The script engine process (velmora --script-engine): Qt's JavaScript engine has no heap limit
// and its allocator takes the process down when memory runs out, so scripts run here, bounded,
// and a runaway script ends this process, never the program. It reads the script from stdin,
// runs it, and asks the program over stdin/stdout (sequences/engine_wire.h) for every bus action,
// check and log line; it holds no bus of its own. Its exit code says why it ended early.
namespace sequences {

// The exit codes of the engine process besides 0 (the script ran; its error, if any, was sent).
constexpr int engine_exit_out_of_memory = 86;
constexpr int engine_exit_pipe_lost = 87;  // the program went away or wrote garbage
constexpr int engine_exit_usage = 88;

bool is_script_engine_process(int argc, char **argv);
// argv: velmora --script-engine [--memory-limit-mib N]; 0 or none: no limit of its own.
int run_script_engine(int argc, char **argv);

}  // namespace sequences
