#pragma once

#include <cstdlib>
#include <string>

// Sets a variable of this process for one scope (getenv reads it).
class ScopedVariable {
public:
    ScopedVariable(const std::string& name, const std::string& value) : m_name(name) { set(value.c_str()); }
    ~ScopedVariable() { set(nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void set(const char* value)
    {
#ifdef _WIN32
        _putenv_s(m_name.c_str(), value != nullptr ? value : "");
#else
        if (value != nullptr)
            setenv(m_name.c_str(), value, 1);
        else
            unsetenv(m_name.c_str());
#endif
    }
    std::string m_name;
};
