#include "cli/commands.h"

#include "cli/naming.h"
#include "cli/options.h"
#include "midifile/bankdocument.h"
#include "midiport/banktransfer.h"
#include "midiport/changeplan.h"
#include "midiport/midisystem.h"
#include "midiport/sleepinhibitor.h"
#include "midiport/wrapperktmidiinterface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string_view>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define VARNO_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define VARNO_ISATTY(fd) isatty(fd)
#endif

namespace cli {
namespace {

// What the shell reports for a process ended by Ctrl-C; a stopped send ends so.
constexpr int kExitStopped = 130;

std::optional<unsigned> parseNumber(const std::string& text, unsigned max)
{
    const auto value = parseDecimal(text, 5);
    if (!value || *value > max) return std::nullopt;
    return value;
}

std::string describeMessage(const IBank& bank, const std::vector<std::uint8_t>& message)
{
    const std::string size = " (" + std::to_string(message.size()) + " bytes)";
    const MessageClass kind = classifyMessage(message);
    if (kind.isErase()) return "erase block " + std::to_string(kind.block) + size;
    // A firmware message's header names no block the machine writes.
    if (kind.isBlockWrite() && bank.getIndex() < kSoundBankCount)
        return "write block " + std::to_string(kind.block) + size;
    return "send stored message" + size;
}

std::string seconds(std::uint64_t ms)
{
    const std::uint64_t hundredths = (ms + 5) / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%02llu s", static_cast<unsigned long long>(hundredths / 100),
                  static_cast<unsigned long long>(hundredths % 100));
    return text;
}

int dryRun(std::span<const std::unique_ptr<IBank>> banks, std::uint16_t channel, const PortPacing& pacing,
           std::span<const BlockMask> blocks)
{
    std::uint64_t messages = 0, bytes = 0, pauses = 0;
    for (std::size_t b = 0; b < banks.size(); ++b) {
        const auto& bank = banks[b];
        const BlockMask mask = b < blocks.size() ? blocks[b] : kWholeBank;
        std::cout << bankTag(bank->getIndex()) << "  " << printableName(bank->getName()) << '\n';
        const EventList& events = bank->buildEvents(channel);
        for (std::size_t e = 0; e < events.size(); ++e) {
            const auto& event = events[e];
            if (!event || !coversEvent(mask, e)) continue;
            std::cout << "  wait " << event->getOffset() << " s, " << describeMessage(*bank, event->getMessageData())
                      << '\n';
            ++messages;
            bytes += event->getMessageSize();
            pauses += static_cast<std::uint64_t>(std::max(0, event->getOffset()));
        }
        std::cout << "  about " << seconds(WrapperKtMidiInterface::bankMs(pacing, events, mask)) << '\n';
    }
    const std::uint64_t total = BankTransfer::plannedMs(pacing, banks, channel, blocks);
    std::cout << "total: " << banks.size() << (banks.size() == 1 ? " bank, " : " banks, ") << messages << " messages, "
              << bytes << " bytes, " << pauses << " s of pauses, about " << seconds(total) << " ("
              << formatDuration((total + 999) / 1000) << ") with the port's opening, on channel " << channel + 1
              << '\n';
    return kExitOk;
}

std::string tagOf(const IBank& bank)
{
    return bankTag(bank.getIndex()) + " (" + printableName(bank.getName()) + ")";
}

// A word as the shell takes it back unchanged.
std::string shellWord(const std::string& word)
{
#ifdef _WIN32
    // The command prompt and PowerShell take a backslash as it is and a word
    // in double quotes; a Windows file name holds no double quote.
    static constexpr std::string_view kPlain = "_./-:+,=\\";
#else
    static constexpr std::string_view kPlain = "_./-:+,=";
#endif
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || kPlain.find(c) != std::string_view::npos;
    });
    if (plain) return word;
#ifdef _WIN32
    return "\"" + word + "\"";
#else
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

// Signals arrive on any thread; the handler only counts them, and the
// command's own loop turns the count into a stop request.
std::atomic<int> g_stopSignals{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void countStopSignal(int)
{
    g_stopSignals.fetch_add(1, std::memory_order_relaxed);
}

// SIGINT and SIGTERM ask the running send to stop, for as long as it runs.
// A reader that goes away must not end the send in the middle of a bank.
class StopSignals {
public:
    StopSignals()
    {
        g_stopSignals.store(0);
        m_previousInt = install(SIGINT);
        m_previousTerm = install(SIGTERM);
#ifdef SIGPIPE
        m_previousPipe = std::signal(SIGPIPE, SIG_IGN);
#endif
    }
    ~StopSignals()
    {
        std::signal(SIGINT, m_previousInt);
        std::signal(SIGTERM, m_previousTerm);
#ifdef SIGPIPE
        std::signal(SIGPIPE, m_previousPipe);
#endif
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal finishes the bank in flight; a second one stops after the message in flight.
    static StopPoint requested()
    {
        const int count = g_stopSignals.load(std::memory_order_relaxed);
        return count == 0 ? StopPoint::none : count == 1 ? StopPoint::afterBank : StopPoint::afterMessage;
    }
    static void passTo(BankTransfer& transfer)
    {
        if (const StopPoint stop = requested(); stop != StopPoint::none) transfer.requestStop(stop);
    }

private:
    using Handler = void (*)(int);
    // A signal ignored when the tool started (a background job, nohup) stays
    // ignored: whoever started it did not want it stopped so.
    static Handler install(int signal)
    {
        const Handler previous = std::signal(signal, countStopSignal);
        if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
        return previous;
    }

    Handler m_previousInt;
    Handler m_previousTerm;
    Handler m_previousPipe = nullptr;
};

enum class ProgressStyle { none, lines, terminal };

// Everything the send prints while it runs: "sent" lines on standard output,
// flushed at once; progress on standard error, one updating line on a
// terminal or one line a bank otherwise.
class SendReport : public ITransferObserver {
public:
    SendReport(BankTransfer& transfer, ProgressStyle style) : m_transfer(transfer), m_style(style) {}

    void bankStarting(std::size_t) override
    {
        const TransferProgress progress = m_transfer.progress();
        const std::lock_guard lock(m_mutex);
        noteSleep(progress);
        if (m_style == ProgressStyle::lines) std::cerr << describeProgress(progress) << std::endl;
    }

    void bankSent(std::size_t position) override
    {
        // A signal that came during the bank stops the send here, on the
        // sending thread, before the next bank can begin.
        StopSignals::passTo(m_transfer);
        const std::lock_guard lock(m_mutex);
        clearLine();
        std::cout << "sent " << tagOf(m_transfer.bank(position)) << std::endl;
    }

    void update()
    {
        if (m_style != ProgressStyle::terminal) return;
        const TransferProgress progress = m_transfer.progress();
        const std::lock_guard lock(m_mutex);
        noteSleep(progress);
        std::string line = describeProgress(progress);
        if (progress.phase == TransferPhase::sending)
            line += " - " + bankTag(m_transfer.bank(progress.bank).getIndex()) + " " +
                    std::to_string(progress.bankPercent) + "%";
        if (progress.stopping == StopPoint::afterBank)
            line += " - stopping after this bank";
        else if (progress.stopping == StopPoint::afterMessage)
            line += " - stopping after this message";
        if (line == m_line) return;
        m_line = line;
        const std::size_t shown = line.size();
        if (line.size() < m_shown) line.append(m_shown - line.size(), ' ');
        std::cerr << '\r' << line << std::flush;
        m_shown = shown;
    }

    void finish()
    {
        const std::lock_guard lock(m_mutex);
        clearLine();
    }

private:
    void clearLine()
    {
        if (m_shown == 0) return;
        std::cerr << '\r' << std::string(m_shown, ' ') << '\r' << std::flush;
        m_shown = 0;
        m_line.clear();
    }

    void noteSleep(const TransferProgress& progress)
    {
        if (!progress.maySleep || m_sleepNoted || m_style == ProgressStyle::none) return;
        m_sleepNoted = true;
        clearLine();
        std::cerr << "varno414: note: the computer could not be asked to stay awake and may go to sleep during the "
                     "send.\n";
    }

    BankTransfer& m_transfer;
    ProgressStyle m_style;
    std::mutex m_mutex;
    std::size_t m_shown = 0;
    std::string m_line;
    bool m_sleepNoted = false;
};

struct SendRequest {
    std::string path;
    unsigned port = 0;
    std::uint16_t channel = 0;
    bool chosenBanks = false; // chosen with --bank
    bool changed = false;     // only what differs from the journal
    bool noFirmware = false;
    bool force = false; // sends a table that holds a bank twice
    ProgressStyle style = ProgressStyle::none;
};

// The command that sends what is left, starting with the bank at `position`.
std::string resumeCommand(const SendRequest& request, const BankTransfer& transfer, std::size_t position)
{
    std::string command = "varno414 send " + shellWord(request.path) + " --port " + std::to_string(request.port);
    if (request.channel != 0) command += " --channel " + std::to_string(request.channel + 1);
    if (request.noFirmware) command += " --no-firmware";
    if (request.force) command += " --force";
    std::string banks;
    for (std::size_t i = position; i < transfer.bankCount(); ++i)
        banks += (banks.empty() ? "" : ",") + bankTag(transfer.bank(i).getIndex());
    // The journal knows which blocks are left.
    if (request.changed) return command + (request.chosenBanks ? " --bank " + banks : std::string()) + " --changed";
    return command + (request.chosenBanks ? " --bank " + banks : " --from " + bankTag(transfer.bank(position).getIndex()));
}

int reportEnd(const SendRequest& request, const BankTransfer& transfer, const TransferResult& result)
{
    if (result.outcome == TransferOutcome::completed) return kExitOk;
    const std::size_t count = transfer.bankCount();
    const std::string sentText = std::to_string(result.banksSent) + " of " + std::to_string(count) +
                                 (count == 1 ? " bank was" : " banks were") + " sent";
    if (result.outcome == TransferOutcome::stopped) {
        std::cerr << "varno414: stopped: " << sentText << ".\n";
    } else {
        const std::size_t failed = result.resumeFrom.value_or(0);
        std::string sentence = "sending ";
        sentence += failed < count ? "bank " + tagOf(transfer.bank(failed)) + " " : std::string();
        sentence += "to port " + std::to_string(request.port) + " failed";
        sentence += result.message.empty() ? std::string(".") : ": " + result.message;
        std::cerr << "varno414: " << sentence << ' ' << sentText << ".\n";
    }
    if (result.incomplete)
        std::cerr << "varno414: bank " << tagOf(transfer.bank(*result.incomplete))
                  << " is incomplete: it may be left erased or half written on the machine and must be sent again.\n";
    if (const auto resume = transfer.resumePoint(result)) {
        std::cerr << "varno414: not sent: " << bankTag(resume->bankIndex);
        if (resume->banksLeft > 1) std::cerr << " to " << bankTag(transfer.bank(count - 1).getIndex());
        std::cerr << " (" << resume->banksLeft << (resume->banksLeft == 1 ? " bank" : " banks") << ", about "
                  << formatDuration(resume->secondsLeft) << ").\nto send the rest: "
                  << resumeCommand(request, transfer, resume->position) << '\n';
    }
    return result.outcome == TransferOutcome::stopped ? kExitStopped : kExitFailed;
}

// The name of the chosen output port, or an error sentence in `error`.
std::optional<std::string> portName(IMidiSystem& system, unsigned port, std::string& error)
{
    const auto names = system.outputPortNames();
    if (port < names.size()) return names[port];
    error = names.empty() ? "there is no MIDI output port " + std::to_string(port) + ": no output ports detected."
                          : "there is no MIDI output port " + std::to_string(port) + ": the ports are 0 to " +
                                std::to_string(names.size() - 1) + " (see 'varno414 ports').";
    return std::nullopt;
}

void warnJournal(const std::string& warning)
{
    if (!warning.empty()) std::cerr << "varno414: warning: " << warning << '\n';
}

int send(const SendRequest& request, const std::shared_ptr<IMidiSystem>& system, const std::string& port,
         std::vector<std::unique_ptr<IBank>> banks, std::vector<BlockMask> blocks, SendJournal& journal)
{
    const auto inhibitor = createPlatformSleepInhibitor();
    BankTransfer transfer(system, static_cast<int>(request.port), request.channel, std::move(banks), inhibitor.get(),
                          std::move(blocks));
    transfer.recordTo(&journal, port);
    SendReport report(transfer, request.style);
    const StopSignals signals;

    TransferResult result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = transfer.run(&report);
        done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
        StopSignals::passTo(transfer);
        report.update();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    report.finish();
    warnJournal(result.journalWarning);
    if (result.error == SendError::portNotOpen && result.banksSent == 0 && !result.incomplete)
        return fail("cannot open MIDI output port " + std::to_string(request.port) + " (" + port +
                    "): " + result.message);
    return reportEnd(request, transfer, result);
}

} // namespace

int commandPorts(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 1> specs{{{"help", false}}};
    Options options;
    std::string error;
    if (!options.parse(args, specs, error)) return usage("ports", error);
    if (options.has("help")) {
        std::cout << helpText("ports");
        return kExitOk;
    }
    if (!options.positional().empty()) return usage("ports", "takes no arguments.");
    const auto system = createMidiSystem();
    const auto names = system->outputPortNames();
    if (names.empty()) {
        const std::string reason = system->noPortsReason(true);
        std::cout << "no output ports detected" << (reason.empty() ? std::string() : ": " + reason) << '\n';
    }
    for (std::size_t i = 0; i < names.size(); ++i) std::cout << i << ": " << names[i] << '\n';
    const auto inputs = system->inputPortNames();
    if (!inputs.empty()) std::cout << "input ports:\n";
    for (std::size_t i = 0; i < inputs.size(); ++i) std::cout << i << ": " << inputs[i] << '\n';
    return kExitOk;
}

int commandSend(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 11> specs{{{"help", false},
                                                      {"changed", false},
                                                      {"forget", false},
                                                      {"port", true},
                                                      {"channel", true},
                                                      {"bank", true},
                                                      {"from", true},
                                                      {"no-firmware", false},
                                                      {"quiet", false},
                                                      {"dry-run", false},
                                                      {"force", false}}};
    Options options;
    std::string error;
    if (!options.parse(args, specs, error)) return usage("send", error);
    if (options.has("help")) {
        std::cout << helpText("send");
        return kExitOk;
    }
    const bool forget = options.has("forget");
    if (options.positional().size() > 1 || (options.positional().empty() && !forget))
        return usage("send", "give exactly one bank file.");
    if (options.has("bank") && options.has("from")) return usage("send", "give --bank or --from, not both.");
    SendRequest request;
    const bool dry = options.has("dry-run");
    const auto portArg = options.value("port");
    if (!portArg && !dry) return usage("send", "choose the output port with --port (see 'varno414 ports').");
    if (portArg) {
        const auto port = parseNumber(*portArg, 65535);
        if (!port) return usage("send", "--port wants a port index such as 0, not '" + *portArg + "'.");
        request.port = *port;
    }
    if (const auto channelArg = options.value("channel")) {
        const auto number = parseNumber(*channelArg, 16);
        if (!number || *number < 1)
            return usage("send", "--channel wants a channel from 1 to 16, not '" + *channelArg + "'.");
        request.channel = static_cast<std::uint16_t>(*number - 1);
    }
    std::optional<std::uint16_t> from;
    if (const auto fromArg = options.value("from")) {
        from = parseBank(*fromArg);
        if (!from) return usage("send", "--from wants a bank such as S12, not '" + *fromArg + "'.");
    }
    if (forget && !portArg) return usage("send", "--forget needs the port whose journal it clears (--port).");
    request.changed = options.has("changed");
    if (request.changed && !portArg)
        return usage("send", "--changed needs the port whose journal it compares with (--port).");
    std::shared_ptr<IMidiSystem> system;
    std::string port;
    SendJournal journal(SendJournal::defaultPath());
    if (portArg) {
        system = createMidiSystem();
        const auto name = portName(*system, request.port, error);
        if (!name) return fail(error);
        port = *name;
    }
    if (forget) {
        if (!journal.forget(port)) return fail("cannot forget what was sent to " + port + ": " + journal.warning());
        std::cout << "forgot what this computer sent to " << port << '\n';
        if (options.positional().empty()) return kExitOk;
    }
    request.path = options.positional().front();
    request.chosenBanks = options.has("bank");
    request.noFirmware = options.has("no-firmware");
    request.force = options.has("force");
    if (!options.has("quiet")) request.style = VARNO_ISATTY(2) != 0 ? ProgressStyle::terminal : ProgressStyle::lines;

    const std::string& path = request.path;
    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    std::vector<IBank*> banks;
    if (request.chosenBanks) {
        // "S03,S07,S12": each bank once, sent in index order.
        const std::string list = *options.value("bank");
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            IBank* bank = selectBank(*doc, path, list.substr(at, comma - at), error);
            if (!bank) return fail(error);
            if (std::find(banks.begin(), banks.end(), bank) == banks.end()) banks.push_back(bank);
            at = comma + 1;
        }
        std::stable_sort(banks.begin(), banks.end(),
                         [](IBank* a, IBank* b) { return a->getIndex() < b->getIndex(); });
    } else {
        for (const auto& bank : doc->banks()) banks.push_back(bank.get());
        // The same bank in two tracks would be written twice, and the bank
        // whose track it took would not be written at all.
        if (const auto duplicates = doc->duplicates(); !duplicates.empty() && !options.has("force"))
            return fail("'" + path + "' holds a bank more than once (" + describeDuplicates(duplicates) +
                        "): give --force to send all its banks anyway, or choose one with --bank.");
    }
    if (from) {
        const auto start =
            std::find_if(banks.begin(), banks.end(), [&](IBank* bank) { return bank->getIndex() == *from; });
        if (start == banks.end()) return fail("'" + path + "' holds no bank " + bankTag(*from) + " to start from.");
        banks.erase(banks.begin(), start);
    }
    if (request.noFirmware)
        std::erase_if(banks, [](IBank* bank) { return bank->getIndex() >= kSoundBankCount; });
    // The placeholder is never sent; the sound banks beside it are.
    constexpr const char* kPlaceholderNote = "FIRMWARE holds no device firmware: not sent";
    if (std::erase_if(banks, [](IBank* bank) { return bank->isFirmwarePlaceholder(); }) > 0) {
        if (banks.empty()) return fail(std::string(kPlaceholderNote) + ".");
        std::cout << kPlaceholderNote << std::endl;
    }
    if (banks.empty()) return fail("'" + path + "' holds no bank to send without the firmware bank.");

    // The send works on copies, so the file's banks stay as they were read.
    std::vector<std::unique_ptr<IBank>> copies;
    copies.reserve(banks.size());
    for (IBank* bank : banks) copies.push_back(bank->clone());
    std::vector<BlockMask> blocks;
    if (request.changed) {
        const ChangePlan plan = planChanges(copies, request.channel, journal.port(port));
        warnJournal(journal.warning());
        // A bank with nothing to send adds no time.
        const std::uint64_t planned =
            BankTransfer::plannedMs(system->outputPacing(), copies, request.channel, plan.blocks);
        std::cout << describeChanges(plan, copies, port, planned) << std::endl;
        std::vector<std::unique_ptr<IBank>> changed;
        for (std::size_t i = 0; i < copies.size(); ++i) {
            if (plan.blocks[i] == 0) continue;
            changed.push_back(std::move(copies[i]));
            blocks.push_back(plan.blocks[i]);
        }
        copies = std::move(changed);
        if (copies.empty()) return kExitOk;
    }
    if (dry) return dryRun(copies, request.channel, (system ? system : createMidiSystem())->outputPacing(), blocks);
    return send(request, system, port, std::move(copies), std::move(blocks), journal);
}

} // namespace cli
