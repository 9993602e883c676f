#include "midifile/safefilewriter.h"

#include "midifile/temporaryfiles.h"
#include "midifile/utf8path.h"

#include <array>
#include <optional>
#include <random>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// As many links as the kernel follows before it gives up.
constexpr int kMaxLinks = 40;
// Bytes of the target's name kept in the temporary file's name: enough to
// tell whose it is, few enough for any file system's name limit.
constexpr std::size_t kNameKept = 32;
constexpr int kNameAttempts = 100;

// What the user reads after Cannot write "path": , one entry per kind.
constexpr std::array<std::string_view, 8> kReasons{
    "",
    "its folder does not exist",
    "it is not a file",
    "it is read-only",
    "its symbolic links lead round in a circle",
    "no new file can be made in its folder",
    "writing it failed (is the disk full?)",
    "the new file could not be put in its place",
};

// The final target of a chain of symbolic links; a relative link counts
// from the link's own folder.
std::optional<fs::path> followLinks(fs::path path)
{
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// ".<the start of the target's name>.<8 random letters>.tmp": hidden, and
// short whatever the target's name is.
fs::path temporaryName(const fs::path& target, std::mt19937& random)
{
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = utf8FromPath(target.filename());
    if (name.size() > kNameKept) {
        // Cut before a whole UTF-8 character, never inside one.
        std::size_t cut = kNameKept;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0u) == 0x80u) --cut;
        name.resize(cut);
    }
    std::string temporary = "." + name + ".";
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    for (int i = 0; i < 8; ++i) temporary += kLetters[pick(random)];
    return pathFromUtf8(temporary + ".tmp");
}

} // namespace

std::string SafeWriteResult::message() const
{
    if (ok()) return {};
    std::string text = "Cannot write \"" + path + "\": ";
    text += kReasons.at(static_cast<std::size_t>(kind));
    if (!detail.empty()) text += ": " + detail;
    return text + ".";
}

SafeFileWriter::SafeFileWriter(std::string path, SafeWriteOptions options, IFileOps& ops)
    : m_path(std::move(path)), m_options(options), m_ops(ops)
{
}

SafeFileWriter::~SafeFileWriter()
{
    abandon();
}

SafeWriteResult SafeFileWriter::write(const std::string& path, std::span<const std::uint8_t> bytes,
                                      SafeWriteOptions options, IFileOps& ops)
{
    SafeFileWriter writer(path, options, ops);
    SafeWriteResult begun = writer.begin();
    if (!begun.ok()) return begun;
    if (const std::error_code ec = ops.write(writer.m_handle, bytes))
        return writer.failAfterBegin(SafeWriteError::WriteFailed, ec);
    return writer.commit();
}

SafeWriteResult SafeFileWriter::begin()
{
    abandon();
    const auto target = followLinks(pathFromUtf8(m_path));
    if (!target) return result(SafeWriteError::LinkLoop);
    m_target = *target;

    std::error_code ec;
    const fs::file_status status = fs::status(m_target, ec);
    // A path that cannot even be looked at (no search permission on a folder).
    if (status.type() == fs::file_type::unknown) return result(SafeWriteError::CannotCreate, ec);
    m_replacing = fs::exists(status);
    const fs::path folder = m_target.parent_path();
    if (m_replacing) {
        if (!fs::is_regular_file(status)) return result(SafeWriteError::NotAFile);
        if (!m_options.overwriteReadOnly && m_ops.isReadOnly(m_target)) return result(SafeWriteError::ReadOnly);
    } else if (!folder.empty() && !fs::is_directory(folder, ec)) {
        return result(SafeWriteError::FolderMissing);
    }

    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path candidate = folder / temporaryName(m_target, random);
        const temporaryfiles::SignalsHeld held;
        ec = m_ops.create(candidate, m_replacing, m_handle);
        if (!ec) {
            m_temporary = utf8FromPath(candidate);
            m_registration = temporaryfiles::add(m_temporary);
            return result(SafeWriteError::None);
        }
        if (ec != std::errc::file_exists) break;
    }
    return result(SafeWriteError::CannotCreate, ec);
}

SafeWriteResult SafeFileWriter::commit()
{
    if (m_temporary.empty()) return result(SafeWriteError::CannotCreate);
    std::error_code ec;
    if (m_replacing) ec = m_ops.copyOwnerAndMode(m_handle, m_target);
    if (!ec) ec = m_ops.flush(m_handle);
    if (ec) return failAfterBegin(SafeWriteError::WriteFailed, ec);
    m_ops.close(m_handle);
    m_handle = IFileOps::kNoHandle;
    {
        const temporaryfiles::SignalsHeld held;
        ec = m_ops.replace(pathFromUtf8(m_temporary), m_target);
        if (!ec) {
            temporaryfiles::forget(m_registration);
            m_registration = -1;
            m_temporary.clear();
        }
    }
    if (ec) return failAfterBegin(SafeWriteError::CannotReplace, ec);
    // The new file is in place either way; if its folder cannot be flushed
    // (some file systems refuse), the system writes the rename in its time.
    static_cast<void>(m_ops.flushFolder(m_target.parent_path()));
    return result(SafeWriteError::None);
}

void SafeFileWriter::abandon()
{
    if (m_handle != IFileOps::kNoHandle) m_ops.close(m_handle);
    m_handle = IFileOps::kNoHandle;
    if (m_temporary.empty()) return;
    const temporaryfiles::SignalsHeld held;
    m_ops.remove(pathFromUtf8(m_temporary));
    temporaryfiles::forget(m_registration);
    m_registration = -1;
    m_temporary.clear();
}

SafeWriteResult SafeFileWriter::result(SafeWriteError kind, const std::error_code& ec) const
{
    return {kind, m_path, ec ? ec.message() : std::string()};
}

SafeWriteResult SafeFileWriter::failAfterBegin(SafeWriteError kind, const std::error_code& ec)
{
    abandon();
    return result(kind, ec);
}
