// The ALSA PCM backend: the "default" device, which on desktop systems is the
// sound server's plug-in (PipeWire, PulseAudio) and elsewhere dmix or the card.
#include "audio/audiooutput.h"

#include <alsa/asoundlib.h>

namespace {

constexpr const char* kDevice = "default";
// A short buffer keeps a stop quick; periods of 20 ms keep writes small.
constexpr unsigned kBufferMicroseconds = 100000;
constexpr unsigned kPeriodMicroseconds = 20000;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};

// alsa-lib prints its own complaints to stderr (for example when there is no
// card); we report failures ourselves.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::string alsaText(int error)
{
    return snd_strerror(error);
}

struct SwParamsFree {
    void operator()(snd_pcm_sw_params_t* params) const { snd_pcm_sw_params_free(params); }
};

// The device starts playing once its buffer is full rather than after the
// first write, so a writer that is a little late now and then never leaves
// a gap. A wish only, like the buffer size.
void startWhenFull(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw)
{
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_sw_params_t* raw = nullptr;
    if (snd_pcm_hw_params_get_buffer_size(hw, &buffer) < 0 || snd_pcm_sw_params_malloc(&raw) < 0) return;
    const std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree> sw(raw);
    if (snd_pcm_sw_params_current(pcm, raw) < 0 || snd_pcm_sw_params_set_start_threshold(pcm, raw, buffer) < 0) return;
    snd_pcm_sw_params(pcm, raw);
}

class AlsaOutput : public IAudioOutput {
public:
    AlsaOutput(PcmHandle pcm, std::uint32_t rate, std::uint16_t channels)
        : m_pcm(std::move(pcm)), m_rate(rate), m_channels(channels)
    {
    }
    ~AlsaOutput() override { snd_pcm_drop(m_pcm.get()); }

    std::uint32_t rate() const override { return m_rate; }
    std::uint16_t channels() const override { return m_channels; }

    bool write(std::span<const std::int16_t> samples) override
    {
        const std::int16_t* at = samples.data();
        auto frames = static_cast<snd_pcm_uframes_t>(samples.size() / m_channels);
        while (frames > 0) {
            const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm.get(), at, frames);
            if (written < 0) {
                // An underrun or a suspend: pick up again and go on.
                if (snd_pcm_recover(m_pcm.get(), static_cast<int>(written), 1) < 0) return false;
                continue;
            }
            at += static_cast<std::size_t>(written) * m_channels;
            frames -= static_cast<snd_pcm_uframes_t>(written);
        }
        return true;
    }

    bool drain() override { return snd_pcm_drain(m_pcm.get()) >= 0; }
    void drop() override { snd_pcm_drop(m_pcm.get()); }

private:
    PcmHandle m_pcm;
    std::uint32_t m_rate;
    std::uint16_t m_channels;
};

class AlsaAudioSystem : public IAudioSystem {
public:
    AlsaAudioSystem() { snd_lib_error_set_handler(&quietAlsa); }

    std::unique_ptr<IAudioOutput> openOutput(std::uint32_t rate, std::string& error) override
    {
        snd_pcm_t* raw = nullptr;
        // Non-blocking only while opening, so a busy device fails at once.
        int result = snd_pcm_open(&raw, kDevice, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (result < 0) {
            error = "No audio output is available: the ALSA device \"default\" could not be opened (" +
                    alsaText(result) + ").";
            return nullptr;
        }
        PcmHandle pcm(raw);
        snd_pcm_nonblock(pcm.get(), 0);

        snd_pcm_hw_params_t* paramsRaw = nullptr;
        if (snd_pcm_hw_params_malloc(&paramsRaw) < 0) {
            error = "The audio output could not be set up (out of memory).";
            return nullptr;
        }
        std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> params(paramsRaw);
        unsigned channels = 1;
        unsigned actualRate = rate;
        unsigned bufferTime = kBufferMicroseconds;
        unsigned periodTime = kPeriodMicroseconds;
        // The device's own rate: the player resamples the slot itself.
        if ((result = snd_pcm_hw_params_any(pcm.get(), paramsRaw)) < 0 ||
            (result = snd_pcm_hw_params_set_rate_resample(pcm.get(), paramsRaw, 0)) < 0 ||
            (result = snd_pcm_hw_params_set_access(pcm.get(), paramsRaw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            (result = snd_pcm_hw_params_set_format(pcm.get(), paramsRaw, SND_PCM_FORMAT_S16)) < 0 ||
            (result = snd_pcm_hw_params_set_channels_near(pcm.get(), paramsRaw, &channels)) < 0 ||
            (result = snd_pcm_hw_params_set_rate_near(pcm.get(), paramsRaw, &actualRate, nullptr)) < 0) {
            error = "The audio output does not take 16-bit samples at a usable rate (" + alsaText(result) + ").";
            return nullptr;
        }
        // Wishes only: a device that cannot meet them keeps its own sizes.
        snd_pcm_hw_params_set_buffer_time_near(pcm.get(), paramsRaw, &bufferTime, nullptr);
        snd_pcm_hw_params_set_period_time_near(pcm.get(), paramsRaw, &periodTime, nullptr);
        if ((result = snd_pcm_hw_params(pcm.get(), paramsRaw)) < 0 || (result = snd_pcm_prepare(pcm.get())) < 0) {
            error = "The audio output could not be set up (" + alsaText(result) + ").";
            return nullptr;
        }
        startWhenFull(pcm.get(), paramsRaw);
        if (channels == 0 || channels > 64 || actualRate == 0) {
            error = "The audio output reports an unusable format.";
            return nullptr;
        }
        return std::make_unique<AlsaOutput>(std::move(pcm), actualRate, static_cast<std::uint16_t>(channels));
    }
};

} // namespace

std::shared_ptr<IAudioSystem> createPlatformAudioSystem()
{
    return std::make_shared<AlsaAudioSystem>();
}
