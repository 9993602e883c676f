#pragma once

// One user's steps that every window must take exactly as the bare session
// does: the same status texts, the same questions and the same saved file.
// A window's test drives its own controls through a ScenarioDriver; the
// reference drives the session directly.

#include "audio/wavwriter.h"
#include "editor/editorsession.h"
#include "midifile/utf8path.h"
#include "tests/support/scriptedprompt.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

struct ScenarioDriver {
    virtual ~ScenarioDriver() = default;
    virtual ScriptedPrompt& prompt() = 0;
    virtual void openIntoRow(int row) = 0;  // the row's Open
    virtual void renameBank(const std::string& name) = 0; // typed, then committed
    virtual void reset() = 0;               // Reset to Default
    virtual void undo() = 0;                // Ctrl+Z
    virtual void save() = 0;                // Save to Disk
    virtual void open() = 0;                // Open from Disk
    virtual std::string statusShown() = 0;
    virtual std::string titleShown() = 0;
};

struct ScenarioResult {
    std::vector<std::string> shown; // status and title after each step
    std::vector<std::string> asked; // caption and text of every box and dialog
    std::vector<std::uint8_t> saved;
    bool operator==(const ScenarioResult&) const = default;
};

inline ScenarioResult runSharedScenario(ScenarioDriver& driver, const std::string& folder)
{
    const auto file = [&](const std::string& name) { return folder + "/" + name; };
    const auto write = [](const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(pathFromUtf8(path), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 9000; ++i) samples.push_back(i % 50 < 25 ? 0xD0 : 0x30);
    write(file("clap.wav"), audio::wavImage(samples));
    write(file("short.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});

    ScenarioResult result;
    // Each run has a folder of its own; the texts name it alike.
    const auto inAnyFolder = [&](std::string text) {
        for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder, at))
            text.replace(at, folder.size(), "FOLDER");
        return text;
    };
    const auto look = [&] {
        result.shown.push_back(inAnyFolder(driver.statusShown()));
        result.shown.push_back(inAnyFolder(driver.titleShown()));
    };
    ScriptedPrompt& prompt = driver.prompt();
    prompt.openNames = {file("clap.wav")};
    driver.openIntoRow(2);
    look();
    driver.renameBank("Kit 2");
    look();
    prompt.answers = {IPrompt::Answer::Cancel};
    driver.reset();
    look();
    driver.undo();
    look();
    prompt.saveNames = {file("kit.mid")};
    driver.save();
    look();
    prompt.openNames = {file("short.mid")};
    driver.open();
    look();
    for (const ScriptedPrompt::Box& box : prompt.boxes) result.asked.push_back(inAnyFolder(box.caption + "\n" + box.text));
    for (const IPrompt::FileDialog& dialog : prompt.dialogs) result.asked.push_back(dialog.title);
    std::ifstream saved(pathFromUtf8(file("kit.mid")), std::ios::binary);
    result.saved.assign(std::istreambuf_iterator<char>(saved), {});
    return result;
}

// The reference: the same steps on a session alone, with its files in the
// folder and its dialogs opening in home.
inline ScenarioResult runSharedScenarioOnTheSession(const std::string& folder, const std::string& home)
{
    struct View : ISessionView {
        void changed(ViewPart /*parts*/) override {}
        void focusBankList() override {}
        void showAbout() override {}
        void closeWindow() override {}
    } view;
    SessionServices services;
    auto scripted = std::make_unique<ScriptedPrompt>();
    ScriptedPrompt& answers = *scripted;
    services.prompt = std::move(scripted);
    services.homeFolder = home;
    CEditorSession session(std::move(services), view);
    struct Driver : ScenarioDriver {
        Driver(CEditorSession& s, ScriptedPrompt& p) : session(s), scripted(p) {}
        ScriptedPrompt& prompt() override { return scripted; }
        void openIntoRow(int row) override { session.openSlotFile(row); }
        void renameBank(const std::string& name) override { session.renameBank(name); }
        void reset() override { session.run(Command::reset); }
        void undo() override { session.run(Command::undo); }
        void save() override { session.run(Command::save); }
        void open() override { session.run(Command::open); }
        std::string statusShown() override { return session.status(); }
        std::string titleShown() override { return session.title(); }
        CEditorSession& session;
        ScriptedPrompt& scripted;
    } reference(session, answers);
    return runSharedScenario(reference, folder);
}
