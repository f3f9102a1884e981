#include "ui/controls/ActiveXWnd.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/ActiveXCtrl.h"

#include "base/ComScope.h"
#include "base/GdiScope.h"

namespace Velora {

VLActiveXWnd::~VLActiveXWnd()
{
    if (GetHWND()) DestroyWindow(GetHWND());
}

HWND VLActiveXWnd::Init(HWND parent)
{
    return Create(parent, L"UIActiveX", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, 0);
}

const wchar_t* VLActiveXWnd::GetWindowClassName() const
{
    return L"VLActiveXWnd";
}

LRESULT VLActiveXWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
        site->focused = true;
        if (!site->uiActive) site->DoVerb(OLEIVERB_UIACTIVATE);
        break;
    case WM_KILLFOCUS: site->focused = false; break;
    case WM_PAINT: {
        VLPaintDC paint(GetHWND());
        return 0;
    }
    case WM_ERASEBKGND:
        if (site->viewObject) return 1;
        break;
    case WM_MOUSEACTIVATE: {
        VLComPtr<IOleObject> object;
        DWORD status = 0;
        if (site->owner && SUCCEEDED(site->owner->GetControl(IID_IOleObject, object.Receive())))
            object->GetMiscStatus(DVASPECT_CONTENT, &status);
        if (status & OLEMISC_NOUIACTIVATE) return 0;
        if (!site->inPlaceActive) site->DoVerb(OLEIVERB_INPLACEACTIVATE);
        break;
    }
    }
    return VLWindowWnd::HandleMessage(message, wParam, lParam);
}

} // namespace Velora
