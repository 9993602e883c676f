#include "model/kitmatch.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace {

// The name's words, lower case, without its extension: runs of letters and
// runs of digits, so "OH_01.wav" gives "oh", "01".
std::vector<std::string> wordsOf(const std::string& fileName)
{
    const std::size_t dot = fileName.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    std::vector<std::string> words;
    std::string word;
    int kind = 0; // 1 letters, 2 digits
    for (const char c : stem) {
        const auto u = static_cast<unsigned char>(c);
        const int k = std::isalpha(u) ? 1 : std::isdigit(u) ? 2 : 0;
        if (k != kind && !word.empty()) words.push_back(std::move(word)), word.clear();
        kind = k;
        if (k != 0) word.push_back(static_cast<char>(std::tolower(u)));
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// The slot a name asks for, checked in slot order, so "open hh" is the open
// hi-hat. Long keywords may start a word ("claps", "rimshot"); the short
// ones must be the whole word.
std::optional<std::size_t> slotOf(const std::string& fileName)
{
    struct Key {
        std::string_view word;
        bool whole;
    };
    static const std::array<std::vector<Key>, kSlotCount> keys{{
        {{"open", false}, {"oh", true}},
        {{"closed", false}, {"ch", true}, {"hh", true}},
        {{"clap", false}},
        {{"rim", false}},
        {{"crash", false}},
        {{"ride", false}},
    }};
    const std::vector<std::string> words = wordsOf(fileName);
    for (std::size_t slot = 0; slot < kSlotCount; ++slot)
        for (const Key& key : keys[slot])
            for (const std::string& w : words)
                if (key.whole ? w == key.word : w.rfind(key.word, 0) == 0) return slot;
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> kitSlotOf(const std::string& fileName)
{
    return slotOf(fileName);
}

std::array<std::optional<std::size_t>, kSlotCount> matchKit(std::span<const std::string> fileNames)
{
    std::array<std::optional<std::size_t>, kSlotCount> match{};
    std::vector<bool> used(fileNames.size(), false);
    for (std::size_t i = 0; i < fileNames.size(); ++i)
        if (const auto slot = slotOf(fileNames[i]); slot && !match[*slot]) {
            match[*slot] = i;
            used[i] = true;
        }
    std::size_t next = 0;
    for (auto& slot : match) {
        if (slot) continue;
        while (next < fileNames.size() && used[next]) ++next;
        if (next == fileNames.size()) break;
        slot = next;
        used[next++] = true;
    }
    return match;
}
