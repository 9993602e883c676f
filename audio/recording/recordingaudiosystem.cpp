#include "audio/recording/recordingaudiosystem.h"

#include <algorithm>

class RecordingAudioSystem::Output : public IAudioOutput {
public:
    Output(RecordingAudioSystem& system, std::size_t index) : m_system(system), m_index(index) {}
    ~Output() override
    {
        update([this](Stream& s) {
            s.closed = true;
            --m_system.m_open;
        });
    }

    std::uint32_t rate() const override { return m_system.m_options.rate; }
    std::uint16_t channels() const override { return m_system.m_options.channels; }

    bool write(std::span<const std::int16_t> samples) override
    {
        std::unique_lock lock(m_system.m_mutex);
        Stream& stream = m_system.m_streams[m_index];
        stream.samples.insert(stream.samples.end(), samples.begin(), samples.end());
        ++stream.writes;
        ++m_system.m_writes;
        m_system.m_changed.notify_all();
        m_system.m_changed.wait(lock, [this] { return !m_system.m_held; });
        return true;
    }
    bool drain() override
    {
        update([](Stream& s) { s.drained = true; });
        return true;
    }
    void drop() override
    {
        update([](Stream& s) { s.dropped = true; });
    }

private:
    template <typename Change>
    void update(Change change)
    {
        const std::lock_guard lock(m_system.m_mutex);
        change(m_system.m_streams[m_index]);
        m_system.m_changed.notify_all();
    }

    RecordingAudioSystem& m_system;
    std::size_t m_index;
};

std::unique_ptr<IAudioOutput> RecordingAudioSystem::openOutput(std::uint32_t, std::string& error)
{
    if (!m_options.failOpen.empty()) {
        error = m_options.failOpen;
        return nullptr;
    }
    const std::lock_guard lock(m_mutex);
    m_streams.push_back({m_options.rate, m_options.channels, {}, 0, false, false, false});
    m_maxOpen = std::max(m_maxOpen, ++m_open);
    return std::make_unique<Output>(*this, m_streams.size() - 1);
}

std::vector<RecordingAudioSystem::Stream> RecordingAudioSystem::streams() const
{
    const std::lock_guard lock(m_mutex);
    return m_streams;
}

std::size_t RecordingAudioSystem::maxOpenAtOnce() const
{
    const std::lock_guard lock(m_mutex);
    return m_maxOpen;
}

void RecordingAudioSystem::hold()
{
    const std::lock_guard lock(m_mutex);
    m_held = true;
}

void RecordingAudioSystem::release()
{
    const std::lock_guard lock(m_mutex);
    m_held = false;
    m_changed.notify_all();
}

bool RecordingAudioSystem::waitForWrites(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_writes >= count; });
}
