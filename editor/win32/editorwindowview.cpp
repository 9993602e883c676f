#include "editor/win32/editorwindow.h"

#include "editor/win32/text.h"

// What the window draws: each part from the session's getters, when the
// session says it changed.

namespace win32 {

void CEditorWindow::changed(ViewPart parts)
{
    if (!m_session || hwnd() == nullptr) return; // the session's own construction, or the window is gone
    m_drawing = true;
    if (has(parts, ViewPart::bankList)) showBankList();
    if (has(parts, ViewPart::bankContent)) showBankContent();
    if (has(parts, ViewPart::title)) showTitle();
    if (has(parts, ViewPart::status)) showStatus();
    if (has(parts, ViewPart::transfer)) showTransfer();
    if (has(parts, ViewPart::commands)) showCommands();
    if (has(parts, ViewPart::ports)) showPorts();
    if (has(parts, ViewPart::playState) || has(parts, ViewPart::bankContent)) showPlayState();
    m_drawing = false;
}

void CEditorWindow::showState(CControl& control, const CommandState& state)
{
    control.setEnabled(state.enabled);
    m_toolTips.set(control.hwnd(), state.enabled ? std::wstring() : widen(state.reason));
}

// A redraw of something else leaves a name being typed alone.
void CEditorWindow::drawName(CControl& field, const std::wstring& text)
{
    const int index = field.hwnd() == m_bankName.hwnd() ? 0 : rowOfWindow(field.hwnd()) + 1;
    auto& drawn = m_drawnNames[static_cast<std::size_t>(index)];
    if (drawn == text && field.text() == text) return;
    drawn = text;
    m_acceptedNames[static_cast<std::size_t>(index)] = text;
    field.setText(text);
}

// Names and changed marks, in index order: list index and bank index agree.
void CEditorWindow::showBankList()
{
    const int count = m_session->bankCount();
    m_bankList.setCount(count);
    for (int index = 0; index < count; ++index)
        m_bankList.setItem(index, widen(m_session->bankListText(index)), m_session->isBankChanged(index));
    // A selection of several banks stays while its current bank is the session's.
    if (m_bankList.current() != m_session->selectedBank()) m_bankList.setCurrent(m_session->selectedBank());
    InvalidateRect(m_bankList.hwnd(), nullptr, FALSE);
}

void CEditorWindow::showBankContent()
{
    drawName(m_bankName, widen(m_session->bankName()));
    m_bankName.setEnabled(m_session->bankNameEditable());
    const std::vector<std::string> labels = m_session->rowLabels(m_takenMnemonics);
    bool shownChanged = false;
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        const RowView view = m_session->row(row);
        SlotRowControls& controls = m_rows[static_cast<std::size_t>(row)];
        shownChanged = shownChanged || controls.name.isVisible() != view.shown;
        for (CControl* control : {&controls.label, &controls.name, static_cast<CControl*>(&controls.open)})
            control->setVisible(view.shown);
        controls.play.setVisible(view.shown && view.isSample);
        controls.capacity.setVisible(view.shown && view.isSample);
        ShowWindow(controls.waveform.hwnd(), view.shown && view.isSample ? SW_SHOWNA : SW_HIDE);
        if (!view.shown) continue;
        controls.label.setText(widen(labels[static_cast<std::size_t>(row)]));
        drawName(controls.name, widen(view.name));
        controls.name.setEnabled(view.editable);
        controls.open.setEnabled(view.editable);
        controls.waveform.setSamples(view.isSample ? view.bytes : std::span<const std::uint8_t>());
        controls.capacity.setText(widen(view.capacity));
    }
    if (shownChanged) layout();
}

void CEditorWindow::showTitle()
{
    SetWindowTextW(hwnd(), widen(m_session->title()).c_str());
}

void CEditorWindow::showStatus()
{
    m_status.setText(widen(m_session->status()));
    m_toolTips.set(m_status.hwnd(), widen(m_session->statusToolTip()));
}

void CEditorWindow::showTransfer()
{
    const TransferView transfer = m_session->transfer();
    CButton& shown = transfer.sending ? m_stop : m_send;
    CButton& hidden = transfer.sending ? m_send : m_stop;
    if (!shown.isVisible()) {
        // The keyboard focus moves with the button that takes the other's place.
        const bool focused = GetFocus() == hidden.hwnd();
        shown.setVisible(true);
        hidden.setVisible(false);
        if (focused) SetFocus(shown.hwnd());
    }
    m_stop.setEnabled(transfer.stop.enabled);
    m_toolTips.set(m_stop.hwnd(), transfer.stop.enabled ? L"Finish the bank being sent, then stop"
                                                        : widen(transfer.stop.reason));
    for (CControl* part : {static_cast<CControl*>(&m_bankProgress), static_cast<CControl*>(&m_sendProgress),
                           &m_bankText})
        part->setVisible(transfer.sending);
    m_sendProgress.setValue(transfer.percent);
    m_bankProgress.setValue(transfer.bankPercent);
    m_bankText.setText(widen(transfer.bankText));
}

void CEditorWindow::showCommands()
{
    m_menus.show(*m_session);
    DrawMenuBar(hwnd());
    showState(m_openFromDisk, m_session->state(Command::open));
    showState(m_saveToDisk, m_session->state(Command::save));
    showState(m_reset, m_session->state(Command::reset));
    showState(m_send, m_session->state(Command::send));
    showState(m_receive, m_session->state(Command::receive));
}

void CEditorWindow::showPorts()
{
    const auto fill = [](CComboBox& box, const std::vector<std::string>& names, int current) {
        std::vector<std::wstring> items;
        items.reserve(names.size());
        for (const std::string& name : names) items.push_back(widen(name));
        const bool replaced = box.setItems(items.data(), items.size());
        box.setCurrentIndex(current);
        return replaced;
    };
    fill(m_outputPorts, m_session->outputPorts(), m_session->selectedOutputPort());
    // The input list is as wide as its longest name.
    if (fill(m_inputPorts, m_session->inputPorts(), m_session->selectedInputPort())) layout();
    m_channels.setCurrentIndex(m_session->channel());
    const SendScope scope = m_session->sendScope();
    m_selectedBank.setChecked(scope == SendScope::selected);
    m_allBanks.setChecked(scope == SendScope::all);
    m_changesOnly.setChecked(scope == SendScope::changes);
    const std::string unavailable = m_session->changesUnavailable();
    m_changesOnly.setEnabled(unavailable.empty());
    m_toolTips.set(m_changesOnly.hwnd(), widen(unavailable));
    m_version.setText(widen(m_session->versionText()));
}

void CEditorWindow::showPlayState()
{
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        SlotRowControls& controls = m_rows[static_cast<std::size_t>(row)];
        const CommandState play = m_session->row(row).play;
        controls.play.setText(widen(play.text.empty() ? "Play" : play.text));
        showState(controls.play, play);
    }
}

} // namespace win32
