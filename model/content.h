#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "model/slotimport.h"

class KtAudioFileReader;
class Ktifstream;

// A bank content holding bytes: the sample bytes of a slot (CSample) or one
// complete stored System Exclusive message (CMessage, in messages.h).
class CContent {
public:
    CContent() = default;
    explicit CContent(std::span<const std::uint8_t> bytes) : m_data(bytes.begin(), bytes.end()) {}
    virtual ~CContent() = default;

    virtual std::unique_ptr<CContent> clone() const = 0;
    // Fills the content from a file, or from the bytes a file would hold;
    // false leaves the content as it was.
    virtual bool load(const std::string& path) = 0;
    virtual bool load(std::span<const std::uint8_t> bytes) = 0;
    // load() with what it did; a sample slot also takes a start point. This
    // base takes the file as load() does and reports it Stored.
    virtual ImportResult import(const std::string& path, const ImportOptions& options);
    virtual bool isSample() const = 0;
    virtual std::ostream& dump(std::ostream& out, bool hex) const;
    // The other content's clone; this object plays no part.
    std::unique_ptr<CContent> cloneOf(const CContent& other) const { return other.clone(); }

    std::vector<std::uint8_t>& getData() { return m_data; }
    const std::vector<std::uint8_t>& getData() const { return m_data; }
    std::size_t getSize() const { return m_data.size(); }

protected:
    CContent(const CContent&) = default;
    CContent& operator=(const CContent&) = default;
    // The heading and, with hex, the bytes sixteen to a line; after the tag.
    std::ostream& dumpData(std::ostream& out, const char* tag, bool hex) const;

    std::vector<std::uint8_t> m_data;
};

// One sound-bank slot: 8-bit unsigned samples at 33000 Hz, 0x80 the zero
// level. Its size is fixed when it is made and never changes.
class CSample : public CContent {
public:
    explicit CSample(std::span<const std::uint8_t> bytes) : CContent(bytes) {}
    CSample(const CSample&) = default;

    std::unique_ptr<CContent> clone() const override { return std::make_unique<CSample>(*this); }
    // Audio import into the slot, in place; the size stays the same.
    bool load(const std::string& path) override;
    bool load(std::span<const std::uint8_t> bytes) override;
    ImportResult import(const std::string& path, const ImportOptions& options) override;
    ImportResult import(std::span<const std::uint8_t> bytes, const ImportOptions& options);
    bool isSample() const override { return true; }
    std::ostream& dump(std::ostream& out, bool hex) const override;

};
