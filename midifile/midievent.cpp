#include "midifile/midievent.h"

#include <sstream>

namespace midi {

event::event(const std::uint8_t* bytes, std::size_t count)
{
    if (bytes != nullptr && count > 0) m_bytes.assign(bytes, bytes + count);
}

std::string event::dump() const
{
    std::ostringstream out;
    out << "midi::event < " << static_cast<const void*>(this) << " >\n"
        << "m_offset: " << m_offset << " ";
    return out.str();
}

} // namespace midi
