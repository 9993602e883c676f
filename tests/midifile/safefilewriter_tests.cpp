#include "bank_fixtures.h"

#include "midifile/filelock.h"
#include "midifile/safefilewriter.h"
#include "midifile/temporaryfiles.h"
#include "midifile/utf8path.h"
#include "midifile/wrapperktmidifile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_midifile;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Bytes kOld{'o', 'l', 'd'};
const Bytes kNew{'n', 'e', 'w'};

std::vector<std::string> entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifndef _WIN32
mode_t modeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}
#endif

// The system's calls, recorded in order; the one named in failing fails.
class RecordingOps : public IFileOps {
public:
    bool isReadOnly(const fs::path& path) override { return m_system.isReadOnly(path); }
    std::error_code create(const fs::path& path, bool replacing, Handle& handle) override
    {
        const std::error_code ec = call("create", [&] { return m_system.create(path, replacing, handle); });
        created = path;
#ifndef _WIN32
        if (!ec) createdMode = modeOf(path);
#endif
        return ec;
    }
    std::error_code write(Handle handle, std::span<const std::uint8_t> bytes) override
    {
        return call("write", [&] { return m_system.write(handle, bytes); });
    }
    std::error_code copyOwnerAndMode(Handle handle, const fs::path& original) override
    {
        return call("copyOwnerAndMode", [&] { return m_system.copyOwnerAndMode(handle, original); });
    }
    std::error_code flush(Handle handle) override
    {
        return call("flush", [&] { return m_system.flush(handle); });
    }
    void close(Handle handle) override
    {
        calls.emplace_back("close");
        m_system.close(handle);
    }
    std::error_code replace(const fs::path& from, const fs::path& to) override
    {
        return call("replace", [&] { return m_system.replace(from, to); });
    }
    std::error_code flushFolder(const fs::path& folder) override
    {
        return call("flushFolder", [&] { return m_system.flushFolder(folder); });
    }
    void remove(const fs::path& path) override
    {
        calls.emplace_back("remove");
        m_system.remove(path);
    }

    std::vector<std::string> calls;
    std::string failing;
    fs::path created;         // the temporary file last made
    unsigned createdMode = 0; // its mode bits as it was made

private:
    template <typename Call> std::error_code call(const char* name, Call&& real)
    {
        calls.emplace_back(name);
        if (failing == name) return std::make_error_code(std::errc::io_error);
        return real();
    }
    IFileOps& m_system = systemFileOps();
};

class SafeFileWriterTest : public ::testing::Test {
protected:
    TempDir dir;
};

} // namespace

// A power cut must find the old file or the new one: the new data reach the
// disk before the rename, and the rename before the save reports success.
// Any step that fails leaves the old file and no temporary file.
TEST_F(SafeFileWriterTest, FlushesBeforeAndAfterTheRenameAndFailsCleanly)
{
    const fs::path file = dir / "bank.mid";
    writeAll(file, kOld);
    RecordingOps ops;
    ASSERT_TRUE(SafeFileWriter::write(file.string(), kNew, {}, ops).ok());
    const auto at = [&](const char* name) { return std::find(ops.calls.begin(), ops.calls.end(), name); };
    EXPECT_LT(at("flush"), at("replace"));
    EXPECT_LT(at("copyOwnerAndMode"), at("replace"));
    EXPECT_LT(at("replace"), at("flushFolder"));
    EXPECT_NE(at("flushFolder"), ops.calls.end());
    EXPECT_EQ(readAll(file), kNew);

    const std::vector<std::pair<std::string, SafeWriteError>> failures{{"create", SafeWriteError::CannotCreate},
                                                                       {"write", SafeWriteError::WriteFailed},
                                                                       {"flush", SafeWriteError::WriteFailed},
                                                                       {"replace", SafeWriteError::CannotReplace}};
    for (const auto& [step, kind] : failures) {
        ops.failing = step;
        const SafeWriteResult result = SafeFileWriter::write(file.string(), kOld, {}, ops);
        EXPECT_EQ(result.kind, kind) << step;
        EXPECT_NE(result.message().find("\"" + file.string() + "\""), std::string::npos) << result.message();
        EXPECT_EQ(readAll(file), kNew) << step;
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"bank.mid"}) << step;
    }
}

// The temporary file's name must stay within the name limit even when the
// target's name is as long as it may be.
TEST_F(SafeFileWriterTest, LongestNameSaves)
{
    const std::string name = std::string(251, 'k') + ".mid";
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.saveBank(*soundBank(3, 3), (dir / name).string())) << wrapper.lastError();
    ASSERT_TRUE(wrapper.saveBank(*soundBank(4, 4), (dir / name).string())) << wrapper.lastError();
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{name});
}

// The temporary file's name is cut before a whole UTF-8 character, and the
// temporary file of a replace is private until the old file's mode is copied:
// a private file's new contents are never readable by others while written.
TEST_F(SafeFileWriterTest, TemporaryFileNameAndModeAreSafe)
{
    const fs::path file = dir / (std::string(31, 'k') + "\xC3\xA9.mid");
    writeAll(file, kOld);
#ifndef _WIN32
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
#endif
    RecordingOps ops;
    ASSERT_TRUE(SafeFileWriter::write(utf8FromPath(file), kNew, {}, ops).ok());
    EXPECT_EQ(utf8FromPath(ops.created.filename()).substr(0, 33), "." + std::string(31, 'k') + ".");
#ifndef _WIN32
    EXPECT_EQ(ops.createdMode & 077, 0u) << std::oct << ops.createdMode;
    EXPECT_EQ(modeOf(file), 0600u);
#endif
}

#ifndef _WIN32
// A save removes its temporary file on SIGINT, but not when SIGINT was
// ignored from the start: it must stay ignored.
TEST(TemporaryFiles, IgnoredSignalStaysIgnored)
{
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGINT, &ignore, &previous), 0);
    temporaryfiles::removeOnTerminationSignals();
    struct sigaction now {};
    sigaction(SIGINT, &previous, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}
#endif

// A name relative to the working folder, as typed on a command line, is
// replaced like any other (wine's ReplaceFileW refuses relative names).
TEST_F(SafeFileWriterTest, RelativeNameIsReplaced)
{
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    writeAll("kit.mid", kOld);
    const SafeWriteResult result = SafeFileWriter::write("kit.mid", kNew);
    fs::current_path(before);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(readAll(dir / "kit.mid"), kNew);
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"kit.mid"});
}

// Root may write anything, so the refusal goes by the mode bits.
TEST_F(SafeFileWriterTest, ReadOnlyFileIsReplacedOnlyWhenAllowed)
{
    const fs::path file = dir / "kit.wav";
    writeAll(file, kOld);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);

    const SafeWriteResult refused = SafeFileWriter::write(file.string(), kNew);
    EXPECT_EQ(refused.kind, SafeWriteError::ReadOnly);
    EXPECT_EQ(refused.message(), "Cannot write \"" + file.string() + "\": it is read-only.");
    EXPECT_EQ(readAll(file), kOld);

    ASSERT_TRUE(SafeFileWriter::write(file.string(), kNew, {.overwriteReadOnly = true}).ok());
    EXPECT_EQ(readAll(file), kNew);
#ifdef _WIN32 // a read-only flag, not mode bits
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
#else
    EXPECT_EQ(modeOf(file), 0440u);
#endif
}

TEST_F(SafeFileWriterTest, KeepsModeAndOwner)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no owner, group and mode bits; the replaced file keeps its attributes";
#else
    const fs::path file = dir / "shared.mid";
    writeAll(file, kOld);
    // Only root can give a file to someone else; others keep what they may.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 4242, 4243), 0);
    }
    ASSERT_EQ(::chmod(file.c_str(), 02640), 0);

    ASSERT_TRUE(SafeFileWriter::write(file.string(), kNew).ok());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4243u);
    }
#endif
}

// A link is followed to its end, even when nothing is there yet; the links
// stay links. A circle of links is refused.
TEST_F(SafeFileWriterTest, WritesThroughSymbolicLinks)
{
#ifdef _WIN32
    GTEST_SKIP() << "making symbolic links on Windows needs a privilege that tests do not have";
#else
    fs::create_directory(dir / "samples");
    fs::create_symlink("second", dir / "first");
    fs::create_symlink("samples/kick.wav", dir / "second");
    ASSERT_TRUE(SafeFileWriter::write((dir / "first").string(), kOld).ok());
    ASSERT_TRUE(SafeFileWriter::write((dir / "first").string(), kNew).ok());
    EXPECT_EQ(readAll(dir / "samples" / "kick.wav"), kNew);
    EXPECT_TRUE(fs::is_symlink(dir / "first"));
    EXPECT_TRUE(fs::is_symlink(dir / "second"));
    EXPECT_EQ(entries(dir / "samples"), std::vector<std::string>{"kick.wav"});

    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_EQ(SafeFileWriter::write((dir / "loop-a").string(), kNew).kind, SafeWriteError::LinkLoop);
#endif
}

namespace {

#ifndef _WIN32
// Lock requests that wait for the file with this inode (Linux lists them
// in /proc/locks with "->").
int waitersOn(ino_t inode)
{
    std::ifstream locks("/proc/locks");
    const std::string tail = ":" + std::to_string(inode) + " ";
    int count = 0;
    for (std::string line; std::getline(locks, line);)
        if (line.find("->") != std::string::npos && line.find(tail) != std::string::npos) ++count;
    return count;
}
#endif

} // namespace

// A waiter that started on a file which a save then replaced must end up
// holding the file that the path names now, or a third process could lock
// the new file at the same time and one change would be lost.
TEST_F(SafeFileWriterTest, LockWaiterFollowsAReplacedFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "the waiters are counted in Linux's /proc/locks";
#else
    const fs::path file = dir / "bank.mid";
    writeAll(file, kOld);
    struct stat old {};
    ASSERT_EQ(::stat(file.c_str(), &old), 0);

    auto holder = std::make_unique<FileLock>(file.string());
    ASSERT_TRUE(holder->isLocked());
    std::atomic<bool> locked{false};
    std::atomic<bool> release{false};
    std::thread waiter([&] {
        const FileLock second(file.string());
        locked = second.isLocked();
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitersOn(old.st_ino) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(waitersOn(old.st_ino), 1);

    ASSERT_TRUE(SafeFileWriter::write(file.string(), kNew).ok());
    holder.reset();
    while (!locked && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(locked);

    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), -1) << "the new file is not locked";
    ::close(fd);
    release = true;
    waiter.join();
#endif
}
