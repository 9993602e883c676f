#include "bank_fixtures.h"

#include "model/firmware.h"
#include "model/messages.h"
#include "model/sound.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace testing_midifile {

std::vector<std::uint8_t> readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<IBank> soundBank(std::uint16_t index, std::uint32_t seed)
{
    auto bank = std::make_unique<CSound>(0);
    std::mt19937 random(seed);
    std::vector<std::unique_ptr<CContent>> slots;
    for (std::size_t size : kSlotSizes) {
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        slots.push_back(std::make_unique<CSample>(bytes));
    }
    const ContentRun run(slots);
    // The model refuses to take a sound bank from the firmware blocks, so a
    // bank that would write there is made by setting its number afterwards.
    const auto block = static_cast<std::uint16_t>(2 * std::min<std::uint16_t>(index, kSoundBankCount - 1));
    const CMessage first(block, 0, run);
    const CMessage second(static_cast<std::uint16_t>(block + 1), 0, run.subspan(kSecondBlockSlot));
    const CMessage* messages[] = {&first, &second};
    EXPECT_TRUE(bank->setContentsFromMessages(messages));
    bank->setIndex(index);
    bank->setName("Bank " + std::to_string(index + 1));
    return bank;
}

std::unique_ptr<IBank> deviceFirmwareBank()
{
    auto bank = std::make_unique<CFirmware>();
    std::vector<std::uint8_t> presets(0x1FF86, 0x11);
    std::vector<std::uint8_t> os(0x1BE06, 0x22);
    const std::uint8_t presetsHeader[] = {0xF0, 0x31, 0x40, 0x38, 0x00};
    const std::uint8_t osHeader[] = {0xF0, 0x31, 0x7F, 0x38, 0x10};
    std::copy(std::begin(presetsHeader), std::end(presetsHeader), presets.begin());
    std::copy(std::begin(osHeader), std::end(osHeader), os.begin());
    presets.back() = 0xF7;
    os.back() = 0xF7;
    const CMessage first(presets);
    const CMessage second(os);
    const CMessage* messages[] = {&first, &second};
    EXPECT_TRUE(bank->setContentsFromMessages(messages));
    EXPECT_FALSE(bank->isFirmwarePlaceholder());
    return bank;
}

std::vector<std::unique_ptr<IBank>> allBanks(bool deviceFirmware)
{
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) banks.push_back(soundBank(i, 1000u + i));
    banks.push_back(deviceFirmware ? deviceFirmwareBank() : std::make_unique<CFirmware>());
    return banks;
}

std::vector<IBank*> pointers(const std::vector<std::unique_ptr<IBank>>& banks)
{
    std::vector<IBank*> result;
    for (const auto& bank : banks) result.push_back(bank.get());
    return result;
}

void expectSameBank(const IBank& expected, const IBank& actual)
{
    EXPECT_EQ(expected.getIndex(), actual.getIndex());
    EXPECT_EQ(expected.getName(), actual.getName());
    EXPECT_EQ(expected.getContentNames(), actual.getContentNames());
    ASSERT_EQ(expected.getContentCount(), actual.getContentCount());
    for (std::uint16_t i = 0; i < expected.getContentCount(); ++i)
        EXPECT_TRUE(expected.content(i)->getData() == actual.content(i)->getData()) << "content " << i;
}

} // namespace testing_midifile
