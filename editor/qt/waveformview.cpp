#include "editor/qt/waveformview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

WaveformView::WaveformView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void WaveformView::setSamples(std::span<const std::uint8_t> bytes)
{
    if (std::ranges::equal(bytes, m_bytes)) return;
    m_bytes.assign(bytes.begin(), bytes.end());
    m_peaks.clear();
    m_peakColumns = 0;
    update();
}

const std::vector<audio::Peak>& WaveformView::peaks()
{
    const auto columns = static_cast<std::size_t>(std::max(0.0, std::floor(plotArea().width() * devicePixelRatioF())));
    if (columns != m_peakColumns) {
        m_peaks = audio::slotPeaks(m_bytes, columns);
        m_peakColumns = columns;
    }
    return m_peaks;
}

// Wide enough to tell an attack from a tail, as tall as the name field.
QSize WaveformView::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 18, fontMetrics().height() + 6};
}

QSize WaveformView::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().height()};
}

QRect WaveformView::plotArea() const
{
    return rect().adjusted(2, 2, -2, -2);
}

void WaveformView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QPalette& colors = palette();
    const QRect area = plotArea();
    painter.fillRect(rect(), colors.color(isEnabled() ? QPalette::Base : QPalette::Window));
    painter.setPen(colors.color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }

    // Drawn in device pixels, one column each, so the peaks stay sharp at
    // every scale.
    const qreal ratio = devicePixelRatioF();
    const std::vector<audio::Peak>& columns = peaks();
    const qreal middle = area.top() + area.height() / 2.0;
    const qreal scale = area.height() / 2.0 / 128.0;
    const QColor ink = colors.color(isEnabled() ? QPalette::Text : QPalette::PlaceholderText);
    painter.setPen(QPen(ink.lighter(160), 0));
    painter.drawLine(QPointF(area.left(), middle), QPointF(area.right() + 1, middle));
    painter.setPen(QPen(ink, 1.0 / ratio));
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const qreal x = area.left() + (static_cast<qreal>(c) + 0.5) / ratio;
        const qreal top = middle - (columns[c].high - audio::kZeroLevel) * scale;
        const qreal bottom = middle - (columns[c].low - audio::kZeroLevel) * scale;
        painter.drawLine(QPointF(x, top), QPointF(x, std::max(bottom, top + 1.0 / ratio)));
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    Q_EMIT activated();
}

void WaveformView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        Q_EMIT activated();
        return;
    }
    QWidget::keyPressEvent(event);
}
