#include "audio/slotaudio.h"

#include <algorithm>
#include <cstdio>

namespace audio {

std::vector<Peak> slotPeaks(std::span<const std::uint8_t> bytes, std::size_t columns)
{
    std::vector<Peak> peaks;
    const std::size_t n = bytes.size();
    if (n == 0 || columns == 0) return peaks;
    peaks.reserve(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t first = std::min(n - 1, c * n / columns);
        const std::size_t last = std::max(first + 1, std::min(n, (c + 1) * n / columns));
        const auto [low, high] = std::minmax_element(bytes.begin() + first, bytes.begin() + last);
        peaks.push_back({*low, *high});
    }
    return peaks;
}

std::size_t usedLength(std::span<const std::uint8_t> bytes)
{
    const auto last = std::find_if(bytes.rbegin(), bytes.rend(), [](std::uint8_t b) { return b != kZeroLevel; });
    return static_cast<std::size_t>(bytes.rend() - last);
}

double slotSeconds(std::size_t byteCount)
{
    return static_cast<double>(byteCount) / kDeviceSampleRate;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::string capacityText(std::span<const std::uint8_t> bytes)
{
    return secondsText(slotSeconds(usedLength(bytes))) + " of " + secondsText(slotSeconds(bytes.size()));
}

} // namespace audio
