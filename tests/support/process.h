#pragma once

// Runs a program the way a script would, on POSIX and on Windows alike: no
// shell, empty standard input, both outputs captured, and a few variables
// added to this process's environment.

#include "midifile/utf8path.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwctype>
#else
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

struct ProcessResult {
    int status = -1; // the exit status; -1 when the program could not start or did not exit
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

namespace process_detail {

inline std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32
inline std::wstring wide(const std::string& utf8)
{
    return pathFromUtf8(utf8).wstring();
}

// One argument as the C runtime's command-line parser will split it back out.
inline void appendQuoted(std::wstring& line, const std::wstring& arg)
{
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

inline std::wstring upper(std::wstring text)
{
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// This process's environment with the additions, as CreateProcessW takes it.
inline std::wstring environmentBlock(const Environment& added)
{
    std::vector<std::wstring> entries;
    const auto nameOf = [](const std::wstring& entry) { return upper(entry.substr(0, entry.find(L'=', 1))); };
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* at = own; at != nullptr && *at != L'\0'; at += std::wcslen(at) + 1) entries.emplace_back(at);
    FreeEnvironmentStringsW(own);
    for (const auto& [name, value] : added) {
        const std::wstring key = upper(wide(name));
        std::erase_if(entries, [&](const std::wstring& entry) { return nameOf(entry) == key; });
        entries.push_back(wide(name) + L"=" + wide(value));
    }
    std::sort(entries.begin(), entries.end(),
              [&](const std::wstring& a, const std::wstring& b) { return nameOf(a) < nameOf(b); });
    std::wstring block;
    for (const auto& entry : entries) block += entry + L'\0';
    return block + L'\0';
}

// The started process, or null; its output goes to the files, or nowhere.
inline HANDLE start(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const Environment& added, const std::filesystem::path& outFile,
                    const std::filesystem::path& errFile)
{
    std::wstring line;
    appendQuoted(line, program.wstring());
    for (const auto& arg : args) appendQuoted(line, wide(arg));
    std::wstring environment = environmentBlock(added);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto openFile = [&](const std::filesystem::path& name, DWORD access, DWORD disposition) {
        return CreateFileW(name.empty() ? L"NUL" : name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE in = openFile({}, GENERIC_READ, OPEN_EXISTING);
    HANDLE out = openFile(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = openFile(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION child{};
    // A bare name is looked up on PATH; a path is taken as it is.
    const bool searched = !program.has_parent_path();
    const BOOL started = CreateProcessW(searched ? nullptr : program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                                        &startup, &child);
    for (HANDLE h : {in, out, err})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!started) return nullptr;
    CloseHandle(child.hThread);
    return child.hProcess;
}

inline int wait(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    const bool exited = GetExitCodeProcess(process, &code) != 0;
    CloseHandle(process);
    return exited ? static_cast<int>(code) : -1;
}
#else
// The started process, or -1; its output goes to the files, or nowhere.
inline pid_t start(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const Environment& added, const std::filesystem::path& outFile,
                   const std::filesystem::path& errFile)
{
    std::vector<std::string> environment;
    for (char** at = environ; *at != nullptr; ++at) {
        const std::string entry = *at;
        const bool replaced = std::any_of(added.begin(), added.end(),
                                          [&](const auto& variable) { return entry.rfind(variable.first + "=", 0) == 0; });
        if (!replaced) environment.push_back(entry);
    }
    for (const auto& [name, value] : added) environment.push_back(name + "=" + value);

    std::vector<std::string> words{program.string()};
    words.insert(words.end(), args.begin(), args.end());
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (auto& text : texts) list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };
    auto argv = pointers(words);
    auto envp = pointers(environment);

    const auto nameOf = [](const std::filesystem::path& file) { return file.empty() ? "/dev/null" : file.c_str(); };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, nameOf(outFile), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, nameOf(errFile), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    // A bare name is looked up on PATH; a path is taken as it is.
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? child : -1;
}

// waitpid's status word.
inline int waitRaw(pid_t child)
{
    int raw = 0;
    pid_t waited = -1;
    do {
        waited = waitpid(child, &raw, 0);
    } while (waited < 0 && errno == EINTR);
    return waited == child ? raw : -1;
}

inline int wait(pid_t child)
{
    const int raw = waitRaw(child);
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

} // namespace process_detail

// A program started without waiting for it; its output goes to the files
// given, or nowhere.
class StartedProcess {
public:
    StartedProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const Environment& added = {}, const std::filesystem::path& outFile = {},
                   const std::filesystem::path& errFile = {})
        : m_process(process_detail::start(program, args, added, outFile, errFile))
    {
    }
    ~StartedProcess()
    {
        if (started()) wait();
    }
    StartedProcess(StartedProcess&& other) noexcept : m_process(std::exchange(other.m_process, kNone)) {}
    StartedProcess& operator=(StartedProcess&&) = delete;

    bool started() const { return m_process != kNone; }
    // The exit status; -1 when it did not start or did not exit.
    int wait() { return started() ? process_detail::wait(std::exchange(m_process, kNone)) : -1; }
#ifndef _WIN32
    pid_t pid() const { return m_process; }
    // How it ended, as waitpid tells it.
    int waitRaw() { return started() ? process_detail::waitRaw(std::exchange(m_process, kNone)) : -1; }
#endif

private:
#ifdef _WIN32
    static inline const HANDLE kNone = nullptr;
    HANDLE m_process;
#else
    static constexpr pid_t kNone = -1;
    pid_t m_process;
#endif
};

inline ProcessResult runProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                                const Environment& added = {})
{
    const TempDir scratch("varno-process");
    ProcessResult result;
    result.status = StartedProcess(program, args, added, scratch / "out", scratch / "err").wait();
    result.out = process_detail::readAll(scratch / "out");
    result.err = process_detail::readAll(scratch / "err");
    return result;
}
