#include "cli/commands.h"

#include "cli/naming.h"
#include "cli/options.h"
#include "midifile/bankdocument.h"
#include "midiport/midisystem.h"
#include "midiport/wrapperktmidiinterface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
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

std::optional<unsigned> parseNumber(const std::string& text, unsigned max)
{
    const auto value = parseDecimal(text, 5);
    if (!value || *value > max) return std::nullopt;
    return value;
}

std::string minutes(std::uint64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
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

int dryRun(std::span<IBank* const> banks, std::uint16_t channel)
{
    std::uint64_t messages = 0, bytes = 0, pauses = 0, total = 0;
    for (IBank* bank : banks) {
        std::cout << bankTag(bank->getIndex()) << "  " << bank->getName() << '\n';
        const EventList& events = bank->buildEvents(channel);
        for (const auto& event : events) {
            if (!event) continue;
            std::cout << "  wait " << event->getOffset() << " s, " << describeMessage(*bank, event->getMessageData())
                      << '\n';
            ++messages;
            bytes += event->getMessageSize();
            pauses += static_cast<std::uint64_t>(std::max(0, event->getOffset()));
        }
        const std::uint64_t estimate = WrapperKtMidiInterface::estimateFor(events);
        total += estimate;
        std::cout << "  about " << estimate << " s\n";
    }
    std::cout << "total: " << banks.size() << (banks.size() == 1 ? " bank, " : " banks, ") << messages << " messages, "
              << bytes << " bytes, " << pauses << " s of pauses, about " << total << " s (" << minutes(total)
              << ") on channel " << channel + 1 << '\n';
    return kExitOk;
}

void drawProgress(const std::string& tag, int percent, std::uint64_t secondsLeft)
{
    const int shown = std::clamp(percent, 0, 100);
    std::string bar(30, ' ');
    std::fill_n(bar.begin(), shown * 30 / 100, '#');
    std::cerr << "\rsending " << tag << " [" << bar << "] " << shown << "%  " << minutes(secondsLeft) << " left  "
              << std::flush;
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
    if (names.empty()) std::cout << "no output ports detected\n";
    for (std::size_t i = 0; i < names.size(); ++i) std::cout << i << ": " << names[i] << '\n';
    return kExitOk;
}

int commandSend(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 7> specs{{{"help", false},
                                                      {"port", true},
                                                      {"channel", true},
                                                      {"bank", true},
                                                      {"no-firmware", false},
                                                      {"dry-run", false},
                                                      {"force", false}}};
    Options options;
    std::string error;
    if (!options.parse(args, specs, error)) return usage("send", error);
    if (options.has("help")) {
        std::cout << helpText("send");
        return kExitOk;
    }
    if (options.positional().size() != 1) return usage("send", "give exactly one bank file.");
    const bool dry = options.has("dry-run");
    const auto portArg = options.value("port");
    if (!portArg && !dry) return usage("send", "choose the output port with --port (see 'varno414 ports').");
    std::optional<unsigned> port;
    if (portArg) {
        port = parseNumber(*portArg, 65535);
        if (!port) return usage("send", "--port wants a port index such as 0, not '" + *portArg + "'.");
    }
    std::uint16_t channel = 0;
    if (const auto channelArg = options.value("channel")) {
        const auto number = parseNumber(*channelArg, 16);
        if (!number || *number < 1)
            return usage("send", "--channel wants a channel from 1 to 16, not '" + *channelArg + "'.");
        channel = static_cast<std::uint16_t>(*number - 1);
    }

    const std::string& path = options.positional().front();
    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    std::vector<IBank*> banks;
    if (options.has("bank")) {
        IBank* bank = selectBank(*doc, path, options.value("bank"), error);
        if (!bank) return fail(error);
        banks.push_back(bank);
    } else {
        for (const auto& bank : doc->banks()) banks.push_back(bank.get());
        // The same bank in two tracks would be written twice, and the bank
        // whose track it took would not be written at all.
        if (const auto duplicates = doc->duplicates(); !duplicates.empty() && !options.has("force"))
            return fail("'" + path + "' holds a bank more than once (" + describeDuplicates(duplicates) +
                        "): give --force to send all its banks anyway, or choose one with --bank.");
    }
    if (options.has("no-firmware"))
        std::erase_if(banks, [](IBank* bank) { return bank->getIndex() >= kSoundBankCount; });
    if (banks.empty()) return fail("'" + path + "' holds no bank to send without the firmware bank.");
    // Refuse before anything is sent: a half-sent table is worse than none.
    for (IBank* bank : banks)
        if (bank->isFirmwarePlaceholder())
            return fail("bank FIRMWARE in '" + path +
                        "' holds no device firmware and is never sent: leave it out with --no-firmware.");

    if (dry) return dryRun(banks, channel);

    const auto system = createMidiSystem();
    const auto names = system->outputPortNames();
    if (*port >= names.size())
        return fail(names.empty()
                        ? "there is no MIDI output port " + std::to_string(*port) + ": no output ports detected."
                        : "there is no MIDI output port " + std::to_string(*port) + ": the ports are 0 to " +
                              std::to_string(names.size() - 1) + " (see 'varno414 ports').");
    WrapperKtMidiInterface session(-1, static_cast<int>(*port), system);
    if (!session.isOpen())
        return fail("cannot open MIDI output port " + std::to_string(*port) + " (" + names[*port] +
                    "): " + session.error());

    std::vector<std::uint64_t> estimates;
    estimates.reserve(banks.size());
    for (IBank* bank : banks) estimates.push_back(WrapperKtMidiInterface::estimateFor(bank->buildEvents(channel)));

    const bool showProgress = VARNO_ISATTY(2) != 0;
    for (std::size_t b = 0; b < banks.size(); ++b) {
        IBank* bank = banks[b];
        const std::string tag = bankTag(bank->getIndex()) + " (" + bank->getName() + ")";
        std::uint64_t later = 0;
        for (std::size_t k = b + 1; k < estimates.size(); ++k) later += estimates[k];

        std::atomic<bool> done{false};
        bool sent = false;
        std::thread worker([&] {
            sent = session.sendBank(*bank, channel);
            done = true;
        });
        while (showProgress && !done) {
            const int percent = std::clamp(session.progress(), 0, 100);
            const std::uint64_t estimate = session.estimate() ? session.estimate() : estimates[b];
            drawProgress(tag, percent, estimate * static_cast<std::uint64_t>(100 - percent) / 100 + later);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        worker.join();
        if (showProgress) {
            if (sent) drawProgress(tag, 100, later);
            std::cerr << '\n';
        }
        if (!sent) {
            std::string sentence = "sending bank " + tag + " to port " + std::to_string(*port) + " failed";
            sentence += session.error().empty() ? std::string(".") : ": " + session.error();
            if (b > 0)
                sentence +=
                    " " + std::to_string(b) + " of " + std::to_string(banks.size()) + " banks were sent before it.";
            return fail(sentence);
        }
        std::cout << "sent " << tag << '\n';
    }
    return kExitOk;
}

} // namespace cli
