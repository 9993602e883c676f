#include "midiport/changeplan.h"

#include "midiport/banktransfer.h"
#include "midiport/sha256.h"
#include "model/messagekind.h"

#include <algorithm>
#include <ctime>

namespace {

// The contents each block holds: a sound bank's first block its first four
// slots, the firmware bank's blocks one stored message each.
std::vector<std::uint16_t> contentsOf(const IBank& bank, BlockMask part)
{
    const std::uint16_t count = bank.getContentCount();
    const std::uint16_t split = count == 6 ? 4 : 1;
    std::vector<std::uint16_t> contents;
    for (std::uint16_t i = part == kFirstBlock ? 0 : split; i < (part == kFirstBlock ? split : count); ++i)
        contents.push_back(i);
    return contents;
}

std::string partLabel(const IBank& bank, BlockMask part)
{
    if (part == kWholeBank) return "whole bank";
    const auto contents = contentsOf(bank, part);
    std::string text;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        if (i > 0) text += i + 1 == contents.size() ? " and " : ", ";
        text += bank.getContentLabel(contents[i]);
    }
    return text;
}

} // namespace

std::vector<PlannedBlock> plannedBlocks(IBank& bank, std::uint16_t channel)
{
    std::vector<PlannedBlock> blocks;
    const EventList& events = bank.buildEvents(channel);
    for (std::size_t erase = 0; erase + 1 < events.size() && erase < 4; erase += 2) {
        if (!events[erase] || !events[erase + 1]) continue;
        const MessageClass kind = classifyMessage(events[erase]->getMessageData());
        if (!kind.isErase()) continue;
        blocks.push_back({kind.block, erase == 0 ? kFirstBlock : kSecondBlock,
                          sha256Hex(events[erase + 1]->getMessageData())});
    }
    return blocks;
}

ChangePlan planChanges(std::span<const std::unique_ptr<IBank>> banks, std::uint16_t channel,
                       const PortJournal& journal)
{
    ChangePlan plan;
    for (const auto& [block, record] : journal)
        plan.lastSent = std::max(plan.lastSent.value_or(record.time), record.time);
    for (const auto& bank : banks) {
        BlockMask changed = 0;
        for (const PlannedBlock& planned : plannedBlocks(*bank, channel)) {
            const auto found = journal.find(planned.block);
            if (found == journal.end() || !found->second.known() || found->second.hash != planned.hash) {
                changed |= planned.part;
                ++plan.blockCount;
            }
        }
        plan.blocks.push_back(changed);
        if (changed == 0) ++plan.matchingBanks;
    }
    return plan;
}

std::string localDate(std::int64_t seconds)
{
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::string describeChanges(const ChangePlan& plan, std::span<const std::unique_ptr<IBank>> banks,
                            const std::string& portName, std::uint64_t plannedMs)
{
    std::string text;
    if (plan.empty()) {
        text = "Nothing to send: ";
    } else {
        for (std::size_t i = 0; i < banks.size() && i < plan.blocks.size(); ++i) {
            if (plan.blocks[i] == 0) continue;
            if (!text.empty()) text += ", ";
            text += bankTag(banks[i]->getIndex()) + " (" + partLabel(*banks[i], plan.blocks[i]) + ")";
        }
        text += ": " + std::to_string(plan.blockCount) + (plan.blockCount == 1 ? " block" : " blocks") + ", about " +
                formatDuration((plannedMs + 999) / 1000) + ". ";
    }
    if (!plan.lastSent) return text + "This computer has no record of sending to " + portName + ", so every block is sent.";
    const std::size_t matching = plan.matchingBanks;
    std::string count = matching == 0 ? "No bank matches"
                        : matching == 1 ? "1 bank matches"
                                        : std::to_string(matching) + " banks match";
    if (plan.empty()) count = matching == 1 ? "the bank matches" : "all " + std::to_string(matching) + " banks match";
    return text + count + " what this computer last sent to " + portName + " on " + localDate(*plan.lastSent) + ".";
}
