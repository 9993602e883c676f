#pragma once

#include "model/content.h"
#include "model/messagekind.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

// The machine's System Exclusive transfer messages: their bytes and what a
// message is are in messagekind.h.
// Payload: each data byte b becomes the pair (b >= 80 ? 01 : 00), (b & 7F).

// What one MIDI cable carries: 31250 baud at 10 bits a byte. Paces sends and
// sets bank files' delta times.
inline constexpr std::uint32_t kCableBytesPerSecond = 3125;
inline constexpr std::uint32_t kEraseOffset = 3; // seconds before an erase
inline constexpr std::uint32_t kFlashOffset = 6; // seconds before a block write

// Writes count data bytes as 2 x count payload bytes; returns 2 x count.
std::size_t encodePairs(std::uint8_t* target, const std::uint8_t* source, std::size_t count);
// Writes count data bytes from 2 x count payload bytes; returns 2 x count.
std::size_t decodePairs(std::uint8_t* target, const std::uint8_t* source, std::size_t count);

using ContentRun = std::span<const std::unique_ptr<CContent>>;

// One complete System Exclusive message, F0 through F7.
class CMessage : public CContent {
public:
    explicit CMessage(std::span<const std::uint8_t> bytes) : CContent(bytes) {}
    // The block message for a block and receive channel, its payload taken
    // from consecutive contents starting with the first of the run until the
    // payload is full.
    CMessage(std::uint16_t block, std::uint16_t channel, ContentRun contents);
    CMessage(const CMessage&) = default;

    std::unique_ptr<CContent> clone() const override { return std::make_unique<CMessage>(*this); }
    // Takes the first System Exclusive message of a file (the three bytes
    // after its F0 are skipped: a bank file's length field).
    bool load(const std::string& path) override;
    bool load(std::span<const std::uint8_t> bytes) override;
    bool isSample() const override { return false; }
    std::ostream& dump(std::ostream& out, bool hex) const override;

    // Decodes this block message's payload into consecutive sample contents.
    // Returns false, changing nothing, when the message is too short to hold
    // a full payload or the contents do not add up to one block.
    bool decodeInto(ContentRun contents) const;

private:
    bool loadFrom(Ktifstream& in);
};

// One step of a transfer: a pause in whole seconds, then a message.
class CEvent {
public:
    virtual ~CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    virtual std::ostream& dump(std::ostream& out, bool hex) const;

    std::int32_t getOffset() const { return m_offset; }
    const std::vector<std::uint8_t>& getMessageData() const;
    std::size_t getMessageSize() const { return getMessageData().size(); }
    const CMessage* getMessage() const { return m_message; }

protected:
    CEvent(std::int32_t offset, const CMessage* message, std::unique_ptr<CMessage> owned)
        : m_offset(offset), m_message(message), m_owned(std::move(owned))
    {
    }
    std::ostream& dumpEvent(std::ostream& out, const char* tag, bool hex,
                            std::optional<bool> referenz = std::nullopt) const;

    std::int32_t m_offset;
    const CMessage* m_message; // what is sent; m_owned or a bank content
    std::unique_ptr<CMessage> m_owned;
};

// Erases one flash block; owns its erase message.
class CErase : public CEvent {
public:
    CErase(std::uint16_t block, std::int32_t offset);
    std::ostream& dump(std::ostream& out, bool hex) const override;
};

// Writes one flash block. Owns its message, or (m_referenz) sends a bank
// content it does not own.
class CFlash : public CEvent {
public:
    CFlash(std::unique_ptr<CMessage> message, std::int32_t offset);
    CFlash(const CMessage& referenced, std::int32_t offset);
    std::ostream& dump(std::ostream& out, bool hex) const override;
    bool isReferenz() const { return m_referenz; }

private:
    bool m_referenz;
};

// A test event; nothing in the program creates one. Owns its message.
class CTest : public CEvent {
public:
    explicit CTest(std::int32_t offset);
    std::ostream& dump(std::ostream& out, bool hex) const override;
};

// The bytes that CTest carries; nothing sends them.
inline constexpr std::uint8_t kTestMessage[] = {0xF0, kManufacturerId, 0x0E, kDataMessageKind, kBlockByteFlag, 0xF7};
