// varno414 test-interface: the loopback test of a MIDI interface.
#include "cli/commands.h"
#include "cli/naming.h"
#include "cli/options.h"
#include "midiport/ktmidiinterfacetest.h"
#include "midiport/midisystem.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <iostream>
#include <mutex>
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

constexpr int kExitStopped = 130;

std::atomic<int> g_testStopSignals{0};

extern "C" void countTestStopSignal(int)
{
    g_testStopSignals.fetch_add(1, std::memory_order_relaxed);
}

void printReport(const LoopbackReport& report)
{
    for (const auto& message : report.messages) {
        const LoopbackComparison& c = message.comparison;
        std::cout << groupedNumber(c.sent) << "-byte message: " << groupedNumber(c.received) << " bytes back, "
                  << groupedNumber(c.dropped) << " dropped, " << groupedNumber(c.changed) << " changed";
        if (c.firstDifference) {
            std::cout << ", first difference at byte " << groupedNumber(c.firstDifference->offset);
            if (c.firstDifference->offset < c.sent) std::cout << " (sent " << int{c.firstDifference->sent};
            if (c.firstDifference->received)
                std::cout << ", received " << int{*c.firstDifference->received} << ")";
            else if (c.firstDifference->offset < c.sent)
                std::cout << ", nothing received)";
        }
        if (message.bytesPerSecond > 0) std::cout << ", " << groupedNumber(message.bytesPerSecond) << " bytes/s";
        std::cout << '\n';
    }
    if (!report.messages.empty())
        std::cout << "bytes sent: " << groupedNumber(report.bytesSent)
                  << ", received: " << groupedNumber(report.bytesReceived)
                  << ", dropped: " << groupedNumber(report.dropped) << ", changed: " << groupedNumber(report.changed)
                  << '\n';
}

} // namespace

int commandTestInterface(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 4> specs{{{"help", false}, {"port", true}, {"in", true}, {"quick", false}}};
    Options options;
    std::string error;
    if (!options.parse(args, specs, error)) return usage("test-interface", error);
    if (options.has("help")) {
        std::cout << helpText("test-interface");
        return kExitOk;
    }
    if (!options.positional().empty()) return usage("test-interface", "takes no arguments besides its options.");
    if (!options.value("port") || !options.value("in"))
        return usage("test-interface", "needs --port N and --in M (see 'varno414 ports').");
    const auto portValue = parseDecimal(*options.value("port"), 5);
    const auto inValue = parseDecimal(*options.value("in"), 5);
    if (!portValue || *portValue > 0xFFFF) return usage("test-interface", "--port takes an output port's index.");
    if (!inValue || *inValue > 0xFFFF) return usage("test-interface", "--in takes an input port's index.");
    const std::size_t port = *portValue;
    const std::size_t in = *inValue;

    const auto system = createMidiSystem();
    const auto outputs = system->outputPortNames();
    const auto inputs = system->inputPortNames();
    if (port >= outputs.size())
        return usage("test-interface", outputs.empty() ? "no MIDI output port was found."
                                                       : "there is no output port " + std::to_string(port) + ".");
    if (in >= inputs.size())
        return usage("test-interface", inputs.empty() ? "no MIDI input port was found."
                                                      : "there is no input port " + std::to_string(in) + ".");
    const auto length = options.has("quick") ? KtMidiInterfaceTest::Length::quick : KtMidiInterfaceTest::Length::full;
    std::cerr << "testing " << outputs[port] << " -> " << inputs[in] << " (about "
              << (KtMidiInterfaceTest::plannedMs(system->outputPacing(), length) + 999) / 1000 << " s)\n";

    KtMidiInterfaceTest test(system, static_cast<int>(port), static_cast<int>(in), length);
    g_testStopSignals.store(0);
    const auto previousInt = std::signal(SIGINT, countTestStopSignal);
    const auto previousTerm = std::signal(SIGTERM, countTestStopSignal);
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    LoopbackReport report;
    std::thread worker([&] {
        LoopbackReport result = test.run();
        const std::lock_guard lock(mutex);
        report = std::move(result);
        done = true;
        finished.notify_all();
    });
    const bool terminal = VARNO_ISATTY(2) != 0;
    {
        std::unique_lock lock(mutex);
        // The signal handler only counts; this loop turns the count into a stop.
        while (!finished.wait_for(lock, std::chrono::milliseconds(200), [&] { return done; })) {
            if (g_testStopSignals.load(std::memory_order_relaxed) > 0) test.stop();
            if (terminal) std::cerr << "\rtesting: " << test.progress() << "%" << std::flush;
        }
    }
    worker.join();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (terminal) std::cerr << "\r              \r";

    printReport(report);
    switch (report.verdict) {
    case LoopbackVerdict::clean:
        std::cout << report.text << '\n';
        return kExitOk;
    case LoopbackVerdict::stopped:
        std::cerr << "varno414: " << report.text << '\n';
        return kExitStopped;
    case LoopbackVerdict::failed:
    case LoopbackVerdict::notRun:
        return fail(report.text);
    case LoopbackVerdict::damaged:
    case LoopbackVerdict::nothingBack:
        break;
    }
    std::cout << report.text << '\n';
    return kExitFailed;
}

} // namespace cli
