#include "model/firmware.h"

#include "model/factory_data.h"
#include "model/latin1.h"

#include <algorithm>
#include <utility>

bool isDeviceFirmwareFor(std::span<const std::uint8_t> message, std::size_t content)
{
    return classifyMessage(message).firmwareContent == content;
}

CFirmware::CFirmware()
{
    m_index = kFirmwareIndex;
    m_name = bankName(kFirmwareIndex);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < kFirmwareContentCount; ++i) {
        m_contentLabel.emplace_back(kFirmwareLabels[i]);
        m_contentName.emplace_back(kFirmwareLabels[i]);
        const auto piece = kFactoryFirmware.subspan(offset, kFirmwarePieceSizes[i]);
        const auto f7 = std::find(piece.begin(), piece.end(), std::uint8_t{0xF7});
        const std::size_t length = f7 == piece.end() ? piece.size() : static_cast<std::size_t>(f7 - piece.begin()) + 1;
        m_contents.push_back(std::make_unique<CMessage>(piece.first(length)));
        offset += kFirmwarePieceSizes[i];
    }
}

const EventList& CFirmware::buildEvents(std::uint16_t /*channel*/)
{
    clearEvents();
    const auto first = static_cast<std::uint16_t>(2 * m_index);
    const auto second = static_cast<std::uint16_t>(2 * m_index + 1);
    m_events[0] = std::make_unique<CErase>(first, kEraseOffset);
    m_events[1] = std::make_unique<CFlash>(static_cast<const CMessage&>(*m_contents[0]), kFlashOffset);
    m_events[2] = std::make_unique<CErase>(second, kEraseOffset);
    m_events[3] = std::make_unique<CFlash>(static_cast<const CMessage&>(*m_contents[1]), kFlashOffset);
    return m_events;
}

bool CFirmware::setContentsFromMessages(std::span<const CMessage* const> messages)
{
    if (messages.size() != kFirmwareContentCount) return false;
    for (const CMessage* message : messages)
        if (message == nullptr) return false;
    // The write events refer to the contents about to be replaced.
    clearEvents();
    for (std::size_t i = 0; i < kFirmwareContentCount; ++i) m_contents[i] = messages[i]->clone();
    return true;
}

ImportResult CFirmware::importContent(std::uint16_t index, const std::string& path, const ImportOptions&)
{
    ImportResult result;
    if (index >= m_contents.size() || !m_contents[index]) return result;
    CMessage candidate{std::span<const std::uint8_t>{}};
    if (!candidate.load(path) || !isDeviceFirmwareFor(candidate.getData(), index)) return result;
    // The same content object keeps the bytes: write events may refer to it.
    m_contents[index]->getData() = std::move(candidate.getData());
    if (index < m_contentName.size()) m_contentName[index] = nameFromPath(path);
    result.kind = ImportResult::Kind::Stored;
    return result;
}

bool CFirmware::holdsDeviceFirmware() const
{
    for (std::size_t i = 0; i < m_contents.size(); ++i) {
        const auto& content = m_contents[i];
        if (!content || content->isSample() || !isDeviceFirmwareFor(content->getData(), i)) return false;
    }
    return m_contents.size() == kFirmwareContentCount;
}

std::ostream& CFirmware::dump(std::ostream& out, bool hex) const
{
    return dumpBank(out, "CFirmware <", hex);
}
