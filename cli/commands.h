#pragma once

#include <span>
#include <string>

struct BankFileResult;
struct SafeWriteResult;

namespace cli {

// Exit statuses: 0 done, 1 refused or failed (nothing changed), 2 wrong usage.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs the tool on its arguments (without the program name).
int run(std::span<const std::string> args);

// The subcommands, each given the words after its name.
int commandPorts(std::span<const std::string> args);
int commandNew(std::span<const std::string> args);
int commandShow(std::span<const std::string> args);
int commandImport(std::span<const std::string> args);
int commandRename(std::span<const std::string> args);
int commandExport(std::span<const std::string> args);
int commandSend(std::span<const std::string> args);
int commandTestInterface(std::span<const std::string> args);

// Messages to standard error, prefixed with the tool's name; return the status.
int fail(const std::string& sentence);
int usage(const std::string& command, const std::string& sentence);
// The writer's sentence after a failed save, with what the tool offers.
std::string writeFailure(const SafeWriteResult& result);
std::string saveFailure(const BankFileResult& result);
// The help text of a command ("" for the overview).
const char* helpText(const std::string& command);

} // namespace cli
