#include "bank_fixtures.h"

#include "midifile/bankdocument.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"
#include "tests/support/crafted_bank_files.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_midifile;
namespace fs = std::filesystem;

namespace {

// The answers the editor and varno414 rely on, from the core itself.
TEST(BankDocument, CraftedFilesOpenOrAreRefusedByKind)
{
    TempDir dir;
    for (const CraftedBankFile& crafted : craftedBankFiles()) {
        SCOPED_TRACE(crafted.name + " at " + std::to_string(crafted.position));
        const std::string path = writeCraftedBankFile(crafted, dir.path()).string();
        BankFileResult error;
        auto doc = BankDocument::open(path, error);
        EXPECT_EQ(error.kind, crafted.error);
        EXPECT_EQ(doc.has_value(), crafted.error == BankFileError::None);
        if (!doc) {
            EXPECT_NE(error.sentence().find(crafted.says), std::string::npos) << error.sentence();
            continue;
        }
        EXPECT_EQ(doc->banks().size(), crafted.banks);
        EXPECT_EQ(doc->placementAt(crafted.position) != BankDocument::Placement::Refused, crafted.editorTakes);
        BankDocument table = BankDocument::factory(std::nullopt);
        const std::size_t replacing = !crafted.editorTakes ? 0 : doc->isWholeTable() ? kBankCount : 1;
        // What was replaced comes back, so that it can be put back.
        EXPECT_EQ(table.takeFrom(std::move(*doc), crafted.position).size(), replacing);
        EXPECT_EQ(table.banks()[kFirmwareIndex]->isFirmwarePlaceholder(), crafted.firmwarePlaceholder);
    }
}

TEST(BankDocument, DuplicatesNameTheBankAndItsTracks)
{
    TempDir dir;
    const std::string path = writeCraftedBankFile(craftedBankFile("duplicates.mid"), dir.path()).string();
    BankFileResult error;
    const auto doc = BankDocument::open(path, error);
    ASSERT_TRUE(doc) << error.sentence();
    const auto duplicates = doc->duplicates();
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates[0].index, 0);
    EXPECT_EQ(describeDuplicates(duplicates), "S01 appears in tracks 1 and 2");
    EXPECT_EQ(DuplicateBank({4, {1, 2, 5}}).sentence(), "S05 appears in tracks 1, 2 and 5");
    EXPECT_TRUE(BankDocument::factory(std::nullopt).duplicates().empty());
}

// A firmware bank that is no device firmware keeps no erase of the firmware
// blocks, however it came into the document.
TEST(BankDocument, ShortFirmwareSavesWithoutErases)
{
    TempDir dir;
    const std::string path = writeCraftedBankFile(craftedBankFile("short-firmware.mid"), dir.path()).string();
    BankFileResult error;
    auto doc = BankDocument::open(path, error);
    ASSERT_TRUE(doc) << error.sentence();
    ASSERT_TRUE(doc->banks().front()->isFirmwarePlaceholder());
    ASSERT_TRUE(doc->save(dir.file("saved.mid"), error)) << error.sentence();
    const auto bytes = readAll(dir / "saved.mid");
    const std::vector<std::uint8_t> erase{0x31, 0x0D, 0x79};
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), erase.begin(), erase.end()), bytes.end());
    EXPECT_NE(readAll(path), bytes);
}

TEST(BankFileErrors, KindsCarryTheFileTrackAndBank)
{
    TempDir dir;
    WrapperKtMidiFile file;
    const std::string pair = dir.file("pair.mid");
    CSound sound(0);
    CFirmware firmware;
    ASSERT_TRUE(file.saveBanks(std::vector<IBank*>{&sound, &firmware}, pair));

    std::vector<std::unique_ptr<IBank>> banks;
    banks.push_back(std::make_unique<CSound>(0));
    banks.push_back(std::make_unique<CSound>(1));
    EXPECT_FALSE(file.openBanks(pointers(banks), 2, pair));
    EXPECT_EQ(file.lastResult().kind, BankFileError::UnreadableTrack);
    EXPECT_EQ(file.lastError(), "Track 2 of \"" + pair + "\" is not a readable bank.");

    EXPECT_FALSE(file.openBank(sound, pair));
    EXPECT_EQ(file.lastResult().kind, BankFileError::TrackCount);
    EXPECT_EQ(file.lastResult().sentence(),
              "'" + pair + "' is not a bank file: \"" + pair + "\" holds 2 tracks, not 1.");

    auto intoFirmware = soundBank(31, 1);
    EXPECT_FALSE(file.saveBank(*intoFirmware, pair));
    EXPECT_EQ(file.lastResult().kind, BankFileError::WouldOverwriteFirmware);
    EXPECT_EQ(file.lastResult().sentence(),
              "cannot write '" + pair +
                  "': Bank \"Bank 32\" would overwrite the machine's firmware; nothing was saved.");

    // A write failure can carry the writer's own reason.
    BankFileResult failed(BankFileError::WriteFailed, "x.mid");
    failed.detail = "Cannot write \"x.mid\": the disk is full.";
    EXPECT_EQ(failed.sentence(), failed.detail);
}

} // namespace
