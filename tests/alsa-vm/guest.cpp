// The program that runs inside the test virtual machine (and, for "expect"
// and "check", on the host): sends a factory sound bank through the
// program's own ALSA backend and checks what came out at the far end.
#include "stream_check.h"

// Until the port layer is part of the build, the guest falls back on its own
// bare sequencer sender, which proves the machine and the cable but not the
// program; it says so in its output.
#if __has_include("midiport/wrapperktmidiinterface.h")
#define ALSAVM_HAVE_SESSION 1
#include "midiport/alsa/alsamidisystem.h"
#include "midiport/banktransfer.h"
#include "midiport/changeplan.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/firmware.h"
#include "model/sound.h"
#else
#define ALSAVM_HAVE_SESSION 0
#endif

#include "audio/audiooutput.h"
#include "audio/slotaudio.h"
#include "audio/slotplayer.h"
#include "model/sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <span>
#include <string>
#include <thread>
#include <vector>

using namespace alsavm;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every line the host looks for starts with this tag.
void result(const std::string& line)
{
    std::cout << "ALSAVM " << line << std::endl;
}

struct SeqDeleter {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using SeqPtr = std::unique_ptr<snd_seq_t, SeqDeleter>;

#if ALSAVM_HAVE_SESSION
// The port lists exactly as the editor shows them.
void listProjectPorts()
{
    const auto system = createMidiSystem();
    for (const auto& name : system->outputPortNames()) result("OUTPORT " + name);
    for (const auto& name : system->inputPortNames()) result("INPORT " + name);
}

#endif

void listSequencerPorts()
{
    snd_seq_t* raw = nullptr;
    if (snd_seq_open(&raw, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) {
        result("SEQPORTS none (cannot open the sequencer)");
        return;
    }
    SeqPtr seq(raw);
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq.get(), client) >= 0) {
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq.get(), port) >= 0)
            result("SEQPORT " + std::to_string(snd_seq_port_info_get_client(port)) + ":" +
                   std::to_string(snd_seq_port_info_get_port(port)) + " " + snd_seq_client_info_get_name(client) +
                   " / " + snd_seq_port_info_get_name(port));
    }
}

// Sends the expected stream straight through the sequencer in 256-byte
// events. bytesPerSecond 0 sends everything at once, without pauses: the
// deliberately broken sender that shows the cable check can fail.
bool rawSend(const std::string& portName, const std::vector<ExpectedMessage>& messages, double bytesPerSecond)
{
    snd_seq_t* raw = nullptr;
    if (snd_seq_open(&raw, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return false;
    SeqPtr seq(raw);
    snd_seq_set_client_name(seq.get(), "alsavm raw");
    const int own = snd_seq_create_simple_port(seq.get(), "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                               SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    int destClient = -1;
    int destPort = -1;
    while (destClient < 0 && snd_seq_query_next_client(seq.get(), client) >= 0) {
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq.get(), port) >= 0) {
            if (portName ==
                std::string(snd_seq_client_info_get_name(client)) + ":" + snd_seq_port_info_get_name(port)) {
                destClient = snd_seq_port_info_get_client(port);
                destPort = snd_seq_port_info_get_port(port);
                break;
            }
        }
    }
    if (own < 0 || destClient < 0 || snd_seq_connect_to(seq.get(), own, destClient, destPort) < 0) return false;

    for (const auto& m : messages) {
        if (bytesPerSecond > 0 && m.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m.pauseMs));
        // Pace each message on its own: a pause must not become credit.
        const auto start = Clock::now();
        double sent = 0;
        for (std::size_t at = 0; at < m.bytes.size(); at += 256) {
            const std::size_t n = std::min<std::size_t>(256, m.bytes.size() - at);
            snd_seq_event_t ev;
            snd_seq_ev_clear(&ev);
            snd_seq_ev_set_source(&ev, own);
            snd_seq_ev_set_subs(&ev);
            snd_seq_ev_set_direct(&ev);
            if (m.bytes[0] == 0xF0)
                snd_seq_ev_set_sysex(&ev, n, const_cast<std::uint8_t*>(m.bytes.data() + at));
            else
                snd_seq_ev_set_controller(&ev, m.bytes[0] & 0x0F, m.bytes[1], m.bytes[2]);
            if (snd_seq_event_output_direct(seq.get(), &ev) < 0) return false;
            sent += static_cast<double>(n);
            if (bytesPerSecond > 0) {
                const double due = sent / bytesPerSecond;
                const double now = secondsSince(start);
                if (due > now) std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
            }
        }
        if (bytesPerSecond > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    snd_seq_drain_output(seq.get());
    return true;
}

// Reads a rawmidi input in a thread, stamping each read with its time.
class RawmidiReader {
public:
    bool open(const std::string& device)
    {
        if (snd_rawmidi_open(&m_in, nullptr, device.c_str(), SND_RAWMIDI_NONBLOCK) < 0) return false;
        // A full input buffer drops bytes; the reader must not be the weak link.
        snd_rawmidi_params_t* params = nullptr;
        snd_rawmidi_params_alloca(&params);
        snd_rawmidi_params_current(m_in, params);
        snd_rawmidi_params_set_buffer_size(m_in, params, 65536);
        snd_rawmidi_params(m_in, params);
        m_thread = std::thread([this] { run(); });
        return true;
    }
    Received stop()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_in) snd_rawmidi_close(m_in);
        m_in = nullptr;
        return std::move(m_received);
    }
    ~RawmidiReader() { stop(); }

private:
    void run()
    {
        const auto start = Clock::now();
        const int count = snd_rawmidi_poll_descriptors_count(m_in);
        std::vector<pollfd> fds(static_cast<std::size_t>(count));
        snd_rawmidi_poll_descriptors(m_in, fds.data(), static_cast<unsigned>(count));
        std::uint8_t buf[4096];
        while (!m_stop) {
            if (poll(fds.data(), fds.size(), 50) <= 0) continue;
            const ssize_t n = snd_rawmidi_read(m_in, buf, sizeof buf);
            if (n > 0) m_received.append(buf, static_cast<std::size_t>(n), secondsSince(start));
        }
    }

    snd_rawmidi_t* m_in = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    Received m_received;
};

struct PcmDeleter {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmDeleter>;

// Plays a factory CRASH slot with the program's slot player through its ALSA
// PCM backend on the "default" device (ALSA_CARD names the loopback card)
// while recording the loopback's other end, and checks that exactly the
// machine's samples came out, held as the player holds them.
int playOnce()
{
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, "hw:Loopback,1,0", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        result("PLAY FAIL the loopback's capture side cannot be opened");
        return 1;
    }
    PcmPtr capture(raw);
    // What the player's "default" (plug, softvol, dmix) gives the card.
    constexpr unsigned kRate = 48000;
    if (snd_pcm_set_params(capture.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, kRate, 0,
                           1000000) < 0 ||
        snd_pcm_start(capture.get()) < 0) {
        result("PLAY FAIL the loopback's capture side cannot be set up");
        return 1;
    }
    std::vector<std::int16_t> captured;
    std::atomic<bool> recording{true};
    int overruns = 0;
    std::thread recorder([&] {
        std::vector<std::int16_t> block(2 * 4800);
        while (recording) {
            snd_pcm_wait(capture.get(), 50);
            const snd_pcm_sframes_t got = snd_pcm_readi(capture.get(), block.data(), 4800);
            if (got == -EAGAIN) continue;
            if (got < 0) {
                ++overruns;
                snd_pcm_recover(capture.get(), static_cast<int>(got), 1);
                snd_pcm_start(capture.get());
                continue;
            }
            captured.insert(captured.end(), block.begin(), block.begin() + 2 * got);
        }
    });

    const std::vector<std::uint8_t> slot = CSound(0).content(4)->getData();
    std::mutex mutex;
    std::condition_variable ended;
    std::optional<SlotPlayer::Ending> ending;
    std::string reason;
    const auto system = createPlatformAudioSystem();
    const bool available = system->available(reason);
    {
        SlotPlayer player(system, [&](const SlotPlayer::Ending& e) {
            const std::lock_guard lock(mutex);
            ending = e;
            ended.notify_all();
        });
        player.play(slot, 1);
        std::unique_lock lock(mutex);
        ended.wait_for(lock, std::chrono::seconds(20), [&] { return ending.has_value(); });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recording = false;
    recorder.join();
    if (!available || !ending || ending->end != SlotPlayer::End::Finished) {
        result("PLAY FAIL the player did not finish: " + (ending ? ending->error : std::string("no ending")) + " " +
               reason);
        return 1;
    }

    // Left and right alike, from the first sample that sounds.
    const auto sound = std::span(slot).first(audio::usedLength(slot));
    const std::vector<std::int16_t> expected = audio::holdToRate(sound, kRate, 1);
    const auto firstExpected = std::find_if(expected.begin(), expected.end(), [](std::int16_t v) { return v != 0; });
    std::size_t first = 0;
    while (first + 1 < captured.size() && captured[first] == 0 && captured[first + 1] == 0) first += 2;
    const std::size_t want = static_cast<std::size_t>(expected.end() - firstExpected);
    std::size_t same = 0;
    std::size_t firstDifference = want;
    int worst = 0;
    for (std::size_t i = 0; i < want && first + 2 * i + 1 < captured.size(); ++i) {
        const int left = captured[first + 2 * i];
        const int right = captured[first + 2 * i + 1];
        const int wanted = firstExpected[static_cast<std::ptrdiff_t>(i)];
        worst = std::max({worst, std::abs(left - wanted), std::abs(right - wanted)});
        same += left == wanted && right == wanted;
        if ((left != wanted || right != wanted) && firstDifference == want) firstDifference = i;
    }
    const std::string detail = "samples=" + std::to_string(want) + " identical=" + std::to_string(same) +
                               " largest_difference=" + std::to_string(worst) +
                               " first_difference=" + std::to_string(firstDifference) +
                               " captured_frames=" + std::to_string(captured.size() / 2) +
                               " capture_overruns=" + std::to_string(overruns);
    result(std::string(same == want ? "PLAY PASS " : "PLAY FAIL ") + detail);
    return same == want ? 0 : 1;
}

// An emulated machine on a loaded host can starve the player or the recorder
// for a moment, which drops audio the code under test delivered intact; so a
// dropout earns another try, and one intact pass of the whole slot is the proof.
int playCheck()
{
    constexpr int kAttempts = 3;
    for (int attempt = 1; attempt < kAttempts; ++attempt)
        if (playOnce() == 0) return 0;
    return playOnce();
}

int usage()
{
    std::cerr << "usage: alsavm_guest expect BANK CHANNEL INDEXFILE BYTESFILE\n"
                 "       alsavm_guest check INDEXFILE BYTESFILE RECEIVEDFILE TOLERANCE_MS [--expect-loss]\n"
                 "       alsavm_guest ports\n"
                 "       alsavm_guest send PORTNAME BANK CHANNEL [raw|unpaced]\n"
                 "       alsavm_guest virmidi RAWMIDI PORTNAME BANK CHANNEL [raw]\n"
                 "       alsavm_guest changed RAWMIDI PORTNAME BANK CHANNEL\n"
                 "       alsavm_guest play\n";
    return 2;
}

std::uint16_t number(const char* text)
{
    return static_cast<std::uint16_t>(std::strtoul(text, nullptr, 10));
}

#if ALSAVM_HAVE_SESSION
// Sends the bank the way the editor does: one session on the named output
// port. "unpaced" switches the backend's cable pacing off (test only).
bool projectSend(const std::string& portName, std::uint16_t bankIndex, std::uint16_t channel, bool paced,
                 bool tryFirmware)
{
    std::shared_ptr<IMidiSystem> system = paced ? createMidiSystem() : std::make_shared<AlsaMidiSystem>(false);
    const auto names = system->outputPortNames();
    const auto found = std::find(names.begin(), names.end(), portName);
    if (found == names.end()) {
        result("SEND FAIL no output port named \"" + portName + "\"");
        return false;
    }
    WrapperKtMidiInterface session(-1, static_cast<int>(found - names.begin()), system);
    if (!session.isOpen()) {
        result("SEND FAIL " + session.error());
        return false;
    }
    if (tryFirmware) {
        // The factory firmware is a placeholder: the session must refuse it
        // and send nothing, which the byte-exact check at the far end proves.
        CFirmware firmware;
        const bool sent = session.sendBank(firmware, channel);
        result(std::string("FIRMWARE ") + (sent ? "SENT (must never happen)" : "refused: " + session.error()));
        if (sent) return false;
    }
    CSound bank(bankIndex);
    if (!session.sendBank(bank, channel)) {
        result("SEND FAIL " + session.error());
        return false;
    }
    return true;
}

// After a (recorded) full send of the bank, one changed CRASH: "changes
// only" must put exactly the erase and the write of the bank's second block
// on the wire, with the changed bytes, after the port's silencing.
int changedSend(const char* rawmidi, const std::string& portName, std::uint16_t bankIndex, std::uint16_t channel)
{
    const std::shared_ptr<IMidiSystem> system = createMidiSystem();
    const auto names = system->outputPortNames();
    const auto found = std::find(names.begin(), names.end(), portName);
    if (found == names.end()) {
        result("CHANGED FAIL no output port named \"" + portName + "\"");
        return 1;
    }
    SendJournal journal("/tmp/varno414/send-journal.txt");
    CSound sent(bankIndex);
    for (const PlannedBlock& block : plannedBlocks(sent, channel))
        journal.recordWritten(portName, block.block, block.hash, system->clock().now());
    std::vector<std::unique_ptr<IBank>> banks;
    banks.push_back(std::make_unique<CSound>(bankIndex));
    const_cast<CContent*>(banks.front()->content(4))->getData()[1000] ^= 0x5A;
    const ChangePlan plan = planChanges(banks, channel, journal.port(portName));
    if (plan.blocks != std::vector<BlockMask>{kSecondBlock}) {
        result("CHANGED FAIL the plan holds " + std::to_string(plan.blockCount) + " blocks");
        return 1;
    }
    std::vector<ExpectedMessage> expected;
    for (unsigned n = 0; n <= 16; ++n) expected.push_back({0, {static_cast<std::uint8_t>(0xB0 + (n % 16)), 0x7B, 0x00}});
    const EventList& events = banks.front()->buildEvents(channel);
    for (std::size_t i = 2; i < events.size(); ++i)
        expected.push_back({static_cast<std::uint32_t>(events[i]->getOffset()) * 1000u, events[i]->getMessageData()});

    RawmidiReader reader;
    if (!reader.open(rawmidi)) {
        result(std::string("CHANGED FAIL cannot open ") + rawmidi);
        return 1;
    }
    BankTransfer transfer(system, static_cast<int>(found - names.begin()), channel, std::move(banks), nullptr,
                          plan.blocks);
    transfer.recordTo(&journal, portName);
    const TransferResult outcome = transfer.run();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Received received = reader.stop();
    const auto r = checkStream(expected, received, 20);
    const PortJournal after = journal.port(portName);
    const auto second = after.find(2u * bankIndex + 1u);
    const bool ok = outcome.outcome == TransferOutcome::completed && r.passed() && second != after.end() &&
                    second->second.known();
    result(std::string("CHANGED ") + (ok ? "PASS: " : "FAIL: ") + r.detail);
    return ok ? 0 : 1;
}

#endif

bool send(const std::string& portName, std::uint16_t bank, std::uint16_t channel, const std::string& how,
          bool tryFirmware)
{
#if ALSAVM_HAVE_SESSION
    if (how != "raw") return projectSend(portName, bank, channel, how != "unpaced", tryFirmware);
#else
    (void)tryFirmware;
#endif
    result("SENDER raw: the guest's own sequencer sender, not the program's backend");
    return rawSend(portName, expectedForSoundBank(bank, channel), how == "unpaced" ? 0 : 3093);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    if (mode == "expect" && argc == 6) {
        return saveExpected(expectedForSoundBank(number(argv[2]), number(argv[3])), argv[4], argv[5]) ? 0 : 1;
    }
    if (mode == "check" && (argc == 6 || argc == 7)) {
        std::vector<ExpectedMessage> expected;
        Received received;
        std::string error;
        if (!loadExpected(expected, argv[2], argv[3], error) || !loadReceived(received, argv[4], error)) {
            std::cerr << error << '\n';
            return 1;
        }
        const auto r = checkStream(expected, received, std::strtod(argv[5], nullptr));
        const bool expectLoss = argc == 7 && std::string(argv[6]) == "--expect-loss";
        std::cout << (r.passed() ? "complete and paced: " : "FAULTY: ") << r.detail << '\n';
        if (expectLoss) return !r.complete && r.receivedBytes < r.expectedBytes ? 0 : 1;
        return r.passed() ? 0 : 1;
    }
    if (mode == "play" && argc == 2) return playCheck();
    if (mode == "ports" && argc == 2) {
        listSequencerPorts();
#if ALSAVM_HAVE_SESSION
        listProjectPorts();
#endif
        return 0;
    }
    if (mode == "send" && (argc == 5 || argc == 6)) {
        const auto start = Clock::now();
        const bool ok = send(argv[2], number(argv[3]), number(argv[4]), argc == 6 ? argv[5] : "", true);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", secondsSince(start));
        result(std::string("SENT ") + (ok ? "ok" : "failed") + " port=\"" + argv[2] + "\" seconds=" + seconds);
        return ok ? 0 : 1;
    }
#if ALSAVM_HAVE_SESSION
    if (mode == "changed" && argc == 6) return changedSend(argv[2], argv[3], number(argv[4]), number(argv[5]));
#endif
    if (mode == "virmidi" && (argc == 6 || argc == 7)) {
        RawmidiReader reader;
        if (!reader.open(argv[2])) {
            result(std::string("VIRMIDI FAIL cannot open ") + argv[2]);
            return 1;
        }
        const auto start = Clock::now();
        const bool ok = send(argv[3], number(argv[4]), number(argv[5]), argc == 7 ? argv[6] : "", false);
        const double seconds = secondsSince(start);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const Received received = reader.stop();
        const auto r = checkStream(expectedForSoundBank(number(argv[4]), number(argv[5])), received, 20);
        char line[96];
        std::snprintf(line, sizeof line, " send=%s seconds=%.1f: ", ok ? "ok" : "failed", seconds);
        result(std::string("VIRMIDI ") + (ok && r.passed() ? "PASS" : "FAIL") + line + r.detail);
        return ok && r.passed() ? 0 : 1;
    }
    return usage();
}
