#include "model/sound.h"

#include "model/factory_data.h"

CSound::CSound(std::uint16_t index)
{
    m_index = index;
    m_name = bankName(index);
    // Only 31 factory banks exist; any other index still gets a full bank.
    const std::size_t source = index < kSoundBankCount ? index : 0;
    std::size_t offset = source * kSoundBankSize;
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        m_contentLabel.emplace_back(kSlotLabels[i]);
        m_contentName.emplace_back(kSlotLabels[i]);
        m_contents.push_back(std::make_unique<CSample>(kFactorySamples.subspan(offset, kSlotSizes[i])));
        offset += kSlotSizes[i];
    }
}

const EventList& CSound::buildEvents(std::uint16_t channel)
{
    clearEvents();
    const auto first = static_cast<std::uint16_t>(2 * m_index);
    const auto second = static_cast<std::uint16_t>(2 * m_index + 1);
    const ContentRun contents(m_contents);
    m_events[0] = std::make_unique<CErase>(first, kEraseOffset);
    m_events[1] = std::make_unique<CFlash>(std::make_unique<CMessage>(first, channel, contents), kFlashOffset);
    m_events[2] = std::make_unique<CErase>(second, kEraseOffset);
    m_events[3] = std::make_unique<CFlash>(
        std::make_unique<CMessage>(second, channel, contents.subspan(kSecondBlockSlot)), kFlashOffset);
    return m_events;
}

bool CSound::setContentsFromMessages(std::span<const CMessage* const> messages)
{
    if (messages.size() != 2) return false;
    for (const CMessage* message : messages)
        if (message == nullptr || message->getSize() < kBlockMessageSize) return false;

    // Blocks 62 and 63 hold the firmware: a sound bank taken from messages
    // addressed there would erase the firmware when it is sent.
    const MessageClass first = classifyMessage(messages[0]->getData());
    if (!first.isBlockWrite() || first.bank() >= kSoundBankCount) return false;
    const std::uint16_t index = first.bank();

    const ContentRun contents(m_contents);
    if (!messages[0]->decodeInto(contents) || !messages[1]->decodeInto(contents.subspan(kSecondBlockSlot)))
        return false;
    m_index = index;
    return true;
}

std::ostream& CSound::dump(std::ostream& out, bool hex) const
{
    return dumpBank(out, "CSound <", hex);
}
