#include "model/bank.h"

#include "model/format_guard.h"
#include "model/latin1.h"

#include <array>
#include <cstdio>

const std::string& bankName(std::size_t index)
{
    static const std::array<std::string, kBankCount> names = [] {
        std::array<std::string, kBankCount> n;
        for (std::size_t i = 0; i < kSoundBankCount; ++i) {
            char text[8];
            std::snprintf(text, sizeof text, "S%02u", static_cast<unsigned>(i + 1));
            n[i] = text;
            if (i < 4) n[i] += " - factory -";
        }
        n[kBankCount - 1] = "FIRMWARE - factory -";
        return n;
    }();
    static const std::string none;
    return index < names.size() ? names[index] : none;
}

std::string bankTag(std::uint16_t index)
{
    if (index >= kSoundBankCount) return "FIRMWARE";
    const unsigned number = index + 1u;
    std::string tag = "S";
    tag += static_cast<char>('0' + number / 10);
    tag += static_cast<char>('0' + number % 10);
    return tag;
}

CBank::CBank(const CBank& other)
    : IBank(other), m_index(other.m_index), m_name(other.m_name), m_contentLabel(other.m_contentLabel),
      m_contentName(other.m_contentName)
{
    m_contents.reserve(other.m_contents.size());
    for (const auto& content : other.m_contents) m_contents.push_back(content ? content->clone() : nullptr);
}

bool CBank::loadContent(std::uint16_t index, const std::string& path)
{
    return importContent(index, path, {}).imported();
}

ImportResult CBank::importContent(std::uint16_t index, const std::string& path, const ImportOptions& options)
{
    if (index >= m_contents.size() || !m_contents[index]) return {};
    ImportResult result = m_contents[index]->import(path, options);
    if (result.imported() && index < m_contentName.size()) m_contentName[index] = nameFromPath(path);
    return result;
}

std::string CBank::getContentLabel(std::uint16_t index) const
{
    return index < m_contentLabel.size() ? m_contentLabel[index] : std::string();
}

void CBank::setContentName(std::uint16_t index, const std::string& name)
{
    if (index < m_contentName.size()) m_contentName[index] = name;
}

std::string CBank::getContentName(std::uint16_t index) const
{
    return index < m_contentName.size() ? m_contentName[index] : std::string();
}

bool CBank::isSampleContent(std::uint16_t index) const
{
    return index < m_contents.size() && m_contents[index] && m_contents[index]->isSample();
}

const CContent* CBank::content(std::uint16_t index) const
{
    return index < m_contents.size() ? m_contents[index].get() : nullptr;
}

void CBank::clearEvents()
{
    for (auto& event : m_events) event.reset();
}

std::ostream& CBank::dumpBank(std::ostream& out, const char* tag, bool hex) const
{
    FormatGuard guard(out);
    out << std::dec << tag << static_cast<const void*>(this) << ">\n";
    out << "m_index: " << m_index << "\n";
    out << "m_name: " << m_name << "\n";
    for (std::size_t i = 0; i < m_contentLabel.size(); ++i)
        out << "m_contentLabel[" << i << "]: " << m_contentLabel[i] << "\n";
    for (std::size_t i = 0; i < m_contentName.size(); ++i)
        out << "m_contentName[" << i << "]: " << m_contentName[i] << "\n";
    for (std::size_t i = 0; i < m_contents.size(); ++i) {
        out << "m_contents[" << i << "]: ";
        if (m_contents[i])
            m_contents[i]->dump(out, hex);
        else
            out << "0x00000000\n";
    }
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        out << "m_events[" << i << "]: ";
        if (m_events[i])
            m_events[i]->dump(out, hex);
        else
            out << "0x00000000\n";
    }
    return out;
}
