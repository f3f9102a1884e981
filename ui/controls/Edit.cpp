#include "ui/controls/Edit.h"

#include "ui/controls/EditWnd.h"
#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

#include <cwchar>
#include <new>

namespace Velora {

namespace {

constexpr int kEditClassId = 8;
constexpr int kContainerClassId = 4;
constexpr int kControlClassId = 1;

} // namespace

VLEdit::VLEdit()
{
    SetFlag(kFlagSetCursor, true);
    SetFlag(kFlagTabStop, true);
}

VLEdit::~VLEdit()
{
    if (!editWindow_) return;
    VLEditWnd* window = editWindow_;
    editWindow_ = nullptr;
    window->Detach();
    DestroyWindow(window->GetHWND());
}

int VLEdit::GetClassId() const
{
    return kEditClassId;
}

VLControl* VLEdit::GetInterface(int id)
{
    return (id == kEditClassId || id == kContainerClassId || id == kControlClassId) ? this : nullptr;
}

void VLEdit::OnSetCursor(VLControlEvent&)
{
    if (IsEnabled()) ::SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
}

void VLEdit::OnRButtonDown(VLControlEvent& event)
{
    OnLButtonDown(event);
}

void VLEdit::OnLButtonDblClk(VLControlEvent& event)
{
    OnLButtonDown(event);
}

void VLEdit::OnLButtonDown(VLControlEvent& event)
{
    VLPaintManager* manager = GetManager();
    if (!IsEnabled() || !manager) return;
    if (manager->GetFocus() == this && !editWindow_) {
        editWindow_ = new (std::nothrow) VLEditWnd(this);
        // A window that never came to life has had no final message to
        // delete it.
        if (editWindow_ && !editWindow_->Open()) {
            delete editWindow_;
            editWindow_ = nullptr;
        }
    }
    if (!editWindow_) return;
    SendToEditWindow(EM_SETSEL, 0, -1);
    if (event.type == kEventRButtonDown) {
        POINT point = event.ptMouse;
        ClientToScreen(manager->GetWindow(), &point);
        SendToEditWindow(WM_CONTEXTMENU, event.wParam, MAKELPARAM(point.x, point.y));
    }
}

RECT VLEdit::GetEditRect() const
{
    return Saturated(GetPos(), textPadding[kTextNormal]);
}

void VLEdit::SetPos(const RECT& rect)
{
    VLControl::SetPos(rect);
    if (!editWindow_) return;
    const RECT edit = GetEditRect();
    SetWindowPos(editWindow_->GetHWND(), nullptr, edit.left, edit.top, edit.right - edit.left, edit.bottom - edit.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void VLEdit::SetText(const std::wstring& text)
{
    VLControl::SetText(text);
    if (editWindow_) SetWindowTextW(editWindow_->GetHWND(), text.c_str());
    Invalidate();
}

void VLEdit::TakeEditedText(const std::wstring& text)
{
    VLControl::SetText(text);
}

void VLEdit::ForgetEditWindow(VLEditWnd* window)
{
    if (editWindow_ == window) editWindow_ = nullptr;
}

void VLEdit::SendToEditWindow(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (editWindow_) SendMessageW(editWindow_->GetHWND(), message, wParam, lParam);
}

void VLEdit::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"readonly") {
        const bool on = value == L"true";
        if (on == readOnly_) return;
        readOnly_ = on;
        SendToEditWindow(EM_SETREADONLY, on, 0);
        Invalidate();
    } else if (name == L"password") {
        const bool on = value == L"true";
        if (on == password_) return;
        password_ = on;
        Invalidate();
    } else if (name == L"maxchar") {
        maxChars_ = _wtoi(value.c_str());
        SendToEditWindow(EM_LIMITTEXT, static_cast<WPARAM>(maxChars_), 0);
    } else if (name == L"passwordchar") {
        const wchar_t ch = value.empty() ? L'\0' : value[0];
        if (ch == passwordChar_) return;
        passwordChar_ = ch;
        SendToEditWindow(EM_SETPASSWORDCHAR, ch, 0);
        Invalidate();
    } else if (name == L"nativebkcolor") {
        const wchar_t* digits = value.c_str();
        if (*digits == L'#') ++digits;
        nativeBkColor_ = static_cast<uint32_t>(wcstoul(digits, nullptr, 16));
    } else {
        VLContainer::SetAttribute(name, value);
    }
}

} // namespace Velora
