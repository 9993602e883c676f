// The Windows waveOut backend: the wave mapper, which mixes and resamples
// for whatever device the user has chosen.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
// windows.h defines the types mmsystem.h is written in, so it comes first.
#include <windows.h>

#include <mmsystem.h>

#include "audio/audiooutput.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Four buffers of 20 ms: the device plays one while the others are filled.
constexpr std::size_t kBufferCount = 4;
constexpr DWORD kWaitMs = 1000;

std::string waveErrorText(MMRESULT result)
{
    char text[MAXERRORLENGTH] = {};
    waveOutGetErrorTextA(result, text, sizeof text);
    return text;
}

class WaveOutput : public IAudioOutput {
public:
    explicit WaveOutput(std::uint32_t rate) : m_rate(rate), m_event(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

    bool open(std::string& error)
    {
        if (m_event == nullptr) {
            error = "The audio output could not be set up (no event).";
            return false;
        }
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = m_rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = m_rate * 2;
        const MMRESULT result = waveOutOpen(&m_handle, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(m_event), 0,
                                            CALLBACK_EVENT);
        if (result == MMSYSERR_NOERROR) return true;
        m_handle = nullptr;
        error = "No audio output is available: " + waveErrorText(result);
        return false;
    }

    ~WaveOutput() override
    {
        if (m_handle != nullptr) {
            waveOutReset(m_handle);
            for (auto& slot : m_slots)
                if (slot.prepared) waveOutUnprepareHeader(m_handle, &slot.header, sizeof(WAVEHDR));
            waveOutClose(m_handle);
        }
        if (m_event != nullptr) CloseHandle(m_event);
    }

    std::uint32_t rate() const override { return m_rate; }
    std::uint16_t channels() const override { return 1; }

    bool write(std::span<const std::int16_t> samples) override
    {
        Slot* slot = freeSlot();
        if (slot == nullptr) return false;
        slot->samples.assign(samples.begin(), samples.end());
        slot->header = WAVEHDR{};
        slot->header.lpData = reinterpret_cast<LPSTR>(slot->samples.data());
        slot->header.dwBufferLength = static_cast<DWORD>(slot->samples.size() * sizeof(std::int16_t));
        if (waveOutPrepareHeader(m_handle, &slot->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
        slot->prepared = true;
        return waveOutWrite(m_handle, &slot->header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    }

    bool drain() override
    {
        while (std::any_of(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.prepared && !done(s); }))
            if (WaitForSingleObject(m_event, kWaitMs) != WAIT_OBJECT_0) return false;
        return true;
    }

    void drop() override { waveOutReset(m_handle); }

private:
    struct Slot {
        WAVEHDR header{};
        std::vector<std::int16_t> samples;
        bool prepared = false;
    };

    static bool done(const Slot& slot) { return (slot.header.dwFlags & WHDR_DONE) != 0; }

    // A buffer the device has finished with, waiting for one if need be.
    Slot* freeSlot()
    {
        for (;;) {
            for (auto& slot : m_slots) {
                if (!slot.prepared) return &slot;
                if (done(slot)) {
                    waveOutUnprepareHeader(m_handle, &slot.header, sizeof(WAVEHDR));
                    slot.prepared = false;
                    return &slot;
                }
            }
            if (WaitForSingleObject(m_event, kWaitMs) != WAIT_OBJECT_0) return nullptr;
        }
    }

    std::uint32_t m_rate;
    HANDLE m_event;
    HWAVEOUT m_handle = nullptr;
    std::array<Slot, kBufferCount> m_slots{};
};

class WaveOutAudioSystem : public IAudioSystem {
public:
    std::unique_ptr<IAudioOutput> openOutput(std::uint32_t rate, std::string& error) override
    {
        if (waveOutGetNumDevs() == 0) {
            error = "No audio output is available: Windows reports no output device.";
            return nullptr;
        }
        auto output = std::make_unique<WaveOutput>(rate);
        if (!output->open(error)) return nullptr;
        return output;
    }
};

} // namespace

std::shared_ptr<IAudioSystem> createPlatformAudioSystem()
{
    return std::make_shared<WaveOutAudioSystem>();
}
