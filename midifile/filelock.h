#pragma once

#include "midifile/fileops.h"

#include <string>

// An exclusive advisory lock (flock, LockFileEx) on a file for as long as
// the object lives, so that processes that read, change and save the same
// file take turns instead of losing one another's changes. Programs that do
// not ask for the lock are not held back.
//
// A save replaces the file by renaming a new one over it, so a waiter may
// win the lock on a file that is no longer the one at the path. The lock is
// then let go and taken again on the file the path names now. (Locking the
// file itself, not a lock file beside it, leaves nothing behind and works in
// any folder the file can be read from.)
class FileLock {
public:
    // Waits for the lock. Without a regular file at path nothing is locked:
    // there is nothing to lose, and opening the file reports why.
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return m_handle != IFileOps::kNoHandle; }

private:
    IFileOps::Handle m_handle = IFileOps::kNoHandle;
};
