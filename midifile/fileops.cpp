#include "midifile/fileops.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

std::error_code lastError()
{
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return std::make_error_code(std::errc::file_exists);
    return {static_cast<int>(code), std::system_category()};
}

HANDLE handleOf(IFileOps::Handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// A file that another program has open for a moment (a reader, a virus
// scanner, a varno414 trying for the lock) cannot be replaced until it is
// closed again; such a replace is tried again for about two seconds.
template <typename Replace> bool retried(Replace replace)
{
    constexpr int kTries = 100;
    constexpr DWORD kPauseMs = 20;
    for (int attempt = 1;; ++attempt) {
        if (replace()) return true;
        const DWORD why = GetLastError();
        // Only failures that leave both files under their own names.
        const bool busy = why == ERROR_SHARING_VIOLATION || why == ERROR_ACCESS_DENIED || why == ERROR_LOCK_VIOLATION ||
                          why == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!busy || attempt == kTries) {
            SetLastError(why);
            return false;
        }
        Sleep(kPauseMs);
    }
}

class SystemFileOps final : public IFileOps {
public:
    bool isReadOnly(const fs::path& path) override
    {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }

    std::error_code create(const fs::path& path, bool /*replacing*/, Handle& handle) override
    {
        // Shared for writing, so that a stream can open the file by its name.
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return lastError();
        handle = reinterpret_cast<Handle>(file);
        return {};
    }

    std::error_code write(Handle handle, std::span<const std::uint8_t> bytes) override
    {
        while (!bytes.empty()) {
            const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
            DWORD written = 0;
            if (!WriteFile(handleOf(handle), bytes.data(), chunk, &written, nullptr)) return lastError();
            bytes = bytes.subspan(written);
        }
        return {};
    }

    // ReplaceFileW gives the new file the old one's attributes and security.
    std::error_code copyOwnerAndMode(Handle, const fs::path&) override { return {}; }

    std::error_code flush(Handle handle) override
    {
        if (!FlushFileBuffers(handleOf(handle))) return lastError();
        return {};
    }

    void close(Handle handle) override { CloseHandle(handleOf(handle)); }

    std::error_code replace(const fs::path& relativeFrom, const fs::path& relativeTo) override
    {
        // wine's ReplaceFileW fails on relative names (ERROR_DIRECTORY).
        std::error_code ec;
        const fs::path from = fs::absolute(relativeFrom, ec);
        if (ec) return ec;
        const fs::path to = fs::absolute(relativeTo, ec);
        if (ec) return ec;
        const auto moveInPlace = [&] {
            return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        };
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return retried(moveInPlace) ? std::error_code{} : lastError();
        // ReplaceFileW refuses a read-only file: the caller chose to replace
        // it, so the flag is taken off and put back on the new file.
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        const bool replaced = retried([&] {
            return ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        });
        // This failure has removed the old file already: the new one must
        // take its name, or the user would be left with neither.
        if (!replaced && !(GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT && retried(moveInPlace))) {
            const std::error_code failed = lastError();
            if (readOnly) SetFileAttributesW(to.c_str(), attributes);
            return failed;
        }
        if (readOnly) SetFileAttributesW(to.c_str(), GetFileAttributesW(to.c_str()) | FILE_ATTRIBUTE_READONLY);
        return {};
    }

    // NTFS journals the rename itself; there is no folder to flush.
    std::error_code flushFolder(const fs::path&) override { return {}; }

    void remove(const fs::path& path) override { DeleteFileW(path.c_str()); }
};

#else

std::error_code lastError()
{
    return {errno, std::system_category()};
}

int fdOf(IFileOps::Handle handle)
{
    return static_cast<int>(handle);
}

bool inGroup(gid_t group)
{
    if (getegid() == group) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group) return true;
    return false;
}

class SystemFileOps final : public IFileOps {
public:
    bool isReadOnly(const fs::path& path) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return false;
        const uid_t user = geteuid();
        if (user == 0 || user == st.st_uid) return (st.st_mode & S_IWUSR) == 0;
        if (inGroup(st.st_gid)) return (st.st_mode & S_IWGRP) == 0;
        return (st.st_mode & S_IWOTH) == 0;
    }

    std::error_code create(const fs::path& path, bool replacing, Handle& handle) override
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd < 0) return lastError();
        handle = fd;
        return {};
    }

    std::error_code write(Handle handle, std::span<const std::uint8_t> bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fdOf(handle), bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return lastError();
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
        return {};
    }

    std::error_code copyOwnerAndMode(Handle handle, const fs::path& original) override
    {
        struct stat st {};
        if (::stat(original.c_str(), &st) != 0) return lastError();
        // Only root may give a file away; anyone may give it a group they are in.
        if (::fchown(fdOf(handle), st.st_uid, st.st_gid) != 0) {
            if (errno != EPERM) return lastError();
            if (::fchown(fdOf(handle), static_cast<uid_t>(-1), st.st_gid) != 0 && errno != EPERM) return lastError();
        }
        // After fchown, which may clear the set-id bits.
        if (::fchmod(fdOf(handle), st.st_mode & 07777) != 0) return lastError();
        return {};
    }

    std::error_code flush(Handle handle) override
    {
        if (::fsync(fdOf(handle)) != 0) return lastError();
        return {};
    }

    void close(Handle handle) override { ::close(fdOf(handle)); }

    std::error_code replace(const fs::path& from, const fs::path& to) override
    {
        if (::rename(from.c_str(), to.c_str()) != 0) return lastError();
        return {};
    }

    std::error_code flushFolder(const fs::path& folder) override
    {
        const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return lastError();
        std::error_code ec;
        if (::fsync(fd) != 0 && errno != EINVAL) ec = lastError();
        ::close(fd);
        return ec;
    }

    void remove(const fs::path& path) override { ::unlink(path.c_str()); }
};

#endif

} // namespace

IFileOps& systemFileOps()
{
    static SystemFileOps ops;
    return ops;
}
