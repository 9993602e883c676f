#pragma once

#include "midiport/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>

#include <optional>
#include <string>

// Keeps a Linux desktop awake over D-Bus: the login manager's "sleep:idle"
// block lock, which lasts while its file descriptor is open, or else the
// desktop's screen saver inhibition. Both calls may come from any thread.
// Where no bus answers (a build machine, a plain console) the request fails
// at once and the caller goes on without it.
class DBusSleepInhibitor : public ISleepInhibitor {
public:
    // The system and session buses, connected on the first request, so that
    // the window's thread never waits for a bus.
    DBusSleepInhibitor();
    // Given connections, for tests over private peer connections.
    DBusSleepInhibitor(QDBusConnection system, QDBusConnection session);
    ~DBusSleepInhibitor() override;
    DBusSleepInhibitor(const DBusSleepInhibitor&) = delete;
    DBusSleepInhibitor& operator=(const DBusSleepInhibitor&) = delete;

    bool inhibit(const std::string& reason) override;
    void release() override;

private:
    bool inhibitLogin(const QString& why);
    bool inhibitScreenSaver(const QString& why);

    std::optional<QDBusConnection> m_system;
    std::optional<QDBusConnection> m_session;
    QDBusUnixFileDescriptor m_lock; // the login manager's lock while held
    std::optional<uint> m_cookie;   // the screen saver's inhibition while held
};
