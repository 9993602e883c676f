#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace audio {

// Band-limited sample-rate conversion of one channel: a polyphase filter of
// Kaiser-windowed sinc taps, cut off just below the lower of the two Nyquist
// frequencies, so that nothing above the target's folds back into it.
//
// Output instants step through the source in whole integer units (phases per
// source frame, source step per output), and the taps are made without any
// library function whose last bit differs between C runtimes, so the same
// input gives the same output on every platform.
class resampler {
public:
    resampler(double sourceRate, double targetRate);

    // Up to maxOutputs target frames (0: all the source makes) from source;
    // frames before its start and after its end count as silence.
    std::vector<double> process(std::span<const double> source, std::size_t maxOutputs = 0) const;

    // Outputs a source of `frames` frames makes: as many as fit in its length.
    std::uint64_t outputsFor(std::uint64_t frames) const;
    // Source frames the first `outputs` outputs need, the filter's reach after
    // the last one included.
    std::uint64_t framesFor(std::uint64_t outputs) const;

    std::size_t taps() const { return m_taps; }
    bool identity() const { return m_phases == m_step; }

private:
    std::uint64_t m_phases = 1; // filter phases per source frame
    std::uint64_t m_step = 1;   // phases from one output instant to the next
    std::size_t m_taps = 0;     // taps per phase, an even number
    std::vector<double> m_table; // m_phases rows of m_taps taps
};

} // namespace audio
