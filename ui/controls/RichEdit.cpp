#include "ui/controls/RichEdit.h"

#include "ui/core/RenderClip.h"
#include "ui/core/Saturated.h"
#include "ui/core/Scrollbar.h"
#include "ui/core/ValueText.h"

#include "base/StringUtil.h"

#include <cwchar>

namespace Velora {

namespace {

constexpr int kRichEditClassId = 10;
constexpr int kContainerClassId = 4;
constexpr int kControlClassId = 1;

uint32_t WithBit(uint32_t word, uint32_t bit, bool on)
{
    return on ? (word | bit) : (word & ~bit);
}

// WM_KEYDOWN to WM_KEYLAST as it was before WM_UNICHAR joined the range.
bool IsKeyboardMessage(UINT message)
{
    return message >= WM_KEYFIRST && message <= 0x108;
}

// The mouse messages from WM_MOUSEMOVE to WM_XBUTTONDBLCLK.
bool IsMouseMessage(UINT message)
{
    return message >= WM_MOUSEFIRST && message <= WM_XBUTTONDBLCLK;
}

} // namespace

VLRichEdit::VLRichEdit()
{
    SetFlag(kFlagSetCursor, true);
    SetFlag(kFlagTabStop, true);
}

VLRichEdit::~VLRichEdit()
{
    if (host_) host_->Release();
    if (filterAdded_ && GetManager()) GetManager()->RemoveMessageFilter(this);
}

int VLRichEdit::GetClassId() const
{
    return kRichEditClassId;
}

VLControl* VLRichEdit::GetInterface(int id)
{
    return (id == kRichEditClassId || id == kContainerClassId || id == kControlClassId) ? this : nullptr;
}

// The container's search, except that a disabled rich edit is still found by
// an enabled-only search: the text services take input of their own.
VLControl* VLRichEdit::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    const uint32_t ownFlags = flags & ~kFindEnabled;
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    const RECT pos = GetPos();
    if ((flags & kFindHitTest) && !PtInRect(&pos, *static_cast<POINT*>(data))) return nullptr;
    for (VLScrollbar* bar : {GetVerticalScrollBar(), GetHorizontalScrollBar()}) {
        if (!bar) continue;
        if (VLControl* found = bar->FindControl(proc, data, flags)) return found;
    }
    if (flags & kFindMeFirst) {
        if (VLControl* found = VLControl::FindControl(proc, data, ownFlags)) return found;
    }
    const RECT inner = Saturated(pos, GetInset());
    if ((flags & kFindHitTest) && !PtInRect(&inner, *static_cast<POINT*>(data))) {
        return VLControl::FindControl(proc, data, ownFlags);
    }
    const int count = GetCount();
    for (int i = 0; i < count; ++i) {
        VLControl* item = GetItemAt((flags & kFindTopFirst) ? count - 1 - i : i);
        if (VLControl* found = item->FindControl(proc, data, flags)) return found;
    }
    return VLControl::FindControl(proc, data, ownFlags);
}

// ---- Events ------------------------------------------------------------------

void VLRichEdit::OnMouseEnter(VLControlEvent&)
{
    if (!IsEnabled()) return;
    state |= kStateHot;
    if (!(state & kStateSelected)) colourDirty_ = true;
    Invalidate();
}

void VLRichEdit::OnMouseLeave(VLControlEvent&)
{
    if (!(state & kStateHot)) return;
    state &= ~kStateHot;
    if (!(state & kStateSelected)) colourDirty_ = true;
    Invalidate();
}

void VLRichEdit::OnMouseMove(VLControlEvent&) {}

void VLRichEdit::OnSetFocus(VLControlEvent& event)
{
    if (host_) {
        host_->ActivateInPlace();
        SendToServices(WM_SETFOCUS, 0, 0);
    }
    state |= kStateSelected;
    colourDirty_ = true;
    VLControl::OnSetFocus(event);
}

void VLRichEdit::OnKillFocus(VLControlEvent& event)
{
    if (host_) {
        host_->ActivateInPlace();
        SendToServices(WM_KILLFOCUS, 0, 0);
    }
    state &= ~kStateSelected;
    colourDirty_ = true;
    VLControl::OnKillFocus(event);
}

void VLRichEdit::OnSetCursor(VLControlEvent& event)
{
    if (host_ && host_->DoSetCursor(event.ptMouse)) return;
    VLControl::OnSetCursor(event);
}

void VLRichEdit::OnTimer(VLControlEvent& event)
{
    if (host_) SendToServices(WM_TIMER, event.wParam, 0);
    if (GetParent() && HasDispatch(kEventTimer)) {
        event.sender = this;
        GetParent()->OnTimer(event);
    }
}

void VLRichEdit::OnLButtonDown(VLControlEvent& event)
{
    OnSetFocus(event);
}

// ---- Painting -------------------------------------------------------------------

LONG VLRichEdit::NaturalHeight(LONG width) const
{
    const SIZEL extent = {-1, -1};
    LONG naturalWidth = width;
    LONG height = 0;
    const HRESULT hr =
        host_->GetTextServices()->TxGetNaturalSize(DVASPECT_CONTENT, GetManager()->GetPaintDC(), nullptr, nullptr,
                                                   TXTNS_FITTOCONTENT, &extent, &naturalWidth, &height);
    return SUCCEEDED(hr) ? height : -1;
}

void VLRichEdit::Paint(HDC dc, const RECT& paintRect)
{
    RECT overlap;
    const RECT pos = GetPos();
    if (!IsVisible() || !IntersectRect(&overlap, &paintRect, &pos)) return;
    VLRenderClip clip;
    VLRenderClip::ClipToRect(clip, dc, overlap);
    VLControl::Paint(dc, paintRect);
    if (host_) {
        const RECT client = host_->GetClientRect();
        const RECTL bounds = {client.left, client.top, client.right, client.bottom};
        RECT update = paintRect;
        host_->GetTextServices()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, dc, nullptr, &bounds, nullptr, &update,
                                         nullptr, 0, TXTVIEW_ACTIVE);
        // A bar the overflow rule showed goes again at the next layout once
        // the text fits.
        const VLScrollbar* vertical = GetVerticalScrollBar();
        if (barAutoShown_ && vertical) {
            const LONG height = NaturalHeight(client.right - client.left + vertical->GetFixedWidth());
            if (height >= 0 && height <= client.bottom - client.top) MarkForLayout();
        }
    }
    if (GetCount() > 0) PaintItems(dc, paintRect);
    for (VLScrollbar* bar : {GetVerticalScrollBar(), GetHorizontalScrollBar()}) {
        RECT hit;
        const RECT barPos = bar ? bar->GetPos() : RECT{};
        if (bar && bar->IsVisible() && IntersectRect(&hit, &paintRect, &barPos)) bar->Paint(dc, paintRect);
    }
}

void VLRichEdit::PaintStateImage(HDC dc)
{
    // A read-only text looks disabled; the selected (focused) look comes first.
    auto when = [this](bool applies, int index) { return applies ? &images[index] : nullptr; };
    DrawFirstImage(dc, {when(state & kStateSelected, kImageSelected),
                        when((state & kStateDisabled) || readOnly_, kImageDisabled),
                        when(state & kStatePushed, kImagePushed), when(state & kStateHot, kImageHot),
                        when(state & kStateFocused, kImageFocused), &images[kImageNormal]});
}

void VLRichEdit::PaintText(HDC, bool)
{
    if (!colourDirty_ || !host_) return;
    colourDirty_ = false;
    struct Candidate {
        uint32_t bit;
        uint32_t colour;
    } const candidates[] = {
        {kStateDisabled, GetDisabledTextColor()},
        {kStateSelected, GetSelectedTextColor()},
        {kStatePushed, GetPushedTextColor()},
        {kStateHot, GetHotTextColor()},
    };
    for (const Candidate& candidate : candidates) {
        if ((state & candidate.bit) && candidate.colour != 0) {
            host_->SetTextColor(candidate.colour);
            return;
        }
    }
    host_->SetTextColor(GetNormalTextColor());
}

// ---- Placement ------------------------------------------------------------------

void VLRichEdit::SetPos(const RECT& rect)
{
    VLControl::SetPos(rect);
    RECT area = InnerRect();
    VLScrollbar* vertical = GetVerticalScrollBar();
    VLScrollbar* horizontal = GetHorizontalScrollBar();
    const bool verticalWasVisible = vertical && vertical->IsVisible();
    if (host_) {
        host_->SetClientRect(Saturated(area, textPadding[kTextNormal]));
        if (verticalWasVisible && (!vertical->IsVisible() || barAutoShown_)) {
            const LONG height = NaturalHeight(area.right - area.left + vertical->GetFixedWidth());
            if (height > area.bottom - area.top) {
                vertical->SetVisible(true);
                vertical->SetScrollPos(0);
                barAutoShown_ = true;
            } else if (barAutoShown_) {
                vertical->SetVisible(false);
                barAutoShown_ = false;
            }
        }
    }
    const RECT pos = GetPos();
    if (vertical && vertical->IsVisible()) {
        vertical->SetPos({area.right, pos.top, Saturated(int64_t{area.right} + vertical->GetFixedWidth()), pos.bottom});
    }
    if (horizontal && horizontal->IsVisible()) {
        horizontal->SetPos(
            {pos.left, area.bottom, area.right, Saturated(int64_t{area.bottom} + horizontal->GetFixedHeight())});
    }
    PlaceItems(area);
}

void VLRichEdit::PlaceItems(const RECT& area)
{
    for (int i = 0; i < GetCount(); ++i) {
        VLControl* item = GetItemAt(i);
        if (!item->IsVisible()) continue;
        if (item->IsFloat() || item->IsAbsFloat() || item->IsRelFloat()) {
            SetFloatItemPos(item, area);
            continue;
        }
        const RECT padding = item->GetPadding();
        SIZE size = item->MeasureSize({area.right - area.left, area.bottom - area.top});
        if (size.cx == 0) size.cx = Saturated(int64_t{area.right} - area.left - padding.right);
        if (size.cy == 0) size.cy = Saturated(int64_t{area.bottom} - area.top - padding.bottom);
        item->SetPos({Saturated(int64_t{area.left} + padding.left), Saturated(int64_t{area.top} + padding.top),
                      Saturated(int64_t{area.left} + size.cx), Saturated(int64_t{area.top} + size.cy)});
    }
}

void VLRichEdit::SetEnabled(bool enabled)
{
    VLControl::SetEnabled(enabled);
    colourDirty_ = true;
}

// ---- Host and text --------------------------------------------------------------

void VLRichEdit::Init()
{
    // The manager runs Init for every listener it gains: one host and one
    // filter serve them all.
    if (host_) return;
    CREATESTRUCTW create = {};
    create.style = static_cast<LONG>(style_);
    create.lpszName = VLControl::GetText().c_str();
    host_ = VLTxtWinHost::CreateHost(this, &create);
    if (!host_) return;
    host_->SetTransparent(true);
    SendToServices(EM_SETLANGOPTIONS, 0, 0);
    if (eventChange_) UpdateEventMask();
    host_->ActivateInPlace();
    if (GetManager() && !filterAdded_) filterAdded_ = GetManager()->AddMessageFilter(this);
}

const std::wstring& VLRichEdit::GetText() const
{
    text_ = host_ ? host_->GetText() : std::wstring();
    return text_;
}

void VLRichEdit::SetText(const std::wstring& text)
{
    VLControl::SetText(text);
    if (!host_) return;
    CHARRANGE all = {0, -1};
    SendToServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendToServices(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void VLRichEdit::SetNormalTextColor(uint32_t argb)
{
    VLControl::SetNormalTextColor(argb);
    if (host_) host_->SetTextColor(argb);
}

void VLRichEdit::SetRich(bool on)
{
    rich_ = on;
    if (host_) host_->SetRichText(on);
}

void VLRichEdit::SetReadOnly(bool on)
{
    readOnly_ = on;
    style_ = WithBit(style_, ES_READONLY, on);
    if (host_) host_->SetReadOnly(on);
}

void VLRichEdit::SetPassword(bool on)
{
    password_ = on;
    style_ = WithBit(style_, ES_PASSWORD, on);
    if (host_) host_->SetPassword(on);
}

void VLRichEdit::SetLimitText(int limit)
{
    limitText_ = limit;
    if (host_) host_->SetMaxLength(limit);
}

void VLRichEdit::SetEventChange(bool on)
{
    eventChange_ = on;
    if (host_) UpdateEventMask();
}

LRESULT VLRichEdit::SendToServices(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    host_->GetTextServices()->TxSendMessage(message, wParam, lParam, &result);
    return result;
}

void VLRichEdit::UpdateEventMask()
{
    const LRESULT mask = SendToServices(EM_GETEVENTMASK, 0, 0);
    SendToServices(EM_SETEVENTMASK, 0, eventChange_ ? (mask | ENM_CHANGE) : (mask & ~ENM_CHANGE));
}

void VLRichEdit::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = ReadBool(value);
    if (name == L"vscrollbar") {
        if (on) style_ |= WS_VSCROLL | ES_DISABLENOSCROLL;
        VLContainer::SetAttribute(name, value);
    } else if (name == L"autovscroll") {
        if (on) style_ |= ES_AUTOVSCROLL;
        VLContainer::SetAttribute(name, value);
    } else if (name == L"hscrollbar") {
        if (on) style_ |= WS_HSCROLL | ES_DISABLENOSCROLL;
        VLContainer::SetAttribute(name, value);
    } else if (name == L"autohscroll") {
        if (on) style_ |= ES_AUTOHSCROLL;
    } else if (name == L"wanttab") {
        wantTab_ = on;
    } else if (name == L"wantreturn") {
        wantReturn_ = on;
    } else if (name == L"wantctrlreturn") {
        wantCtrlReturn_ = on;
    } else if (name == L"rich") {
        SetRich(on);
    } else if (name == L"multiline") {
        if (value == L"false") style_ &= ~ES_MULTILINE;
    } else if (name == L"readonly") {
        SetReadOnly(on);
    } else if (name == L"password") {
        SetPassword(on);
    } else if (name == L"limittext") {
        SetLimitText(_wtoi(value.c_str()));
    } else if (name == L"align") {
        // Every word found is applied in this order, so the last one wins.
        if (value.find(L"left") != std::wstring::npos) style_ &= ~(ES_CENTER | ES_RIGHT);
        if (value.find(L"center") != std::wstring::npos) style_ = (style_ | ES_CENTER) & ~ES_RIGHT;
        if (value.find(L"right") != std::wstring::npos) style_ = (style_ | ES_RIGHT) & ~ES_CENTER;
    } else if (name == L"event_change") {
        SetEventChange(on);
    } else {
        VLContainer::SetAttribute(name, value);
    }
}

// ---- Scrolling ------------------------------------------------------------------

void VLRichEdit::SendVerticalScroll(WPARAM code)
{
    LRESULT result = 0;
    TxSendMessage(WM_VSCROLL, code, 0, &result);
}

void VLRichEdit::SendHorizontalScroll(WPARAM code)
{
    LRESULT result = 0;
    TxSendMessage(WM_HSCROLL, code, 0, &result);
}

void VLRichEdit::SetScrollPos(SIZE pos)
{
    VLScrollbar* vertical = GetVerticalScrollBar();
    VLScrollbar* horizontal = GetHorizontalScrollBar();
    int dy = 0;
    int dx = 0;
    int verticalSet = 0;
    if (vertical && vertical->IsVisible()) {
        const int old = vertical->GetScrollPos();
        vertical->SetScrollPos(pos.cy);
        verticalSet = vertical->GetScrollPos();
        dy = verticalSet - old;
    }
    if (horizontal && horizontal->IsVisible()) {
        const int old = horizontal->GetScrollPos();
        horizontal->SetScrollPos(pos.cx);
        dx = horizontal->GetScrollPos() - old;
    }
    if (dy != 0) {
        SendVerticalScroll(MAKEWPARAM(SB_THUMBPOSITION, verticalSet));
        // Plain text leaves the services' bar behind a downward move: the
        // position set above holds.
        if (!rich_ && host_ && vertical->IsVisible() && dy > 0 && vertical->GetScrollPos() <= verticalSet) {
            vertical->SetScrollPos(verticalSet);
        }
    }
    if (dx != 0) SendHorizontalScroll(MAKEWPARAM(SB_THUMBPOSITION, horizontal->GetScrollPos()));
}

void VLRichEdit::ScrollLineUp()
{
    SendVerticalScroll(SB_LINEUP);
}

void VLRichEdit::ScrollLineDown()
{
    VLScrollbar* vertical = GetVerticalScrollBar();
    const int before = vertical ? vertical->GetScrollPos() : 0;
    SendVerticalScroll(SB_LINEDOWN);
    // Plain text does not move the bar on the last line: it goes to the end.
    if (!rich_ && host_ && vertical && vertical->IsVisible() && vertical->GetScrollPos() <= before) {
        vertical->SetScrollPos(vertical->GetScrollRange());
    }
}

void VLRichEdit::ScrollPageUp()
{
    SendVerticalScroll(SB_PAGEUP);
}
void VLRichEdit::ScrollPageDown()
{
    SendVerticalScroll(SB_PAGEDOWN);
}
void VLRichEdit::ScrollToTop()
{
    SendVerticalScroll(SB_TOP);
}
void VLRichEdit::ScrollToBottom()
{
    SendVerticalScroll(SB_BOTTOM);
}
void VLRichEdit::ScrollLineLeft()
{
    SendHorizontalScroll(SB_LINELEFT);
}
void VLRichEdit::ScrollLineRight()
{
    SendHorizontalScroll(SB_LINERIGHT);
}
void VLRichEdit::ScrollPageLeft()
{
    SendHorizontalScroll(SB_PAGELEFT);
}
void VLRichEdit::ScrollPageRight()
{
    SendHorizontalScroll(SB_PAGERIGHT);
}
void VLRichEdit::ScrollToLeft()
{
    SendHorizontalScroll(SB_LEFT);
}
void VLRichEdit::ScrollToRight()
{
    SendHorizontalScroll(SB_RIGHT);
}

// ---- The host's owner side --------------------------------------------------------

bool VLRichEdit::HasHostBar(bool vertical) const
{
    return (vertical ? GetVerticalScrollBar() : GetHorizontalScrollBar()) != nullptr;
}

void VLRichEdit::ShowHostBar(bool vertical, bool show)
{
    if (VLScrollbar* bar = vertical ? GetVerticalScrollBar() : GetHorizontalScrollBar()) bar->SetVisible(show);
}

void VLRichEdit::EnableHostBars(bool vertical, bool horizontal)
{
    EnableScrollBar(vertical, horizontal);
}

void VLRichEdit::SetHostBarRange(bool vertical, int range)
{
    if (VLScrollbar* bar = vertical ? GetVerticalScrollBar() : GetHorizontalScrollBar()) bar->SetScrollRange(range);
}

void VLRichEdit::SetHostBarPos(bool vertical, int pos)
{
    if (VLScrollbar* bar = vertical ? GetVerticalScrollBar() : GetHorizontalScrollBar()) bar->SetScrollPos(pos);
}

bool VLRichEdit::WantsViewChange()
{
    return true;
}

HRESULT VLRichEdit::TxSendMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (!host_) return S_FALSE;
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0;
        int32_t notify = 0;
        if (ctrl && !wantCtrlReturn_) {
            notify = kNotifyCtrlReturn;
        } else if (!wantReturn_) {
            notify = kNotifyReturn;
        }
        if (notify != 0) {
            if (GetManager()) GetManager()->SendNotify(this, notify, 0, 0);
            return S_OK;
        }
    }
    return host_->GetTextServices()->TxSendMessage(message, wParam, lParam, result);
}

void VLRichEdit::OnTxNotify(DWORD code, void*)
{
    if (code == EN_CHANGE) {
        const std::wstring text = GetText();
        if (CompareNoCase(text, lastText_) == 0) return;
        lastText_ = text;
        if (GetManager()) GetManager()->SendNotify(this, kNotifyTextChanged, 0, 0);
    } else if (code == EN_MAXTEXT) {
        if (GetManager()) GetManager()->SendNotify(this, kNotifyTextLimit, 0, 0);
    }
}

// ---- Message filter ---------------------------------------------------------------

LRESULT VLRichEdit::MessageFilter(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (!IsVisible() || !IsEnabled() || !host_) return 0;
    if (message == WM_MOUSEWHEEL && !(LOWORD(wParam) & MK_CONTROL)) return 0;
    VLPaintManager* manager = GetManager();
    bool answer = true;
    const bool captured = (host_->GetHostBits() & kHostCaptured) != 0;
    const bool mouse = IsMouseMessage(message) || message == WM_SETCURSOR;
    if (mouse) {
        if (!captured && message >= WM_LBUTTONDOWN && message <= WM_RBUTTONUP &&
            manager->FindControlAt(PointOf(lParam)) != this) {
            return 0;
        }
        if (!captured) {
            POINT point = PointOf(lParam);
            if (message == WM_MOUSEWHEEL) ScreenToClient(manager->GetWindow(), &point);
            const RECT client = host_->GetClientRect();
            if (!PtInRect(&client, point) || manager->IsCaptured()) return 0;
        }
        if (message == WM_SETCURSOR || message == WM_MOUSEMOVE) answer = false;
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDOWN) {
            VLControlEvent event;
            OnLButtonDown(event);
            SetFocus();
        }
    } else if (IsKeyboardMessage(message)) {
        if (!IsFocused()) return 0;
    } else if (message == WM_CONTEXTMENU) {
        POINT point = PointOf(lParam);
        ScreenToClient(manager->GetWindow(), &point);
        if (manager->FindControlAt(point) != this) return 0;
    } else if (message == WM_HELP) {
        answer = false;
    } else {
        return 0;
    }
    LRESULT result = 0;
    const HRESULT hr = TxSendMessage(message, wParam, lParam, &result);
    if (hr >= 0 || IsKeyboardMessage(message) || message == WM_IME_CHAR) {
        handled = answer;
    } else if (mouse && captured) {
        handled = answer;
    }
    return result;
}

} // namespace Velora
