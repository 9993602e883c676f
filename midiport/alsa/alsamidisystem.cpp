#include "midiport/alsa/alsamidisystem.h"

#include "midiport/alsa/sysexpacer.h"
#include "midiport/systemclock.h"

#include <alsa/asoundlib.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr const char* kClientName = "VARNO414Editor";

struct SeqCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using SeqHandle = std::unique_ptr<snd_seq_t, SeqCloser>;

struct ClientInfoFree {
    void operator()(snd_seq_client_info_t* info) const { snd_seq_client_info_free(info); }
};
struct PortInfoFree {
    void operator()(snd_seq_port_info_t* info) const { snd_seq_port_info_free(info); }
};

// alsa-lib prints its own complaints to stderr (for example when there is no
// sequencer device); we report failures ourselves.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

SeqHandle openSequencer(int streams)
{
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", streams, 0) < 0) return nullptr;
    return SeqHandle(seq);
}

struct PortAddress {
    int client;
    int port;
    std::string name;
};

// Ports that take (or give) data and allow subscriptions, in client and port
// number order, which stays the same while the devices stay the same.
std::vector<PortAddress> listPorts(bool outputs)
{
    std::vector<PortAddress> ports;
    SeqHandle seq = openSequencer(SND_SEQ_OPEN_DUPLEX);
    if (!seq) return ports;
    const unsigned wanted = outputs ? (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE)
                                    : (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    const int self = snd_seq_client_id(seq.get());

    snd_seq_client_info_t* clientRaw = nullptr;
    snd_seq_port_info_t* portRaw = nullptr;
    if (snd_seq_client_info_malloc(&clientRaw) < 0) return ports;
    std::unique_ptr<snd_seq_client_info_t, ClientInfoFree> clientInfo(clientRaw);
    if (snd_seq_port_info_malloc(&portRaw) < 0) return ports;
    std::unique_ptr<snd_seq_port_info_t, PortInfoFree> portInfo(portRaw);

    snd_seq_client_info_set_client(clientRaw, -1);
    while (snd_seq_query_next_client(seq.get(), clientRaw) >= 0) {
        const int client = snd_seq_client_info_get_client(clientRaw);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;
        snd_seq_port_info_set_client(portRaw, client);
        snd_seq_port_info_set_port(portRaw, -1);
        while (snd_seq_query_next_port(seq.get(), portRaw) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(portRaw);
            if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
            ports.push_back(
                {client, snd_seq_port_info_get_port(portRaw),
                 std::string(snd_seq_client_info_get_name(clientRaw)) + ":" + snd_seq_port_info_get_name(portRaw)});
        }
    }
    return ports;
}

std::vector<std::string> namesOf(const std::vector<PortAddress>& ports)
{
    std::vector<std::string> names;
    names.reserve(ports.size());
    for (const auto& port : ports) names.push_back(port.name);
    return names;
}

class AlsaOutput : public IMidiOutput, private ISysexSink {
public:
    AlsaOutput(SeqHandle seq, int port, IMidiOutputListener& listener, IClock& clock, bool paced)
        : m_seq(std::move(seq)), m_port(port), m_listener(listener), m_clock(clock), m_paced(paced)
    {
        m_listener.portNotification(PortNotification::opened, 0);
    }

    ~AlsaOutput() override
    {
        snd_seq_drain_output(m_seq.get());
        m_seq.reset();
        m_listener.portNotification(PortNotification::closed, 0);
    }

    bool sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        if ((status & 0xF0) != 0xB0) return false; // only control changes are ever sent
        snd_seq_event_t event = newEvent();
        snd_seq_ev_set_controller(&event, status & 0x0F, data1, data2);
        return snd_seq_event_output(m_seq.get(), &event) >= 0 && drain();
    }

    bool startLong(std::span<const std::uint8_t> message) override
    {
        // Blocks for the message's cable time, so the release finds it done.
        m_pending = sendPacedSysex(message, *this, m_clock, m_paced);
        if (m_pending) m_listener.portNotification(PortNotification::done, 0);
        return m_pending;
    }

    LongRelease releaseLong() override
    {
        if (!m_pending) return LongRelease::failed;
        m_pending = false;
        return LongRelease::released;
    }

private:
    snd_seq_event_t newEvent() const
    {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, m_port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        return event;
    }

    bool writeChunk(std::span<const std::uint8_t> chunk) override
    {
        snd_seq_event_t event = newEvent();
        // The sequencer only reads the bytes of a variable-length event.
        snd_seq_ev_set_sysex(&event, static_cast<unsigned>(chunk.size()), const_cast<std::uint8_t*>(chunk.data()));
        return snd_seq_event_output(m_seq.get(), &event) >= 0;
    }

    bool drain() override { return snd_seq_drain_output(m_seq.get()) >= 0; }

    SeqHandle m_seq;
    int m_port;
    IMidiOutputListener& m_listener;
    IClock& m_clock;
    bool m_paced;
    bool m_pending = false;
};

// Input is read on a thread of its own, which a pipe wakes to end it; the
// sequencer handle is only touched by that thread while it runs.
class AlsaInput : public IMidiInput {
public:
    explicit AlsaInput(SeqHandle seq) : m_seq(std::move(seq)) {}
    ~AlsaInput() override { reset(); }

    bool start(IMidiInputListener& listener) override
    {
        if (m_started) return false;
        if (::pipe(m_wake.data()) < 0) return false;
        m_started = true;
        // A block message arrives in hundreds of events; room for them all
        // keeps a busy machine from losing input that the cable carried.
        snd_seq_set_client_pool_input(m_seq.get(), 2000);
        snd_seq_set_input_buffer_size(m_seq.get(), 1 << 20);
        snd_seq_nonblock(m_seq.get(), 1);
        m_thread = std::thread([this, &listener] { readLoop(listener); });
        return true;
    }

    void reset() override
    {
        if (m_thread.joinable()) {
            const char wake = 0;
            while (::write(m_wake[1], &wake, 1) < 0 && errno == EINTR) {
            }
            m_thread.join();
        }
        for (int& fd : m_wake)
            if (fd >= 0) ::close(std::exchange(fd, -1));
        if (m_seq) snd_seq_drop_input(m_seq.get());
    }

private:
    void readLoop(IMidiInputListener& listener)
    {
        const int count = snd_seq_poll_descriptors_count(m_seq.get(), POLLIN);
        std::vector<pollfd> fds(static_cast<std::size_t>(std::max(0, count)) + 1);
        snd_seq_poll_descriptors(m_seq.get(), fds.data(), static_cast<unsigned>(fds.size() - 1), POLLIN);
        fds.back() = {m_wake[0], POLLIN, 0};
        for (;;) {
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds.back().revents != 0) return;
            snd_seq_event_t* event = nullptr;
            // -ENOSPC: the kernel's queue overran; what was lost shows in the comparison.
            for (int result; (result = snd_seq_event_input(m_seq.get(), &event)) >= 0 || result == -ENOSPC;) {
                if (result < 0 || event == nullptr || event->type != SND_SEQ_EVENT_SYSEX) continue;
                listener.sysexReceived(
                    {static_cast<const std::uint8_t*>(event->data.ext.ptr), event->data.ext.len});
            }
        }
    }

    SeqHandle m_seq;
    bool m_started = false;
    std::array<int, 2> m_wake{-1, -1};
    std::thread m_thread;
};

} // namespace

struct AlsaMidiSystem::Impl {
    bool paced;
    SystemClock clock;
    std::mutex mutex;
    // What the port lists last showed, so an index opens the port the user saw.
    std::vector<PortAddress> outputs;
    std::vector<PortAddress> inputs;
    bool listedOutputs = false;
    bool listedInputs = false;
    // A client of our own subscribed to the sequencer's announce port.
    SeqHandle watcher;
    bool watching = false;
    std::uint64_t changes = 0;
};

AlsaMidiSystem::AlsaMidiSystem(bool paced) : m_impl(std::make_unique<Impl>())
{
    m_impl->paced = paced;
    snd_lib_error_set_handler(&quietAlsa);
}

AlsaMidiSystem::~AlsaMidiSystem() = default;

std::vector<std::string> AlsaMidiSystem::outputPortNames()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->outputs = listPorts(true);
    m_impl->listedOutputs = true;
    return namesOf(m_impl->outputs);
}

std::vector<std::string> AlsaMidiSystem::inputPortNames()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->inputs = listPorts(false);
    m_impl->listedInputs = true;
    return namesOf(m_impl->inputs);
}

IClock& AlsaMidiSystem::clock()
{
    return m_impl->clock;
}

PortPacing AlsaMidiSystem::outputPacing() const
{
    // Unpaced, a message goes as fast as the sequencer takes it.
    return m_impl->paced ? kPacedSysexPacing : PortPacing{0, 0, true};
}

std::unique_ptr<IMidiOutput> AlsaMidiSystem::openOutput(std::size_t index, IMidiOutputListener& listener,
                                                        std::string& error)
{
    PortAddress target;
    {
        std::lock_guard lock(m_impl->mutex);
        if (!m_impl->listedOutputs) {
            m_impl->outputs = listPorts(true);
            m_impl->listedOutputs = true;
        }
        if (index >= m_impl->outputs.size()) {
            error =
                m_impl->outputs.empty() ? "No MIDI output port was found." : "The MIDI output port no longer exists.";
            return nullptr;
        }
        target = m_impl->outputs[index];
    }
    SeqHandle seq = openSequencer(SND_SEQ_OPEN_OUTPUT);
    if (!seq) {
        error = "The MIDI sequencer could not be opened.";
        return nullptr;
    }
    snd_seq_set_client_name(seq.get(), kClientName);
    const int port = snd_seq_create_simple_port(seq.get(), "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_to(seq.get(), port, target.client, target.port) < 0) {
        error = "The MIDI output port \"" + target.name + "\" could not be opened.";
        return nullptr;
    }
    return std::make_unique<AlsaOutput>(std::move(seq), port, listener, m_impl->clock, m_impl->paced);
}

std::unique_ptr<IMidiInput> AlsaMidiSystem::openInput(std::size_t index, std::string& error)
{
    PortAddress source;
    {
        std::lock_guard lock(m_impl->mutex);
        if (!m_impl->listedInputs) {
            m_impl->inputs = listPorts(false);
            m_impl->listedInputs = true;
        }
        if (index >= m_impl->inputs.size()) {
            error = "The MIDI input port no longer exists.";
            return nullptr;
        }
        source = m_impl->inputs[index];
    }
    SeqHandle seq = openSequencer(SND_SEQ_OPEN_INPUT);
    if (!seq) {
        error = "The MIDI sequencer could not be opened.";
        return nullptr;
    }
    snd_seq_set_client_name(seq.get(), kClientName);
    const int port = snd_seq_create_simple_port(seq.get(), "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_from(seq.get(), port, source.client, source.port) < 0) {
        error = "The MIDI input port \"" + source.name + "\" could not be opened.";
        return nullptr;
    }
    return std::make_unique<AlsaInput>(std::move(seq));
}

std::uint64_t AlsaMidiSystem::portListChanges()
{
    std::lock_guard lock(m_impl->mutex);
    if (!m_impl->watching) {
        m_impl->watching = true;
        SeqHandle seq = openSequencer(SND_SEQ_OPEN_INPUT);
        if (!seq) return m_impl->changes;
        snd_seq_set_client_name(seq.get(), "VARNO414Editor port watch");
        const int port = snd_seq_create_simple_port(seq.get(), "announce", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                    SND_SEQ_PORT_TYPE_APPLICATION);
        if (port < 0 || snd_seq_connect_from(seq.get(), port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0 ||
            snd_seq_nonblock(seq.get(), 1) < 0)
            return m_impl->changes;
        m_impl->watcher = std::move(seq);
    }
    if (!m_impl->watcher) return m_impl->changes;
    snd_seq_event_t* event = nullptr;
    while (snd_seq_event_input(m_impl->watcher.get(), &event) >= 0 && event != nullptr) {
        switch (event->type) {
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT:
        case SND_SEQ_EVENT_CLIENT_CHANGE:
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_PORT_CHANGE:
            ++m_impl->changes;
            break;
        default:
            break;
        }
        event = nullptr;
    }
    return m_impl->changes;
}

std::string AlsaMidiSystem::noPortsReason(bool outputs)
{
    if (!openSequencer(SND_SEQ_OPEN_DUPLEX))
        return "there is no ALSA sequencer device (/dev/snd/seq; the snd-seq module may not be loaded, or it may "
               "not be readable by this user).";
    if (!listPorts(outputs).empty()) return {};
    return outputs ? "the ALSA sequencer has no client ports that take MIDI (is the interface plugged in?)."
                   : "the ALSA sequencer has no client ports that give MIDI (is the interface plugged in?).";
}

std::shared_ptr<IMidiSystem> createPlatformMidiSystem()
{
    return std::make_shared<AlsaMidiSystem>();
}
