#include "audio/slotplayer.h"

#include "audio/slotaudio.h"

#include <algorithm>

namespace audio {

std::vector<std::int16_t> holdToRate(std::span<const std::uint8_t> slot, std::uint32_t rate, std::uint16_t channels)
{
    std::vector<std::int16_t> out;
    if (rate == 0 || channels == 0) return out;
    const std::uint64_t n = slot.size();
    const std::uint64_t frames = (n * rate + kDeviceSampleRate - 1) / kDeviceSampleRate;
    out.reserve(frames * channels);
    for (std::uint64_t i = 0; i < frames; ++i) {
        const auto value = static_cast<std::int16_t>((slot[i * kDeviceSampleRate / rate] - kZeroLevel) * 256);
        out.insert(out.end(), channels, value);
    }
    return out;
}

} // namespace audio

SlotPlayer::SlotPlayer(std::shared_ptr<IAudioSystem> system, EndHandler onEnd)
    : m_system(std::move(system)), m_onEnd(std::move(onEnd)), m_thread([this] { run(); })
{
}

SlotPlayer::~SlotPlayer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SlotPlayer::play(std::span<const std::uint8_t> slot, std::uint64_t id)
{
    {
        const std::lock_guard lock(m_mutex);
        const std::uint64_t sequence = ++m_sequence;
        m_queue.push_back({{slot.begin(), slot.end()}, id, sequence});
        m_current = Current{id, sequence};
    }
    m_wake.notify_all();
}

void SlotPlayer::stop()
{
    m_stoppedThrough = m_sequence.load();
}

std::optional<std::uint64_t> SlotPlayer::playing() const
{
    const std::lock_guard lock(m_mutex);
    if (!m_current || m_current->sequence <= m_stoppedThrough) return std::nullopt;
    return m_current->id;
}

bool SlotPlayer::available(std::string& reason) const
{
    return m_system->available(reason);
}

bool SlotPlayer::interrupted(std::uint64_t sequence) const
{
    return m_quit || sequence < m_sequence || sequence <= m_stoppedThrough;
}

void SlotPlayer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_quit) return;
        const Request request = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        // One that a later play or a stop overtook never reaches the device.
        const Ending ending =
            interrupted(request.sequence) ? Ending{request.id, End::Stopped, {}} : perform(request);
        lock.lock();
        if (m_current && m_current->sequence == request.sequence) m_current.reset();
        if (m_quit) return;
        lock.unlock();
        if (m_onEnd) m_onEnd(ending);
        lock.lock();
    }
}

SlotPlayer::Ending SlotPlayer::perform(const Request& request)
{
    const std::span<const std::uint8_t> sound(request.bytes.data(), audio::usedLength(request.bytes));
    if (sound.empty()) return {request.id, End::Finished, {}};
    std::string error;
    const std::unique_ptr<IAudioOutput> output = m_system->openOutput(kPreferredOutputRate, error);
    if (!output) return {request.id, End::Failed, error};

    const std::vector<std::int16_t> frames = audio::holdToRate(sound, output->rate(), output->channels());
    // Written in pieces of 20 ms, so a stop is heard within one piece and
    // what the device still holds, which drop() discards.
    const std::size_t piece = std::max<std::size_t>(1, output->rate() / 50) * output->channels();
    for (std::size_t at = 0; at < frames.size(); at += piece) {
        if (interrupted(request.sequence)) {
            output->drop();
            return {request.id, End::Stopped, {}};
        }
        const std::size_t count = std::min(piece, frames.size() - at);
        if (!output->write(std::span(frames).subspan(at, count)))
            return {request.id, End::Failed, "The audio output stopped working while playing."};
    }
    if (interrupted(request.sequence)) {
        output->drop();
        return {request.id, End::Stopped, {}};
    }
    if (!output->drain()) return {request.id, End::Failed, "The audio output stopped working while playing."};
    return {request.id, End::Finished, {}};
}
