#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The bytes of the machine's System Exclusive transfer messages, and what a
// message is. Only this header and the message builder spell these bytes.
//   block message: F0 31 (40|block) 38 (20|channel) <0x20000 payload bytes> F7
//   erase message: F0 31 0D 79 block F7
//   device firmware: F0 31 .. 38 .. <payload> F7, no channel bit in byte 4
inline constexpr std::uint8_t kManufacturerId = 0x31;
inline constexpr std::uint8_t kDataMessageKind = 0x38;
inline constexpr std::uint8_t kEraseMessageKind = 0x79;
inline constexpr std::uint8_t kEraseCommand = 0x0D;  // byte 2 of an erase message
inline constexpr std::uint8_t kBlockByteFlag = 0x40; // byte 2 of a block message: 40 | block
inline constexpr std::uint8_t kBlockMask = 0x3F;
inline constexpr std::uint8_t kChannelBit = 0x20; // byte 4 of a block message: 20 | channel
inline constexpr std::uint8_t kChannelMask = 0x0F;
inline constexpr std::uint8_t kFirstFirmwareBlock = 62; // blocks 62 and 63 hold the firmware

inline constexpr std::size_t kBlockDataSize = 0x10000;
inline constexpr std::size_t kBlockPayloadSize = 2 * kBlockDataSize;
inline constexpr std::size_t kBlockMessageSize = kBlockPayloadSize + 6;
inline constexpr std::size_t kEraseMessageSize = 6;
// The device firmware's two messages, PRESETS and OS, have these lengths.
inline constexpr std::array<std::size_t, 2> kFirmwareMessageSizes{0x1FF86, 0x1BE06};

enum class MessageKind : std::uint8_t { Other, Erase, BlockWrite };

// What one message does to the machine's flash.
struct MessageClass {
    MessageKind kind = MessageKind::Other;
    // Erase and block write: the flash block addressed, 0 to 63.
    std::uint8_t block = 0;
    // Block write carrying the channel bit: the receive channel, 0 to 15.
    std::optional<std::uint8_t> channel;
    // A device firmware message: the firmware content (0 PRESETS, 1 OS) whose
    // layout it has.
    std::optional<std::size_t> firmwareContent;
    // The whole message's length.
    std::size_t size = 0;

    bool isErase() const { return kind == MessageKind::Erase; }
    bool isBlockWrite() const { return kind == MessageKind::BlockWrite; }
    // Erases or writes one of the two firmware blocks.
    bool touchesFirmwareBlock() const { return kind != MessageKind::Other && block >= kFirstFirmwareBlock; }
    // A full block message as a sound bank writes it: to a receive channel or
    // to one of the sound banks' blocks.
    bool isSoundBlock() const
    {
        return isBlockWrite() && size == kBlockMessageSize && (channel.has_value() || block < kFirstFirmwareBlock);
    }
    // The bank whose blocks the message addresses.
    std::uint16_t bank() const { return static_cast<std::uint16_t>(block / 2); }
};

// Erase and block write are told apart by the manufacturer byte and byte 3,
// as the machine does; a message too short to name its block is Other.
MessageClass classifyMessage(std::span<const std::uint8_t> message);

// Byte 3 is 38: a message that carries data (a block message or a firmware
// message, whoever made it), as bank files store them.
bool isDataMessage(std::span<const std::uint8_t> message);

// F0 first, F7 last: one complete System Exclusive message.
bool isCompleteSysEx(std::span<const std::uint8_t> message);
