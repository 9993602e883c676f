#include "cli/commands.h"

#include "audio/slotaudio.h"
#include "audio/wavwriter.h"
#include "cli/json.h"
#include "cli/naming.h"
#include "cli/options.h"
#include "midifile/bankdocument.h"
#include "midifile/filelock.h"
#include "midifile/safefilewriter.h"
#include "midifile/utf8path.h"
#include "model/kitmatch.h"
#include "model/latin1.h"
#include "model/slotimport.h"
#include "varno_version.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace cli {
namespace {

// Parses a subcommand's options; on a usage error or --help returns the
// exit status to end with.
std::optional<int> parseOrExit(const std::string& command, std::span<const std::string> args,
                               std::span<const OptionSpec> specs, Options& options)
{
    std::string error;
    if (!options.parse(args, specs, error)) return usage(command, error);
    if (options.has("help")) {
        std::cout << helpText(command);
        return kExitOk;
    }
    return std::nullopt;
}

std::string slotText(const IBank& bank, std::uint16_t slot)
{
    return bankTag(bank.getIndex()) + " slot " + std::to_string(slot + 1) + " (" + bank.getContentLabel(slot) + ")";
}

// The slot a --slot value names in a bank, or nullopt after reporting.
std::optional<std::uint16_t> selectSlot(const IBank& bank, const std::string& text, std::string& error)
{
    const auto slot = parseSlot(bank, text);
    if (!slot) {
        error = "bank " + bankTag(bank.getIndex()) + " has no slot '" + text + "': its slots are";
        for (std::uint16_t i = 0; i < bank.getContentCount(); ++i)
            error += (i ? ", " : " ") + std::to_string(i + 1) + " " + bank.getContentLabel(i);
        error += ".";
    }
    return slot;
}

// Names a slot even when the file gave the bank fewer names than slots.
void setSlotName(IBank& bank, std::uint16_t slot, const std::string& name)
{
    if (slot >= bank.getContentNames().size()) {
        auto names = bank.getContentNames();
        names.resize(bank.getContentCount());
        bank.setContentNames(names);
    }
    bank.setContentName(slot, name);
}

// A name given on the command line, in the Latin-1 that bank files hold;
// nullopt with a one-sentence error for what Latin-1 cannot hold.
std::optional<std::string> nameArgument(const std::string& utf8, std::string& error)
{
    auto name = latin1FromUtf8(utf8);
    if (!name)
        error = "the name '" + utf8 + "' holds characters that a bank file cannot: names take Latin-1 characters only.";
    return name;
}

SafeWriteOptions writeOptions(const Options& options)
{
    return {.overwriteReadOnly = options.has("force")};
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec);
}

bool isRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(pathFromUtf8(path), ec);
}

} // namespace

std::string writeFailure(const SafeWriteResult& result)
{
    std::string sentence = result.message();
    if (result.kind == SafeWriteError::ReadOnly) sentence += " Give --force to replace it.";
    return sentence;
}

std::string saveFailure(const BankFileResult& result)
{
    if (result.kind == BankFileError::WriteFailed) return writeFailure({result.write, result.path, {}});
    return result.sentence();
}

int run(std::span<const std::string> args)
{
    if (args.empty()) {
        std::cerr << helpText("");
        return kExitUsage;
    }
    const std::string& command = args.front();
    const auto rest = args.subspan(1);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << helpText(rest.empty() ? std::string() : rest.front());
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "varno414 " << kVarnoVersion << '\n';
        return kExitOk;
    }
    if (command == "ports") return commandPorts(rest);
    if (command == "new") return commandNew(rest);
    if (command == "show") return commandShow(rest);
    if (command == "import") return commandImport(rest);
    if (command == "rename") return commandRename(rest);
    if (command == "export") return commandExport(rest);
    if (command == "send") return commandSend(rest);
    if (command == "test-interface") return commandTestInterface(rest);
    return usage("", "unknown command '" + command + "'.");
}

int commandNew(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 4> specs{
        {{"help", false}, {"bank", true}, {"all", false}, {"force", false}}};
    Options options;
    if (const auto exit = parseOrExit("new", args, specs, options)) return *exit;
    if (options.positional().size() != 1) return usage("new", "give exactly one bank file to write.");
    if (options.has("bank") && options.has("all")) return usage("new", "give either --bank or --all, not both.");
    const std::string& path = options.positional().front();

    std::optional<std::uint16_t> index;
    if (const auto bank = options.value("bank")) {
        index = parseBank(*bank);
        if (!index) return fail("there is no bank '" + *bank + "': banks are S01 to S31 and FIRMWARE.");
    }
    std::error_code ec;
    if (!options.has("force") && std::filesystem::exists(pathFromUtf8(path), ec))
        return fail("'" + path + "' already exists: give --force to replace it with factory content.");

    BankDocument doc = BankDocument::factory(index);
    BankFileResult saved;
    if (!doc.save(path, saved, writeOptions(options))) return fail(saveFailure(saved));
    return kExitOk;
}

int commandShow(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 2> specs{{{"help", false}, {"json", false}}};
    Options options;
    if (const auto exit = parseOrExit("show", args, specs, options)) return *exit;
    if (options.positional().size() != 1) return usage("show", "give exactly one bank file.");
    const std::string& path = options.positional().front();
    BankFileResult opened;
    const auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    const auto duplicates = doc->duplicates();

    if (options.has("json")) {
        // Keys and their order are part of the interface scripts rely on.
        std::cout << "{\n  \"file\": " << jsonString(path) << ",\n  \"banks\": [";
        bool firstBank = true;
        for (const auto& bank : doc->banks()) {
            const bool firmware = bank->getIndex() >= kSoundBankCount;
            std::cout << (firstBank ? "\n" : ",\n") << "    {\n"
                      << "      \"bank\": " << jsonString(bankTag(bank->getIndex())) << ",\n"
                      << "      \"index\": " << bank->getIndex() << ",\n"
                      << "      \"kind\": " << (firmware ? "\"firmware\"" : "\"sound\"") << ",\n"
                      << "      \"name\": " << jsonString(utf8FromLatin1(bank->getName())) << ",\n";
            if (firmware)
                std::cout << "      \"deviceFirmware\": " << (bank->isFirmwarePlaceholder() ? "false" : "true")
                          << ",\n";
            std::cout << "      \"contents\": [";
            for (std::uint16_t i = 0; i < bank->getContentCount(); ++i) {
                const CContent* content = bank->content(i);
                std::cout << (i ? ",\n" : "\n") << "        {\"slot\": " << i + 1
                          << ", \"label\": " << jsonString(bank->getContentLabel(i))
                          << ", \"name\": " << jsonString(utf8FromLatin1(bank->getContentName(i)))
                          << ", \"size\": " << (content ? content->getSize() : 0);
                if (content && bank->isSampleContent(i))
                    std::cout << ", \"seconds\": " << jsonNumber(audio::slotSeconds(audio::usedLength(content->getData())))
                              << ", \"capacity_seconds\": " << jsonNumber(audio::slotSeconds(content->getSize()));
                std::cout << "}";
            }
            std::cout << "\n      ]\n    }";
            firstBank = false;
        }
        std::cout << "\n  ],\n  \"duplicates\": [";
        bool firstDuplicate = true;
        for (const DuplicateBank& duplicate : duplicates) {
            std::cout << (firstDuplicate ? "\n" : ",\n") << "    {\"bank\": " << jsonString(bankTag(duplicate.index))
                      << ", \"tracks\": [";
            for (std::size_t i = 0; i < duplicate.tracks.size(); ++i)
                std::cout << (i ? ", " : "") << duplicate.tracks[i];
            std::cout << "]}";
            firstDuplicate = false;
        }
        std::cout << (duplicates.empty() ? "]\n}\n" : "\n  ]\n}\n");
        return kExitOk;
    }

    for (const auto& bank : doc->banks()) {
        std::cout << bankTag(bank->getIndex()) << "  " << printableName(bank->getName());
        if (bank->getIndex() >= kSoundBankCount)
            std::cout << (bank->isFirmwarePlaceholder() ? "  (no device firmware: never sent)" : "  (device firmware)");
        std::cout << '\n';
        for (std::uint16_t i = 0; i < bank->getContentCount(); ++i) {
            const CContent* content = bank->content(i);
            std::string label = bank->getContentLabel(i);
            label.resize(std::max<std::size_t>(label.size(), 14), ' ');
            std::cout << "  " << i + 1 << "  " << label << "  " << printableName(bank->getContentName(i)) << "  ("
                      << (content ? content->getSize() : 0) << " bytes)\n";
        }
    }
    for (const DuplicateBank& duplicate : duplicates) std::cout << duplicate.sentence() << ".\n";
    return kExitOk;
}

// Every slot of one sound bank from the audio files of a folder, matched by
// name, then by order; one save, and the bank file unchanged if any import
// fails.
int importKit(const std::string& path, const std::string& folder, const Options& options,
              const ImportOptions& importOptions)
{
    std::error_code ec;
    const std::filesystem::path dir = pathFromUtf8(folder);
    if (!std::filesystem::is_directory(dir, ec)) return fail("'" + folder + "' is not a folder.");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        const ImportRoute route = checkImport(utf8FromPath(entry.path())).route;
        if (route == ImportRoute::Reader || route == ImportRoute::Fallback) names.push_back(utf8FromPath(entry.path().filename()));
    }
    if (ec) return fail("'" + folder + "' cannot be read: " + ec.message() + ".");
    if (names.empty()) return fail("'" + folder + "' holds no audio file that can be imported.");
    std::sort(names.begin(), names.end());

    std::string error;
    const FileLock lock(path);
    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    IBank* bank = selectBank(*doc, path, options.value("bank"), error);
    if (!bank) return fail(error);
    if (bank->getContentCount() != kSlotCount || !bank->isSampleContent(0))
        return fail("--kit fills the sample slots of a sound bank, S01 to S31.");
    const auto match = matchKit(names);
    std::vector<std::string> lines;
    for (std::uint16_t slot = 0; slot < kSlotCount; ++slot) {
        if (!match[slot]) continue;
        const std::string& name = names[*match[slot]];
        const std::string file = utf8FromPath(dir / pathFromUtf8(name));
        const ImportResult imported = bank->importContent(slot, file, importOptions);
        if (!imported.imported())
            return fail("'" + file + "' could not be read into " + slotText(*bank, slot) + "; nothing was saved." +
                        (imported.reason.empty() ? "" : " " + imported.reason));
        setSlotName(*bank, slot, nameFromPath(file));
        lines.push_back(std::string(kSlotLabels[slot]) + ": " + describeImport(name, imported));
    }
    BankFileResult saved;
    if (!doc->save(path, saved, writeOptions(options))) return fail(saveFailure(saved));
    for (const std::string& line : lines) std::cerr << line << '\n';
    return kExitOk;
}

int commandImport(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 16> specs{{{"help", false},
                                                       {"kit", true},
                                                       {"bank", true},
                                                       {"slot", true},
                                                       {"name", true},
                                                       {"start", true},
                                                       {"end", true},
                                                       {"gain", true},
                                                       {"normalize", true, true},
                                                       {"reverse", false},
                                                       {"fade-in", true},
                                                       {"fade-out", true},
                                                       {"dc", false},
                                                       {"quality", true},
                                                       {"dither", false},
                                                       {"force", false}}};
    Options options;
    if (const auto exit = parseOrExit("import", args, specs, options)) return *exit;
    const bool kit = options.has("kit");
    if (kit && (options.has("slot") || options.has("name")))
        return usage("import", "--kit fills every slot and names each after its file: leave out --slot and --name.");
    if (kit && options.positional().size() != 1) return usage("import", "give the bank file, and the folder with --kit.");
    if (!kit && options.positional().size() != 2) return usage("import", "give the bank file and the audio file.");
    const auto slotArg = options.value("slot");
    if (!kit && !slotArg) return usage("import", "choose the slot to fill with --slot.");
    const std::string& path = options.positional()[0];
    ImportOptions importOptions;
    if (const auto startArg = options.value("start")) {
        const auto start = parseSeconds(*startArg);
        if (!start) return usage("import", "--start takes a number of seconds, such as 1.25.");
        importOptions.startSeconds = *start;
    }
    if (const auto endArg = options.value("end")) {
        const auto end = parseSeconds(*endArg);
        if (!end) return usage("import", "--end takes a number of seconds, such as 1.25.");
        importOptions.endSeconds = *end;
    }
    for (const auto& [option, target] :
         {std::pair{"fade-in", &importOptions.fadeInSeconds}, std::pair{"fade-out", &importOptions.fadeOutSeconds}}) {
        if (const auto text = options.value(option)) {
            const auto seconds = parseSeconds(*text);
            if (!seconds) return usage("import", std::string("--") + option + " takes a number of seconds, such as 0.05.");
            *target = *seconds;
        }
    }
    if (options.has("gain") && options.has("normalize"))
        return usage("import", "--gain and --normalize exclude each other: choose one.");
    if (const auto text = options.value("gain")) {
        const auto db = parseDecibels(*text);
        if (!db) return usage("import", "--gain takes a number of decibels, such as -3 or 4.5.");
        importOptions.gainDb = *db;
    }
    if (options.has("normalize")) {
        importOptions.normalizePeakDb = 0.0;
        if (const auto text = options.value("normalize")) {
            const auto db = parseDecibels(*text);
            if (!db) return usage("import", "--normalize=PEAK_DB takes a peak in dBFS, such as -1.");
            importOptions.normalizePeakDb = *db;
        }
    }
    importOptions.reverse = options.has("reverse");
    importOptions.removeDc = options.has("dc");
    importOptions.dither = options.has("dither");
    if (const auto text = options.value("quality")) {
        if (*text == "clean")
            importOptions.quality = ImportOptions::Quality::Clean;
        else if (*text != "classic")
            return usage("import", "--quality is classic or clean.");
    }
    if (const std::string problem = importOptionsProblem(importOptions); !problem.empty())
        return usage("import", problem);
    if (kit) return importKit(path, *options.value("kit"), options, importOptions);
    const std::string& audio = options.positional()[1];

    std::string error;
    // The name the user chose, or the audio file's own name.
    std::string name = nameFromPath(audio);
    if (const auto nameArg = options.value("name")) {
        const auto chosen = nameArgument(*nameArg, error);
        if (!chosen) return fail(error);
        name = *chosen;
    }
    const FileLock lock(path);
    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    IBank* bank = selectBank(*doc, path, options.value("bank"), error);
    if (!bank) return fail(error);
    const auto slot = selectSlot(*bank, *slotArg, error);
    if (!slot) return fail(error);
    if (!(importOptions == ImportOptions{}) && !bank->isSampleContent(*slot))
        return fail("--start and the options that shape the sound apply to sample slots only; " +
                    slotText(*bank, *slot) + " holds a stored message.");

    if (!isRegularFile(audio)) return fail("'" + audio + "' does not exist or is not a file.");
    // Classified to refuse audio that nothing here decodes, as the editor does.
    if (const ImportCheck check = checkImport(audio); check.refused())
        return fail("'" + audio + "': Wrong File Format: " +
                    "VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav). " + check.reason);
    const ImportResult imported = bank->importContent(*slot, audio, importOptions);
    if (imported.kind == ImportResult::Kind::StartBeyondEnd)
        return fail("'" + audio + "' is only " + audio::secondsText(imported.sourceSeconds) + " long: --start " +
                    *options.value("start") + " lies beyond its end.");
    if (!imported.imported()) {
        if (!bank->isSampleContent(*slot))
            return fail("'" + audio + "' holds no device firmware for " + slotText(*bank, *slot) +
                        ": only the machine's own firmware message for it can be loaded there.");
        return fail("'" + audio + "' could not be read into " + slotText(*bank, *slot) + "." +
                    (imported.reason.empty() ? "" : " " + imported.reason));
    }
    setSlotName(*bank, *slot, name);

    BankFileResult saved;
    if (!doc->save(path, saved, writeOptions(options))) return fail(saveFailure(saved));
    if (bank->isSampleContent(*slot))
        std::cerr << describeImport(utf8FromPath(pathFromUtf8(audio).filename()), imported) << '\n';
    return kExitOk;
}

int commandRename(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 4> specs{
        {{"help", false}, {"bank", true}, {"slot", true}, {"force", false}}};
    Options options;
    if (const auto exit = parseOrExit("rename", args, specs, options)) return *exit;
    if (options.positional().size() != 2) return usage("rename", "give the bank file and the new name.");
    const std::string& path = options.positional()[0];

    std::string error;
    const auto latin1 = nameArgument(options.positional()[1], error);
    if (!latin1) return fail(error);
    const std::string& name = *latin1;
    const FileLock lock(path);
    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    IBank* bank = selectBank(*doc, path, options.value("bank"), error);
    if (!bank) return fail(error);
    if (const auto slotArg = options.value("slot")) {
        const auto slot = selectSlot(*bank, *slotArg, error);
        if (!slot) return fail(error);
        setSlotName(*bank, *slot, name);
    } else {
        // A bank file cannot hold an empty bank name: it would not open again.
        if (name.empty()) return fail("a bank name cannot be empty.");
        bank->setName(name);
    }
    BankFileResult saved;
    if (!doc->save(path, saved, writeOptions(options))) return fail(saveFailure(saved));
    return kExitOk;
}

int commandExport(std::span<const std::string> args)
{
    static constexpr std::array<OptionSpec, 5> specs{
        {{"help", false}, {"bank", true}, {"slot", true}, {"all", true}, {"force", false}}};
    Options options;
    if (const auto exit = parseOrExit("export", args, specs, options)) return *exit;
    const auto slotArg = options.value("slot");
    const auto dir = options.value("all");
    if (slotArg.has_value() == dir.has_value()) return usage("export", "give either --slot SLOT OUT.wav or --all DIR.");
    if (options.positional().size() != (slotArg ? 2u : 1u))
        return usage("export", slotArg ? "give the bank file and the WAV file to write." : "give the bank file.");
    const std::string& path = options.positional()[0];

    BankFileResult opened;
    auto doc = BankDocument::open(path, opened);
    if (!doc) return fail(opened.sentence());
    std::string error;

    if (slotArg) {
        IBank* bank = selectBank(*doc, path, options.value("bank"), error);
        if (!bank) return fail(error);
        const auto slot = selectSlot(*bank, *slotArg, error);
        if (!slot) return fail(error);
        const CContent* content = bank->content(*slot);
        if (!content || !bank->isSampleContent(*slot))
            return fail(slotText(*bank, *slot) +
                        " holds a stored message, not samples: it cannot be written as a WAV file.");
        const std::string& out = options.positional()[1];
        if (sameFile(out, path))
            return fail("'" + out + "' is the bank file itself: choose another name for the WAV file.");
        const SafeWriteResult written =
            SafeFileWriter::write(out, audio::wavImage(content->getData()), writeOptions(options));
        return written.ok() ? kExitOk : fail(writeFailure(written));
    }

    std::vector<IBank*> banks;
    if (options.has("bank") || doc->banks().size() == 1) {
        IBank* bank = selectBank(*doc, path, options.value("bank"), error);
        if (!bank) return fail(error);
        if (bank->getIndex() >= kSoundBankCount)
            return fail("bank " + bankTag(bank->getIndex()) + " holds no sample slots to write as WAV files.");
        banks.push_back(bank);
    } else {
        for (const auto& bank : doc->banks())
            if (bank->getIndex() < kSoundBankCount) banks.push_back(bank.get());
    }

    std::error_code ec;
    const std::filesystem::path folder = pathFromUtf8(*dir);
    std::filesystem::create_directory(folder, ec);
    if (!std::filesystem::is_directory(folder, ec))
        return fail("cannot write into '" + *dir + "': it is not a folder and could not be made one.");
    for (IBank* bank : banks) {
        for (std::uint16_t i = 0; i < bank->getContentCount(); ++i) {
            const CContent* content = bank->content(i);
            if (!content || !bank->isSampleContent(i)) continue;
            const std::string name = bankTag(bank->getIndex()) + "_" + std::to_string(i + 1) + "_" +
                                     fileSafe(bank->getContentLabel(i)) + ".wav";
            const std::string out = utf8FromPath(folder / name);
            if (sameFile(out, path)) return fail("'" + out + "' is the bank file itself: export into another folder.");
            const SafeWriteResult written =
                SafeFileWriter::write(out, audio::wavImage(content->getData()), writeOptions(options));
            if (!written.ok()) return fail(writeFailure(written));
        }
    }
    return kExitOk;
}

} // namespace cli
