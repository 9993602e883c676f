#include "editor/win32/editorwindow.h"

#include "midiport/banktransfer.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <algorithm>

// Where every control goes, in pixels at the window's DPI and sized from the
// texts in the window's font, so that nothing is cut at any scale. The bank
// list grows in height, the waveforms and the status text in width; the
// bars keep their width, so they never move when the text changes.

namespace win32 {

namespace {

struct Metrics {
    int margin, gap, line, control, button, groupTop, groupInset;
};

// The widest of the texts.
int widest(const CTextMeasure& measure, std::initializer_list<std::wstring> texts)
{
    int width = 0;
    for (const std::wstring& text : texts) width = std::max(width, measure.width(text));
    return width;
}

RECT box(int left, int top, int width, int height)
{
    return RECT{left, top, left + width, top + height};
}

// The longest text a send of all banks shows, where the computer could not
// be kept awake.
std::wstring longestStatus()
{
    TransferProgress opening;
    opening.secondsLeft = 59 * 60 + 59;
    const std::string text = describeProgress(opening) + " - computer may sleep";
    return {text.begin(), text.end()};
}

} // namespace

struct Sizes {
    Metrics m;
    int listWidth, labelWidth, nameMin, nameMax, waveMin, capacityWidth, rowButton;
    int radio[3], optionsWidth, channelWidth, portMin, sendWidth, statusMin, bankTextWidth, bankBar, sendBar;
    int inputLabel, receiveBar, receiveWidth, versionWidth;
    int contentMin() const
    {
        return 2 * m.groupInset + labelWidth + nameMin + waveMin + capacityWidth + 2 * rowButton + 5 * m.gap;
    }
    int rowsHeight() const { return m.groupTop + (CEditorSession::kRowCount + 1) * (m.control + m.gap / 2) + m.gap * 2; }
    int optionsHeight() const { return m.groupTop + m.control + m.gap; }
    int bottomHeight() const { return optionsHeight() + 2 * (m.gap + m.control) + m.margin; }
};

static Sizes sizesFor(HFONT font, HFONT bold, int dpi)
{
    const CTextMeasure text(font);
    const CTextMeasure strong(bold);
    const auto px = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    Sizes s{};
    const int h = text.height();
    const int ch = text.averageCharWidth();
    s.m = Metrics{px(8), px(6), h, h + px(10), 0, h + px(4), px(10)};
    s.listWidth = strong.width(L"FIRMWARE - factory -") + h * 2 / 3 + h * 3;
    int labels = text.width(L"Bankname");
    for (const std::string_view label : kSlotLabels)
        labels = std::max(labels, text.width(std::wstring(label.begin(), label.end())));
    for (const std::string_view label : kFirmwareLabels)
        labels = std::max(labels, text.width(std::wstring(label.begin(), label.end())));
    s.labelWidth = labels + ch * 2;
    s.nameMin = ch * 12;
    s.nameMax = ch * 32;
    s.waveMin = ch * 8;
    s.capacityWidth = text.width(L"00.00 s of 00.00 s") + px(6);
    s.rowButton = widest(text, {L"Open", L"Play", L"Stop"}) + px(24);
    const int check = GetSystemMetricsForDpi(SM_CXMENUCHECK, static_cast<UINT>(dpi)) + px(6);
    s.radio[0] = text.width(L"s&elected bank") + check;
    s.radio[1] = text.width(L"&all banks") + check;
    s.radio[2] = text.width(L"chan&ges only") + check;
    s.optionsWidth = s.radio[0] + s.radio[1] + s.radio[2] + 2 * s.m.gap + 2 * s.m.groupInset;
    s.channelWidth = std::max(text.width(L"VARNO Receive &Channel"), ch * 6);
    s.portMin = ch * 24;
    s.sendWidth = widest(text, {L"Send to &VARNO", L"Sto&p"}) + px(24);
    s.statusMin = text.width(longestStatus()) + px(4);
    s.bankTextWidth = text.width(L"FIRMWARE 100%") + px(4);
    s.bankBar = ch * 12;
    s.sendBar = ch * 20;
    s.inputLabel = text.width(L"MIDI &IN Port") + px(4);
    s.receiveBar = ch * 6;
    s.receiveWidth = text.width(L"Receive from VAR&NO") + px(24);
    s.versionWidth = text.width(L"Version 00.00.00") + px(4);
    return s;
}

SIZE CEditorWindow::minimumSize() const
{
    const Sizes s = sizesFor(m_font, m_bold, m_dpi);
    const int middle = s.m.margin * 2 + s.listWidth + s.m.gap + s.contentMin();
    const int settings = s.m.margin * 2 + s.optionsWidth + s.channelWidth + s.portMin + 2 * s.m.gap;
    const int transfer = s.m.margin * 2 + s.sendWidth + s.statusMin + s.bankTextWidth + s.bankBar + s.sendBar +
                         4 * s.m.gap;
    const int receive = s.m.margin * 2 + s.inputLabel + s.portMin + s.receiveBar + s.receiveWidth +
                        s.versionWidth + 5 * s.m.gap;
    const int listColumn = s.m.line * 6 + 3 * (s.m.control + s.m.gap);
    const int height = s.m.margin + std::max(listColumn, s.rowsHeight()) + s.m.gap + s.bottomHeight();
    return SIZE{std::max({middle, settings, transfer, receive}), height};
}

void CEditorWindow::layout()
{
    if (m_font == nullptr) return;
    const Sizes s = sizesFor(m_font, m_bold, m_dpi);
    const Metrics& m = s.m;
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int width = std::max<int>(client.right, minimumSize().cx);
    const int height = std::max<int>(client.bottom, minimumSize().cy);
    const int right = width - m.margin;
    const int middleBottom = height - s.bottomHeight() - m.gap;

    // The list with the commands that act on a whole bank.
    int y = middleBottom;
    for (CButton* button : {&m_reset, &m_saveToDisk, &m_openFromDisk}) {
        y -= m.control;
        button->move(box(m.margin, y, s.listWidth, m.control));
        y -= m.gap;
    }
    m_bankList.move(RECT{m.margin, m.margin, m.margin + s.listWidth, y});
    m_bankList.fitColumn();

    // The selected bank: its name and one row per content.
    const int groupLeft = m.margin + s.listWidth + m.gap;
    m_contentGroup.move(RECT{groupLeft, m.margin - m.gap / 2, right, middleBottom});
    const int innerLeft = groupLeft + m.groupInset;
    const int innerRight = right - m.groupInset;
    y = m.margin + m.groupTop;
    m_bankNameLabel.move(box(innerLeft, y, s.labelWidth, m.control));
    m_bankName.move(RECT{innerLeft + s.labelWidth, y, innerRight, y + m.control});
    y += m.control + m.gap;
    const int free = innerRight - innerLeft - s.labelWidth - s.capacityWidth - 2 * s.rowButton - 4 * m.gap;
    const int nameWidth = std::clamp(free * 2 / 5, s.nameMin, s.nameMax);
    for (SlotRowControls& row : m_rows) {
        row.place = RECT{groupLeft + 2, y - m.gap / 4, right - 2, y + m.control + m.gap / 4};
        if (!row.name.isVisible()) continue;
        int x = innerLeft;
        row.label.move(box(x, y, s.labelWidth, m.control));
        x += s.labelWidth;
        row.name.move(box(x, y, nameWidth, m.control));
        x += nameWidth + m.gap;
        const int waveRight = innerRight - 2 * s.rowButton - s.capacityWidth - 2 * m.gap;
        MoveWindow(row.waveform.hwnd(), x, y, std::max(0, waveRight - x), m.control, TRUE);
        row.capacity.move(box(waveRight, y, s.capacityWidth, m.control));
        row.open.move(box(innerRight - 2 * s.rowButton - m.gap, y, s.rowButton, m.control));
        row.play.move(box(innerRight - s.rowButton, y, s.rowButton, m.control));
        y += m.control + m.gap / 2;
    }

    // Settings of a transfer, then the line that shows it, then receiving.
    y = middleBottom + m.gap;
    m_optionsGroup.move(box(m.margin, y, s.optionsWidth, s.optionsHeight()));
    int x = m.margin + m.groupInset;
    const int radioTop = y + m.groupTop - m.gap / 2;
    CButton* radios[] = {&m_selectedBank, &m_allBanks, &m_changesOnly};
    for (int i = 0; i < 3; ++i) {
        radios[i]->move(box(x, radioTop, s.radio[i], m.control));
        x += s.radio[i] + m.gap;
    }
    x = m.margin + s.optionsWidth + m.gap;
    m_channelLabel.move(box(x, y, s.channelWidth, m.line));
    m_channels.move(box(x, y + m.line + m.gap / 2, s.channelWidth, m.control * 8));
    x += s.channelWidth + m.gap;
    m_outputLabel.move(RECT{x, y, right, y + m.line});
    m_outputPorts.move(RECT{x, y + m.line + m.gap / 2, right, y + m.line + m.gap / 2 + m.control * 8});

    y += s.optionsHeight() + m.gap;
    m_send.move(box(m.margin, y, s.sendWidth, m.control));
    m_stop.move(box(m.margin, y, s.sendWidth, m.control));
    x = right - s.sendBar;
    m_sendProgress.move(box(x, y + m.gap / 2, s.sendBar, m.control - m.gap));
    x -= m.gap + s.bankBar;
    m_bankProgress.move(box(x, y + m.gap / 2, s.bankBar, m.control - m.gap));
    x -= m.gap + s.bankTextWidth;
    m_bankText.move(box(x, y, s.bankTextWidth, m.control));
    m_status.move(RECT{m.margin + s.sendWidth + m.gap, y, x - m.gap, y + m.control});

    y += m.control + m.gap;
    x = m.margin;
    m_inputLabel.move(box(x, y, s.inputLabel, m.control));
    x += s.inputLabel + m.gap;
    // As wide as its longest port name, as far as the line leaves room.
    int inputWidth = s.portMin;
    {
        const CTextMeasure text(m_font);
        for (int i = 0; i < m_inputPorts.count(); ++i)
            inputWidth = std::max(inputWidth, text.width(m_inputPorts.item(i)) + scaled(32));
    }
    inputWidth = std::min(inputWidth, right - s.versionWidth - s.receiveWidth - s.receiveBar - 3 * m.gap - x);
    m_inputPorts.move(box(x, y, inputWidth, m.control * 8));
    x += inputWidth + m.gap;
    m_receiveProgress.move(box(x, y + m.gap / 2, s.receiveBar, m.control - m.gap));
    x += s.receiveBar + m.gap;
    m_receive.move(box(x, y, s.receiveWidth, m.control));
    m_version.move(box(right - s.versionWidth, y, s.versionWidth, m.control));

    m_toolTips.placesChanged();
    InvalidateRect(hwnd(), nullptr, TRUE);
}

} // namespace win32
