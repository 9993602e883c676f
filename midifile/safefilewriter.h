#pragma once

#include "midifile/fileops.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// Why a file could not be written. Every kind leaves the file as it was.
enum class SafeWriteError {
    None,
    FolderMissing, // the folder the file goes into does not exist
    NotAFile,      // a folder or another thing that is no regular file stands there
    ReadOnly,      // the file is read-only and the caller did not allow replacing it
    LinkLoop,      // symbolic links that lead to one another without end
    CannotCreate,  // no new file can be made in the folder
    WriteFailed,   // writing or flushing the new file failed (a full disk)
    CannotReplace, // the new file could not take the old one's place
};

// The outcome of a save: a kind for the code, a sentence for the user.
struct SafeWriteResult {
    SafeWriteError kind = SafeWriteError::None;
    std::string path;   // as the caller gave it
    std::string detail; // the operating system's words, when it gave any

    bool ok() const { return kind == SafeWriteError::None; }
    // One sentence naming the file, e.g. Cannot write "a.mid": it is read-only.
    std::string message() const;
};

struct SafeWriteOptions {
    // Replace a file even when its mode bits (for root: the owner's) deny writing.
    bool overwriteReadOnly = false;
};

// Writes a file so that, whatever happens, the path names either the old
// file whole or the new one whole: the bytes go into a temporary file in the
// same folder, which is flushed to disk, given the old file's owner, group
// and mode, renamed over the old file, and the folder flushed after. A
// symbolic link is followed to its final target, which is written even when
// it does not exist yet; the links stay. While the temporary file exists it
// is listed for removal on SIGINT and SIGTERM (temporaryfiles.h).
//
// For writers that need a path (a stream): begin(), write temporaryPath(),
// then commit(), or abandon() when writing failed.
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string path, SafeWriteOptions options = {}, IFileOps& ops = systemFileOps());
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // The whole file in one call.
    static SafeWriteResult write(const std::string& path, std::span<const std::uint8_t> bytes,
                                 SafeWriteOptions options = {}, IFileOps& ops = systemFileOps());

    // Checks the target and creates the temporary file beside it.
    SafeWriteResult begin();
    const std::string& temporaryPath() const { return m_temporary; }
    // Puts the temporary file in the target's place.
    SafeWriteResult commit();
    // Removes the temporary file; the target stays as it was.
    void abandon();

private:
    SafeWriteResult result(SafeWriteError kind, const std::error_code& ec = {}) const;
    SafeWriteResult failAfterBegin(SafeWriteError kind, const std::error_code& ec);

    std::string m_path;
    SafeWriteOptions m_options;
    IFileOps& m_ops;
    std::filesystem::path m_target;
    std::string m_temporary;
    IFileOps::Handle m_handle = IFileOps::kNoHandle;
    bool m_replacing = false;
    int m_registration = -1;
};
