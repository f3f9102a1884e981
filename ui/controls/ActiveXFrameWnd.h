// The in-place frame a hosted object asks for: the skinned window itself,
// which offers no tool space, menus or status line.
#pragma once

#include "ui/controls/ComObject.h"

#include <ole2.h>

namespace Velora {

class VLActiveX;

class VLActiveXFrameWnd : public VLComObject<IOleInPlaceFrame> {
public:
    explicit VLActiveXFrameWnd(VLActiveX* frameOwner) : owner(frameOwner) {}
    ~VLActiveXFrameWnd() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
    // Accepted and ignored.
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    STDMETHODIMP GetBorder(LPRECT) override { return S_OK; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    VLActiveX* owner;
    IOleInPlaceActiveObject* activeObject = nullptr; // counted
};

} // namespace Velora
