#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// An owned run of bytes that can describe itself; base of audio::sample and midi::event.
class buffer {
public:
    buffer() = default;
    buffer(std::size_t count, std::uint8_t fill) : m_bytes(count, fill) {}
    explicit buffer(std::span<const std::uint8_t> bytes) : m_bytes(bytes.begin(), bytes.end()) {}
    buffer(const buffer&) = default;
    buffer(buffer&&) noexcept = default;
    buffer& operator=(const buffer&) = default;
    buffer& operator=(buffer&&) noexcept = default;
    virtual ~buffer() = default;

    // "buffer < ADDRESS > " without a line break; the bytes are not printed.
    virtual std::string dump() const;

    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }

protected:
    std::vector<std::uint8_t> m_bytes;
};
