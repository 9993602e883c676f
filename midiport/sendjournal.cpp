#include "midiport/sendjournal.h"

#include "midifile/filelock.h"
#include "midifile/safefilewriter.h"
#include "midifile/utf8path.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace {

constexpr const char* kHeader = "VARNO414 send journal 1";
constexpr unsigned kBlocks = 64;
// A journal of every port there could be is a few kilobytes; a larger file is no journal of ours.
constexpr std::uintmax_t kMaxSize = 1 << 20;

std::string escapeName(const std::string& name)
{
    std::string out;
    for (const char c : name) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> unescapeName(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        if (text[i] == '\\')
            out += '\\';
        else if (text[i] == 'n')
            out += '\n';
        else if (text[i] == 'r')
            out += '\r';
        else
            return std::nullopt;
    }
    return out;
}

bool isHash(const std::string& text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<std::int64_t> parseTime(const std::string& text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

// The records in the file; an empty set when there is no file, nullopt when
// it is not a journal of ours.
std::optional<std::map<std::string, PortJournal>> parseJournal(std::istream& in)
{
    std::map<std::string, PortJournal> ports;
    std::string line;
    if (!std::getline(in, line)) return ports; // an empty file: created, never written
    if (line != kHeader) return std::nullopt;
    PortJournal* current = nullptr;
    while (std::getline(in, line)) {
        if (line.empty() || line.front() == '#') continue;
        if (line.rfind("port ", 0) == 0) {
            const auto name = unescapeName(line.substr(5));
            if (!name) return std::nullopt;
            current = &ports[*name];
            continue;
        }
        std::istringstream words(line);
        std::string tag, block, hash, time, extra;
        words >> tag >> block >> hash >> time;
        if (current == nullptr || tag != "block" || (words >> extra) || block.empty() || block.size() > 2 ||
            block.find_first_not_of("0123456789") != std::string::npos || std::stoul(block) >= kBlocks)
            return std::nullopt;
        const auto seconds = parseTime(time);
        if (!seconds || (hash != "unknown" && !isHash(hash))) return std::nullopt;
        (*current)[static_cast<unsigned>(std::stoul(block))] = {hash == "unknown" ? std::string() : hash, *seconds};
    }
    return ports;
}

} // namespace

SendJournal::SendJournal(std::string path) : m_path(std::move(path)) {}

std::string SendJournal::defaultPath()
{
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    if (appData == nullptr || *appData == '\0') return {};
    return utf8FromPath(pathFromUtf8(appData) / "VARNO414Editor" / "send-journal.txt");
#else
    std::filesystem::path base;
    // A relative XDG_DATA_HOME is to be ignored, as desktops do.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/')
        base = data;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        base = std::filesystem::path(home) / ".local" / "share";
    else
        return {};
    return (base / "varno414" / "send-journal.txt").string();
#endif
}

SendJournal::Ports SendJournal::read()
{
    const std::filesystem::path file = pathFromUtf8(m_path);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return {};
    std::optional<Ports> ports;
    if (std::filesystem::file_size(file, ec) <= kMaxSize && !ec) {
        std::ifstream in(file, std::ios::binary);
        if (in) ports = parseJournal(in);
    }
    if (ports) return *ports;
    // Trusting part of a damaged journal could skip a block the machine does
    // not hold: keep it for a look, and start again from nothing.
    const std::string aside = m_path + ".damaged";
    std::filesystem::copy_file(file, pathFromUtf8(aside), std::filesystem::copy_options::overwrite_existing, ec);
    m_warning = "The send journal \"" + m_path + "\" is damaged and was not used" +
                (ec ? std::string(" (it could not be copied aside: ") + ec.message() + ")"
                    : " (it was copied to \"" + aside + "\")") +
                ": every block counts as changed.";
    m_damaged = true;
    return {};
}

template <class Change>
bool SendJournal::update(Change change)
{
    if (m_path.empty()) {
        m_warning = "The send journal has no place: no data folder is known.";
        return false;
    }
    const std::filesystem::path file = pathFromUtf8(m_path);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    // The lock is held on a file beside the journal that is never replaced.
    // On Windows a replace is not one step: a lock on the journal itself could
    // be won on a file that another program's save is just moving out of the
    // way, and both would then change the journal at once.
    const std::string lockPath = m_path + ".lock";
    { std::ofstream touch(pathFromUtf8(lockPath), std::ios::binary | std::ios::app); }
    const FileLock lock(lockPath);
    Ports ports = read();
    change(ports);

    std::string text = std::string(kHeader) +
                       "\n# What this computer last sent completely to each MIDI output port, per flash block:\n"
                       "# block <number> <SHA-256 of its write message, or unknown> <calendar seconds>\n";
    for (const auto& [name, blocks] : ports) {
        if (blocks.empty()) continue;
        text += "port " + escapeName(name) + "\n";
        for (const auto& [block, record] : blocks)
            text += "block " + std::to_string(block) + " " + (record.known() ? record.hash : "unknown") + " " +
                    std::to_string(record.time) + "\n";
    }
    const SafeWriteResult saved = SafeFileWriter::write(
        m_path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!saved.ok()) {
        m_warning += (m_warning.empty() ? "" : " ") + std::string("The send journal could not be saved. ") +
                     saved.message();
        return false;
    }
    return true;
}

PortJournal SendJournal::port(const std::string& portName)
{
    m_warning.clear();
    m_damaged = false;
    Ports ports = read();
    if (m_damaged) {
        // Replaced at once by an empty journal, so that it is reported once.
        m_warning.clear();
        update([](Ports&) {});
        return {};
    }
    const auto found = ports.find(portName);
    return found == ports.end() ? PortJournal{} : found->second;
}

bool SendJournal::recordErasing(const std::string& portName, unsigned block, std::int64_t time)
{
    m_warning.clear();
    return update([&](Ports& ports) { ports[portName][block] = {std::string(), time}; });
}

bool SendJournal::recordWritten(const std::string& portName, unsigned block, const std::string& hash,
                                std::int64_t time)
{
    m_warning.clear();
    return update([&](Ports& ports) { ports[portName][block] = {hash, time}; });
}

bool SendJournal::forget(const std::string& portName)
{
    m_warning.clear();
    return update([&](Ports& ports) { ports.erase(portName); });
}
