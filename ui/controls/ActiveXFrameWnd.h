// The in-place frame a hosted object asks for: the skinned window itself,
// which offers no tool space, menus or status line.
#pragma once

#include <ole2.h>

namespace Velora {

class VLActiveX;

class VLActiveXFrameWnd : public IOleInPlaceFrame {
public:
    explicit VLActiveXFrameWnd(VLActiveX* frameOwner) : owner(frameOwner) {}
    virtual ~VLActiveXFrameWnd();
    VLActiveXFrameWnd(const VLActiveXFrameWnd&) = delete;
    VLActiveXFrameWnd& operator=(const VLActiveXFrameWnd&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    STDMETHODIMP GetBorder(LPRECT border) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
    STDMETHODIMP InsertMenus(HMENU menu, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenu(HMENU menu, HOLEMENU shared, HWND activeObject) override;
    STDMETHODIMP RemoveMenus(HMENU menu) override;
    STDMETHODIMP SetStatusText(LPCOLESTR text) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;

    VLActiveX* owner;
    IOleInPlaceActiveObject* activeObject = nullptr;

private:
    LONG references_ = 1;
};

} // namespace Velora
