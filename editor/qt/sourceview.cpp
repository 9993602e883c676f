#include "editor/qt/sourceview.h"

#include "audio/slotaudio.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

SourceView::SourceView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(tr("Drag the start and end lines; the wheel zooms"));
}

void SourceView::setSource(std::span<const std::uint8_t> bytes, double rate)
{
    m_bytes.assign(bytes.begin(), bytes.end());
    m_rate = rate > 0 ? rate : 1.0;
    update();
}

void SourceView::setMarks(double start, double end, double slotEnd)
{
    m_start = start;
    m_end = end;
    m_slotEnd = slotEnd;
    update();
}

void SourceView::setZoom(int factor)
{
    zoomAround(factor, m_viewStart + seconds() / m_zoom / 2, 0.5);
}

// The anchor stays at its share of the width.
void SourceView::zoomAround(int factor, double anchor, double share)
{
    m_zoom = std::clamp(factor, 1, 256);
    m_viewStart = std::clamp(anchor - share * seconds() / m_zoom, 0.0, seconds() - seconds() / m_zoom);
    update();
}

QSize SourceView::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 8};
}

QSize SourceView::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 30, fontMetrics().height() * 4};
}

double SourceView::seconds() const
{
    return std::max(1.0, static_cast<double>(m_bytes.size())) / m_rate;
}

double SourceView::secondsAt(double x) const
{
    return std::clamp(m_viewStart + x / std::max(1, width()) * seconds() / m_zoom, 0.0, seconds());
}

double SourceView::xOf(double at) const
{
    return (at - m_viewStart) / (seconds() / m_zoom) * width();
}

void SourceView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QPalette& colors = palette();
    painter.fillRect(rect(), colors.color(QPalette::Base));
    const double middle = height() / 2.0;
    const double scale = (height() / 2.0 - 2) / 128.0;
    // What stays out of the slot is shaded.
    const QColor shade = colors.color(QPalette::Window);
    painter.fillRect(QRectF(0, 0, std::max(0.0, xOf(m_start)), height()), shade);
    painter.fillRect(QRectF(xOf(m_end), 0, width(), height()), shade);
    painter.setPen(colors.color(QPalette::Mid));
    painter.drawLine(QPointF(0, middle), QPointF(width(), middle));
    painter.setPen(colors.color(QPalette::Text));
    const double perColumn = seconds() / m_zoom / std::max(1, width()) * m_rate;
    for (int x = 0; x < width(); ++x) {
        const auto from = static_cast<std::size_t>(std::max(0.0, (m_viewStart * m_rate) + x * perColumn));
        const auto to = std::min(m_bytes.size(), static_cast<std::size_t>(from + std::max(1.0, perColumn)));
        if (from >= to) break;
        const auto [low, high] = std::minmax_element(m_bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                                     m_bytes.begin() + static_cast<std::ptrdiff_t>(to));
        painter.drawLine(QPointF(x + 0.5, middle - (*high - audio::kZeroLevel) * scale),
                         QPointF(x + 0.5, middle - (*low - audio::kZeroLevel) * scale));
    }
    // The handles stay in sight at the edges.
    const auto line = [&](double at, const QPen& pen) {
        const double x = std::clamp(xOf(at), 1.5, width() - 1.5);
        painter.setPen(pen);
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    };
    line(m_slotEnd, QPen(QColor(232, 96, 28), 1, Qt::DashLine));
    line(m_start, QPen(QColor(0, 150, 60), 3));
    line(m_end, QPen(QColor(200, 40, 40), 3));
    painter.setPen(colors.color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void SourceView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const double x = event->position().x();
    m_drag = std::abs(x - xOf(m_start)) <= std::abs(x - xOf(m_end)) ? Drag::start : Drag::end;
    mouseMoveEvent(event);
}

void SourceView::mouseMoveEvent(QMouseEvent* event)
{
    const double at = secondsAt(event->position().x());
    if (m_drag == Drag::start) Q_EMIT startDragged(at);
    if (m_drag == Drag::end) Q_EMIT endDragged(at);
}

void SourceView::mouseReleaseEvent(QMouseEvent* /*event*/)
{
    m_drag = Drag::none;
}

void SourceView::wheelEvent(QWheelEvent* event)
{
    zoomAround(event->angleDelta().y() > 0 ? m_zoom * 2 : m_zoom / 2, secondsAt(event->position().x()),
               event->position().x() / std::max(1, width()));
}
