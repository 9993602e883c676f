#include "fuzz/fuzz_input.h"
#include "midifile/ktmidifilereader.h"
#include "midifile/midievent.h"

#include <cstdlib>

// Walks every track the way the bank reader does; no read may hand back more
// bytes than the file holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzInput input(data, size);
    KtMidiFileReader reader(input.path());
    for (std::uint16_t t = 0; t < reader.trackCount(); ++t) {
        if (!reader.readTrackHeader()) break;
        std::uint8_t type = 0;
        buffer meta;
        while (reader.readMeta(type, meta))
            if (meta.size() > size) std::abort();
        midi::event event;
        double seconds = 0;
        while (reader.readEvent(event, seconds))
            if (event.size() > size) std::abort();
        if (!reader.readEndOfTrack()) break;
    }
    return 0;
}
