#include "audio/converter.h"
#include "audio/ktaudiofilereader.h"
#include "audio/sample.h"

#include <cstdlib>
#include <span>

// Classifies and reads the input as the editor's "Open" does, then converts
// what was read; the limit is the one the largest slot uses. The reason the
// reader gives on construction must agree with what it then reads.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KtAudioFileReader reader(std::span(data, size));
    const bool pcm = reader.isPcm();
    const AudioError error = reader.error();
    audio::sample sample;
    const std::uint32_t got = reader.readSample(sample, 24 * 0x8000);
    if (got != sample.size() || got > size) std::abort(); // never more than the file holds
    if (error == AudioError::None && (!pcm || got == 0)) std::abort();
    if (error >= AudioError::NoFmt && got != 0) std::abort();
    if (reader.errorMessage().empty() != (error == AudioError::None)) std::abort();
    const audio::converter converter(33000.0, 1, 8, true);
    audio::sample converted;
    converter.convert(converted, sample, 0x8000);
    return 0;
}
