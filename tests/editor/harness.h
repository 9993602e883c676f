#pragma once

#include "audio/recording/recordingaudiosystem.h"
#include "editor/qt/editor.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "tests/support/scriptedprompt.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

// Waits, with the event loop running, until the condition holds; a minute is
// a bound no healthy run comes near, so a busy machine cannot fail it.
inline bool waitUntil(const std::function<bool()>& condition, int boundMs = 60000)
{
    const QDeadlineTimer deadline(boundMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(2);
    }
    return true;
}

// The window over a session with the recording MIDI and audio backends, a
// scripted prompt and a recorded sleep request.
struct Harness {
    struct Options {
        RecordingMidiSystem::Options midi;
        RecordingAudioSystem::Options audio;
        std::unique_ptr<ISleepInhibitor> inhibitor; // none: a recording one
    };
    Harness() : Harness(Options{}) {}
    explicit Harness(Options options)
        : system(std::make_shared<RecordingMidiSystem>(options.midi)),
          audio(std::make_shared<RecordingAudioSystem>(std::move(options.audio)))
    {
        SessionServices services;
        services.midi = system;
        auto scripted = std::make_unique<ScriptedPrompt>();
        prompt = scripted.get();
        services.prompt = std::move(scripted);
        services.audio = audio;
        if (options.inhibitor) {
            services.inhibitor = std::move(options.inhibitor);
        } else {
            auto sleep = std::make_unique<RecordingSleepInhibitor>();
            inhibitor = sleep.get();
            services.inhibitor = std::move(sleep);
        }
        services.homeFolder = home.path().toStdString();
        editor = std::make_unique<CEditor>(std::move(services));
        editor->show();
    }
    ~Harness() { held.release(); } // a test that failed while the send was held

    // Holds the send thread at its first wait from `ms` of virtual time on,
    // until released; call before the send starts.
    void holdAt(std::int64_t ms)
    {
        system->setWaitHook([this, ms, done = false](std::uint32_t) mutable {
            if (done || system->elapsedMs() < ms) return;
            done = true;
            reached.release();
            held.acquire();
        });
    }
    bool waitHeld() { return reached.tryAcquire(1, 60000); }
    void release() { held.release(); }
    bool waitForEnd() const
    {
        return waitUntil([this] { return !editor->session().transfer().sending; });
    }

    template <typename T> T* child(const QString& name) const
    {
        T* widget = editor->findChild<T*>(name);
        if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
        return widget;
    }
    CEditorSession& session() const { return editor->session(); }

    QTemporaryDir home;
    std::shared_ptr<RecordingMidiSystem> system;
    std::shared_ptr<RecordingAudioSystem> audio;
    QSemaphore reached;
    QSemaphore held;
    ScriptedPrompt* prompt = nullptr;
    RecordingSleepInhibitor* inhibitor = nullptr;
    std::unique_ptr<CEditor> editor;
};
