#pragma once
// The guardian for one run of the program (custom_protocol/guardian.h): started when the joints
// of the maker's protocol sit on a bus outside this process (SocketCAN or the virtual bus) and
// the guard is on, told goodbye when the run ends normally. Create it once the application
// object exists; its tick runs on that event loop.
class guardian_session {
public:
    guardian_session();
    ~guardian_session();
    guardian_session(const guardian_session &) = delete;
    guardian_session &operator=(const guardian_session &) = delete;
};

// argv[1] is --guardian: this process is the guardian (guardian::run).
bool is_guardian_process(int argc, char **argv);
