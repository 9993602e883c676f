#pragma once

#include <QDialog>

class CEditorSession;
class CImportDraft;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class SourceView;
struct ImportOptions;

// The import window: the source large with its start and end, the options
// that shape it, a line of figures, Preview and A/B. Every change goes to
// the draft, which says what the slot will hold; OK leaves the storing to
// the session (CEditorSession::commitImport).
class ImportDialog : public QDialog {
    Q_OBJECT

public:
    ImportDialog(CEditorSession& session, CImportDraft& draft, QWidget* parent);

    QLabel* figures() const { return m_figures; }
    QPushButton* okButton() const { return m_ok; }

private:
    void showOptions(const ImportOptions& options);
    void optionsChanged();
    void moveStart(double seconds);
    void moveEnd(double seconds);

    CEditorSession& m_session;
    CImportDraft& m_draft;
    SourceView* m_source;
    QSlider* m_zoom;
    QDoubleSpinBox* m_start;
    QDoubleSpinBox* m_end;
    QCheckBox* m_toTheEnd;
    QCheckBox* m_snap;
    QDoubleSpinBox* m_gain;
    QCheckBox* m_normalize;
    QDoubleSpinBox* m_peak;
    QCheckBox* m_reverse;
    QDoubleSpinBox* m_fadeIn;
    QDoubleSpinBox* m_fadeOut;
    QCheckBox* m_removeDc;
    QComboBox* m_quality;
    QCheckBox* m_dither;
    QLabel* m_figures;
    QPushButton* m_preview;
    QPushButton* m_playSource;
    QPushButton* m_ok;
    bool m_showing = false;
};
