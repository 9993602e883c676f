#pragma once

#include "audio/buffer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace midi {

// One complete MIDI message (status byte first; System Exclusive from F0
// through F7) and the pause before it in seconds.
class event : public buffer {
public:
    event() = default;
    event(const std::uint8_t* bytes, std::size_t count);
    event(const event&) = default;
    event(event&&) noexcept = default;
    event& operator=(const event&) = default;
    event& operator=(event&&) noexcept = default;
    ~event() override = default;

    // "midi::event < ADDRESS >\nm_offset: OFFSET "
    std::string dump() const override;

    double m_offset = 0.0;
};

} // namespace midi
