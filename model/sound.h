#pragma once

#include "model/bank.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t kSlotCount = 6;
inline constexpr std::array<std::string_view, kSlotCount> kSlotLabels{"OPEN HI HAT", "CLOSED HI HAT", "CLAP",
                                                                      "RIM SHOT",    "CRASH",         "RIDE"};
inline constexpr std::array<std::size_t, kSlotCount> kSlotSizes{0x6000, 0x2000, 0x6000, 0x2000, 0x8000, 0x8000};
inline constexpr std::size_t kSoundBankSize = 0x20000;
inline constexpr std::size_t kSecondBlockSlot = 4; // slots 0-3 fill block 2n, 4-5 block 2n + 1

// A sound bank: six sample slots, written to flash blocks 2n and 2n + 1.
class CSound : public CBank {
public:
    // The factory bank for index 0 to 30.
    explicit CSound(std::uint16_t index);
    CSound(const CSound& other) = default;

    std::unique_ptr<IBank> clone() const override { return std::make_unique<CSound>(*this); }
    std::uint16_t getContentCount() const override { return kSlotCount; }
    const EventList& buildEvents(std::uint16_t channel) override;
    // Needs exactly two messages of at least a block message's size; the
    // bank number comes from the first one's block byte.
    bool setContentsFromMessages(std::span<const CMessage* const> messages) override;
    std::ostream& dump(std::ostream& out, bool hex) const override;
};
