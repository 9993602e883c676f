#include "editor/qt/aboutdlg.h"

#include "varno_version.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

QPixmap drawApplicationPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal margin = size * 0.06;
    const QRectF pad(margin, margin, size - 2 * margin, size - 2 * margin);
    painter.setPen(QPen(QColor(40, 40, 48), std::max(1.0, size / 32.0)));
    painter.setBrush(QColor(232, 96, 28));
    painter.drawRoundedRect(pad, size * 0.18, size * 0.18);

    // A decaying oscillation: what a drum sample looks like.
    QPainterPath wave;
    const qreal left = pad.left() + size * 0.1;
    const qreal width = pad.width() - size * 0.2;
    const qreal middle = pad.center().y();
    const int steps = std::max(16, size);
    for (int step = 0; step <= steps; ++step) {
        const qreal t = static_cast<qreal>(step) / steps;
        const qreal y = middle - std::sin(t * 6 * 3.14159265) * std::exp(-3.2 * t) * pad.height() * 0.34;
        const QPointF point(left + t * width, y);
        if (step == 0)
            wave.moveTo(point);
        else
            wave.lineTo(point);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, std::max(1.0, size / 14.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(wave);
    return picture;
}

QIcon makeApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(drawApplicationPicture(size));
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Info über VARNO414Editor"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    auto* picture = new QLabel(this);
    picture->setPixmap(drawApplicationPicture(64));
    picture->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("VARNO414Editor"), this);
    name->setAlignment(Qt::AlignCenter);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    m_versionText = new QLabel(QStringLiteral("versions string"), this);
    m_versionText->setObjectName("aboutVersion");
    m_versionText->setAlignment(Qt::AlignCenter);
    auto* blurb =
        new QLabel(tr("Sample memory editor for the VARNO 414.\nFactory sounds synthesised for this program."), this);
    blurb->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    ok->hide();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(name);
    layout->addWidget(m_versionText);
    layout->addWidget(blurb);
    layout->setContentsMargins(24, 16, 24, 20);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_versionText->setText(QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion));
}

QString CAboutDlg::versionText() const
{
    return m_versionText->text();
}
