// The Windows editor window, created for real and driven the way the user
// would drive it, with messages; a scripted prompt answers its questions and
// the recording backends take its sends and plays.

#include "audio/recording/recordingaudiosystem.h"
#include "audio/wavwriter.h"
#include "editor/importdraft.h"
#include "editor/win32/editorwindow.h"
#include "editor/win32/importwindow.h"
#include "editor/win32/text.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "model/sound.h"
#include "midifile/utf8path.h"
#include "tests/support/scriptedprompt.h"
#include "tests/support/sharedscenario.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dbt.h>
#include <shlobj.h>

#include <chrono>
#include <fstream>
#include <thread>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using win32::CEditorWindow;
using win32::narrow;
using win32::widen;
using Answer = IPrompt::Answer;

namespace {

class Win32Window : public ::testing::Test {
public:
    void start(RecordingMidiSystem::Options midi = {})
    {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                                        ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        window.reset();
        system = std::make_shared<RecordingMidiSystem>(midi);
        audio = std::make_shared<RecordingAudioSystem>();
        SessionServices services;
        services.midi = system;
        auto scripted = std::make_unique<ScriptedPrompt>();
        prompt = scripted.get();
        services.prompt = std::move(scripted);
        services.audio = audio;
        services.inhibitor = std::make_unique<RecordingSleepInhibitor>();
        services.homeFolder = home.path().string();
        window = std::make_unique<CEditorWindow>(std::move(services));
        ShowWindow(window->hwnd(), SW_SHOW);
        SetForegroundWindow(window->hwnd());
        pump();
    }
    void SetUp() override { start(); }
    void TearDown() override
    {
        if (window && window->hwnd() != nullptr) window->session().run(Command::stop);
        window.reset();
    }

    // The message loop of the program, until nothing is waiting.
    void pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            if (window && window->preTranslate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The loop with its timer running, until the condition holds.
    template <typename Condition> bool pumpUntil(Condition condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    HWND control(int id) const { return window->control(id); }
    std::string text(int id) const { return narrow(win32::CControl(control(id)).text()); }
    bool visible(int id) const { return win32::CControl(control(id)).isVisible(); }
    void click(int id)
    {
        SendMessageW(control(id), BM_CLICK, 0, 0);
        pump();
    }
    // Typed into the field, then committed by the focus leaving it.
    void type(int id, const std::string& utf8)
    {
        SetFocus(control(id));
        SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(widen(utf8).c_str()));
        SetFocus(control(CEditorWindow::kBankList));
        pump();
    }
    // A key with Ctrl (and Shift) held, through the program's accelerators.
    void press(WORD key, bool shift = false)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        BYTE held[256];
        std::copy(std::begin(keys), std::end(keys), std::begin(held));
        held[VK_CONTROL] = 0x80;
        held[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(held);
        MSG message{GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
        const bool taken = window->preTranslate(message);
        SetKeyboardState(keys);
        ASSERT_TRUE(taken);
        pump();
    }
    // Files dropped from Explorer at a point of the window's client area.
    void drop(const std::vector<std::string>& paths, POINT at)
    {
        std::wstring names;
        for (const std::string& path : paths) names += widen(path) + L'\0';
        names += L'\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->pt = at;
        files->fWide = TRUE;
        std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(files + 1));
        GlobalUnlock(memory);
        SendMessageW(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
        pump();
    }
    POINT middleOf(int id) const
    {
        const RECT place = win32::CControl(control(id)).place();
        return {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    }
    std::string wavFile(const std::string& name, std::size_t count)
    {
        std::vector<std::uint8_t> samples;
        for (std::size_t i = 0; i < count; ++i) samples.push_back(i % 40 < 20 ? 0xE0 : 0x20);
        const std::string path = files.file(name);
        const auto image = audio::wavImage(samples);
        std::ofstream(pathFromUtf8(path), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return path;
    }
    std::string titleShown() const
    {
        wchar_t title[256] = {};
        GetWindowTextW(window->hwnd(), title, 256);
        return narrow(title);
    }

    TempDir home{"varno-home"};
    TempDir files{"varno-files"};
    std::shared_ptr<RecordingMidiSystem> system;
    std::shared_ptr<RecordingAudioSystem> audio;
    ScriptedPrompt* prompt = nullptr;
    std::unique_ptr<CEditorWindow> window;
};

int rowControl(int row, CEditorWindow::RowPart part)
{
    return CEditorWindow::rowId(row, part);
}

} // namespace

TEST_F(Win32Window, ARenameShowsInTheListAndTitleAndCtrlZUndoesIt)
{
    type(CEditorWindow::kBankName, "Kit 2");
    EXPECT_EQ(window->session().bankName(), "Kit 2");
    EXPECT_EQ(titleShown(), window->session().title());
    EXPECT_THAT(titleShown(), HasSubstr("*"));
    HWND bankList = control(CEditorWindow::kBankList);
    wchar_t item[128] = {};
    ListView_GetItemText(bankList, 4, 0, item, 128);
    EXPECT_EQ(narrow(item), window->session().bankListText(4));
    // The menu reads what Ctrl+Z will undo.
    wchar_t entry[128] = {};
    GetMenuStringW(GetMenu(window->hwnd()), static_cast<UINT>(win32::CMenus::idOf(Command::undo)), entry, 128,
                   MF_BYCOMMAND);
    EXPECT_THAT(narrow(entry), StartsWith(window->session().state(Command::undo).text));

    press('Z');
    EXPECT_EQ(text(CEditorWindow::kBankName), window->session().bankName());
    EXPECT_NE(window->session().bankName(), "Kit 2");
    EXPECT_FALSE(window->session().anyChanged());
    press('Z', true);
    EXPECT_EQ(text(CEditorWindow::kBankName), "Kit 2");

    // A character no bank file holds is refused as it is typed.
    SetFocus(control(CEditorWindow::kBankName));
    SendMessageW(control(CEditorWindow::kBankName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Kit \u2665"));
    EXPECT_EQ(text(CEditorWindow::kBankName), "Kit 2");
    EXPECT_EQ(text(CEditorWindow::kStatus), window->session().status());
    EXPECT_FALSE(window->session().status().empty());
}

TEST_F(Win32Window, TheListShowsTheCurrentBankAndHandsOverTheWholeSelection)
{
    HWND list = control(CEditorWindow::kBankList);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, 7, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    pump();
    EXPECT_EQ(window->session().selectedBank(), 7);
    EXPECT_EQ(text(CEditorWindow::kBankName), window->session().bankName());
    // Ctrl+click of another bank: the current bank moves, both are chosen.
    ListView_SetItemState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    pump();
    EXPECT_EQ(window->session().selectedBank(), 2);
    EXPECT_EQ(window->session().selectedBanks(), (std::vector<int>{2, 7}));
}

TEST_F(Win32Window, AnInterfacePluggedInShowsInThePortList)
{
    HWND outputs = control(CEditorWindow::kOutputPorts);
    ASSERT_EQ(SendMessageW(outputs, CB_GETCOUNT, 0, 0), 1);
    system->setOutputPortCount(2);
    SendMessageW(window->hwnd(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(pumpUntil([&] { return SendMessageW(outputs, CB_GETCOUNT, 0, 0) == 2; }));
    EXPECT_EQ(SendMessageW(outputs, CB_GETCURSEL, 0, 0), 0); // the chosen port stays chosen
}

TEST_F(Win32Window, AWavDroppedOnARowIsImportedIntoIt)
{
    const std::string before = text(rowControl(2, CEditorWindow::kRowCapacity));
    const std::string clap = wavFile("clap.wav", 8000);
    // While dragged over the row, the row lights up, and only it.
    window->hover({clap}, middleOf(rowControl(2, CEditorWindow::kRowWaveform)));
    EXPECT_TRUE(window->isRowLit(2));
    EXPECT_FALSE(window->isRowLit(3));
    EXPECT_FALSE(window->isBankListLit());
    drop({clap}, middleOf(rowControl(2, CEditorWindow::kRowWaveform)));
    EXPECT_TRUE(window->session().isBankChanged(4));
    EXPECT_NE(text(rowControl(2, CEditorWindow::kRowCapacity)), before);
    EXPECT_EQ(text(rowControl(2, CEditorWindow::kRowCapacity)), window->session().row(2).capacity);
    EXPECT_EQ(text(CEditorWindow::kStatus), window->session().status());
    EXPECT_THAT(text(CEditorWindow::kStatus), HasSubstr("clap.wav"));
    // A drop outside the rows is no import.
    drop({wavFile("rim.wav", 8000)}, POINT{2, 2});
    EXPECT_THAT(text(CEditorWindow::kStatus), HasSubstr("clap.wav"));
}

TEST_F(Win32Window, StopFinishesTheBankInFlightAndSendComesBack)
{
    RecordingMidiSystem::Options options;
    options.holdBeforeLong = 1; // the send waits inside S01 until the release file appears
    options.logPath = files.file("midi.log");
    start(options);
    click(CEditorWindow::kAllBanks);
    EXPECT_TRUE(window->session().sendsAllBanks());
    prompt->answers = {Answer::Ok};
    click(CEditorWindow::kSend);
    ASSERT_TRUE(pumpUntil([&] {
        std::ifstream log(pathFromUtf8(options.logPath));
        return std::string(std::istreambuf_iterator<char>(log), {}).find("hold 1") != std::string::npos;
    }));
    EXPECT_TRUE(visible(CEditorWindow::kStop));
    EXPECT_FALSE(visible(CEditorWindow::kSend));
    EXPECT_TRUE(visible(CEditorWindow::kSendProgress));
    click(CEditorWindow::kStop);
    EXPECT_EQ(text(CEditorWindow::kStatus), "Stopping after S01...");
    EXPECT_FALSE(IsWindowEnabled(control(CEditorWindow::kStop)));
    std::ofstream(pathFromUtf8(options.logPath + ".release")).put('\n');
    ASSERT_TRUE(pumpUntil([&] { return !window->session().transfer().sending; }));
    pump();
    EXPECT_EQ(text(CEditorWindow::kStatus), "Stopped after S01: 1 of 31 banks sent.");
    EXPECT_TRUE(visible(CEditorWindow::kSend));
    EXPECT_FALSE(visible(CEditorWindow::kStop));
    EXPECT_FALSE(visible(CEditorWindow::kSendProgress));
    // The next send offers the rest.
    prompt->answers = {Answer::Cancel};
    click(CEditorWindow::kSend);
    EXPECT_THAT(prompt->boxes.back().text, HasSubstr("Resume from S02?"));
}

TEST_F(Win32Window, TheCloseBoxAsksAboutUnsavedBanks)
{
    type(CEditorWindow::kBankName, "Unsaved");
    prompt->answers = {Answer::Cancel};
    SendMessageW(window->hwnd(), WM_CLOSE, 0, 0);
    pump();
    ASSERT_TRUE(IsWindow(window->hwnd()));
    EXPECT_EQ(prompt->boxes.back().buttons, IPrompt::Buttons::SaveDiscardCancel);
    // Escape asks the same, and Discard lets the window go.
    prompt->answers = {Answer::Discard};
    MSG escape{control(CEditorWindow::kBankList), WM_KEYDOWN, VK_ESCAPE, 1, 0, {}};
    if (!window->preTranslate(escape)) DispatchMessageW(&escape);
    pump();
    EXPECT_EQ(prompt->boxes.size(), 2U);
    EXPECT_EQ(window->hwnd(), nullptr);
}

TEST_F(Win32Window, PlayGoesToTheAudioOutputAndBecomesStop)
{
    const int play = rowControl(2, CEditorWindow::kRowPlay);
    ASSERT_TRUE(IsWindowEnabled(control(play)));
    audio->hold();
    click(play);
    EXPECT_EQ(text(play), "Stop");
    ASSERT_TRUE(audio->waitForWrites(1, std::chrono::seconds(30)));
    audio->release();
    ASSERT_TRUE(pumpUntil([&] { return text(play) == "Play"; }));
    ASSERT_FALSE(audio->streams().empty());
    EXPECT_FALSE(audio->streams().back().samples.empty());
    EXPECT_TRUE(audio->streams().back().drained);
}

TEST_F(Win32Window, TheImportWindowShapesWhatTheSlotWillHold)
{
    using win32::CImportWindow;
    prompt->openNames = {wavFile("clap.wav", 3000)};
    const std::unique_ptr<CImportDraft> draft = window->session().beginImport(2);
    ASSERT_TRUE(draft);
    CImportWindow shaping(window->session(), *draft, window->hwnd(), 96);
    ShowWindow(shaping.hwnd(), SW_SHOWNA);
    const auto shown = [&](int id) { return narrow(win32::CControl(shaping.control(id)).text()); };
    SendMessageW(shaping.control(CImportWindow::kReverse), BM_CLICK, 0, 0);
    EXPECT_TRUE(draft->options().reverse);
    // A field that holds no number greys OK out and says which.
    SendMessageW(shaping.control(CImportWindow::kFadeIn), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
    EXPECT_EQ(shown(CImportWindow::kFigures), "The fade-in is not a number.");
    EXPECT_FALSE(IsWindowEnabled(shaping.control(IDOK)));
    SendMessageW(shaping.control(CImportWindow::kFadeIn), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0.01"));
    EXPECT_EQ(draft->options().fadeInSeconds, 0.01);
    EXPECT_EQ(shown(CImportWindow::kFigures), draft->figures());
    // A drag on the source moves the start handle to where it lets go.
    HWND source = shaping.control(CImportWindow::kSource);
    RECT area{};
    GetClientRect(source, &area);
    SendMessageW(source, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(area.right / 4, 5));
    SendMessageW(source, WM_LBUTTONUP, 0, MAKELPARAM(area.right / 4, 5));
    EXPECT_GT(draft->options().startSeconds, 0.0);
    EXPECT_EQ(shown(CImportWindow::kStart), [&] {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", draft->options().startSeconds);
        return std::string(text);
    }());
    const std::vector<std::uint8_t> previewed(draft->shaped().begin(), draft->shaped().end());
    SendMessageW(shaping.hwnd(), WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(shaping.accepted());
    window->session().commitImport(*draft);
    pump();
    EXPECT_TRUE(std::ranges::equal(window->session().row(2).bytes, previewed));
    EXPECT_EQ(text(rowControl(2, CEditorWindow::kRowName)), "clap.wav");
}

// At the smallest size the window takes, at 100 % and 150 %: every control
// inside the window, and every text whole.
TEST_F(Win32Window, TheSmallestLayoutShowsEveryTextWholeAt96And144Dpi)
{
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        RECT place{};
        GetWindowRect(window->hwnd(), &place);
        SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&place));
        SetWindowPos(window->hwnd(), nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOMOVE);
        pump();
        EXPECT_EQ(window->dpi(), dpi);
        RECT client{};
        GetClientRect(window->hwnd(), &client);
        for (HWND child = GetWindow(window->hwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            const win32::CControl shown(child);
            if (!shown.isVisible()) continue;
            const RECT at = shown.place();
            SCOPED_TRACE(narrow(shown.text()) + " #" + std::to_string(shown.id()));
            EXPECT_GE(at.left, 0);
            EXPECT_GE(at.top, 0);
            EXPECT_LE(at.right, client.right);
            EXPECT_LE(at.bottom, client.bottom);
            wchar_t className[32] = {};
            GetClassNameW(child, className, 32);
            const std::wstring kind = className;
            if (kind != L"Button" && kind != L"Static") continue;
            const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
            const win32::CTextMeasure measure(font);
            // A box's caption sits in its frame, a button's text between its edges.
            const LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
            const bool plainText = kind == L"Static" || style == BS_GROUPBOX;
            const int room = at.right - at.left - (plainText ? 0 : MulDiv(kind == L"Button" ? 8 : 0, dpi, 96));
            EXPECT_LE(measure.width(shown.text()), room);
            EXPECT_LE(measure.height(), at.bottom - at.top);
        }
    }
}

TEST_F(Win32Window, TakesTheSharedScenarioExactlyAsTheSession)
{
    struct Driver : ScenarioDriver {
        Win32Window& test;
        explicit Driver(Win32Window& t) : test(t) {}
        ScriptedPrompt& prompt() override { return *test.prompt; }
        void openIntoRow(int row) override { test.click(rowControl(row, CEditorWindow::kRowOpen)); }
        void renameBank(const std::string& name) override { test.type(CEditorWindow::kBankName, name); }
        void reset() override { test.click(CEditorWindow::kReset); }
        void undo() override { test.press('Z'); }
        void save() override { test.click(CEditorWindow::kSaveToDisk); }
        void open() override { test.click(CEditorWindow::kOpenFromDisk); }
        std::string statusShown() override { return test.text(CEditorWindow::kStatus); }
        std::string titleShown() override { return test.titleShown(); }
    } driver(*this);
    const ScenarioResult shown = runSharedScenario(driver, utf8FromPath(files.path()));

    TempDir bare{"varno-bare"};
    const ScenarioResult expected = runSharedScenarioOnTheSession(utf8FromPath(bare.path()), home.path().string());

    EXPECT_EQ(shown.shown, expected.shown);
    EXPECT_EQ(shown.asked, expected.asked);
    EXPECT_FALSE(shown.saved.empty());
    EXPECT_EQ(shown.saved, expected.saved);
}
