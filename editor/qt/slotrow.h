#pragma once

#include <QFrame>

#include <cstdint>
#include <span>

struct CommandState;

class QAction;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class WaveformView;

// One row of the bank view: every control of one content, left to right the
// label, the name field, the waveform, how much of the slot sounds, "Open"
// and "Play". The row is the drop target for files dragged onto that content
// and is highlighted while a drop would land in it. The name field and the
// waveform share the width; the name stops growing at a width that shows
// long names whole, and the waveform takes the rest. A firmware row has no
// sound to show or play. The row's context menu offers "Play" and
// "Save Sample As..." and "Import with Options...".
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
    WaveformView* waveform() const { return m_waveform; }
    QLabel* capacity() const { return m_capacity; }
    QAction* playAction() const { return m_playAction; }
    QAction* saveAction() const { return m_saveAction; }
    QAction* importAction() const { return m_importAction; }

    // The label text with an Alt mnemonic (as "C&LAP") that focuses the name.
    void setLabel(const QString& textWithMnemonic);
    void setHighlighted(bool highlighted);
    bool isHighlighted() const;

    // The content's bytes as stored: a sample slot shows its waveform and
    // capacity text, a firmware content neither.
    void showContent(std::span<const std::uint8_t> bytes, bool isSample, const QString& capacity);
    // Play's text ("Play" or "Stop") and state; a disabled Play says why.
    void showPlayState(const CommandState& play);

private:
    int m_row;
    QHBoxLayout* m_layout;
    QLabel* m_label;
    QLineEdit* m_name;
    WaveformView* m_waveform;
    QLabel* m_capacity;
    QPushButton* m_open;
    QPushButton* m_play;
    QAction* m_playAction;
    QAction* m_saveAction;
    QAction* m_importAction;
};
