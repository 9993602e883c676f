#include "model/sound.h"

#include <cstdlib>
#include <span>

// The slot import: a failed load must leave the slot as it was, a successful
// one keeps the slot's size and its 0x80 first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const CSound factory(0);
    const auto& before = factory.content(4)->getData();
    CSample slot(before);
    if (slot.load(std::span(data, size))) {
        const auto& after = slot.getData();
        if (after.size() != before.size() || after[0] != 0x80) std::abort();
    } else if (slot.getData() != before) {
        std::abort();
    }
    return 0;
}
