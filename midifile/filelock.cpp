#include "midifile/filelock.h"

#include "midifile/utf8path.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A file replaced again and again while we wait gets this many tries.
constexpr int kAttempts = 1000;

#ifdef _WIN32

// Windows locks are mandatory: the lock covers one byte far past any bank
// file's end, so that reading the file through another handle still works.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE openShared(const std::filesystem::path& path, DWORD access)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// How long a waiter leaves the file closed between two tries, and how many
// tries a file that is missing gets before it counts as not there.
constexpr DWORD kPollMs = 5;
constexpr int kMissingTries = 40;

// The locked handle, or INVALID_HANDLE_VALUE.
HANDLE lockFile(const std::filesystem::path& path)
{
    int missing = 0;
    for (int attempt = 0; attempt < kAttempts;) {
        const HANDLE file = openShared(path, GENERIC_READ);
        if (file == INVALID_HANDLE_VALUE) {
            // Replacing a file is not one step on every Windows file system
            // (nor under wine): the name may be missing while another
            // process puts its new file in place. Missing for longer, the
            // file is not there, and opening it will say so.
            if (GetLastError() != ERROR_FILE_NOT_FOUND || ++missing == kMissingTries) return file;
            Sleep(kPollMs);
            continue;
        }
        BY_HANDLE_FILE_INFORMATION locked{};
        if (!GetFileInformationByHandle(file, &locked) || (locked.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            CloseHandle(file);
            return INVALID_HANDLE_VALUE;
        }
        // Windows cannot rename a file over one that another handle holds
        // open, so a waiter must not keep the file open while it waits: it
        // tries, closes the file and tries again.
        OVERLAPPED where{};
        where.OffsetHigh = kLockOffsetHigh;
        if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
            const DWORD why = GetLastError();
            CloseHandle(file);
            if (why != ERROR_LOCK_VIOLATION && why != ERROR_IO_PENDING) return INVALID_HANDLE_VALUE;
            Sleep(kPollMs);
            continue;
        }
        ++attempt;
        const HANDLE now = openShared(path, FILE_READ_ATTRIBUTES);
        BY_HANDLE_FILE_INFORMATION current{};
        const bool same =
            now != INVALID_HANDLE_VALUE && GetFileInformationByHandle(now, &current) && sameFile(locked, current);
        if (now != INVALID_HANDLE_VALUE) CloseHandle(now);
        if (same) return file;
        CloseHandle(file); // replaced while we waited: lock the new file
    }
    return INVALID_HANDLE_VALUE;
}

#else

// The locked descriptor, or -1.
int lockFile(const std::filesystem::path& path)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // Read-only is enough for flock; a FIFO must not block the open.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat locked {};
        int status = ::fstat(fd, &locked);
        if (status == 0 && !S_ISREG(locked.st_mode)) status = -1;
        while (status == 0 && ::flock(fd, LOCK_EX) != 0)
            if (errno != EINTR) status = -1;
        if (status != 0) {
            ::close(fd);
            return -1;
        }
        struct stat now {};
        if (::stat(path.c_str(), &now) == 0 && now.st_dev == locked.st_dev && now.st_ino == locked.st_ino) return fd;
        ::close(fd); // replaced while we waited: lock the new file
    }
    return -1;
}

#endif

} // namespace

FileLock::FileLock(const std::string& path)
{
#ifdef _WIN32
    const HANDLE file = lockFile(pathFromUtf8(path));
    if (file != INVALID_HANDLE_VALUE) m_handle = reinterpret_cast<IFileOps::Handle>(file);
#else
    const int fd = lockFile(pathFromUtf8(path));
    if (fd >= 0) m_handle = fd;
#endif
}

FileLock::~FileLock()
{
    if (!isLocked()) return;
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
#else
    ::close(static_cast<int>(m_handle));
#endif
}
