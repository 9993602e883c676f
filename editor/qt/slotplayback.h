#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class IAudioSystem;
class SlotPlayer;

// The window's side of the slot player: one slot plays at a time, and its
// end comes back on the window's thread as changed(). Whether Play can work
// is asked once, when the window opens, and again after a playback failed,
// so that looking at banks never waits for the audio device.
class SlotPlayback : public QObject {
    Q_OBJECT

public:
    // A null system: no audio output at all, so Play stays disabled.
    SlotPlayback(std::shared_ptr<IAudioSystem> system, QObject* parent);
    ~SlotPlayback() override;

    bool available() const { return m_unavailable.isEmpty(); }
    // Why Play is disabled: a sentence for its tooltip.
    const QString& unavailableReason() const { return m_unavailable; }

    // Plays the slot, ending whatever played; stops it when it plays already.
    void toggle(std::uint64_t id, std::span<const std::uint8_t> bytes);
    void stop();
    std::optional<std::uint64_t> playing() const;

signals:
    // A playback started or ended: the Play buttons follow.
    void changed();
    // A playback failed, with the sentence why.
    void failed(const QString& error);
    // Emitted on the player's thread; delivered queued on this object's.
    void ended(bool failedPlay, const QString& error);

private:
    void takeEnd(bool failedPlay, const QString& error);
    void checkAvailable();

    std::unique_ptr<SlotPlayer> m_player;
    QString m_unavailable;
};
