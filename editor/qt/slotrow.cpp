#include "editor/qt/slotrow.h"

#include "audio/slotaudio.h"
#include "editor/qt/controls.h"
#include "editor/qt/waveformview.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <numeric>
#include <vector>

SlotRow::SlotRow(int row, int labelWidth, QWidget* parent)
    : QFrame(parent), m_row(row), m_layout(new QHBoxLayout(this)), m_label(new QLabel(this)),
      m_name(makeNameField(this)), m_waveform(new WaveformView(this)), m_capacity(new QLabel(this)),
      m_open(makeButton(tr("Open"), this)), m_play(makeButton(tr("Play"), this)),
      m_playAction(new QAction(tr("Play"), this)), m_saveAction(new QAction(tr("Save Sample As..."), this))
{
    setObjectName(QStringLiteral("row%1").arg(row));
    m_name->setObjectName(QStringLiteral("rowName%1").arg(row));
    m_open->setObjectName(QStringLiteral("rowOpen%1").arg(row));
    m_play->setObjectName(QStringLiteral("rowPlay%1").arg(row));
    m_waveform->setObjectName(QStringLiteral("rowWaveform%1").arg(row));
    m_capacity->setObjectName(QStringLiteral("rowCapacity%1").arg(row));
    m_waveform->setToolTip(tr("Click or press Space to play or stop the slot"));
    m_label->setMinimumWidth(labelWidth);
    // In a small window the waveform gives way first, so that names stay legible.
    m_name->setMinimumWidth(m_name->fontMetrics().averageCharWidth() * 20);
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
    m_layout->addWidget(m_waveform);
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
    addActions({m_playAction, m_saveAction});
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_playAction, &QAction::triggered, m_play, &QPushButton::click);
    connect(m_waveform, &WaveformView::activated, m_play, &QPushButton::click);
}

void SlotRow::showContent(std::span<const std::uint8_t> bytes, bool isSample)
{
    m_waveform->setVisible(isSample);
    m_capacity->setVisible(isSample);
    m_play->setVisible(isSample);
    // A firmware row leaves its clicks to the window's menu.
    setContextMenuPolicy(isSample ? Qt::ActionsContextMenu : Qt::DefaultContextMenu);
    if (!isSample) return;
    m_waveform->setSamples(bytes);
    m_capacity->setText(QString::fromStdString(audio::capacityText(bytes)));
}

void SlotRow::showPlayState(bool enabled, bool playing, const QString& whyDisabled)
{
    m_play->setEnabled(enabled);
    m_play->setText(playing ? tr("Stop") : tr("Play"));
    m_play->setToolTip(enabled ? QString() : whyDisabled);
    m_playAction->setEnabled(enabled);
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

QStringList withMnemonics(const QStringList& texts, const QString& taken)
{
    QString used = taken.toUpper();
    const auto freeLetters = [&used](const QString& text) {
        QString letters;
        for (const QChar c : text.toUpper())
            if (c.isLetterOrNumber() && !used.contains(c) && !letters.contains(c)) letters += c;
        return letters;
    };
    std::vector<int> order(static_cast<std::size_t>(texts.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return freeLetters(texts[a]).size() < freeLetters(texts[b]).size(); });

    QStringList marked;
    for (const QString& text : texts) marked << QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
    for (const int i : order) {
        const QString letters = freeLetters(texts[i]);
        if (letters.isEmpty()) continue;
        const QChar letter = letters.front();
        used += letter;
        const qsizetype at = marked[i].indexOf(letter, 0, Qt::CaseInsensitive);
        marked[i].insert(at, QLatin1Char('&'));
    }
    return marked;
}
