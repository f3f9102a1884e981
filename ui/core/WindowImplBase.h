// The base of the skinned windows that carry their own control tree: a
// window object with an embedded paint manager and a listener for the
// controls' notifications. A message goes first to the window class's own
// handler for it, then to the paint manager, then to the old procedure.
#pragma once

#include "ui/core/Notify.h"
#include "ui/core/PaintManager.h"
#include "ui/core/WindowWnd.h"

namespace Velora {

class VLWindowImplBase : public VLWindowWnd, public INotify {
public:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Notify(VLNotifyMsg& msg) override {}

    // Each handler leaves handled true to answer the message itself with its
    // result; clearing it passes the message on.
    virtual LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcActivate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnGetMinMaxInfo(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMouseWheel(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSetFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnLButtonUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnLButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMouseLeave(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcMouseLeave(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnChar(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKeyUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnWindowPosChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnDisplayChange(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    // The private message that reaches OnCustomMessage.
    static constexpr UINT kMsgCustom = 0x2345;

    VLPaintManager paintManager;

protected:
    LRESULT OnMessageDefault(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
};

} // namespace Velora
