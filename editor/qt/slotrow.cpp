#include "editor/qt/slotrow.h"

#include "editor/commands.h"
#include "editor/qt/controls.h"
#include "editor/qt/waveformview.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

SlotRow::SlotRow(int row, int labelWidth, QWidget* parent)
    : QFrame(parent), m_row(row), m_layout(new QHBoxLayout(this)), m_label(new QLabel(this)),
      m_name(makeNameField(this)), m_waveform(new WaveformView(this)), m_capacity(new QLabel(this)),
      m_open(makeButton(tr("Open"), this)), m_play(makeButton(tr("Play"), this)),
      m_playAction(new QAction(tr("Play"), this)), m_saveAction(new QAction(tr("Save Sample As..."), this)),
      m_importAction(new QAction(tr("Import with Options..."), this))
{
    setObjectName(QStringLiteral("row%1").arg(row));
    m_name->setObjectName(QStringLiteral("rowName%1").arg(row));
    m_open->setObjectName(QStringLiteral("rowOpen%1").arg(row));
    m_play->setObjectName(QStringLiteral("rowPlay%1").arg(row));
    m_waveform->setObjectName(QStringLiteral("rowWaveform%1").arg(row));
    m_capacity->setObjectName(QStringLiteral("rowCapacity%1").arg(row));
    m_waveform->setToolTip(tr("Click or press Space to play or stop the slot"));
    m_label->setMinimumWidth(labelWidth);
    // In a small window the waveform gives way first, so that names stay
    // legible; in a large one it takes what the names do not need.
    const int charWidth = m_name->fontMetrics().averageCharWidth();
    m_name->setMinimumWidth(charWidth * 20);
    m_name->setMaximumWidth(charWidth * 40);
    m_waveform->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_label->setBuddy(m_name);
    m_play->setEnabled(false);
    // Play and Stop take the same room, so the row never shifts.
    m_play->setText(tr("Stop"));
    const int stopWidth = m_play->sizeHint().width();
    m_play->setText(tr("Play"));
    m_play->setMinimumWidth(std::max(stopWidth, m_play->sizeHint().width()));
    // Every capacity text takes the same room, so the columns line up.
    m_capacity->setMinimumWidth(m_capacity->fontMetrics().horizontalAdvance(QStringLiteral("0.00 s of 0.00 s")));
    m_capacity->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // A thin margin leaves room for the highlight around the controls.
    m_layout->setContentsMargins(3, 1, 3, 1);
    m_layout->addWidget(m_label);
    m_layout->addWidget(m_name, 1);
    m_layout->addWidget(m_waveform, 1);
    m_layout->addWidget(m_capacity);
    m_layout->addWidget(m_open);
    m_layout->addWidget(m_play);

    // A hidden row keeps its place, so the view does not jump between banks,
    // and so do the sound controls of a firmware row.
    for (QWidget* widget : std::initializer_list<QWidget*>{this, m_waveform, m_capacity, m_play}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }

    // The row's own menu; the name field keeps its editing menu.
    addActions({m_playAction, m_saveAction, m_importAction});
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_playAction, &QAction::triggered, m_play, &QPushButton::click);
    connect(m_waveform, &WaveformView::activated, m_play, &QPushButton::click);
}

void SlotRow::showContent(std::span<const std::uint8_t> bytes, bool isSample, const QString& capacity)
{
    m_waveform->setVisible(isSample);
    m_capacity->setVisible(isSample);
    m_play->setVisible(isSample);
    // A firmware row leaves its clicks to the window's menu.
    setContextMenuPolicy(isSample ? Qt::ActionsContextMenu : Qt::DefaultContextMenu);
    if (!isSample) return;
    m_waveform->setSamples(bytes);
    m_capacity->setText(capacity);
}

void SlotRow::showPlayState(const CommandState& play)
{
    m_play->setEnabled(play.enabled);
    if (!play.text.empty()) m_play->setText(QString::fromStdString(play.text));
    m_play->setToolTip(play.enabled ? QString() : QString::fromStdString(play.reason));
    m_playAction->setEnabled(play.enabled);
    m_playAction->setText(m_play->text());
}

void SlotRow::setLabel(const QString& textWithMnemonic)
{
    m_label->setText(textWithMnemonic);
}

void SlotRow::setHighlighted(bool highlighted)
{
    setDropHighlight(this, highlighted);
}

bool SlotRow::isHighlighted() const
{
    return isDropHighlighted(this);
}
