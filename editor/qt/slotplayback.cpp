#include "editor/qt/slotplayback.h"

#include "audio/slotplayer.h"

SlotPlayback::SlotPlayback(std::shared_ptr<IAudioSystem> system, QObject* parent) : QObject(parent)
{
    // The end is reported on the player's thread; the queued connection
    // brings it to this object's thread. The player is gone before this
    // object, so no report can outlive it.
    connect(this, &SlotPlayback::ended, this, &SlotPlayback::takeEnd, Qt::QueuedConnection);
    if (system)
        m_player = std::make_unique<SlotPlayer>(std::move(system), [this](const SlotPlayer::Ending& ending) {
            emit ended(ending.end == SlotPlayer::End::Failed, QString::fromStdString(ending.error));
        });
    checkAvailable();
}

SlotPlayback::~SlotPlayback() = default;

void SlotPlayback::takeEnd(bool failedPlay, const QString& error)
{
    if (failedPlay) {
        checkAvailable();
        emit failed(error);
    }
    emit changed();
}

void SlotPlayback::checkAvailable()
{
    std::string reason;
    if (!m_player)
        m_unavailable = tr("No audio output is set up for this window.");
    else if (m_player->available(reason))
        m_unavailable.clear();
    else
        m_unavailable = reason.empty() ? tr("No audio output is available.") : QString::fromStdString(reason);
}

void SlotPlayback::toggle(std::uint64_t id, std::span<const std::uint8_t> bytes)
{
    if (!m_player || !available()) return;
    if (playing() == id)
        m_player->stop();
    else
        m_player->play(bytes, id);
    emit changed();
}

void SlotPlayback::stop()
{
    if (!m_player || !playing()) return;
    m_player->stop();
    emit changed();
}

std::optional<std::uint64_t> SlotPlayback::playing() const
{
    return m_player ? m_player->playing() : std::nullopt;
}
