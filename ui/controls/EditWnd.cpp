#include "ui/controls/EditWnd.h"

#include "ui/controls/Edit.h"
#include "ui/controls/TextNotify.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"

#include <vector>

namespace Velora {

namespace {

// Messages the hosting window passes back to the native child that sent
// them, moved up by 0x2000.
constexpr UINT kReflectedCommand = 0x2000 + WM_COMMAND;
constexpr UINT kReflectedColorEdit = 0x2000 + WM_CTLCOLOREDIT;
constexpr UINT kReflectedColorStatic = 0x2000 + WM_CTLCOLORSTATIC;

} // namespace

HWND VLEditWnd::Open()
{
    VLPaintManager* manager = owner_->GetManager();
    DWORD style = WS_CHILD | ES_AUTOHSCROLL;
    if (owner_->IsPassword()) style |= ES_PASSWORD;
    const RECT rect = owner_->GetEditRect();
    const HWND hwnd = Create(manager->GetWindow(), nullptr, style, 0, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top);
    if (!hwnd) return nullptr;
    if (VLFontInfo* font = manager->GetDefaultFont()) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font->font.Get()), TRUE);
    }
    SendMessageW(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(owner_->GetMaxChars()), 0);
    if (owner_->IsPassword()) SendMessageW(hwnd, EM_SETPASSWORDCHAR, owner_->GetPasswordChar(), 0);
    SetWindowTextW(hwnd, owner_->VLControl::GetText().c_str());
    SendMessageW(hwnd, EM_SETMODIFY, FALSE, 0);
    SendMessageW(hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    EnableWindow(hwnd, owner_->IsEnabled());
    SendMessageW(hwnd, EM_SETREADONLY, owner_->IsReadOnly(), 0);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::SetFocus(hwnd);
    return hwnd;
}

const wchar_t* VLEditWnd::GetWindowClassName() const
{
    return L"VLEditWnd";
}

const wchar_t* VLEditWnd::GetSuperClassName() const
{
    return L"Edit";
}

UINT VLEditWnd::GetClassStyle() const
{
    return 0;
}

HBRUSH VLEditWnd::BackgroundBrush()
{
    const uint32_t colour = owner_->GetNativeBkColor();
    if (!brush_ || colour != brushColour_) {
        brush_.Reset(CreateSolidBrush(VLRenderEngine::ToColorRef(colour)));
        brushColour_ = colour;
    }
    return brush_.Get();
}

void VLEditWnd::CopyTextToOwner()
{
    const HWND hwnd = GetHWND();
    const int length = GetWindowTextLengthW(hwnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd, buffer.data(), length + 1);
    owner_->TakeEditedText(buffer.data());
}

LRESULT VLEditWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = GetHWND();
    switch (message) {
    case WM_KILLFOCUS: {
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return result;
    }
    case WM_KEYDOWN:
        if (wParam != VK_RETURN) break;
        if (owner_ && owner_->GetManager()) owner_->GetManager()->SendNotify(owner_, kNotifyReturn, 0, 0);
        return 0;
    case WM_CHAR:
        if (wParam != 1) break; // Ctrl+A
        SendMessageW(hwnd, EM_SETSEL, 0, -1);
        return 0;
    case kReflectedCommand:
        if (!owner_) return 0;
        if (HIWORD(wParam) == EN_CHANGE) {
            CopyTextToOwner();
        } else if (HIWORD(wParam) == EN_UPDATE) {
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    case kReflectedColorEdit:
    case kReflectedColorStatic: {
        if (!owner_) break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, VLRenderEngine::ToColorRef(owner_->GetNormalTextColor()));
        return reinterpret_cast<LRESULT>(BackgroundBrush());
    }
    default: break;
    }
    return VLWindowWnd::HandleMessage(message, wParam, lParam);
}

void VLEditWnd::OnFinalMessage(HWND)
{
    if (owner_) owner_->ForgetEditWindow(this);
    delete this;
}

} // namespace Velora
