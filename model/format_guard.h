#pragma once

#include <ostream>

// Restores a stream's formatting when a dump ends, so dumps nest cleanly.
class FormatGuard {
public:
    explicit FormatGuard(std::ostream& out) : m_out(out), m_flags(out.flags()), m_fill(out.fill()) {}
    ~FormatGuard()
    {
        m_out.flags(m_flags);
        m_out.fill(m_fill);
    }
    FormatGuard(const FormatGuard&) = delete;
    FormatGuard& operator=(const FormatGuard&) = delete;

private:
    std::ostream& m_out;
    std::ios::fmtflags m_flags;
    char m_fill;
};
