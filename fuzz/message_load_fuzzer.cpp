#include "model/messages.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> before{0xF0, 0x31, 0xF7};
    CMessage message(before);
    if (message.load(std::span(data, size))) {
        const auto& d = message.getData();
        // A loaded message always runs from F0 through its first F7.
        if (d.size() < 2 || d.front() != 0xF0 || d.back() != 0xF7) std::abort();
    } else if (message.getData() != before) {
        std::abort(); // a failed load must leave the message as it was
    }
    return 0;
}
