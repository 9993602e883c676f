#include "midifile/ktmidifilereader.h"
#include "midifile/midievent.h"

#include <cstdlib>
#include <span>

// Walks every track the way the bank reader does; no read may hand back more
// bytes than the file holds, and a walk that stops early says why.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KtMidiFileReader reader(std::span(data, size));
    bool complete = reader.isValid();
    for (std::uint16_t t = 0; complete && t < reader.trackCount(); ++t) {
        complete = reader.readTrackHeader();
        if (!complete) break;
        std::uint8_t type = 0;
        buffer meta;
        while (reader.readMeta(type, meta))
            if (meta.size() > size) std::abort();
        midi::event event;
        double seconds = 0;
        while (reader.readEvent(event, seconds))
            if (event.size() > size) std::abort();
        complete = reader.readEndOfTrack();
    }
    if (!complete && reader.error() == SmfError::None) std::abort();
    return 0;
}
