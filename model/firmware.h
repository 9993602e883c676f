#pragma once

#include "model/bank.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::size_t kFirmwareContentCount = 2;
inline constexpr std::array<std::string_view, kFirmwareContentCount> kFirmwareLabels{"PRESETS", "OS"};
inline constexpr std::array<std::size_t, kFirmwareContentCount> kFirmwarePieceSizes{0x20006, 0x20006};
inline constexpr std::uint16_t kFirmwareIndex = 31;
static_assert(2 * kFirmwareIndex == kFirstFirmwareBlock);
static_assert(kFirmwareMessageSizes.size() == kFirmwareContentCount);

// The firmware rule: a complete message of the machine's own firmware with
// the layout of this content (0 PRESETS, 1 OS), as the classifier tells it.
bool isDeviceFirmwareFor(std::span<const std::uint8_t> message, std::size_t content);

// The firmware bank: two stored System Exclusive messages, sent as they are
// between the erase messages of blocks 62 and 63.
class CFirmware : public CBank {
public:
    // The factory firmware bank.
    CFirmware();
    CFirmware(const CFirmware& other) = default;

    std::unique_ptr<IBank> clone() const override { return std::make_unique<CFirmware>(*this); }
    std::uint16_t getContentCount() const override { return kFirmwareContentCount; }
    // Takes the first System Exclusive message of the file only when it is
    // the machine's own firmware for that content; anything else could never
    // be sent, so it is refused with nothing changed.
    // (loadContent asks this too.)
    ImportResult importContent(std::uint16_t index, const std::string& path, const ImportOptions& options) override;
    // The same four events for every channel; the writes refer to the contents.
    const EventList& buildEvents(std::uint16_t channel) override;
    bool setContentsFromMessages(std::span<const CMessage* const> messages) override;
    std::ostream& dump(std::ostream& out, bool hex) const override;

    // Both contents are the machine's own firmware messages: F0 31 .. 38 with
    // no channel bit in byte 4, F7 last, each exactly its content's length.
    bool holdsDeviceFirmware() const override;
    bool isFirmwarePlaceholder() const override { return !holdsDeviceFirmware(); }
};
