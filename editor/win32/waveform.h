#pragma once

#include "audio/slotaudio.h"
#include "editor/win32/window.h"

#include <cstdint>
#include <span>
#include <vector>

namespace win32 {

// A slot's waveform, drawn from its stored bytes one column per pixel. A
// click or Space tells the parent as a button's BN_CLICKED would.
class CWaveform : public CWindow {
public:
    void create(HWND parent, int id);
    void setSamples(std::span<const std::uint8_t> bytes);
    const std::vector<std::uint8_t>& samples() const { return m_bytes; }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint(HDC dc) const;
    void activate();
    std::vector<std::uint8_t> m_bytes;
    mutable std::vector<audio::Peak> m_peaks;
    mutable std::size_t m_peakColumns = 0;
};

} // namespace win32
