#pragma once

#include <memory>
#include <string>

// Keeps the computer from going to sleep while a transfer runs. Both calls
// come from the thread that sends, as Windows ties the request to a thread.
class ISleepInhibitor {
public:
    virtual ~ISleepInhibitor();
    // Asks the system not to sleep; `reason` may be shown to the user. False
    // when the system refused or cannot be asked.
    virtual bool inhibit(const std::string& reason) = 0;
    // Withdraws a request that succeeded.
    virtual void release() = 0;
};

// The platform's inhibitor: SetThreadExecutionState on Windows, the login
// manager's Inhibit ("sleep:idle") over sd-bus on Linux (the editor asks its
// desktop session over Qt's D-Bus instead); null where the core has none.
std::unique_ptr<ISleepInhibitor> createPlatformSleepInhibitor();
