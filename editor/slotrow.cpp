#include "editor/slotrow.h"

#include "editor/controls.h"

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
      m_name(makeNameField(this)), m_open(makeButton(tr("Open"), this)), m_play(makeButton(tr("Play"), this))
{
    setObjectName(QStringLiteral("row%1").arg(row));
    m_name->setObjectName(QStringLiteral("rowName%1").arg(row));
    m_open->setObjectName(QStringLiteral("rowOpen%1").arg(row));
    m_play->setObjectName(QStringLiteral("rowPlay%1").arg(row));
    m_label->setMinimumWidth(labelWidth);
    m_label->setBuddy(m_name);
    m_play->setEnabled(false);
    m_play->hide();

    // A thin margin leaves room for the highlight around the controls.
    m_layout->setContentsMargins(3, 1, 3, 1);
    m_layout->addWidget(m_label);
    m_layout->addWidget(m_name, 1);
    m_layout->addWidget(m_open);
    m_layout->addWidget(m_play);

    // A hidden row keeps its place, so the view does not jump between banks.
    QSizePolicy policy = sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
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
