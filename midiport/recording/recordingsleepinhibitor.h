#pragma once

#include "midiport/sleepinhibitor.h"

#include <string>
#include <vector>

// Records what was asked of it, as "inhibit: <reason>" and "release"; refuses
// every request when told to. For tests.
class RecordingSleepInhibitor : public ISleepInhibitor {
public:
    explicit RecordingSleepInhibitor(bool refuse = false) : m_refuse(refuse) {}

    bool inhibit(const std::string& reason) override
    {
        calls.push_back("inhibit: " + reason);
        return !m_refuse;
    }
    void release() override { calls.emplace_back("release"); }

    std::vector<std::string> calls;

private:
    bool m_refuse;
};
