#include "cli/commands.h"
#include "midifile/temporaryfiles.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace {

int runTool(const std::vector<std::string>& args)
{
    // A save stopped by Ctrl-C or kill leaves no temporary file behind.
    // (send handles these signals itself.)
    static constexpr std::array<std::string_view, 4> kFileWriters{"new", "import", "rename", "export"};
    if (!args.empty() && std::find(kFileWriters.begin(), kFileWriters.end(), args.front()) != kFileWriters.end())
        temporaryfiles::removeOnTerminationSignals();
    return cli::run(args);
}

} // namespace

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

// Windows hands main() its arguments in the ANSI code page, which cannot hold
// every file name; the wide arguments can, and the tool works in UTF-8.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 1 ? static_cast<std::size_t>(size - 1) : 0, '\0');
        if (size > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    // What the tool prints is UTF-8 too; a console shows it as such only when
    // told. Lines end in \n alone, as on every system, so scripts read the same bytes.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return runTool(args);
}
#else
int main(int argc, char** argv)
{
    return runTool(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
