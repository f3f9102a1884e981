// The base of every element of a skinned window: a lightweight control with
// no native window of its own, living in a tree under one paint manager. It
// keeps its rectangle and size wishes, its texts and per-state looks, the sets
// that route its events, and back pointers to its parent and its manager.
#pragma once

#include "ui/core/ControlEvent.h"

#include <windows.h>

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace Velora {

class VLPaintManager;
class VLControl;

// The tree search's visitor: a non-null answer ends the search with it.
typedef VLControl* (*VLFindControlProc)(VLControl* control, void* data);

// Flags of FindControl.
enum : uint32_t {
    kFindVisible = 0x1,
    kFindEnabled = 0x2,
    kFindHitTest = 0x4,        // data points to a POINT in client coordinates
    kFindTopFirst = 0x8,       // containers: items from last to first
    kFindMeFirst = 0x80000000, // containers: the container before its items
};

// Bits of the state word: how the control looks right now.
enum : uint32_t {
    kStateFocused = 0x1,
    kStateSelected = 0x2,
    kStateDisabled = 0x4,
    kStateHot = 0x8,
    kStatePushed = 0x10,
    kStateCaptured = 0x40,
};

// Bits of the flags set ("flags" attribute).
enum : size_t {
    kFlagSetCursor = 1,
    kFlagEnterRollText = 2,
    kFlagTabStop = 3,
};

// DrawText format bits the attributes set in the text style.
enum : uint32_t {
    kTextCenter = DT_CENTER,
    kTextRight = DT_RIGHT,
    kTextVCenter = DT_VCENTER,
    kTextBottom = DT_BOTTOM,
    kTextWordBreak = DT_WORDBREAK,
    kTextSingleLine = DT_SINGLELINE,
    kTextPathEllipsis = DT_PATH_ELLIPSIS,
    kTextEndEllipsis = DT_END_ELLIPSIS,
};

// Bits of the layout format ("format" attribute), read by containers.
enum : uint32_t {
    kFormatTop = 0x1,
    kFormatRight = 0x2,
    kFormatBottom = 0x4,
    kFormatTopmost = 0x8,
    kFormatCenter = 0x10,
    kFormatVCenter = 0x20,
};

// Indexes of the per-state fonts, text colours and text paddings.
enum VLTextState { kTextNormal, kTextHot, kTextPushed, kTextSelected, kTextDisabled, kTextStateCount };
// Indexes of the per-state images, background images and background colours.
enum VLImageState { kImageNormal, kImageHot, kImagePushed, kImageSelected, kImageFocused, kImageDisabled,
                    kImageStateCount };

class VLControl {
public:
    VLControl();
    virtual ~VLControl();
    VLControl(const VLControl&) = delete;
    VLControl& operator=(const VLControl&) = delete;

    virtual int GetX() const;
    virtual int GetY() const;
    virtual int GetWidth() const;
    virtual int GetHeight() const;

    // Indexes beyond the set's size throw std::out_of_range.
    virtual bool HasFlag(size_t bit) const;
    virtual void SetFlag(size_t bit, bool on);
    virtual bool HasNotify(size_t bit) const;
    virtual void SetNotify(size_t bit, bool on);
    virtual bool HasDispatch(size_t bit) const;
    virtual void SetDispatch(size_t bit, bool on);

    virtual int GetClassId() const;
    virtual VLControl* GetInterface(int id);
    virtual VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags);

    virtual void DoEvent(VLControlEvent& event);
    virtual void OnMouseEnter(VLControlEvent& event);
    virtual void OnMouseHover(VLControlEvent& event);
    virtual void OnMouseLeave(VLControlEvent& event);
    virtual void OnMouseMove(VLControlEvent& event);
    virtual void OnMouseWheel(VLControlEvent& event);
    virtual void OnSetFocus(VLControlEvent& event);
    virtual void OnKillFocus(VLControlEvent& event);
    virtual void OnSetCursor(VLControlEvent& event);
    virtual void OnTimer(VLControlEvent& event);
    virtual void OnContextMenu(VLControlEvent& event);
    virtual void OnRButtonDown(VLControlEvent& event);
    virtual void OnLButtonDown(VLControlEvent& event);
    virtual void OnLButtonUp(VLControlEvent& event);
    virtual void OnLButtonDblClk(VLControlEvent& event);
    virtual void OnKeyDown(VLControlEvent& event);
    virtual void OnKeyUp(VLControlEvent& event);
    virtual void OnChar(VLControlEvent& event);
    virtual void OnSysKeyDown(VLControlEvent& event);
    // The click action shared by mouse and keyboard; false when the control is
    // hidden or disabled.
    virtual bool Activate(VLControlEvent& event);

    // Paints the part of the control inside paintRect (client coordinates):
    // background colour, background image, state image, text and border, each
    // a step a subclass may replace on its own.
    virtual void Paint(HDC hdc, const RECT& paintRect);
    virtual void PaintBkColor(HDC hdc);
    virtual void PaintBkImage(HDC hdc);
    virtual void PaintStateImage(HDC hdc);
    // alpha: the text goes to a surface whose alpha matters (as in a layered
    // window).
    virtual void PaintText(HDC hdc, bool alpha);
    virtual void PaintBorder(HDC hdc);
    // Draws an image descriptor inside the control, limited to the part being
    // painted; modifier (may be null) overrides pairs of the descriptor.
    bool DrawImage(HDC hdc, const wchar_t* descriptor, const wchar_t* modifier);

    virtual RECT GetPadding() const;
    virtual void SetPadding(const RECT& padding);
    virtual SIZE MeasureSize(SIZE available);

    virtual RECT GetPos() const;
    virtual void SetPos(const RECT& rect);
    virtual RECT GetCut() const;
    virtual void SetCut(const RECT& cut);
    virtual bool IsVisible() const;
    virtual void SetVisible(bool visible);
    virtual void SetParent(VLControl* parent);
    virtual VLControl* GetParent() const;

    // Negative sizes and bounds are ignored.
    virtual int GetFixedWidth() const;
    virtual void SetFixedWidth(int width);
    virtual int GetFixedHeight() const;
    virtual void SetFixedHeight(int height);
    virtual POINT GetFixedXY() const;
    virtual void SetFixedXY(int x, int y);
    virtual int GetMinWidth() const;
    virtual void SetMinWidth(int width);
    virtual int GetMaxWidth() const;
    virtual void SetMaxWidth(int width);
    virtual int GetMinHeight() const;
    virtual void SetMinHeight(int height);
    virtual int GetMaxHeight() const;
    virtual void SetMaxHeight(int height);

    virtual void Invalidate();
    virtual bool IsEnabled() const;
    virtual void SetEnabled(bool enabled);
    virtual VLPaintManager* GetManager() const;
    virtual void SetManager(VLPaintManager* manager);
    // Runs over the tree when the window gets its first listener.
    virtual void Init();

    virtual bool IsFloat() const;
    virtual void SetFloat(bool on);
    virtual bool IsAbsFloat() const;
    virtual void SetAbsFloat(bool on);
    virtual bool IsRelFloat() const;
    virtual void SetRelFloat(bool on);

    virtual std::wstring GetToolTip() const;
    virtual void SetToolTip(const std::wstring& text);
    virtual const std::wstring& GetText() const;
    virtual void SetText(const std::wstring& text);
    virtual const std::wstring& GetName() const;
    virtual void SetName(const std::wstring& name);
    virtual int GetId() const;
    virtual void SetId(int id);

    virtual void SetAttribute(const std::wstring& name, const std::wstring& value);

    virtual bool IsFocused() const;
    // Asks the manager to move the keyboard focus here.
    virtual void SetFocus();
    virtual const std::wstring& GetUserData() const;
    virtual void SetUserData(const std::wstring& text);
    virtual int GetTag() const;
    virtual void SetTag(int tag);
    virtual wchar_t GetShortcut() const;
    virtual void SetShortcut(wchar_t ch);
    virtual void SetTextSpecialStyle(int dx, int dy);
    virtual void SetAutoTextColor(uint8_t mask);
    virtual uint8_t GetAutoTextColor() const;
    // Also sets each state colour that the auto-text-colour mask names.
    virtual void SetTextColor(uint32_t argb);
    virtual uint32_t GetTextColor() const;
    virtual void SetNormalTextColor(uint32_t argb);
    virtual uint32_t GetNormalTextColor() const;
    virtual void SetHotTextColor(uint32_t argb);
    virtual uint32_t GetHotTextColor() const;
    virtual void SetPushedTextColor(uint32_t argb);
    virtual uint32_t GetPushedTextColor() const;
    virtual void SetSelectedTextColor(uint32_t argb);
    virtual uint32_t GetSelectedTextColor() const;
    virtual void SetDisabledTextColor(uint32_t argb);
    virtual uint32_t GetDisabledTextColor() const;
    virtual void SetHostWindow(HWND window);
    // The message loop moves focus on Tab unless the focused control wants
    // the key typed into it.
    virtual bool WantsTab() const { return false; }
    // A focused control that hosts a native window sees the window's
    // messages first (accelerators of a hosted object); true when it took
    // one, which is then neither translated nor dispatched.
    virtual bool TranslateAccelerator(MSG& msg) { return false; }
    HWND GetHostWindow() const { return hostWindow_; }

    void MarkForLayout();
    void MarkParentForLayout();
    void SetNormalImage(const std::wstring& descriptor);
    void SetBkImage(const std::wstring& descriptor);
    void SetNormalBkColor(uint32_t argb);
    // Applies name="value" pairs separated by exactly one blank; a list of any
    // other shape stops silently where it breaks.
    static void ApplyAttributeList(const std::wstring& text, VLControl* control);
    // A move effect of this control has ended.
    void NotifyEffectEnd();

    // Read and written directly by painting, the manager's message handling
    // and the effects.
    std::wstring effectDescriptor; // "rotate", "source" and "rolltext" of running effects
    bool htmlText = false;
    bool spaceReturn = false;
    bool capture = false;
    bool caption = false;
    std::wstring fonts[kTextStateCount];
    RECT textPadding[kTextStateCount] = {};
    std::wstring images[kImageStateCount];
    std::wstring bkImages[kImageStateCount];
    uint32_t bkColors[kImageStateCount] = {};
    uint32_t textStyle = 0;
    bool autoCenter = false;
    int8_t shadowX = 0;
    int8_t shadowY = 0;
    int rowHeight = 0;
    uint32_t layoutFormat = 0;
    bool customToolTip = false;
    RECT paintRect = {};
    uint32_t borderColor = 0;
    int borderSize = 1;
    SIZE roundCorner = {0, 0};
    bool needsLayout = false;
    uint32_t state = 0;
    int toolTipDelayTime = 0;
    bool hasBeenHover = false;

protected:
    // The text padding, colour and font the state bits choose, each on its
    // own: disabled, selected, pushed, hot, when set for that state, else the
    // normal one.
    struct VLTextLook {
        RECT padding;
        uint32_t colour;
        std::wstring font;
    };
    VLTextLook CurrentTextLook() const;
    // Draws the first non-empty descriptor of the list that draws (null
    // entries are passed over), with the modifier (may be null). Each one that
    // fails is emptied, so that a missing image costs one failed load only.
    bool DrawFirstImage(HDC hdc, std::initializer_list<std::wstring*> candidates, const wchar_t* modifier = nullptr);

private:
    void PassToParent(VLControlEvent& event, int type, void (VLControl::*handler)(VLControlEvent&));
    void SendNotifyIf(int type, const VLControlEvent& event);
    void CheckRollText(const VLControlEvent& event);
    bool IsInside(const VLControlEvent& event) const;
    bool SetColourAttribute(const std::wstring& name, const std::wstring& value);
    bool SetLookAttribute(const std::wstring& name, const std::wstring& value);
    bool SetWordsAttribute(const std::wstring& name, const std::wstring& value);
    bool SetGeometryAttribute(const std::wstring& name, const std::wstring& value);
    bool SetFlagAttribute(const std::wstring& name, const std::wstring& value);

    uint32_t textColors_[kTextStateCount] = {0xFF000000, 0, 0, 0, 0};
    uint8_t autoTextColor_ = 0;
    uint32_t textColor_ = 0xFF000000;
    int id_ = 0;
    int tag_ = 0;
    std::wstring userData_;
    wchar_t shortcut_ = 0;
    std::wstring name_;
    std::wstring text_;
    std::wstring toolTip_;
    bool float_ = false;
    bool relFloat_ = false;
    bool absFloat_ = false;
    bool focused_ = false;
    bool enabled_ = true;
    RECT padding_ = {};
    POINT fixedXY_ = {0, 0};
    int fixedWidth_ = 0;
    int fixedHeight_ = 0;
    int minWidth_ = 0;
    int minHeight_ = 0;
    int maxWidth_ = 0;
    int maxHeight_ = 0;
    bool visible_ = true;
    RECT pos_ = {};
    RECT cut_ = {};
    VLControl* parent_ = nullptr;
    VLPaintManager* manager_ = nullptr;
    std::bitset<4> flags_;
    std::bitset<25> notify_;
    std::bitset<20> dispatch_;
    HWND hostWindow_ = nullptr;
};

} // namespace Velora
