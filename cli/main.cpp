#include "cli/commands.h"
#include "midifile/temporaryfiles.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // A save stopped by Ctrl-C or kill leaves no temporary file behind.
    // (send handles these signals itself.)
    static constexpr std::array<std::string_view, 4> kFileWriters{"new", "import", "rename", "export"};
    if (!args.empty() && std::find(kFileWriters.begin(), kFileWriters.end(), args.front()) != kFileWriters.end())
        temporaryfiles::removeOnTerminationSignals();
    return cli::run(args);
}
