#include "model/messagekind.h"

namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;

} // namespace

bool isCompleteSysEx(std::span<const std::uint8_t> message)
{
    return message.size() >= 2 && message.front() == kSysExStart && message.back() == kSysExEnd;
}

bool isDataMessage(std::span<const std::uint8_t> message)
{
    return message.size() >= 4 && message[3] == kDataMessageKind;
}

MessageClass classifyMessage(std::span<const std::uint8_t> m)
{
    MessageClass c;
    c.size = m.size();
    if (m.size() < 5 || m[1] != kManufacturerId) return c;
    if (m[3] == kEraseMessageKind) {
        c.kind = MessageKind::Erase;
        c.block = m[4] & kBlockMask;
        return c;
    }
    if (m[3] != kDataMessageKind) return c;
    c.kind = MessageKind::BlockWrite;
    c.block = m[2] & kBlockMask;
    if ((m[4] & kChannelBit) != 0) {
        c.channel = static_cast<std::uint8_t>(m[4] & kChannelMask);
        return c;
    }
    // Device firmware has the header of a block message without a channel
    // and exactly the length of its content; anything else that reached the
    // firmware blocks would leave the machine without working firmware.
    if (!isCompleteSysEx(m)) return c;
    for (std::size_t content = 0; content < kFirmwareMessageSizes.size(); ++content)
        if (m.size() == kFirmwareMessageSizes[content]) c.firmwareContent = content;
    return c;
}
