#pragma once

#include "editor/win32/sourceview.h"
#include "editor/win32/window.h"

class CEditorSession;
class CImportDraft;
struct ImportOptions;

namespace win32 {

// The import window: the source large with its start and end, the options
// that shape it, a line of figures, Preview and A/B. Every change goes to
// the draft, which says what the slot will hold; OK leaves the storing to
// the session (CEditorSession::commitImport).
class CImportWindow : public CWindow {
public:
    enum Id : int {
        kSource = 100,
        kStart, kEnd, kToTheEnd, kSnap, kGain, kNormalize, kPeak, kReverse, kFadeIn, kFadeOut, kRemoveDc,
        kQuality, kDither, kFigures, kPreview, kPlaySource, kLabels = 200,
    };

    CImportWindow(CEditorSession& session, CImportDraft& draft, HWND owner, int dpi);
    ~CImportWindow() override;

    // Modal over the owner until OK or Cancel; true for OK.
    bool run();
    HWND control(int id) const { return GetDlgItem(hwnd(), id); }
    bool accepted() const { return m_accepted; }
    bool done() const { return m_done; }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void build();
    void layout();
    void showOptions(const ImportOptions& options);
    void optionsChanged();
    void setNumber(int id, double value);
    void end(bool accepted);

    CEditorSession& m_session;
    CImportDraft& m_draft;
    HWND m_owner;
    int m_dpi;
    HFONT m_font = nullptr;
    CSourceView m_source;
    bool m_showing = false;
    bool m_done = false;
    bool m_accepted = false;
};

} // namespace win32
