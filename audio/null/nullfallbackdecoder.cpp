// Builds without libsndfile: no fallback, so imports behave as our own
// reader alone decides.
#include "audio/fallbackdecoder.h"

namespace audio {

struct FallbackDecoder::Impl {};

FallbackDecoder::FallbackDecoder(Ktifstream&) {}
FallbackDecoder::~FallbackDecoder() = default;
bool FallbackDecoder::built()
{
    return false;
}
bool FallbackDecoder::isOpen() const
{
    return false;
}
double FallbackDecoder::samplerate() const
{
    return 0.0;
}
std::uint16_t FallbackDecoder::channels() const
{
    return 0;
}
std::uint64_t FallbackDecoder::frames() const
{
    return 0;
}
std::string FallbackDecoder::formatName() const
{
    return {};
}
bool FallbackDecoder::read(sample&, std::uint64_t, std::uint64_t)
{
    return false;
}

} // namespace audio
