// The hub of one skinned window: it owns the window's control tree, finds
// controls by name, id, point or native child window, keeps the window's
// fonts, default attribute lists, option groups, control timers and
// listeners, tracks focus, hover and pressed controls, and runs the effects.
#pragma once

#include "ui/core/AnimationManager.h"
#include "ui/core/Control.h"
#include "ui/core/Notify.h"

#include "base/GdiScope.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

class VLOption;

// A filter sees every window message before the manager handles it.
class IMessageFilterUI {
public:
    virtual ~IMessageFilterUI() = default;
    virtual LRESULT MessageFilter(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

struct VLTimerInfo {
    VLControl* control = nullptr;
    uint32_t controlId = 0; // the id the control chose
    HWND window = nullptr;
    uint32_t windowId = 0; // the id given to SetTimer
    uint32_t elapse = 0;
};

struct VLFontInfo {
    VLFont font;
    std::wstring face;
    int size = 0; // character height in pixels
    bool bold = false;
    bool underline = false;
    bool italic = false;
    TEXTMETRICW metrics = {}; // filled when the manager had its DC at creation
};

// KillTimer with this id removes every timer of the control.
constexpr uint32_t kAllControlTimers = 0x2007;
// Posted to the window to delete the controls queued by DelayedDelete.
constexpr UINT kMsgDelayedDelete = WM_APP + 1;

// Ctrl 8, right button 1, left button 2, Shift 4, Alt 32: the mouse button
// bits are the reverse of the window messages' MK_ flags.
uint16_t GetKeyStateMask();

// The constant alpha of a layered window from its markup percentage: 100 % is
// opaque, and anything outside 0..100 counts as 100.
BYTE LayeredAlpha(int percent);

class VLPaintManager {
public:
    VLPaintManager();
    ~VLPaintManager();
    VLPaintManager(const VLPaintManager&) = delete;
    VLPaintManager& operator=(const VLPaintManager&) = delete;

    // Binds the manager to its window and the window's DC; the manager owns
    // timers, fonts and repaints through them. False for a window that does
    // not exist.
    bool Init(HWND hwnd);
    // Lists the manager with the process's message loop; separate from Init.
    static void RegisterManager(VLPaintManager* manager);

    // The previous root is queued for deletion, never deleted here.
    bool AttachRoot(VLControl* control);
    // Registers the names and ids of a subtree: the first control registered
    // under a name or id keeps it.
    bool InitControls(VLControl* control);
    // Drops every reference to a control that is being destroyed.
    void ForgetControl(VLControl* control);
    VLControl* FindControl(int id) const;
    VLControl* FindControlByName(const std::wstring& name) const;
    VLControl* FindControlAt(POINT point) const;
    VLControl* FindControlByWindow(HWND hwnd) const;

    void SetFocus(VLControl* control);
    bool MoveFocusByTab(bool forward);
    void CaptureMouse();
    void ReleaseMouse();

    bool AddNotifier(INotify* listener);
    bool AddMessageFilter(IMessageFilterUI* filter);
    bool RemoveMessageFilter(IMessageFilterUI* filter);
    void SendNotify(VLControl* sender, int32_t type, WPARAM wParam, LPARAM lParam);
    void SendNotifyMsg(VLNotifyMsg& msg);
    // Deletes a control (and its tree) once the current message is handled:
    // how a listener gets rid of the control that notified it. The control
    // must already be out of its container.
    void DelayedDelete(VLControl* control);
    // Handles kMsgDelayedDelete.
    void FlushDelayedDelete();

    bool AddOptionGroup(int groupId, VLOption* option);
    std::vector<VLOption*>* GetOptionGroup(int groupId);
    void RemoveOptionGroup(int groupId, VLOption* option);
    void RemoveAllOptionGroups();

    void AddDefaultAttributeList(const std::wstring& className, const std::wstring& text);
    void RemoveDefaultAttributeList(const std::wstring& className);
    std::wstring GetDefaultAttributeList(const std::wstring& className) const;

    // The new font is returned even when its name was taken; the first font
    // keeps the name.
    VLFontInfo* AddFont(const std::wstring& face, const std::wstring& name, int size, bool bold, bool underline,
                        bool italic);
    VLFontInfo* GetDefaultFont();
    VLFontInfo* GetFont(const std::wstring& name);
    void RemoveAllFonts();

    // The window's messages: true when handled, with the answer in result;
    // false leaves result alone and the message goes on to the default
    // procedure. Message filters see every message first.
    bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Lays out and paints the whole tree into the back buffer and hands it to
    // UpdateLayeredWindow; false when no back buffer could be made.
    bool RedrawLayeredWindow(int alphaPercent);
    // Lays out when due, sends the pending window-init notification, makes the
    // back buffer of the client size when there is none and paints the part
    // rect of the tree into it. False when there is no back buffer.
    bool PaintBackBuffer(const RECT& rect);

    // The process's one message loop, run until WM_QUIT (or a failing
    // GetMessage); every listed manager may take a message first.
    static int MessageLoop();
    static bool PreTranslateAll(MSG& msg);
    bool PreTranslate(UINT message, WPARAM wParam, LPARAM lParam);

    // Re-arming a control's timer keeps its window id.
    bool SetTimer(VLControl* control, uint32_t id, uint32_t elapse);
    // A window timer for the effects: its id, or -1.
    int32_t SetRawTimer(uint32_t elapse);
    bool KillTimer(VLControl* control, uint32_t id);
    void KillAllTimers();

    VLAnimationManager& GetAnimations() { return animations_; }
    HWND GetWindow() const { return window_; }
    HDC GetPaintDC() const { return paintDC_; }
    VLControl* GetRoot() const { return root_.get(); }
    VLControl* GetFocus() const { return focus_; }
    // The controls under the mouse, holding the buttons and the last key down.
    VLControl* GetHover() const { return hover_; }
    VLControl* GetPressed() const { return pressed_; }
    VLControl* GetRightPressed() const { return rightPressed_; }
    VLControl* GetKeyDown() const { return keyDown_; }
    // The control a hover time-out was asked for: the one whose tooltip shows.
    VLControl* GetHoverTracked() const { return hoverTracked_; }
    bool IsCaptured() const { return captured_; }
    const std::vector<IMessageFilterUI*>& GetMessageFilters() const { return messageFilters_; }
    const std::vector<std::unique_ptr<VLTimerInfo>>& GetTimers() const { return timers_; }
    // The root is laid out again before the next paint.
    bool NeedsUpdate() const { return needsUpdate_; }
    void SetNeedsUpdate(bool needed) { needsUpdate_ = needed; }

    void SetDefaultFont(VLFontInfo* font) { defaultFont_ = font; }
    VLFontInfo* GetDefaultBoldFont() const { return defaultBoldFont_; }
    void SetDefaultBoldFont(VLFontInfo* font) { defaultBoldFont_ = font; }
    void SetDefaultLinkFont(VLFontInfo* font) { defaultLinkFont_ = font; }

    // Window shape and painting, from the markup's window attributes.
    bool IsLayered() const { return layered_; }
    void SetLayered(bool layered) { layered_ = layered; }
    int GetLayeredAlpha() const { return layeredAlpha_; }
    void SetLayeredAlpha(int percent) { layeredAlpha_ = percent; }
    SIZE GetMinInfo() const { return minInfo_; }
    void SetMinInfo(SIZE size) { minInfo_ = size; }
    void SetMaxInfo(SIZE size) { maxInfo_ = size; }
    SIZE GetRoundCorner() const { return roundCorner_; }
    void SetRoundCorner(SIZE corner) { roundCorner_ = corner; }
    void SetRoundCornerImage(const std::wstring& descriptor) { roundCornerImage_ = descriptor; }
    HRGN GetRoundCornerRegion() const { return roundCornerRegion_.Get(); }
    RECT GetCaption() const { return caption_; }
    void SetCaption(const RECT& insets) { caption_ = insets; }
    RECT GetSizeBox() const { return sizeBox_; }
    int GetSizeBoxCorner() const { return sizeBoxCorner_; }
    void SetSizeBox(const RECT& widths, int corner)
    {
        sizeBox_ = widths;
        sizeBoxCorner_ = corner;
    }
    // The back buffer of the last paint.
    HDC GetOffscreenDC() const { return offscreenDC_.Get(); }
    HBITMAP GetOffscreenBitmap() const { return offscreenBitmap_.Get(); }
    HWND GetToolTipWindow() const { return toolTipWindow_; }
    // The tooltip window while a tip shows, else null.
    HWND GetActiveToolTip() const { return activeToolTip_; }

private:
    static std::vector<VLPaintManager*>& ManagerList();
    // The next free window timer id of the shared sequence; 0 when every id
    // is taken.
    uint32_t NextTimerId();
    bool TimerIdInUse(uint32_t id) const;
    void QueueDelete(std::unique_ptr<VLControl> control);
    // Erases the control's name and id entries where they point to it.
    void ForgetNames(VLControl* control);
    void InvalidateWindow();
    // A stamped event record for a control of this manager.
    static VLControlEvent MakeEvent(int32_t type, VLControl* sender, POINT point);
    bool OwnsControl(const VLControl* control) const;
    void DropBackBuffer();
    bool MakeBackBuffer(const RECT& client);
    void OnSize();
    // The steps every paint starts with: the due layout, the focus move and
    // the window-init notification.
    void PreparePaint(const RECT& client);
    bool RedrawLayered(int alphaPercent);
    void OnPaint();
    bool OnNcHitTest(LPARAM lParam, LRESULT& result);
    void OnGetMinMaxInfo(MINMAXINFO* info);
    void OnClose();
    bool OnSetCursor(WPARAM wParam, LPARAM lParam);
    void OnMouseMove(POINT point);
    bool OnMouseHover(POINT point);
    void OnMouseLeave();
    void OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam);
    void OnWheel(WPARAM wParam, LPARAM lParam);
    void OnKey(UINT message, WPARAM wParam);
    void OnTimerMessage(WPARAM wParam);
    void HideToolTip();

    VLAnimationManager animations_;
    bool initNotifyPending_ = true;
    std::map<std::wstring, std::unique_ptr<VLFontInfo>> fonts_;
    std::map<int, std::vector<VLOption*>> optionGroups_;
    std::map<std::wstring, VLControl*> nameMap_;
    std::map<int, VLControl*> idMap_;
    // Who the mouse and the keys are with; ForgetControl clears a control
    // that goes from all of them.
    VLControl* hover_ = nullptr;
    VLControl* hoverTracked_ = nullptr;
    VLControl* pressed_ = nullptr;
    VLControl* rightPressed_ = nullptr;
    VLControl* keyDown_ = nullptr;
    VLControl* focus_ = nullptr;
    bool captured_ = false; // CaptureMouse holds the mouse for the window
    POINT lastMouse_ = {-1, -1};
    std::vector<INotify*> notifiers_;
    std::vector<IMessageFilterUI*> messageFilters_;
    std::vector<std::unique_ptr<VLTimerInfo>> timers_;
    std::vector<std::unique_ptr<VLControl>> delayedDelete_;
    std::unique_ptr<VLControl> root_;
    HWND window_ = nullptr;
    HDC paintDC_ = nullptr;
    bool needsUpdate_ = false;
    bool layered_ = false; // painted through UpdateLayeredWindow: every fill and text blends
    VLFontInfo* defaultFont_ = nullptr;
    VLFontInfo* defaultLinkFont_ = nullptr;
    VLFontInfo* defaultBoldFont_ = nullptr;
    std::map<std::wstring, std::wstring> defaultAttributes_;
    bool focusNeeded_ = false;
    uint32_t timerCounter_ = 4096;
    std::mutex deleteLock_; // guards delayedDelete_

    // Window shape and painting, from the markup's window attributes.
    int layeredAlpha_ = 255; // percent; anything outside 0..100 counts as 100
    SIZE minInfo_ = {0, 0};
    SIZE maxInfo_ = {0, 0};
    SIZE roundCorner_ = {0, 0};
    std::wstring roundCornerImage_;
    VLRegion roundCornerRegion_; // the master: the window only ever gets copies
    RECT caption_ = {};          // insets of the drag area from the client edges
    RECT sizeBox_ = {};          // widths of the resize borders
    int sizeBoxCorner_ = 0;      // extra length of the corner zones
    bool regionSet_ = false;     // a round-rectangle region is in place
    VLMemoryDC offscreenDC_;
    VLBitmap offscreenBitmap_; // 32-bit, bottom-up, the client size
    // Mouse tracking and the tooltip.
    HWND toolTipWindow_ = nullptr;
    HWND activeToolTip_ = nullptr;
    TOOLINFOW toolInfo_ = {};
    bool ncLeaveTracked_ = false;
    bool mouseTracked_ = false;
    // Fonts whose name was already taken: nobody finds them by name, but
    // whoever got them may still draw with them.
    std::vector<std::unique_ptr<VLFontInfo>> unnamedFonts_;
    std::wstring toolTipText_; // what toolInfo_ points to
    bool redrawingLayered_ = false;
};

} // namespace Velora
