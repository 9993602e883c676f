#include "editor/editorsession.h"

#include "audio/slotaudio.h"
#include "audio/wavwriter.h"
#include "editor/importdraft.h"
#include "editor/importsettings.h"
#include "editor/sessionstate.h"
#include "midifile/safefilewriter.h"
#include "midifile/utf8path.h"
#include "model/firmware.h"
#include "model/kitmatch.h"
#include "model/latin1.h"
#include "model/slotimport.h"
#include "varno_version.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

using namespace session;

namespace {

// What the player calls a slot of a bank.
std::uint64_t playId(int bank, int content)
{
    return static_cast<std::uint64_t>(bank) << 8U | static_cast<std::uint64_t>(content);
}

bool isBankFile(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string suffix = path.substr(path.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return suffix == ".mid";
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

// What an import did, and how long the slot sounds once its quiet tail has
// fallen below the 8-bit floor.
std::string importStatus(const std::string& fileName, const ImportResult& result, std::span<const std::uint8_t> slot)
{
    const double audible = static_cast<double>(audio::usedLength(slot)) / audio::kDeviceSampleRate;
    return describeImport(fileName, result) + "; audible for " + seconds(audible) + " at 8 bits";
}

// The first character of a UTF-8 text that Latin-1 lacks, as UTF-8; empty
// when there is none (a stray byte counts as such a character).
std::string firstNonLatin1(const std::string& utf8)
{
    for (std::size_t at = 0; at < utf8.size();) {
        const auto decoded = decodeUtf8(utf8, at);
        if (!decoded) return utf8.substr(at, 1);
        if (decoded->code > 0xFF) return utf8.substr(at, decoded->length);
        at += decoded->length;
    }
    return {};
}

} // namespace

namespace session {

std::string tagOf(std::size_t position) { return bankTag(static_cast<std::uint16_t>(position)); }
std::string tagOf(const IBank& bank) { return bankTag(bank.getIndex()); }
std::string bankCount(std::size_t count) { return count == 1 ? "1 bank" : std::to_string(count) + " banks"; }

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string reasonLine(const std::string& path, const std::string& reason)
{
    const std::string name = fileNameOf(path);
    const std::string why = reason.empty() ? "The file cannot be read." : reason;
    return why.find(name) != std::string::npos ? why : name + ": " + why;
}

} // namespace session

IPrompt::Answer CEditorSession::State::ask(IPrompt::Icon icon, const std::string& caption, const std::string& text,
                                           IPrompt::Buttons buttons)
{
    ++asking;
    const IPrompt::Answer answer = prompt().message(icon, caption, text, buttons);
    --asking;
    return answer;
}

std::optional<std::string> CEditorSession::State::askOpen(const IPrompt::FileDialog& dialog)
{
    ++asking;
    auto chosen = prompt().openFileName(dialog);
    --asking;
    return chosen;
}

std::optional<std::string> CEditorSession::State::askSave(const IPrompt::FileDialog& dialog)
{
    ++asking;
    auto chosen = prompt().saveFileName(dialog);
    --asking;
    return chosen;
}

std::optional<std::string> CEditorSession::State::askFolder(const IPrompt::FileDialog& dialog)
{
    ++asking;
    auto chosen = prompt().folderName(dialog);
    --asking;
    return chosen;
}

std::optional<std::size_t> CEditorSession::State::askChoice(const std::string& caption, const std::string& text,
                                                            const std::vector<std::string>& buttons)
{
    ++asking;
    auto chosen = prompt().choose(IPrompt::Icon::Question, caption, text, buttons);
    --asking;
    return chosen;
}

void CEditorSession::State::setStatus(std::string text)
{
    if (text == status) return;
    status = std::move(text);
    view.changed(ViewPart::status);
}

void CEditorSession::State::refreshPorts()
{
    const std::string previous =
        outputPort >= 0 && static_cast<std::size_t>(outputPort) < outputNames.size() ? outputNames[outputPort] : "";
    outputNames = services.midi ? services.midi->outputPortNames() : std::vector<std::string>{};
    inputNames = services.midi ? services.midi->inputPortNames() : std::vector<std::string>{};
    portStamp = services.midi ? services.midi->portListChanges() : 0;
    // The port chosen stays chosen while it exists.
    const auto kept = std::find(outputNames.begin(), outputNames.end(), previous);
    outputPort = kept != outputNames.end() ? static_cast<int>(kept - outputNames.begin()) : 0;
    if (static_cast<std::size_t>(inputPort) >= inputNames.size()) inputPort = 0;
    view.changed(ViewPart::ports | ViewPart::commands);
}

void CEditorSession::State::checkPlayer()
{
    playUnavailable.clear();
    if (!player) {
        playUnavailable = "There is no audio output.";
        return;
    }
    std::string reason;
    if (!player->available(reason)) playUnavailable = reason.empty() ? "There is no audio output." : reason;
}

CEditorSession::CEditorSession(SessionServices services, ISessionView& view)
    : m_state(std::make_unique<State>(std::move(services), view))
{
    State& s = *m_state;
    s.audioFolder = s.services.homeFolder;
    s.bankFolder = s.services.homeFolder;
    if (s.services.audio) {
        s.player = std::make_unique<SlotPlayer>(s.services.audio, [&s](const SlotPlayer::Ending& ending) {
            const std::lock_guard lock(s.endingsMutex);
            s.endings.push_back(ending);
        });
    }
    s.checkPlayer();
    s.outputNames = s.services.midi ? s.services.midi->outputPortNames() : std::vector<std::string>{};
    s.inputNames = s.services.midi ? s.services.midi->inputPortNames() : std::vector<std::string>{};
    s.portStamp = s.services.midi ? s.services.midi->portListChanges() : 0;
    if (!s.services.journalPath.empty()) s.journal = std::make_unique<SendJournal>(s.services.journalPath);
    s.importOptions = importsettings::load(s.services.settingsPath);
}

CEditorSession::~CEditorSession()
{
    // The program never closes the window during a send; a session torn down
    // anyway stops after the message in flight instead of finishing the bank.
    if (m_state->transfer) m_state->transfer->requestStop(StopPoint::afterMessage);
    if (m_state->worker.joinable()) m_state->worker.join();
    if (m_state->test) m_state->test->stop();
    if (m_state->testWorker.joinable()) m_state->testWorker.join();
    m_state->player.reset();
}

// --- What a window draws ---------------------------------------------------

int CEditorSession::bankCount() const { return static_cast<int>(m_state->table.size()); }

const IBank& CEditorSession::bank(int index) const { return m_state->table.bank(static_cast<std::size_t>(index)); }

std::string CEditorSession::bankListText(int index) const { return utf8FromLatin1(bank(index).getName()); }

std::string CEditorSession::bankListToolTip(int index) const
{
    const std::string name = bankListText(index);
    return isBankChanged(index) ? name + "\nChanged since it was last saved or opened" : name;
}

bool CEditorSession::isBankChanged(int index) const { return m_state->table.isChanged(static_cast<std::size_t>(index)); }
bool CEditorSession::anyChanged() const { return m_state->table.anyChanged(); }
int CEditorSession::selectedBank() const { return m_state->selected; }
std::string CEditorSession::bankName() const { return utf8FromLatin1(bank(m_state->selected).getName()); }
bool CEditorSession::bankNameEditable() const { return true; }

RowView CEditorSession::row(int row) const
{
    RowView view;
    if (row < 0 || row >= kRowCount) return view;
    const IBank& current = bank(m_state->selected);
    // Rows 0 and 1 are always filled, also for a bank with fewer contents.
    const int filled = std::max<int>(current.getContentCount(), 2);
    if (row >= filled) return view;
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    view.shown = true;
    view.label = utf8FromLatin1(current.getContentLabel(content));
    view.name = utf8FromLatin1(current.getContentName(content));
    view.editable = true;
    view.isSample = current.isSampleContent(content);
    const CContent* stored = current.content(content);
    if (stored != nullptr) view.bytes = stored->getData();
    if (!view.isSample) return view;
    view.capacity = audio::capacityText(view.bytes);
    const auto playing = m_state->player ? m_state->player->playing() : std::nullopt;
    const bool thisPlays = playing == playId(m_state->selected, content);
    const bool sounds = audio::usedLength(view.bytes) > 0;
    view.play.text = thisPlays ? "Stop" : "Play";
    view.play.enabled = m_state->playUnavailable.empty() && (sounds || thisPlays);
    if (!view.play.enabled)
        view.play.reason = m_state->playUnavailable.empty() ? "The slot holds only silence." : m_state->playUnavailable;
    return view;
}

std::string CEditorSession::title() const
{
    const std::string mark = anyChanged() ? "*" : "";
    return m_state->fileName.empty() ? kAppName + mark : m_state->fileName + mark + " - " + kAppName;
}

std::string CEditorSession::status() const { return m_state->status; }

std::string CEditorSession::statusToolTip() const
{
    const std::string& text = m_state->status;
    if (text.size() >= kMaySleepNote.size() && text.compare(text.size() - kMaySleepNote.size(), std::string::npos,
                                                            kMaySleepNote) == 0)
        return "The computer could not be asked to stay awake and may go to sleep during the send.";
    return text;
}

std::string CEditorSession::versionText() const { return std::string("Version ") + kVarnoVersion; }

std::vector<std::string> CEditorSession::outputPorts() const
{
    return m_state->outputNames.empty() ? std::vector<std::string>{"no output ports detected"} : m_state->outputNames;
}

std::vector<std::string> CEditorSession::inputPorts() const
{
    return m_state->inputNames.empty() ? std::vector<std::string>{"no input ports detected"} : m_state->inputNames;
}

int CEditorSession::selectedOutputPort() const { return m_state->outputPort; }
int CEditorSession::selectedInputPort() const { return m_state->inputPort; }
int CEditorSession::channel() const { return m_state->channel; }
bool CEditorSession::sendsAllBanks() const { return m_state->scope == SendScope::all; }
SendScope CEditorSession::sendScope() const { return m_state->scope; }

std::string CEditorSession::changesUnavailable() const
{
    return m_state->journal ? std::string() : "No send journal is kept here, so what was sent is not known.";
}

std::vector<int> CEditorSession::selectedBanks() const
{
    return m_state->selection.empty() ? std::vector<int>{m_state->selected} : m_state->selection;
}

CommandState CEditorSession::state(Command command) const
{
    const State& s = *m_state;
    CommandState state{true, {}, {}};
    const auto disable = [&state](std::string reason) {
        state.enabled = false;
        state.reason = std::move(reason);
    };
    switch (command) {
    case Command::undo:
        if (s.history.canUndo())
            state.text = "&Undo " + s.history.undoLabel();
        else
            disable("There is nothing to undo.");
        break;
    case Command::redo:
        if (s.history.canRedo())
            state.text = "&Redo " + s.history.redoLabel();
        else
            disable("There is nothing to redo.");
        break;
    case Command::saveSample: {
        const IBank& current = bank(s.selected);
        const int row = s.focusedRow >= 0 ? s.focusedRow : 0;
        if (!current.isSampleContent(static_cast<std::uint16_t>(contentOfRow(row))))
            disable("The firmware bank holds no samples.");
        break;
    }
    case Command::importKit:
        if (bank(s.selected).getContentCount() != static_cast<int>(kSlotCount))
            disable("A kit fills the sample slots of a sound bank, S01 to S31.");
        break;
    case Command::send:
        if (s.sending())
            disable("A send is running.");
        else if (s.outputNames.empty())
            disable("No MIDI output port was found: connect the MIDI interface, then choose Refresh Ports.");
        break;
    case Command::stop:
        if (!s.sending())
            disable("No send is running.");
        else if (s.transfer && s.transfer->stopRequested() != StopPoint::none)
            disable("The send stops after the bank being sent.");
        break;
    case Command::refreshPorts:
        if (s.sending()) disable("The ports stay as they are while a send runs.");
        break;
    case Command::forget:
        if (!s.journal)
            disable(changesUnavailable());
        else if (s.sending())
            disable("A send is running.");
        else if (s.outputNames.empty())
            disable("No MIDI output port was found.");
        break;
    case Command::interfaceTest:
        if (s.transfer)
            disable("A send is running.");
        else if (s.test)
            disable("The MIDI Interface Test is running.");
        else if (s.outputNames.empty())
            disable("No MIDI output port was found: connect the MIDI interface, then choose Refresh Ports.");
        else if (s.inputNames.empty())
            disable("No MIDI input port was found: the test reads back through the interface's MIDI IN.");
        break;
    case Command::receive:
        disable("Receiving banks from the VARNO is not supported yet.");
        break;
    default:
        break;
    }
    return state;
}

// --- What the user does ------------------------------------------------------

void CEditorSession::selectBank(int index)
{
    if (index < 0 || index >= bankCount() || index == m_state->selected) return;
    m_state->selected = index;
    // What plays belongs to the bank that was shown, whose rows could not stop it.
    if (m_state->player && m_state->player->playing()) m_state->player->stop();
    m_state->view.changed(ViewPart::bankList | ViewPart::bankContent | ViewPart::playState | ViewPart::commands);
}

void CEditorSession::selectOutputPort(int index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < m_state->outputNames.size()) m_state->outputPort = index;
}

void CEditorSession::selectInputPort(int index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < m_state->inputNames.size()) m_state->inputPort = index;
}

void CEditorSession::selectChannel(int channel)
{
    if (channel >= 0 && channel < 16) m_state->channel = channel;
}

void CEditorSession::setSendsAllBanks(bool all) { setSendScope(all ? SendScope::all : SendScope::selected); }

void CEditorSession::setSendScope(SendScope scope)
{
    if (scope == SendScope::changes && !changesUnavailable().empty()) return;
    m_state->scope = scope;
    m_state->view.changed(ViewPart::commands);
}

void CEditorSession::setSelectedBanks(std::vector<int> banks)
{
    std::sort(banks.begin(), banks.end());
    banks.erase(std::unique(banks.begin(), banks.end()), banks.end());
    std::erase_if(banks, [this](int bank) { return bank < 0 || bank >= bankCount(); });
    m_state->selection = banks.size() > 1 ? std::move(banks) : std::vector<int>{};
}

void CEditorSession::run(Command command)
{
    State& s = *m_state;
    if (!state(command).enabled) return;
    switch (command) {
    case Command::open: openFromDisk(); break;
    case Command::save: saveBanks(false); break;
    case Command::saveSample: saveSampleOfRow(s.focusedRow >= 0 ? s.focusedRow : 0); break;
    case Command::importKit: importKitFromFolder(); break;
    case Command::quit:
        if (requestClose()) s.view.closeWindow();
        break;
    case Command::undo:
    case Command::redo: {
        const auto shown = command == Command::undo ? s.history.undo(s.table) : s.history.redo(s.table);
        if (shown) showEdited(*shown);
        break;
    }
    case Command::reset: resetToDefault(); break;
    case Command::send: sendToDevice(); break;
    case Command::stop: requestStop(); break;
    case Command::refreshPorts: s.refreshPorts(); break;
    case Command::forget: forgetPort(); break;
    case Command::interfaceTest: startInterfaceTest(); break;
    case Command::receive:
        s.ask(IPrompt::Icon::Information, {}, "Receive from VARNO is not supported yet!", IPrompt::Buttons::Ok);
        break;
    case Command::about: s.view.showAbout(); break;
    }
}

bool CEditorSession::acceptsName(const std::string& utf8)
{
    const std::string refused = firstNonLatin1(utf8);
    if (refused.empty()) return true;
    m_state->setStatus("\"" + refused +
                       "\" cannot be typed into a name: the machine's names hold only Latin-1 characters "
                       "(Western European letters, digits and signs).");
    return false;
}

void CEditorSession::renameBank(const std::string& utf8)
{
    State& s = *m_state;
    const auto name = latin1FromUtf8(utf8);
    if (!name) {
        acceptsName(utf8);
        s.view.changed(ViewPart::bankContent);
        return;
    }
    const auto position = static_cast<std::size_t>(s.selected);
    if (*name == s.table.bank(position).getName()) return;
    auto renamed = s.table.bank(position).clone();
    renamed->setName(*name);
    record("Rename " + tagOf(position), s.table.put(position, std::move(renamed)), s.selected);
}

void CEditorSession::renameSlot(int row, const std::string& utf8)
{
    State& s = *m_state;
    if (row < 0 || row >= kRowCount) return;
    const auto name = latin1FromUtf8(utf8);
    if (!name) {
        acceptsName(utf8);
        s.view.changed(ViewPart::bankContent);
        return;
    }
    const auto position = static_cast<std::size_t>(s.selected);
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const IBank& current = s.table.bank(position);
    if (content >= current.getContentCount() || *name == current.getContentName(content)) return;
    auto renamed = current.clone();
    renamed->setContentName(content, *name);
    record("Rename " + current.getContentLabel(content) + " of " + tagOf(position),
           s.table.put(position, std::move(renamed)), s.selected);
}

void CEditorSession::openSlotFile(int row)
{
    State& s = *m_state;
    if (row < 0 || row >= kRowCount) return;
    const IBank& current = bank(s.selected);
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    if (content >= current.getContentCount()) return;
    const bool audio = current.isSampleContent(content);
    const auto chosen = s.askOpen({"Import into " + utf8FromLatin1(current.getContentLabel(content)),
                                   audio ? std::vector<std::string>{kAudioFilter, kAllFilesFilter}
                                         : std::vector<std::string>{kAllFilesFilter},
                                   s.audioFolder,
                                   {},
                                   {}});
    if (!chosen) return;
    s.audioFolder = folderOf(*chosen);
    importFiles(row, {*chosen});
}

// Fills the rows from row on, one a file, as one edit. Every file is judged
// on its own: one that cannot go into its slot is reported and skipped.
void CEditorSession::importFiles(int row, const std::vector<std::string>& paths)
{
    const int count = bank(m_state->selected).getContentCount();
    std::vector<std::pair<std::uint16_t, std::string>> plan;
    for (std::size_t i = 0; i < paths.size() && row + static_cast<int>(i) < count; ++i)
        plan.emplace_back(static_cast<std::uint16_t>(contentOfRow(row + static_cast<int>(i))), paths[i]);
    importPlan(plan);
    const std::size_t fitting = static_cast<std::size_t>(std::clamp(count - row, 0, static_cast<int>(paths.size())));
    if (const std::size_t left = paths.size() - fitting; left > 0) {
        m_state->ask(IPrompt::Icon::Information, kAppName,
                     tagOf(static_cast<std::size_t>(m_state->selected)) +
                         " had no more slots below the row the files were dropped on: " + std::to_string(left) +
                         " of the files were not imported.",
                     IPrompt::Buttons::Ok);
    }
}

std::vector<std::pair<std::uint16_t, std::string>> CEditorSession::matchedPlan(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    names.reserve(paths.size());
    for (const std::string& path : paths) names.push_back(fileNameOf(path));
    const auto match = matchKit(names);
    std::vector<std::pair<std::uint16_t, std::string>> plan;
    // In the rows' order, as the window shows them.
    for (int row = 0; row < kRowCount; ++row) {
        const auto content = static_cast<std::size_t>(contentOfRow(row));
        if (match[content]) plan.emplace_back(static_cast<std::uint16_t>(content), paths[*match[content]]);
    }
    return plan;
}

std::optional<std::vector<std::pair<std::uint16_t, std::string>>>
CEditorSession::kitPlan(const std::vector<std::string>& paths) const
{
    const IBank& shown = bank(m_state->selected);
    if (paths.size() < 2 || shown.getContentCount() != static_cast<int>(kSlotCount)) return std::nullopt;
    if (std::none_of(paths.begin(), paths.end(),
                     [](const std::string& path) { return kitSlotOf(fileNameOf(path)).has_value(); }))
        return std::nullopt;
    return matchedPlan(paths);
}

void CEditorSession::importKit(const std::vector<std::pair<std::uint16_t, std::string>>& plan, std::size_t files)
{
    State& s = *m_state;
    const IBank& shown = bank(s.selected);
    std::string text = "Fill the slots of " + tagOf(static_cast<std::size_t>(s.selected)) + " by the files' names?\n";
    for (const auto& [content, path] : plan)
        text += "\n" + utf8FromLatin1(shown.getContentLabel(content)) + ": " + fileNameOf(path);
    if (const std::size_t left = files - plan.size(); left > 0)
        text += "\n\n" + std::to_string(left) + " of the files have no slot left and are not imported.";
    if (s.ask(IPrompt::Icon::Question, "Import Kit", text, IPrompt::Buttons::OkCancel) == IPrompt::Answer::Ok)
        importPlan(plan);
}

// The folder's audio files, by name first and then in the order of their
// names, as `varno414 import --kit` takes them.
void CEditorSession::importKitFromFolder()
{
    State& s = *m_state;
    const auto folder = s.askFolder({"Import Kit into " + tagOf(static_cast<std::size_t>(s.selected)), {}, s.audioFolder, {}, {}});
    if (!folder) return;
    s.audioFolder = *folder;
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(pathFromUtf8(*folder), error)) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored)) continue;
        const std::string path = utf8FromPath(entry.path());
        const ImportRoute route = checkImport(path).route;
        if (route == ImportRoute::Reader || route == ImportRoute::Fallback) paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end());
    if (paths.empty()) {
        s.ask(IPrompt::Icon::Information, "Import Kit",
              "The folder \"" + *folder + "\" holds no audio file that can be imported.", IPrompt::Buttons::Ok);
        return;
    }
    importKit(matchedPlan(paths), paths.size());
}

void CEditorSession::importPlan(const std::vector<std::pair<std::uint16_t, std::string>>& plan)
{
    State& s = *m_state;
    const auto position = static_cast<std::size_t>(s.selected);
    std::unique_ptr<IBank> edited = s.table.bank(position).clone();
    std::vector<std::string> imported;
    std::vector<std::string> told; // what each import did, as the tool tells it
    std::string lastLabel;
    for (const auto& [content, path] : plan) {
        const std::string label = utf8FromLatin1(edited->getContentLabel(content));
        const bool audio = edited->isSampleContent(content);
        if (audio) {
            if (const ImportCheck check = checkImport(path); check.refused()) {
                s.ask(IPrompt::Icon::Information, "Wrong File Format",
                      "VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav).\n" +
                          reasonLine(path, check.reason),
                      IPrompt::Buttons::Ok);
                continue;
            }
        }
        const ImportResult result = edited->importContent(content, path, s.importOptions);
        if (!result.imported()) {
            // The bank decides what a firmware content takes; the session says so.
            std::string text = "The file \"" + path;
            if (audio) {
                text += "\" could not be loaded into \"" + label + "\".\n";
                text += reasonLine(path, result.reason);
                text += "\nNothing was changed.";
            } else {
                text += "\" is not the VARNO 414's own " + label + " firmware.\n";
                text += "Only a file whose first message is the machine's " + label;
                text += " firmware message can be loaded into \"" + label + "\"; nothing was changed.";
            }
            s.ask(IPrompt::Icon::Warning, kAppName, text, IPrompt::Buttons::Ok);
            continue;
        }
        imported.push_back(fileNameOf(path));
        if (audio) {
            const CContent* slot = edited->content(content);
            told.push_back(importStatus(imported.back(), result,
                                        slot ? std::span<const std::uint8_t>(slot->getData()) : std::span<const std::uint8_t>()));
        }
        lastLabel = label;
    }
    if (imported.empty()) return;
    if (!told.empty()) {
        std::string text;
        for (const std::string& line : told) text += (text.empty() ? "" : "; ") + line;
        s.setStatus(text);
    }
    const std::string label = imported.size() == 1
                                  ? "Import " + imported.front() + " into " + lastLabel
                                  : "Import " + std::to_string(imported.size()) + " files into " + tagOf(position);
    record(label, s.table.put(position, std::move(edited)), s.selected);
}

void CEditorSession::resetToDefault()
{
    State& s = *m_state;
    if (s.sending()) {
        s.ask(IPrompt::Icon::Information, "Reset to Default", "Don't Reset To Default any bank during sending or receiveing!",
              IPrompt::Buttons::Ok);
        return;
    }
    const auto position = static_cast<std::size_t>(s.selected);
    if (s.table.isChanged(position)) {
        const std::string question = position < kSoundBankCount
                                         ? "Replace " + tagOf(position) + " with its factory sounds? Your changes to it are lost."
                                         : "Replace " + tagOf(position) + " with its factory content? Your changes to it are lost.";
        if (s.ask(IPrompt::Icon::Question, "Reset to Default", question, IPrompt::Buttons::ResetCancel) !=
            IPrompt::Answer::Reset)
            return;
    }
    record("Reset " + tagOf(position),
           s.table.put(position, BankDocument::factoryBank(static_cast<std::uint16_t>(position))), s.selected);
}

void CEditorSession::playRow(int row)
{
    State& s = *m_state;
    if (!s.player || row < 0 || row >= kRowCount) return;
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const IBank& current = bank(s.selected);
    if (!current.isSampleContent(content) || current.content(content) == nullptr) return;
    const std::uint64_t id = playId(s.selected, content);
    if (s.player->playing() == id)
        s.player->stop();
    else if (s.playUnavailable.empty())
        s.player->play(current.content(content)->getData(), id);
    s.view.changed(ViewPart::playState);
}

namespace {
// What the player calls a draft's preview and its source.
constexpr std::uint64_t kDraftPlay = ~std::uint64_t{0};
constexpr std::uint64_t kDraftSourcePlay = ~std::uint64_t{0} - 1;
} // namespace

std::unique_ptr<CImportDraft> CEditorSession::beginImport(int row)
{
    State& s = *m_state;
    if (row < 0 || row >= kRowCount) return nullptr;
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const IBank& current = bank(s.selected);
    if (!current.isSampleContent(content)) return nullptr;
    const std::string label = utf8FromLatin1(current.getContentLabel(content));
    const auto chosen = s.askOpen({"Import into " + label + " with Options", {kAudioFilter, kAllFilesFilter},
                                   s.audioFolder, {}, {}});
    if (!chosen) return nullptr;
    s.audioFolder = folderOf(*chosen);
    auto draft = std::make_unique<CImportDraft>(*chosen, row, content, current.clone(), s.importOptions);
    if (!draft->importable() || checkImport(*chosen).refused()) {
        // Told, or taken, exactly as a plain Open would.
        importFiles(row, {*chosen});
        return nullptr;
    }
    return draft;
}

void CEditorSession::commitImport(CImportDraft& draft)
{
    State& s = *m_state;
    if (!draft.importable()) return;
    cancelImport(draft);
    std::unique_ptr<IBank> shaped = draft.takeBank();
    if (!shaped) return;
    ImportOptions kept = draft.options();
    kept.startSeconds = 0.0;
    kept.endSeconds.reset();
    s.importOptions = kept;
    importsettings::save(s.services.settingsPath, kept);
    s.setStatus(importStatus(draft.fileName(), draft.result(), draft.shaped()));
    record("Import " + draft.fileName() + " into " + draft.label(),
           s.table.put(static_cast<std::size_t>(s.selected), std::move(shaped)), s.selected);
}

void CEditorSession::cancelImport(const CImportDraft& /*draft*/)
{
    if (draftPlays()) m_state->player->stop();
}

void CEditorSession::playDraft(const CImportDraft& draft, bool source)
{
    State& s = *m_state;
    if (!s.player) return;
    const std::uint64_t id = source ? kDraftSourcePlay : kDraftPlay;
    if (s.player->playing() == id)
        s.player->stop();
    else if (s.playUnavailable.empty())
        s.player->play(source ? draft.source() : draft.shaped(), id);
    s.view.changed(ViewPart::playState);
}

bool CEditorSession::draftPlays() const
{
    return m_state->player && m_state->player->playing() >= kDraftSourcePlay;
}

ImportOptions CEditorSession::importOptions() const
{
    return m_state->importOptions;
}

// The slot as the machine holds it, as `varno414 export` writes it.
void CEditorSession::saveSampleOfRow(int row)
{
    State& s = *m_state;
    if (row < 0 || row >= kRowCount) return;
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const IBank& current = bank(s.selected);
    if (!current.isSampleContent(content) || current.content(content) == nullptr) return;
    const std::string tag = tagOf(static_cast<std::size_t>(s.selected));
    const std::string label = utf8FromLatin1(current.getContentLabel(content));
    const auto chosen =
        s.askSave({"Save " + label + " of " + tag + " As", {kWavFilter}, s.audioFolder, tag + " " + label + ".wav", "wav"});
    if (!chosen) return;
    s.audioFolder = folderOf(*chosen);
    const std::vector<std::uint8_t> image = audio::wavImage(current.content(content)->getData());
    if (writeChosenFile(*chosen, [&](const SafeWriteOptions& options) {
            const SafeWriteResult written = SafeFileWriter::write(*chosen, image, options);
            return WriteAttempt{written.ok(), written.kind, written.message()};
        }))
        s.setStatus(label + " of " + tag + " saved as " + fileNameOf(*chosen));
}

void CEditorSession::setFocusedRow(int row)
{
    if (row == m_state->focusedRow) return;
    m_state->focusedRow = row;
    m_state->view.changed(ViewPart::commands);
}

// One bank file opens anywhere on the window; audio files fill the rows from
// the one under the pointer down. A bank file among other files is refused:
// which of them was meant cannot be known.
DropTarget CEditorSession::dropTarget(const std::vector<std::string>& paths, int row) const
{
    DropTarget target;
    if (paths.empty()) return target;
    const auto bankFiles = std::count_if(paths.begin(), paths.end(), isBankFile);
    if (bankFiles > 0) {
        if (paths.size() == 1) target.kind = DropTarget::Kind::bankFile;
        return target;
    }
    target.kind = DropTarget::Kind::slots;
    if (row < 0 || row >= kRowCount) return target;
    const int count = bank(m_state->selected).getContentCount();
    if (row >= count) return target;
    if (kitPlan(paths)) {
        // Files that name their slots go there, whichever row they are dropped on.
        target.firstRow = 0;
        target.rowCount = count;
        return target;
    }
    target.firstRow = row;
    target.rowCount = std::min(static_cast<int>(paths.size()), count - row);
    return target;
}

void CEditorSession::drop(const std::vector<std::string>& paths, int row)
{
    State& s = *m_state;
    const DropTarget target = dropTarget(paths, row);
    if (target.kind == DropTarget::Kind::bankFile) {
        s.bankFolder = folderOf(paths.front());
        openBankFile(paths.front(), false);
    } else if (target.rowCount > 0) {
        s.audioFolder = folderOf(paths.front());
        if (const auto plan = kitPlan(paths)) {
            // Files that name their slots fill those; the user sees the matching first.
            importKit(*plan, paths.size());
            return;
        }
        importFiles(target.firstRow, paths);
    }
}

void CEditorSession::openGivenFile(const std::string& path) { openBankFile(path, true); }

void CEditorSession::openFromDisk()
{
    State& s = *m_state;
    const auto chosen = s.askOpen({"Open Bank File", {kBankFilter}, s.bankFolder, {}, {}});
    if (!chosen) return;
    s.bankFolder = folderOf(*chosen);
    openBankFile(*chosen, false);
    s.view.focusBankList();
}

// given: named on the command line, so the bank lands in its own place
// without a question.
void CEditorSession::openBankFile(const std::string& path, bool given)
{
    State& s = *m_state;
    BankFileResult error;
    std::optional<BankDocument> opened = BankDocument::open(path, error);
    const std::string refusal = "This file contains no sound bank(s)\nfor a Orvel VARNO 414!\n";
    if (!opened) {
        s.ask(IPrompt::Icon::Warning, kAppName, refusal + reasonLine(path, error.reason()), IPrompt::Buttons::Ok);
        return;
    }
    auto position = static_cast<std::size_t>(s.selected);
    const std::size_t own = opened->banks().size() == 1 ? opened->banks().front()->getIndex() : position;
    if (given && opened->banks().size() == 1 && own < s.table.size()) position = own;
    auto placement = opened->placementAt(position);
    if (placement == BankDocument::Placement::Refused) {
        const std::string why = "It holds " + tagOf(own) + ", which cannot go into " + tagOf(position) + ".";
        s.ask(IPrompt::Icon::Warning, kAppName, refusal + reasonLine(path, why), IPrompt::Buttons::Ok);
        return;
    }
    if (placement == BankDocument::Placement::WholeTable && s.table.anyChanged()) {
        // Every bank is replaced: unsaved work is saved or let go first, as on closing.
        if (!saveOrDiscard("Save changes to the banks before opening " + fileNameOf(path) + "?")) return;
    }
    if (placement == BankDocument::Placement::OtherPosition) {
        // The bank as the file names it: the editor's name for its position
        // may say nothing about what the file holds.
        const std::string fileBank = utf8FromLatin1(opened->banks().front()->getName());
        const std::string text = "The file contains data for bank " + tagOf(own) + ": \"" + fileBank +
                                 "\".\nOpen it into its own position " + tagOf(own) + " (now \"" +
                                 utf8FromLatin1(s.table.bank(own).getName()) + "\") or into the selected " +
                                 tagOf(position) + " (now \"" + bankName() + "\")?";
        const auto choice = s.askChoice(kAppName, text, {"Into " + tagOf(own), "Into " + tagOf(position)});
        if (!choice) return;
        if (*choice == 0) {
            position = own;
            placement = opened->placementAt(position);
        }
    }
    const std::vector<std::uint64_t> savedBefore = s.table.savedRevisions();
    std::vector<StoredBank> replaced = s.table.takeFrom(std::move(*opened), position);
    // What now equals the file counts as saved; a bank renumbered to this
    // position is held by no file yet.
    if (placement == BankDocument::Placement::WholeTable)
        s.table.markAllSaved();
    else if (placement == BankDocument::Placement::SamePosition)
        s.table.markSaved(position);
    s.fileName = fileNameOf(path);
    if (placement != BankDocument::Placement::WholeTable) s.selected = static_cast<int>(position);
    UndoHistory::Step step{"Open " + s.fileName, std::move(replaced),
                           placement == BankDocument::Placement::WholeTable ? -1 : static_cast<int>(position),
                           savedBefore};
    s.history.record(std::move(step));
    s.setStatus("Opened " + s.fileName);
    showEdited(placement == BankDocument::Placement::WholeTable ? -1 : static_cast<int>(position));
}

// Save... / Discard / Cancel; true when the banks may be let go.
bool CEditorSession::saveOrDiscard(const std::string& question)
{
    State& s = *m_state;
    while (s.table.anyChanged()) {
        switch (s.ask(IPrompt::Icon::Question, kAppName, question, IPrompt::Buttons::SaveDiscardCancel)) {
        case IPrompt::Answer::Save: {
            // Saving only the selected bank would leave other changed banks
            // unsaved, and the question could never be answered with Save.
            bool othersChanged = false;
            for (std::size_t i = 0; i < s.table.size(); ++i)
                othersChanged = othersChanged || (s.table.isChanged(i) && static_cast<int>(i) != s.selected);
            if (!saveBanks(othersChanged)) return false;
            break;
        }
        case IPrompt::Answer::Discard:
            return true;
        default:
            return false;
        }
    }
    return true;
}

// The normal save, with its dialog; true when the file was written.
bool CEditorSession::saveBanks(bool wholeTable)
{
    State& s = *m_state;
    const bool all = wholeTable || s.scope != SendScope::selected;
    const auto position = static_cast<std::size_t>(s.selected);
    const std::string tag = tagOf(position);
    const auto chosen = s.askSave({all ? "Save All Banks to Disk" : "Save " + tag + " to Disk",
                                   {kBankFilter},
                                   s.bankFolder,
                                   (all ? std::string("all banks") : tag) + ".mid",
                                   "mid"});
    if (!chosen) return false;
    s.bankFolder = folderOf(*chosen);
    BankDocument& table = s.table.document();
    const bool saved = writeChosenFile(*chosen, [&](const SafeWriteOptions& options) {
        BankFileResult error;
        const bool written = all ? table.save(*chosen, error, options) : table.saveBank(position, *chosen, error, options);
        return WriteAttempt{written, error.write, error.reason()};
    });
    if (!saved) return false;
    if (all)
        s.table.markAllSaved();
    else
        s.table.markSaved(position);
    s.fileName = fileNameOf(*chosen);
    s.setStatus("Saved " + (all ? std::string("all banks") : tag) + " to " + s.fileName);
    s.view.changed(ViewPart::bankList | ViewPart::title | ViewPart::commands);
    s.view.focusBankList();
    return true;
}

bool CEditorSession::writeChosenFile(const std::string& chosen,
                                     const std::function<WriteAttempt(const SafeWriteOptions&)>& write)
{
    State& s = *m_state;
    WriteAttempt attempt = write({});
    if (attempt.kind == SafeWriteError::ReadOnly) {
        if (s.ask(IPrompt::Icon::Question, kAppName,
                  "The file \"" + chosen + "\" is read-only.\nDo you want to replace it anyway?",
                  IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return false;
        attempt = write({.overwriteReadOnly = true});
    }
    if (attempt.written) return true;
    s.ask(IPrompt::Icon::Warning, kAppName,
          "The file \"" + chosen + "\" could not be written.\n" + reasonLine(chosen, attempt.reason),
          IPrompt::Buttons::Ok);
    return false;
}

// Every edit is made first, then recorded with the banks it replaced.
void CEditorSession::record(std::string label, std::vector<StoredBank> replaced, int position)
{
    if (replaced.empty()) return;
    m_state->history.record({std::move(label), std::move(replaced), position, std::nullopt});
    showEdited(position);
}

void CEditorSession::showEdited(int position)
{
    State& s = *m_state;
    if (position >= 0 && position != s.selected) {
        s.selected = position;
        if (s.player && s.player->playing()) s.player->stop();
    }
    s.view.changed(ViewPart::all);
}

bool CEditorSession::requestClose()
{
    State& s = *m_state;
    if (s.sending()) return closeDuringTransfer();
    return saveOrDiscard("Save changes to the banks before closing?");
}

void CEditorSession::tick()
{
    State& s = *m_state;
    std::vector<SlotPlayer::Ending> endings;
    {
        const std::lock_guard lock(s.endingsMutex);
        endings.swap(s.endings);
    }
    if (!endings.empty()) {
        for (const SlotPlayer::Ending& ending : endings) {
            if (ending.end != SlotPlayer::End::Failed) continue;
            s.setStatus(ending.error);
            // Asked again only after a failure, so looking at banks never waits for the device.
            s.checkPlayer();
        }
        s.view.changed(ViewPart::playState | ViewPart::bankContent);
    }
    if (s.test) {
        showProgress();
        if (s.testFinished.load(std::memory_order_acquire) && s.asking == 0) finishInterfaceTest();
    } else if (s.transfer) {
        showProgress();
        if (s.finished.load(std::memory_order_acquire) && s.asking == 0) finishSend();
    } else if (s.services.midi && s.asking == 0 &&
               (s.devicesChanged || s.services.midi->portListChanges() != s.portStamp)) {
        s.devicesChanged = false;
        s.refreshPorts();
    }
}

void CEditorSession::devicesChanged()
{
    m_state->devicesChanged = true;
}

std::vector<std::string> CEditorSession::rowLabels(const std::string& takenMnemonics) const
{
    std::vector<std::string> shown;
    std::vector<int> rows;
    for (int index = 0; index < kRowCount; ++index) {
        const RowView view = row(index);
        if (!view.shown) continue;
        shown.push_back(view.label);
        rows.push_back(index);
    }
    const std::vector<std::string> marked = withMnemonics(shown, takenMnemonics);
    std::vector<std::string> labels(kRowCount);
    for (std::size_t i = 0; i < rows.size(); ++i) labels[static_cast<std::size_t>(rows[i])] = marked[i];
    return labels;
}

std::vector<std::string> withMnemonics(const std::vector<std::string>& texts, const std::string& taken)
{
    const auto upper = [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    const auto isLetter = [](char c) { return c >= 'A' && c <= 'Z'; };
    std::string used;
    for (const char c : taken) used += upper(static_cast<unsigned char>(c));
    std::vector<std::string> out = texts;
    std::vector<bool> done(texts.size(), false);
    const auto freeLetters = [&](const std::string& text) {
        std::string letters;
        for (const char raw : text) {
            const char c = upper(static_cast<unsigned char>(raw));
            if (isLetter(c) && used.find(c) == std::string::npos && letters.find(c) == std::string::npos) letters += c;
        }
        return letters;
    };
    for (std::size_t round = 0; round < texts.size(); ++round) {
        // The text with the fewest free letters chooses first.
        std::size_t pick = texts.size();
        std::size_t fewest = SIZE_MAX;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (done[i]) continue;
            const std::size_t count = freeLetters(texts[i]).size();
            if (count < fewest) {
                fewest = count;
                pick = i;
            }
        }
        if (pick == texts.size()) break;
        done[pick] = true;
        const std::string letters = freeLetters(texts[pick]);
        if (letters.empty()) continue;
        const char letter = letters.front();
        used += letter;
        const std::string& text = texts[pick];
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (upper(static_cast<unsigned char>(text[at])) == letter) {
                out[pick] = text.substr(0, at) + "&" + text.substr(at);
                break;
            }
        }
    }
    return out;
}
