#include "editor/win32/importwindow.h"

#include "audio/slotaudio.h"
#include "editor/editorsession.h"
#include "editor/importdraft.h"
#include "editor/win32/text.h"

#include <cstdio>
#include <cwchar>
#include <optional>

namespace win32 {

namespace {

constexpr const wchar_t* kClassName = L"VARNO414ImportWindow";

// A number typed into a field; nothing when it is not one.
std::optional<double> numberIn(HWND field)
{
    const std::wstring text = CControl(field).text();
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (text.empty() || end == text.c_str()) return std::nullopt;
    while (*end == L' ') ++end;
    if (*end != L'\0' && *end != L's' && *end != L'd') return std::nullopt;
    return value;
}

} // namespace

CImportWindow::CImportWindow(CEditorSession& session, CImportDraft& draft, HWND owner, int dpi)
    : m_session(session), m_draft(draft), m_owner(owner), m_dpi(dpi)
{
    registerClass(kClassName, GetSysColorBrush(COLOR_BTNFACE));
    const std::wstring title = L"Import " + widen(draft.fileName()) + L" into " + widen(draft.label());
    RECT place{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + MulDiv(720, dpi, 96), CW_USEDEFAULT + MulDiv(430, dpi, 96)};
    if (owner != nullptr) {
        RECT over{};
        GetWindowRect(owner, &over);
        place = {over.left + MulDiv(40, dpi, 96), over.top + MulDiv(40, dpi, 96), 0, 0};
        place.right = place.left + MulDiv(720, dpi, 96);
        place.bottom = place.top + MulDiv(430, dpi, 96);
    }
    create(kClassName, title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME,
           owner, nullptr, place);
    m_font = createMessageFont(dpi);
    build();
    showOptions(draft.options());
    optionsChanged();
    layout();
}

CImportWindow::~CImportWindow()
{
    if (m_font != nullptr) DeleteObject(m_font);
}

void CImportWindow::build()
{
    HWND window = hwnd();
    m_source.create(window, kSource);
    m_source.setSource(m_draft.source(), audio::kDeviceSampleRate);
    const auto field = [&](int id) {
        CControl edit;
        edit.create(window, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, id, WS_EX_CLIENTEDGE);
    };
    const auto box = [&](int id, const wchar_t* text) {
        CControl check;
        check.create(window, WC_BUTTONW, text, WS_TABSTOP | BS_AUTOCHECKBOX, id);
    };
    const auto label = [&](int id, const wchar_t* text) {
        CControl shown;
        shown.create(window, WC_STATICW, text, SS_LEFT | SS_CENTERIMAGE, id);
    };
    label(kLabels + 0, L"&Start (s)");
    field(kStart);
    box(kSnap, L"s&nap to zero crossings");
    label(kLabels + 1, L"&End (s)");
    field(kEnd);
    box(kToTheEnd, L"to the end of the &file");
    label(kLabels + 2, L"&Gain (dB)");
    field(kGain);
    box(kNormalize, L"nor&malize to (dBFS)");
    field(kPeak);
    label(kLabels + 3, L"Fade &in (s)");
    field(kFadeIn);
    label(kLabels + 4, L"Fade &out (s)");
    field(kFadeOut);
    box(kReverse, L"&reverse");
    box(kRemoveDc, L"remove &DC");
    label(kLabels + 5, L"&Conversion");
    CComboBox quality;
    quality.create(window, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST, kQuality);
    const std::wstring qualities[] = {L"classic", L"clean (band-limited, rounded)"};
    quality.setItems(qualities, 2);
    box(kDither, L"di&ther");
    label(kFigures, L"");
    CButton button;
    button.create(window, WC_BUTTONW, L"&Preview", WS_TABSTOP | BS_PUSHBUTTON, kPreview);
    button.create(window, WC_BUTTONW, L"Play So&urce", WS_TABSTOP | BS_PUSHBUTTON, kPlaySource);
    button.create(window, WC_BUTTONW, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    button.create(window, WC_BUTTONW, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
}

void CImportWindow::layout()
{
    RECT client{};
    GetClientRect(hwnd(), &client);
    const CTextMeasure text(m_font);
    const int margin = MulDiv(8, m_dpi, 96);
    const int gap = MulDiv(6, m_dpi, 96);
    const int line = text.height() + MulDiv(10, m_dpi, 96);
    const int labelWidth = text.width(L"Fade &out (s)") + gap;
    const int fieldWidth = text.averageCharWidth() * 10;
    const int lines = 6;
    const int bottom = client.bottom - margin;
    const int sourceBottom = bottom - (lines + 1) * (line + gap) - line;
    MoveWindow(m_source.hwnd(), margin, margin, client.right - 2 * margin, std::max(line, sourceBottom - margin), TRUE);
    const auto place = [&](int id, int x, int y, int width) {
        CControl(control(id)).move(RECT{x, y, x + width, y + (id == kQuality ? line * 6 : line)});
    };
    int y = sourceBottom + gap;
    const int second = margin + labelWidth + fieldWidth + gap;
    const int checkWidth = text.width(L"nor&malize to (dBFS)") + MulDiv(24, m_dpi, 96);
    place(kLabels + 0, margin, y, labelWidth);
    place(kStart, margin + labelWidth, y, fieldWidth);
    place(kSnap, second, y, text.width(L"s&nap to zero crossings") + MulDiv(24, m_dpi, 96));
    y += line + gap;
    place(kLabels + 1, margin, y, labelWidth);
    place(kEnd, margin + labelWidth, y, fieldWidth);
    place(kToTheEnd, second, y, text.width(L"to the end of the &file") + MulDiv(24, m_dpi, 96));
    y += line + gap;
    place(kLabels + 2, margin, y, labelWidth);
    place(kGain, margin + labelWidth, y, fieldWidth);
    place(kNormalize, second, y, checkWidth);
    place(kPeak, second + checkWidth + gap, y, fieldWidth);
    y += line + gap;
    place(kLabels + 3, margin, y, labelWidth);
    place(kFadeIn, margin + labelWidth, y, fieldWidth);
    place(kReverse, second, y, text.width(L"&reverse") + MulDiv(24, m_dpi, 96));
    y += line + gap;
    place(kLabels + 4, margin, y, labelWidth);
    place(kFadeOut, margin + labelWidth, y, fieldWidth);
    place(kRemoveDc, second, y, text.width(L"remove &DC") + MulDiv(24, m_dpi, 96));
    y += line + gap;
    const int qualityWidth = text.width(L"clean (band-limited, rounded)") + MulDiv(32, m_dpi, 96);
    place(kLabels + 5, margin, y, labelWidth);
    place(kQuality, margin + labelWidth, y, qualityWidth);
    place(kDither, margin + labelWidth + qualityWidth + gap, y, text.width(L"di&ther") + MulDiv(24, m_dpi, 96));
    y += line + gap;
    place(kFigures, margin, y, client.right - 2 * margin);
    const int button = text.width(L"Play So&urce") + MulDiv(24, m_dpi, 96);
    int x = client.right - margin - button;
    for (const int id : {int{IDCANCEL}, int{IDOK}, int{kPlaySource}, int{kPreview}}) {
        place(id, x, bottom - line, button);
        x -= button + gap;
    }
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void CImportWindow::setNumber(int id, double value)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3g", value);
    if (id == kStart || id == kEnd || id == kFadeIn || id == kFadeOut) std::swprintf(text, 32, L"%.3f", value);
    CControl(control(id)).setText(text);
}

void CImportWindow::showOptions(const ImportOptions& options)
{
    m_showing = true;
    setNumber(kStart, options.startSeconds);
    setNumber(kEnd, options.endSeconds.value_or(m_draft.sourceSeconds()));
    CButton(control(kToTheEnd)).setChecked(!options.endSeconds);
    setNumber(kGain, options.gainDb);
    CButton(control(kNormalize)).setChecked(options.normalizePeakDb.has_value());
    setNumber(kPeak, options.normalizePeakDb.value_or(0.0));
    CButton(control(kReverse)).setChecked(options.reverse);
    setNumber(kFadeIn, options.fadeInSeconds);
    setNumber(kFadeOut, options.fadeOutSeconds);
    CButton(control(kRemoveDc)).setChecked(options.removeDc);
    CComboBox(control(kQuality)).setCurrentIndex(options.quality == ImportOptions::Quality::Clean ? 1 : 0);
    CButton(control(kDither)).setChecked(options.dither);
    m_showing = false;
}

void CImportWindow::optionsChanged()
{
    if (m_showing) return;
    const auto checked = [&](int id) { return CButton(control(id)).isChecked(); };
    ImportOptions options;
    std::string unreadable;
    const auto read = [&](int id, const char* what) {
        const auto value = numberIn(control(id));
        if (!value && unreadable.empty()) unreadable = std::string(what) + " is not a number.";
        return value.value_or(0.0);
    };
    options.startSeconds = read(kStart, "The start");
    if (!checked(kToTheEnd)) options.endSeconds = read(kEnd, "The end");
    if (checked(kNormalize))
        options.normalizePeakDb = read(kPeak, "The peak");
    else
        options.gainDb = read(kGain, "The gain");
    options.reverse = checked(kReverse);
    options.fadeInSeconds = read(kFadeIn, "The fade-in");
    options.fadeOutSeconds = read(kFadeOut, "The fade-out");
    options.removeDc = checked(kRemoveDc);
    options.quality =
        CComboBox(control(kQuality)).currentIndex() == 1 ? ImportOptions::Quality::Clean : ImportOptions::Quality::Classic;
    options.dither = options.quality == ImportOptions::Quality::Clean && checked(kDither);
    if (unreadable.empty()) m_draft.setOptions(options);

    CControl(control(kEnd)).setEnabled(!checked(kToTheEnd));
    CControl(control(kGain)).setEnabled(!checked(kNormalize));
    CControl(control(kPeak)).setEnabled(checked(kNormalize));
    CControl(control(kDither)).setEnabled(options.quality == ImportOptions::Quality::Clean);
    m_source.setMarks(m_draft.options().startSeconds, m_draft.options().endSeconds.value_or(m_draft.sourceSeconds()),
                      m_draft.slotEndSeconds());
    const bool importable = unreadable.empty() && m_draft.importable();
    const std::string figures = !unreadable.empty() ? unreadable
                                : m_draft.problem().empty() ? m_draft.figures()
                                                            : m_draft.problem();
    CControl(control(kFigures)).setText(widen(figures));
    CControl(control(IDOK)).setEnabled(importable);
    CControl(control(kPreview)).setEnabled(importable);
}

void CImportWindow::end(bool accepted)
{
    m_accepted = accepted;
    m_done = true;
}

bool CImportWindow::run()
{
    if (m_owner != nullptr) EnableWindow(m_owner, FALSE);
    ShowWindow(hwnd(), SW_SHOW);
    SetFocus(control(kStart));
    MSG message;
    while (!m_done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(hwnd(), &message) != FALSE) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (m_owner != nullptr) {
        EnableWindow(m_owner, TRUE);
        SetActiveWindow(m_owner);
    }
    ShowWindow(hwnd(), SW_HIDE);
    return m_accepted;
}

LRESULT CImportWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK && CControl(control(IDOK)).isEnabled()) end(true);
        if (id == IDCANCEL) end(false);
        if (id == kPreview && code == BN_CLICKED) m_session.playDraft(m_draft, false);
        if (id == kPlaySource && code == BN_CLICKED) m_session.playDraft(m_draft, true);
        if (id == kSource) {
            double at = m_source.position();
            if (CButton(control(kSnap)).isChecked()) at = m_draft.snapToZeroCrossing(at);
            if (code == CSourceView::kEndMoved) CButton(control(kToTheEnd)).setChecked(false);
            setNumber(code == CSourceView::kStartMoved ? kStart : kEnd, at);
            optionsChanged();
        }
        const bool edited = code == EN_CHANGE || (code == BN_CLICKED && id != kPreview && id != kPlaySource &&
                                                  id != IDOK && id != IDCANCEL) || code == CBN_SELCHANGE;
        if (id != kSource && edited) optionsChanged();
        return 0;
    }
    case WM_SIZE:
        layout();
        return 0;
    case WM_CLOSE:
        end(false);
        return 0;
    default:
        break;
    }
    return CWindow::onMessage(message, wParam, lParam);
}

} // namespace win32
