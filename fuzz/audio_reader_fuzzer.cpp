#include "audio/converter.h"
#include "audio/ktaudiofilereader.h"
#include "audio/sample.h"
#include "fuzz/fuzz_input.h"

#include <cstdlib>

// Classifies and reads the input as the editor's "Open" does, then converts
// what was read; the limit is the one the largest slot uses.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzInput input(data, size);
    KtAudioFileReader reader(input.path());
    (void)reader.isKnownFormat();
    (void)reader.isPcm();
    audio::sample sample;
    const std::uint32_t got = reader.readSample(sample, 24 * 0x8000);
    if (got != sample.size() || got > size) std::abort(); // never more than the file holds
    const audio::converter converter(33000.0, 1, 8, true);
    audio::sample converted;
    converter.convert(converted, sample, 0x8000);
    return 0;
}
