#include "model/messages.h"

#include "midifile/ktifstream.h"
#include "model/format_guard.h"

#include <array>

std::size_t encodePairs(std::uint8_t* target, const std::uint8_t* source, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        target[2 * i] = source[i] >= 0x80 ? 0x01 : 0x00;
        target[2 * i + 1] = source[i] & 0x7F;
    }
    return 2 * count;
}

std::size_t decodePairs(std::uint8_t* target, const std::uint8_t* source, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        target[i] = static_cast<std::uint8_t>(((source[2 * i] << 7) | source[2 * i + 1]) & 0xFF);
    return 2 * count;
}

CMessage::CMessage(std::uint16_t block, std::uint16_t channel, ContentRun contents)
{
    m_data.assign(kBlockMessageSize, 0xF7);
    m_data[0] = 0xF0;
    m_data[1] = kManufacturerId;
    m_data[2] = static_cast<std::uint8_t>(kBlockByteFlag | (block & kBlockMask));
    m_data[3] = kDataMessageKind;
    m_data[4] = static_cast<std::uint8_t>(kChannelBit | (channel & kChannelMask));
    std::size_t p = 0;
    for (const auto& content : contents) {
        if (p >= kBlockPayloadSize) break;
        // Never more than the payload holds, whatever the contents add up to.
        const std::size_t count = std::min(content->getSize(), (kBlockPayloadSize - p) / 2);
        p += encodePairs(m_data.data() + 5 + p, content->getData().data(), count);
    }
}

bool CMessage::decodeInto(ContentRun contents) const
{
    if (m_data.size() < 5 + kBlockPayloadSize) return false;
    std::size_t total = 0;
    std::size_t used = 0;
    while (used < contents.size() && total < kBlockDataSize) total += contents[used++]->getSize();
    if (total != kBlockDataSize) return false;

    std::size_t p = 0;
    for (std::size_t i = 0; i < used; ++i) {
        auto& bytes = contents[i]->getData();
        p += decodePairs(bytes.data(), m_data.data() + 5 + p, bytes.size());
    }
    return true;
}

bool CMessage::load(const std::string& path)
{
    Ktifstream in(path);
    return in.is_open() && loadFrom(in);
}

bool CMessage::load(std::span<const std::uint8_t> bytes)
{
    Ktifstream in(bytes);
    return loadFrom(in);
}

// Read through the stream, so a large file is never held whole.
bool CMessage::loadFrom(Ktifstream& in)
{
    const std::uint64_t before = in.remaining();
    const std::uint64_t throughStart = in.countThrough(0xF0);
    if (throughStart > before || !in.skip(throughStart)) return false;
    // A bank file writes a three-byte length after the F0.
    if (!in.skip(3)) return false;
    const std::uint64_t left = in.remaining();
    const std::uint64_t throughEnd = in.countThrough(0xF7);
    if (throughEnd > left) return false;
    std::vector<std::uint8_t> kept(static_cast<std::size_t>(throughEnd) + 1);
    kept[0] = 0xF0;
    if (in.readBytes(kept.data() + 1, kept.size() - 1) != kept.size() - 1) return false;
    m_data = std::move(kept);
    return true;
}

std::ostream& CMessage::dump(std::ostream& out, bool hex) const
{
    return dumpData(out, "CMessage <", hex);
}

const std::vector<std::uint8_t>& CEvent::getMessageData() const
{
    static const std::vector<std::uint8_t> none;
    return m_message ? m_message->getData() : none;
}

std::ostream& CEvent::dump(std::ostream& out, bool hex) const
{
    return dumpEvent(out, "CEvent <", hex);
}

std::ostream& CEvent::dumpEvent(std::ostream& out, const char* tag, bool hex, std::optional<bool> referenz) const
{
    FormatGuard guard(out);
    out << tag << static_cast<const void*>(this) << ">:\n";
    if (referenz) out << "m_referenz: " << (*referenz ? "true" : "false") << "\n";
    out << "m_offset: " << std::dec << m_offset << "\n";
    out << "m_message: ";
    if (m_message)
        m_message->dump(out, hex);
    else
        out << "0x00000000\n";
    return out;
}

namespace {

std::unique_ptr<CMessage> eraseMessage(std::uint16_t block)
{
    const std::array<std::uint8_t, kEraseMessageSize> bytes{
        0xF0, kManufacturerId, kEraseCommand, kEraseMessageKind, static_cast<std::uint8_t>(block & kBlockMask), 0xF7};
    return std::make_unique<CMessage>(bytes);
}

} // namespace

CErase::CErase(std::uint16_t block, std::int32_t offset) : CEvent(offset, nullptr, eraseMessage(block))
{
    m_message = m_owned.get();
}

std::ostream& CErase::dump(std::ostream& out, bool hex) const
{
    return dumpEvent(out, "CErase <", hex);
}

CFlash::CFlash(std::unique_ptr<CMessage> message, std::int32_t offset)
    : CEvent(offset, nullptr, std::move(message)), m_referenz(false)
{
    m_message = m_owned.get();
}

CFlash::CFlash(const CMessage& referenced, std::int32_t offset) : CEvent(offset, &referenced, nullptr), m_referenz(true)
{
}

std::ostream& CFlash::dump(std::ostream& out, bool hex) const
{
    return dumpEvent(out, "CFlash <", hex, m_referenz);
}

CTest::CTest(std::int32_t offset) : CEvent(offset, nullptr, std::make_unique<CMessage>(kTestMessage))
{
    m_message = m_owned.get();
}

std::ostream& CTest::dump(std::ostream& out, bool hex) const
{
    return dumpEvent(out, "CTest <", hex);
}
