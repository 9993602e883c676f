#include "model/content.h"

#include "model/format_guard.h"

#include <iomanip>

ImportResult CContent::import(const std::string& path, const ImportOptions&)
{
    ImportResult result;
    result.kind = load(path) ? ImportResult::Kind::Stored : ImportResult::Kind::Unreadable;
    return result;
}

std::ostream& CContent::dump(std::ostream& out, bool hex) const
{
    return dumpData(out, "CContent <", hex);
}

std::ostream& CContent::dumpData(std::ostream& out, const char* tag, bool hex) const
{
    FormatGuard guard(out);
    out << tag << static_cast<const void*>(this) << ">:\n";
    out << "m_data: $" << static_cast<const void*>(&m_data) << "\tsize: " << std::dec << m_data.size() << "\n";
    if (!hex || m_data.empty()) return out;
    out << std::hex << std::nouppercase << std::setfill('0');
    out << "00000: ";
    for (std::size_t k = 0; k < m_data.size(); ++k) {
        if (k != 0) {
            if (k % 16 != 0)
                out << ' ';
            else
                out << '\n' << std::setw(5) << k << ": ";
        }
        out << std::setw(2) << static_cast<unsigned>(m_data[k]);
    }
    out << '\n';
    return out;
}

std::ostream& CSample::dump(std::ostream& out, bool hex) const
{
    return dumpData(out, "CSample <", hex);
}
