#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

// The operating-system calls of a safe save, behind one small interface so
// that tests can watch their order and make any of them fail. Paths are
// native; errors are the system's own codes.
class IFileOps {
public:
    using Handle = std::intptr_t;
    static constexpr Handle kNoHandle = -1;

    virtual ~IFileOps() = default;

    // Whether the caller may not write the existing file at path by its mode
    // bits: the owner's, group's or others' write bit, whichever applies;
    // root counts as the owner, so a file made read-only stays protected.
    virtual bool isReadOnly(const std::filesystem::path& path) = 0;
    // Creates a new file for writing, failing when the name is taken. Private
    // (owner only) when it will replace a file, whose mode it takes later.
    virtual std::error_code create(const std::filesystem::path& path, bool replacing, Handle& handle) = 0;
    virtual std::error_code write(Handle handle, std::span<const std::uint8_t> bytes) = 0;
    // Gives the new file the owner, group and mode bits of the original, as
    // far as the caller may (an owner or group it may not give is left).
    virtual std::error_code copyOwnerAndMode(Handle handle, const std::filesystem::path& original) = 0;
    // Waits until the file's data are on the disk.
    virtual std::error_code flush(Handle handle) = 0;
    virtual void close(Handle handle) = 0;
    // Puts from in to's place in one step.
    virtual std::error_code replace(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Waits until the folder's entries (the rename) are on the disk.
    virtual std::error_code flushFolder(const std::filesystem::path& folder) = 0;
    virtual void remove(const std::filesystem::path& path) = 0;
};

// The real calls of this system.
IFileOps& systemFileOps();
