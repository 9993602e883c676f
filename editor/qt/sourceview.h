#pragma once

#include <QWidget>

#include <cstdint>
#include <span>
#include <vector>

// The whole source of an import, drawn large at the machine's rate, with
// the part that goes into the slot between a start and an end handle and a
// dashed line where the slot is full. Dragging a handle moves it; the wheel
// zooms around the mouse.
class SourceView : public QWidget {
    Q_OBJECT

public:
    explicit SourceView(QWidget* parent);

    void setSource(std::span<const std::uint8_t> bytes, double rate);
    // In seconds of the source.
    void setMarks(double start, double end, double slotEnd);
    void setZoom(int factor); // 1: the whole source in view
    int zoom() const { return m_zoom; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void startDragged(double seconds);
    void endDragged(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    double seconds() const;
    double secondsAt(double x) const;
    double xOf(double seconds) const;
    void zoomAround(int factor, double anchor, double share);

    std::vector<std::uint8_t> m_bytes;
    double m_rate = 1.0;
    double m_start = 0.0, m_end = 0.0, m_slotEnd = 0.0;
    int m_zoom = 1;
    double m_viewStart = 0.0; // seconds at the left edge
    enum class Drag { none, start, end } m_drag = Drag::none;
};
