#pragma once

#include "midiport/sendjournal.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/bank.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One flash block of a bank as a send would write it.
struct PlannedBlock {
    unsigned block = 0; // the flash block its erase message names
    BlockMask part = kFirstBlock;
    std::string hash; // of its write message, as the journal keeps it
};

// A bank's two blocks, built for a receive channel: the channel is part of
// what is hashed, so a send on another channel counts as a change.
std::vector<PlannedBlock> plannedBlocks(IBank& bank, std::uint16_t channel);

// "Changes only": of a list of banks, the blocks whose content differs from
// what the journal says this computer last sent to the port, or that it
// does not know. The journal knows nothing of what reached the machine by
// any other means.
struct ChangePlan {
    std::vector<BlockMask> blocks; // per bank of the list: the blocks to send, 0 for none
    std::size_t blockCount = 0;
    std::size_t matchingBanks = 0; // banks of the list with nothing to send
    std::optional<std::int64_t> lastSent; // calendar seconds of the port's latest record

    bool empty() const { return blockCount == 0; }
};

ChangePlan planChanges(std::span<const std::unique_ptr<IBank>> banks, std::uint16_t channel,
                       const PortJournal& journal);

// "S05 (CRASH and RIDE), S12 (whole bank): 3 blocks, about 2:40. 29 banks
// match what this computer last sent to <port> on 2026-12-09." `plannedMs` is
// the planned time of a transfer of the changed blocks.
std::string describeChanges(const ChangePlan& plan, std::span<const std::unique_ptr<IBank>> banks,
                            const std::string& portName, std::uint64_t plannedMs);

// "2026-12-09", the local date of calendar seconds.
std::string localDate(std::int64_t seconds);
