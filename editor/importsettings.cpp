#include "editor/importsettings.h"

#include "midifile/utf8path.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace importsettings {

std::string defaultPath()
{
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    if (appData == nullptr || *appData == '\0') return {};
    return utf8FromPath(pathFromUtf8(appData) / "VARNO414Editor" / "import-options.txt");
#else
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        base = std::filesystem::path(home) / ".config";
    else
        return {};
    return utf8FromPath(base / "VARNO414Editor" / "import-options.txt");
#endif
}

namespace {

bool number(const std::string& text, double& value)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double read = 0;
    if (!(in >> read) || !in.eof()) return false;
    value = read;
    return true;
}

} // namespace

ImportOptions load(const std::string& path)
{
    ImportOptions options;
    if (path.empty()) return options;
    std::ifstream in(pathFromUtf8(path));
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        double read = 0;
        if (name == "gain_db" && number(value, read)) options.gainDb = read;
        if (name == "normalize_peak_db" && number(value, read)) options.normalizePeakDb = read;
        if (name == "reverse") options.reverse = value == "1";
        if (name == "fade_in" && number(value, read)) options.fadeInSeconds = read;
        if (name == "fade_out" && number(value, read)) options.fadeOutSeconds = read;
        if (name == "remove_dc") options.removeDc = value == "1";
        if (name == "quality") options.quality = value == "clean" ? ImportOptions::Quality::Clean : ImportOptions::Quality::Classic;
        if (name == "dither") options.dither = value == "1";
    }
    // A file edited by hand must not make every import fail.
    return importOptionsProblem(options).empty() ? options : ImportOptions{};
}

bool save(const std::string& path, const ImportOptions& options)
{
    if (path.empty()) return false;
    std::error_code ignored;
    std::filesystem::create_directories(pathFromUtf8(path).parent_path(), ignored);
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "gain_db=" << options.gainDb << '\n';
    if (options.normalizePeakDb) out << "normalize_peak_db=" << *options.normalizePeakDb << '\n';
    out << "reverse=" << (options.reverse ? 1 : 0) << '\n'
        << "fade_in=" << options.fadeInSeconds << '\n'
        << "fade_out=" << options.fadeOutSeconds << '\n'
        << "remove_dc=" << (options.removeDc ? 1 : 0) << '\n'
        << "quality=" << (options.quality == ImportOptions::Quality::Clean ? "clean" : "classic") << '\n'
        << "dither=" << (options.dither ? 1 : 0) << '\n';
    std::ofstream file(pathFromUtf8(path), std::ios::binary | std::ios::trunc);
    file << out.str();
    return static_cast<bool>(file.flush());
}

} // namespace importsettings
