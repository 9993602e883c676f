#include "audio/converter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace audio {
namespace {

bool walkable(const sample& s)
{
    return s.channels() > 0 && s.byterate() > 0 && s.byterate() <= 4;
}

bool usableRate(double rate)
{
    return std::isfinite(rate) && rate > 0.0;
}

// The low w bytes of v, least significant first, at value slot `index`.
void store(sample& out, std::uint64_t index, std::uint16_t w, std::int32_t v)
{
    const auto raw = static_cast<std::uint32_t>(v);
    std::uint8_t* at = out.data() + index * w;
    for (std::uint16_t i = 0; i < w && i < 4; ++i) at[i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

// Sizes beyond 32 bits are refused rather than wrapped to a wrong length.
std::uint32_t checkedSize(std::uint64_t size)
{
    return size > UINT32_MAX ? 0 : static_cast<std::uint32_t>(size);
}

} // namespace

converter::converter(double samplerate, std::uint16_t channels, std::uint16_t bits, bool unsigned8Bit)
    : m_targetSamplerate(samplerate), m_targetChannels(channels), m_targetBitrate(unsigned8Bit ? 8 : bits),
      m_targetUnsigned8Bit(unsigned8Bit)
{
}

void converter::convert(sample& result, const sample& source, std::uint32_t maxFrames) const
{
    result.bytes().clear();
    // Even an empty result carries the target format.
    result.setSamplerate(m_targetSamplerate).setChannels(m_targetChannels).setBitrate(m_targetBitrate);
    result.setUnsigned8Bit(m_targetUnsigned8Bit);
    if (!walkable(source) || !usableRate(source.samplerate()) || !usableRate(m_targetSamplerate) ||
        m_targetChannels == 0 || m_targetBitrate == 0 || m_targetBitrate > 32)
        return;
    sample mixed;
    convertChannels(mixed, source);
    sample resampled;
    convertSamplerate(resampled, mixed, maxFrames);
    sample scaled;
    convertBitrate(scaled, resampled);
    convertSign(result, scaled);
}

void converter::convertChannels(sample& mixed, const sample& source) const
{
    mixed.bytes().clear();
    mixed.setSamplerate(source.samplerate()).setChannels(m_targetChannels).setBitrate(source.bitrate());
    mixed.setUnsigned8Bit(source.unsigned8Bit());
    if (!walkable(source) || m_targetChannels == 0) return;

    const std::uint16_t ch = source.channels();
    const std::uint16_t w = mixed.byterate();
    mixed.bytes().assign(checkedSize(std::uint64_t{source.size()} * m_targetChannels / ch), 0);
    const std::uint32_t frames = std::min(source.frames(), mixed.frames());
    const std::int32_t bias = source.unsigned8Bit() ? 128 : 0;
    for (std::uint32_t i = 0; i < frames; ++i) {
        std::int64_t sum = 0;
        for (std::uint16_t j = 0; j < ch; ++j) sum += source.value(i, j);
        const auto v = static_cast<std::int32_t>(sum / ch) + bias;
        for (std::uint16_t j = 0; j < m_targetChannels; ++j)
            store(mixed, std::uint64_t{i} * m_targetChannels + j, w, v);
    }
}

void converter::convertSamplerate(sample& resampled, const sample& mixed, std::uint32_t maxFrames) const
{
    resampled.bytes().clear();
    resampled.setSamplerate(m_targetSamplerate).setChannels(mixed.channels()).setBitrate(mixed.bitrate());
    resampled.setUnsigned8Bit(mixed.unsigned8Bit());
    if (!walkable(mixed) || !usableRate(mixed.samplerate()) || !usableRate(m_targetSamplerate)) return;

    const std::uint32_t n = mixed.frames();
    const std::uint16_t ch = mixed.channels();
    const std::uint16_t w = mixed.byterate();
    const double ratio = mixed.samplerate() / m_targetSamplerate;
    const double wanted = std::trunc(static_cast<double>(mixed.size()) / ratio);
    std::uint64_t size = wanted < 18446744073709551616.0 ? static_cast<std::uint64_t>(wanted) : UINT64_MAX;
    // A source of a frame or two still lasts at least one output frame.
    if (n > 0) size = std::max<std::uint64_t>(size, std::uint64_t{ch} * w);
    if (maxFrames != 0) size = std::min<std::uint64_t>(size, std::uint64_t{maxFrames} * ch * w);
    resampled.bytes().assign(checkedSize(size), 0);

    const std::int32_t bias = mixed.unsigned8Bit() ? 128 : 0;
    const std::uint32_t frames = resampled.frames();
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double pos = i * ratio;
        const auto p = static_cast<std::uint64_t>(pos);
        const double f = pos - static_cast<double>(p);
        for (std::uint16_t j = 0; j < ch; ++j) {
            // Past the last whole frame the source counts as silence.
            const std::int32_t a = p < n ? mixed.value(static_cast<std::uint32_t>(p), j) : 0;
            const std::int32_t b = p + 1 < n ? mixed.value(static_cast<std::uint32_t>(p + 1), j) : 0;
            const double v = a + (static_cast<double>(b) - a) * f;
            store(resampled, std::uint64_t{i} * ch + j, w, static_cast<std::int32_t>(v) + bias);
        }
    }
}

void converter::convertBitrate(sample& scaled, const sample& resampled) const
{
    scaled.bytes().clear();
    // Offset binary only exists at 8 bits; any other target depth is signed.
    const bool keepUnsigned = resampled.unsigned8Bit() && m_targetBitrate == 8;
    scaled.setSamplerate(resampled.samplerate()).setChannels(resampled.channels()).setBitrate(m_targetBitrate);
    scaled.setUnsigned8Bit(keepUnsigned);
    if (!walkable(resampled) || m_targetBitrate == 0 || m_targetBitrate > 32) return;

    const std::uint16_t ch = resampled.channels();
    const std::uint16_t win = resampled.byterate();
    const std::uint16_t wout = bytesPerValue(m_targetBitrate);
    scaled.bytes().assign(checkedSize(std::uint64_t{resampled.size()} * wout / win), 0);

    // Narrow samples sit left-justified in their container, so the container
    // width, not the header's depth, says how far to scale. Results are
    // clamped to the target depth instead of wrapping into noise.
    const double scale = std::ldexp(1.0, static_cast<int>(m_targetBitrate) - 8 * static_cast<int>(win));
    const double top = std::ldexp(1.0, m_targetBitrate - 1);
    const double lo = -top;
    const double hi = top - 1.0;
    const std::int32_t bias = keepUnsigned ? 128 : 0;
    const std::uint32_t frames = std::min(resampled.frames(), scaled.frames());
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (std::uint16_t j = 0; j < ch; ++j) {
            const double v = std::clamp(std::trunc(resampled.value(i, j) * scale), lo, hi);
            store(scaled, std::uint64_t{i} * ch + j, wout, static_cast<std::int32_t>(v) + bias);
        }
    }
}

void converter::convertSign(sample& result, const sample& scaled) const
{
    result.bytes().clear();
    result.setSamplerate(m_targetSamplerate).setChannels(scaled.channels()).setBitrate(scaled.bitrate());
    result.setUnsigned8Bit(m_targetUnsigned8Bit);
    if (!walkable(scaled)) return;

    const std::uint16_t w = scaled.byterate();
    const std::uint16_t ch = scaled.channels();
    result.bytes().assign(scaled.size(), 0);
    const std::int32_t bias = m_targetUnsigned8Bit ? 128 : 0;
    const std::uint32_t frames = scaled.frames();
    for (std::uint32_t i = 0; i < frames; ++i)
        for (std::uint16_t j = 0; j < ch; ++j) store(result, std::uint64_t{i} * ch + j, w, scaled.value(i, j) + bias);
}

} // namespace audio
