#pragma once

#include <string>

// The temporary files of saves in progress, so that a program stopped by a
// signal removes them. Adding copies the path into fixed storage; removing
// them all takes no lock and only unlinks, so a signal handler may do it.
namespace temporaryfiles {

// Lists a temporary file; returns its slot, or -1 when there is no room
// (the file is then only removed by its save).
int add(const std::string& path);
void forget(int slot);

// Removes every listed file. Async-signal-safe: for a program's own
// SIGINT or SIGTERM handler (varno414 send has one).
void removeAll() noexcept;

// From now on SIGINT and SIGTERM remove the listed files and then end the
// program as the signal would have. A signal the program was started with
// ignored stays ignored.
void removeOnTerminationSignals();

// Holds SIGINT and SIGTERM back in this thread for its lifetime, so that a
// temporary file is never created without being listed, nor listed after it
// was renamed. Does nothing where signals cannot be held (Windows).
class SignalsHeld {
public:
    SignalsHeld() { holdSignals(); }
    ~SignalsHeld() { releaseSignals(); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    static void holdSignals();
    static void releaseSignals();
};

} // namespace temporaryfiles
