#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <istream>
#include <span>
#include <streambuf>
#include <string>

// Binary input with integer reads in either byte order, MIDI variable-length
// quantities and positioning, from a file or from bytes in memory. Base of the
// MIDI file reader and of the audio file reader, which so parse the same way
// from both. A file is read as it is parsed, never loaded whole: an import
// takes a bounded part of any audio file, however large. Short reads leave the
// missing bytes 0.
class Ktifstream : public std::istream {
public:
    Ktifstream();
    explicit Ktifstream(const std::string& path);
    // Reads the bytes where they are: they must outlive the stream.
    explicit Ktifstream(std::span<const std::uint8_t> bytes);
    ~Ktifstream() override = default;
    Ktifstream(const Ktifstream&) = delete;
    Ktifstream& operator=(const Ktifstream&) = delete;

    bool openBinary(const std::string& path);
    // A stream over bytes is open until it is closed.
    bool is_open() const;
    void close();

    std::uint64_t tell();
    // Absolute; on a failed stream it does not move but clears the state.
    void seek(std::uint64_t position);
    // Moves forward; false when that would pass the end of the file (the
    // stream then stands at the end with its end-of-file state set).
    bool skip(std::uint64_t count);

    // Size of the file, and the bytes left from the current position: every
    // length read from a file is checked against these before it is used.
    std::uint64_t fileSize() const { return m_size; }
    std::uint64_t remaining();

    std::size_t readBytes(std::uint8_t* target, std::size_t count);
    std::size_t readBytes(std::span<std::uint8_t> target) { return readBytes(target.data(), target.size()); }
    std::uint8_t readU8();
    std::uint16_t readU16(bool bigEndian);
    std::uint32_t readU32(bool bigEndian);
    // Stops at the end of the file; the value then holds the groups read so far.
    std::uint32_t readVarLen();
    // The checked form for parsers: false when the end of the file comes
    // before the last byte or the value needs more than 28 bits (nothing
    // valid is that long), so a quantity that never ends is caught.
    bool readVarLen(std::uint32_t& value);
    // Bytes up to and including the first byte equal to value, position kept.
    // At the end of the file: one more than the bytes that remained, position
    // at the end, failure state cleared.
    std::uint64_t countThrough(std::uint8_t value);
    // Ten bytes of an 80-bit IEEE 754 extended value, most significant first.
    double readExtended();

    // The bit-by-bit conversion of an 80-bit extended value to a double.
    static double extendedToDouble(std::span<const std::uint8_t, 10> bytes);

private:
    // Read-only stream buffer over bytes held elsewhere, positionable like a file.
    class SpanBuf : public std::streambuf {
    public:
        void assign(std::span<const std::uint8_t> bytes);

    protected:
        pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
        pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
    };

    std::filebuf m_file;
    SpanBuf m_bytes;
    bool m_inMemory = false;
    std::uint64_t m_size = 0;
};
