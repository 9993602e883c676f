#include "fuzz/fuzz_input.h"
#include "model/sound.h"

#include <cstdlib>

// The full slot import: a failed load must leave the slot and its name as
// they were, a successful one keeps the slot's size and its 0x80 first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzInput input(data, size);
    static const CSound factory(0);
    CSound bank(factory);
    const auto before = bank.content(4)->getData();
    if (bank.loadContent(4, input.path())) {
        const auto& after = bank.content(4)->getData();
        if (after.size() != before.size() || after[0] != 0x80) std::abort();
    } else if (bank.content(4)->getData() != before || bank.getContentName(4) != "CRASH") {
        std::abort();
    }
    return 0;
}
