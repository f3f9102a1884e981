// A control that hosts one ActiveX object inside a skinned window: it creates
// the object by class (from the COM registry or straight from a named
// module), activates it in place in the manager's window, keeps it sized to
// the control, paints a windowless object itself and feeds it the window's
// messages through the manager's message filters.
#pragma once

#include "ui/core/Control.h"
#include "ui/core/PaintManager.h"

#include <ocidl.h>

#include <string>

namespace Velora {

class VLActiveXCtrl;

constexpr int kClassActiveX = 15;
// Sent once, at the first paint that meets the control.
constexpr int32_t kNotifyActiveX = 19;

class VLActiveX : public VLControl, public IMessageFilterUI {
public:
    VLActiveX();
    ~VLActiveX() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void SetPos(const RECT& rect) override;
    void SetVisible(bool visible) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // Draws a windowless object; the control's own looks are not painted.
    void Paint(HDC dc, const RECT& paintRect) override;
    virtual void ReleaseControl();

    LRESULT MessageFilter(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // A key for the object's window goes to its in-place active object
    // before it is translated; true when the object took it.
    bool TranslateAccelerator(MSG& msg) override;

    // A class in braces, or a ProgID; one that does not convert gives the
    // all-zero class, with which creation fails.
    void SetClsidText(const std::wstring& text);
    void SetClsid(const CLSID& clsid);
    const CLSID& GetClsid() const { return clsid_; }
    void SetDelayCreate(bool delay);
    bool IsDelayCreate() const { return delayCreate_; }
    HRESULT GetControl(REFIID iid, void** out) const;
    // Creation is attempted once per class: a failure is not retried at the
    // next positioning. Without a paint manager nothing is attempted yet.
    bool CreateControl();
    VLActiveXCtrl* GetSite() const { return site_; }

    // The window the object draws into: the manager's window for a windowless
    // object, else the site's own child window.
    HWND hostWindow = nullptr;
    std::wstring moduleName;
    bool enable3DBorder = true;
    bool enableScrollBar = true;
    bool enableContextMenu = true;
    bool windowless = false;
    bool showScriptErrors = true;
    // Handed out as a hosted document's external object when set (counted).
    IDispatch* externalObject = nullptr;

private:
    // The object from "modulename" without any registration; null when the
    // module or its class factory cannot give one.
    IOleControl* CreateFromModule() const;

    CLSID clsid_ = {};
    bool created_ = false;
    bool delayCreate_ = true;
    IOleObject* object_ = nullptr;
    VLActiveXCtrl* site_ = nullptr;
    bool firstPaintPending_ = true;
};

} // namespace Velora
