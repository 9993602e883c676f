#pragma once

#include "audio/slotaudio.h"

#include <QWidget>

#include <cstdint>
#include <span>
#include <vector>

// A slot's sound as stored, drawn small: each pixel column shows the lowest
// and highest byte of its share of the slot around the zero line, so the
// silence an import left at the end shows as a flat line. The columns are
// kept until the bytes or the width change. It takes the focus, and a click
// or Space on it asks for the slot to play.
class WaveformView : public QWidget {
    Q_OBJECT

public:
    explicit WaveformView(QWidget* parent);

    // Keeps a copy; the same bytes again keep the drawing as it is.
    void setSamples(std::span<const std::uint8_t> bytes);
    // The columns drawn at the present width, one a device pixel.
    const std::vector<audio::Peak>& peaks();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect plotArea() const;

    std::vector<std::uint8_t> m_bytes;
    std::vector<audio::Peak> m_peaks;
    std::size_t m_peakColumns = 0; // the width m_peaks was made for
};
