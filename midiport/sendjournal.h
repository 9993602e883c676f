#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <optional>
#include <string>

// What one flash block was last given by this computer.
struct JournalBlock {
    // SHA-256 of the block's write message as sent; empty while the block is
    // unknown: erased, but its write never completed.
    std::string hash;
    std::int64_t time = 0; // calendar seconds of the erase or the completed write

    bool known() const { return !hash.empty(); }
};

// The journal of one output port: flash block number to what it was given.
using PortJournal = std::map<unsigned, JournalBlock>;

// What this computer last sent, completely, to each output port (keyed by
// the port's name), one record per flash block. The machine cannot be read
// back, so this is all a "changes only" send can go by; it knows nothing of
// what reached the machine by other means.
//
// The file is plain text (docs/send-journal.md):
//   VARNO414 send journal 1
//   port <name, with \\ \n \r escaped>
//   block <0-63> <64 hex digits, or "unknown"> <calendar seconds>
// Every change reads the file, changes one record and saves it through the
// safe writer, all under the file lock, so that two programs sending at once
// keep each other's records. A file that cannot be read as a journal is
// copied aside (".damaged" added to its name), reported, and not trusted.
class SendJournal {
public:
    explicit SendJournal(std::string path);

    // $XDG_DATA_HOME/varno414/send-journal.txt (~/.local/share when unset),
    // %APPDATA%\VARNO414Editor\send-journal.txt on Windows; empty when
    // neither the variable nor a home folder is known.
    static std::string defaultPath();

    const std::string& path() const { return m_path; }

    // The port's records as the file holds them now; empty when none.
    PortJournal port(const std::string& portName);

    // The block's erase is about to go out: until its write completes, what
    // the machine holds there is unknown.
    bool recordErasing(const std::string& portName, unsigned block, std::int64_t time);
    bool recordWritten(const std::string& portName, unsigned block, const std::string& hash, std::int64_t time);
    // Drops every record of the port.
    bool forget(const std::string& portName);

    // One sentence when the last call could not read or save the journal,
    // or found it damaged and set it aside; empty otherwise. A damaged
    // journal is reported once.
    const std::string& warning() const { return m_warning; }

private:
    using Ports = std::map<std::string, PortJournal>;
    template <class Change>
    bool update(Change change);
    Ports read();

    std::string m_path;
    std::string m_warning;
    bool m_damaged = false; // the last read found the file damaged
};
