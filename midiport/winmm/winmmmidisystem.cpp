// The Windows multimedia MIDI backend.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
// windows.h defines the types mmsystem.h is written in, so it comes first.
#include <windows.h>

#include <mmsystem.h>

#include "midiport/midisystem.h"
#include "midiport/systemclock.h"

#include <array>
#include <atomic>
#include <ios>
#include <ostream>
#include <utility>

namespace {

std::string outputErrorText(MMRESULT result)
{
    char text[MAXERRORLENGTH] = {};
    midiOutGetErrorTextA(result, text, sizeof text);
    return text;
}

class WinmmOutput : public IMidiOutput {
public:
    explicit WinmmOutput(IMidiOutputListener& listener) : m_listener(listener) {}

    bool open(UINT device, std::string& error)
    {
        const MMRESULT result = midiOutOpen(&m_handle, device, reinterpret_cast<DWORD_PTR>(&WinmmOutput::callback),
                                            reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        if (result == MMSYSERR_NOERROR) return true;
        m_handle = nullptr;
        error = "The MIDI output port could not be opened: " + outputErrorText(result);
        return false;
    }

    ~WinmmOutput() override
    {
        if (m_handle == nullptr) return;
        if (m_pending) {
            // The port must give the header back before its bytes can go.
            midiOutReset(m_handle);
            midiOutUnprepareHeader(m_handle, &m_header, sizeof(MIDIHDR));
        }
        midiOutClose(m_handle);
    }

    bool sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        const DWORD message = DWORD{status} | (DWORD{data1} << 8) | (DWORD{data2} << 16);
        return midiOutShortMsg(m_handle, message) == MMSYSERR_NOERROR;
    }

    bool startLong(std::span<const std::uint8_t> message) override
    {
        m_header = MIDIHDR{};
        // The port only reads the bytes it is given.
        m_header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(message.data()));
        m_header.dwBufferLength = static_cast<DWORD>(message.size());
        m_header.dwFlags = 0;
        if (midiOutPrepareHeader(m_handle, &m_header, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) return false;
        if (midiOutLongMsg(m_handle, &m_header, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) {
            midiOutUnprepareHeader(m_handle, &m_header, sizeof(MIDIHDR));
            return false;
        }
        m_pending = true;
        return true;
    }

    LongRelease releaseLong() override
    {
        const MMRESULT result = midiOutUnprepareHeader(m_handle, &m_header, sizeof(MIDIHDR));
        if (result == MIDIERR_STILLPLAYING) return LongRelease::stillPlaying;
        m_pending = false;
        return result == MMSYSERR_NOERROR ? LongRelease::released : LongRelease::failed;
    }

private:
    // Runs on a platform thread.
    static void CALLBACK callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
    {
        auto* self = reinterpret_cast<WinmmOutput*>(instance);
        switch (message) {
        case MOM_OPEN:
            self->m_listener.portNotification(PortNotification::opened, message);
            break;
        case MOM_CLOSE:
            self->m_listener.portNotification(PortNotification::closed, message);
            break;
        case MOM_DONE:
            self->m_listener.portNotification(PortNotification::done, message);
            break;
        default:
            self->m_listener.portNotification(PortNotification::other, message);
            break;
        }
    }

    IMidiOutputListener& m_listener;
    HMIDIOUT m_handle = nullptr;
    MIDIHDR m_header{};
    bool m_pending = false;
};

// Long messages arrive in buffers that the port fills and hands back; each
// is passed on and handed to the port again, until the port is reset.
class WinmmInput : public IMidiInput {
public:
    explicit WinmmInput(std::ostream& trace) : m_trace(trace) {}

    bool open(UINT device, std::string& error)
    {
        const MMRESULT result = midiInOpen(&m_handle, device, reinterpret_cast<DWORD_PTR>(&WinmmInput::callback),
                                           reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | MIDI_IO_STATUS);
        if (result == MMSYSERR_NOERROR) return true;
        m_handle = nullptr;
        error = "The MIDI input port could not be opened.";
        return false;
    }

    ~WinmmInput() override
    {
        reset();
        if (m_handle != nullptr) midiInClose(m_handle);
    }

    bool start(IMidiInputListener& listener) override
    {
        if (m_handle == nullptr || m_listener.load() != nullptr) return false;
        m_listener.store(&listener);
        for (std::size_t k = 0; k < kBuffers; ++k) {
            MIDIHDR& header = m_headers[k];
            header = MIDIHDR{};
            header.lpData = m_storage[k].data();
            header.dwBufferLength = static_cast<DWORD>(m_storage[k].size());
            if (midiInPrepareHeader(m_handle, &header, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) return fail();
            m_prepared[k] = true;
            if (midiInAddBuffer(m_handle, &header, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) return fail();
        }
        if (midiInStart(m_handle) != MMSYSERR_NOERROR) return fail();
        return true;
    }

    void reset() override
    {
        if (m_handle == nullptr) return;
        m_stopping.store(true);
        midiInReset(m_handle); // hands every buffer back, marked done
        for (std::size_t k = 0; k < kBuffers; ++k)
            if (std::exchange(m_prepared[k], false)) midiInUnprepareHeader(m_handle, &m_headers[k], sizeof(MIDIHDR));
        m_listener.store(nullptr);
    }

private:
    static constexpr std::size_t kBuffers = 8;
    static constexpr std::size_t kBufferBytes = 4096;

    bool fail()
    {
        reset();
        m_stopping.store(false);
        return false;
    }

    // Runs on a platform thread.
    static void CALLBACK callback(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR parameter, DWORD_PTR)
    {
        auto* self = reinterpret_cast<WinmmInput*>(instance);
        std::ostream& out = self->m_trace;
        switch (message) {
        case MIM_OPEN:
            out << "MIM_OPEN:\n";
            break;
        case MIM_CLOSE:
            out << "MIM_CLOSE:\n";
            break;
        case MIM_DATA:
            break;
        case MIM_LONGDATA: {
            auto* header = reinterpret_cast<MIDIHDR*>(parameter);
            const DWORD recorded = header ? header->dwBytesRecorded : 0;
            out << "MIM_LONGDATA:\n\t\t\trecordedBytes: " << recorded << '\n';
            if (header == nullptr) break;
            if (recorded == 0) {
                out << "\t\t\tno add!\n"; // handed back by a reset
                break;
            }
            if (IMidiInputListener* listener = self->m_listener.load(); listener != nullptr && !self->m_stopping.load())
                listener->sysexReceived({reinterpret_cast<const std::uint8_t*>(header->lpData), recorded});
            if (!self->m_stopping.load()) midiInAddBuffer(handle, header, sizeof(MIDIHDR));
            break;
        }
        case MIM_ERROR:
            out << "MIM_ERROR\n";
            break;
        case MIM_LONGERROR:
            out << "MIM_LONGERROR:\n";
            break;
        case MIM_MOREDATA:
            out << "MIM_MOREDATA:\n";
            break;
        default:
            out << "DEFAULT: " << std::hex << message << std::dec << " !!!\n";
            break;
        }
    }

    std::ostream& m_trace;
    HMIDIIN m_handle = nullptr;
    std::atomic<IMidiInputListener*> m_listener{nullptr};
    std::atomic<bool> m_stopping{false};
    std::array<MIDIHDR, kBuffers> m_headers{};
    std::array<bool, kBuffers> m_prepared{};
    std::array<std::array<char, kBufferBytes>, kBuffers> m_storage{};
};

class WinmmMidiSystem : public IMidiSystem {
public:
    // The window re-reads the lists on WM_DEVICECHANGE; winmm announces nothing itself.
    std::string noPortsReason(bool outputs) override
    {
        return outputs ? "Windows lists no MIDI output devices (is the interface plugged in and its driver installed?)."
                       : "Windows lists no MIDI input devices.";
    }
    std::vector<std::string> outputPortNames() override
    {
        std::vector<std::string> names;
        const UINT count = midiOutGetNumDevs();
        for (UINT i = 0; i < count; ++i) {
            MIDIOUTCAPSA caps{};
            names.emplace_back(midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname : "");
        }
        return names;
    }

    std::vector<std::string> inputPortNames() override
    {
        std::vector<std::string> names;
        const UINT count = midiInGetNumDevs();
        for (UINT i = 0; i < count; ++i) {
            MIDIINCAPSA caps{};
            names.emplace_back(midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname : "");
        }
        return names;
    }

    IClock& clock() override { return m_clock; }
    // The driver plays a long message on its own after midiOutLongMsg()
    // returns; a cable port takes it at the cable's rate.
    PortPacing outputPacing() const override { return cableRatePacing(); }

    std::unique_ptr<IMidiOutput> openOutput(std::size_t index, IMidiOutputListener& listener,
                                            std::string& error) override
    {
        auto output = std::make_unique<WinmmOutput>(listener);
        if (!output->open(static_cast<UINT>(index), error)) return nullptr;
        return output;
    }

    std::unique_ptr<IMidiInput> openInput(std::size_t index, std::string& error) override
    {
        auto input = std::make_unique<WinmmInput>(trace());
        if (!input->open(static_cast<UINT>(index), error)) return nullptr;
        return input;
    }

private:
    SystemClock m_clock;
};

} // namespace

std::shared_ptr<IMidiSystem> createPlatformMidiSystem()
{
    return std::make_shared<WinmmMidiSystem>();
}
