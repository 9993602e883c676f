#pragma once

#include "model/content.h"
#include "model/messages.h"

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

inline constexpr std::uint16_t kBankCount = 32;
inline constexpr std::uint16_t kSoundBankCount = 31;
inline constexpr std::size_t kEventCount = 4;

// Initial names of the 32 banks: "S01 - factory -" .. "S04 - factory -",
// "S05" .. "S31", "FIRMWARE - factory -".
const std::string& bankName(std::size_t index);
// Short tags: "S01" .. "S31" for sound banks, "FIRMWARE" for the firmware bank.
std::string bankTag(std::uint16_t index);

using EventList = std::array<std::unique_ptr<CEvent>, kEventCount>;

// A bank of the machine's flash: a name, contents with labels and names, and
// the four transfer events that put it into the machine.
class IBank {
public:
    virtual ~IBank() = default;

    virtual std::unique_ptr<IBank> clone() const = 0;
    // Loads a file into one content and names the content after the file
    // (nameFromPath).
    // Returns whether the content's load succeeded (out of range: false).
    virtual bool loadContent(std::uint16_t index, const std::string& path) = 0;
    // loadContent with a start point, telling what the import did; the
    // content is named after the file when something was imported.
    virtual ImportResult importContent(std::uint16_t index, const std::string& path, const ImportOptions& options) = 0;
    virtual std::uint16_t getContentCount() const = 0;
    virtual void setName(const std::string& name) = 0;
    virtual std::string getName() const = 0;
    virtual std::string getContentLabel(std::uint16_t index) const = 0;
    virtual void setContentName(std::uint16_t index, const std::string& name) = 0;
    virtual std::string getContentName(std::uint16_t index) const = 0;
    virtual bool isSampleContent(std::uint16_t index) const = 0;
    virtual void setIndex(std::uint16_t index) = 0;
    virtual std::uint16_t getIndex() const = 0;
    // Replaces the events by the bank's four transfer events for a receive channel.
    virtual const EventList& buildEvents(std::uint16_t channel) = 0;
    // Takes the bank's data from two stored messages (copies); false and
    // nothing changed when they cannot be taken.
    virtual bool setContentsFromMessages(std::span<const CMessage* const> messages) = 0;
    virtual void setContentNames(const std::vector<std::string>& names) = 0;
    virtual const std::vector<std::string>& getContentNames() const = 0;
    virtual std::ostream& dump(std::ostream& out, bool hex) const = 0;
    std::unique_ptr<IBank> cloneOf(const IBank& other) const { return other.clone(); }

    // True for a firmware bank that does not hold device firmware: nothing
    // may erase or write the machine's firmware blocks with it.
    virtual bool isFirmwarePlaceholder() const { return false; }
    // True for a firmware bank holding the machine's own firmware: the only
    // bank whose messages may erase or write the firmware blocks.
    virtual bool holdsDeviceFirmware() const { return false; }
    // Read access to a content's bytes (null when out of range).
    virtual const CContent* content(std::uint16_t index) const = 0;

protected:
    IBank() = default;
    IBank(const IBank&) = default;
    IBank& operator=(const IBank&) = default;
};

// The common part of sound and firmware banks.
class CBank : public IBank {
public:
    CBank& operator=(const CBank&) = delete;

    bool loadContent(std::uint16_t index, const std::string& path) override;
    ImportResult importContent(std::uint16_t index, const std::string& path, const ImportOptions& options) override;
    void setName(const std::string& name) override { m_name = name; }
    std::string getName() const override { return m_name; }
    std::string getContentLabel(std::uint16_t index) const override;
    void setContentName(std::uint16_t index, const std::string& name) override;
    std::string getContentName(std::uint16_t index) const override;
    bool isSampleContent(std::uint16_t index) const override;
    void setIndex(std::uint16_t index) override { m_index = index; }
    std::uint16_t getIndex() const override { return m_index; }
    void setContentNames(const std::vector<std::string>& names) override { m_contentName = names; }
    const std::vector<std::string>& getContentNames() const override { return m_contentName; }
    const CContent* content(std::uint16_t index) const override;

protected:
    CBank() = default;
    // Copies everything but the events, which the copy starts without.
    CBank(const CBank& other);

    std::ostream& dumpBank(std::ostream& out, const char* tag, bool hex) const;
    void clearEvents();

    std::uint16_t m_index = 0;
    std::string m_name;
    std::vector<std::string> m_contentLabel;
    std::vector<std::string> m_contentName;
    std::vector<std::unique_ptr<CContent>> m_contents;
    EventList m_events;
};
