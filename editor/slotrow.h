#pragma once

#include <QFrame>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// One row of the bank view: every control of one content, left to right the
// label, the name field, "Open" and "Play". The row is the drop target for
// files dragged onto that content and is highlighted while a drop would land
// in it. Controls that show a content's sound (a waveform, how much of the
// slot it fills) belong between the name and the buttons: the name field is
// the only part that stretches, so they take width from it and never crowd
// the label.
class SlotRow : public QFrame {
    Q_OBJECT

public:
    // labelWidth: the same for every row, so the columns line up.
    SlotRow(int row, int labelWidth, QWidget* parent);

    int row() const { return m_row; }
    QLabel* label() const { return m_label; }
    QLineEdit* name() const { return m_name; }
    QPushButton* openButton() const { return m_open; }
    QPushButton* playButton() const { return m_play; }

    // The label text with an Alt mnemonic (as "C&LAP") that focuses the name.
    void setLabel(const QString& textWithMnemonic);
    void setHighlighted(bool highlighted);
    bool isHighlighted() const;

private:
    int m_row;
    QHBoxLayout* m_layout;
    QLabel* m_label;
    QLineEdit* m_name;
    QPushButton* m_open;
    QPushButton* m_play;
};

// Gives each text an Alt mnemonic: a letter that no other of the texts and
// none of the taken letters use, texts with the fewest free letters choosing
// first. A text without a free letter gets none.
QStringList withMnemonics(const QStringList& texts, const QString& taken);
