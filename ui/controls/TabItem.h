// One tab of a tab strip: a selectable option that lays out an icon, a text, a
// text image and an expand control side by side, names the page it shows,
// and can be dragged along the strip to reorder the tabs.
#pragma once

#include "ui/core/Option.h"

#include <vector>

namespace Velora {

class VLTabCtrl;

// Sent to the window when a dragged tab is dropped on another slot: wParam
// the tab, lParam the index it would move to; an answer other than 0 keeps
// the order.
constexpr UINT kMsgTabDragged = WM_USER + 1023;
// The expand control of a tab was clicked.
constexpr int32_t kNotifyTabExpand = 23;

class VLTabItem : public VLOption {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnMouseEnter(VLControlEvent& event) override;
    void OnMouseLeave(VLControlEvent& event) override;
    void OnMouseMove(VLControlEvent& event) override;
    void OnLButtonDown(VLControlEvent& event) override;
    void OnLButtonUp(VLControlEvent& event) override;
    // A click on the expand control is reported, any other selects the tab.
    bool Activate(VLControlEvent& event) override;
    // The text child draws the text.
    void PaintText(HDC hdc, bool alpha) override {}
    void SetPos(const RECT& rect) override;
    void SetEnabled(bool enabled) override;
    void Init() override;
    void SetText(const std::wstring& text) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // Only a tab of a group changes its selection.
    void SetSelected(bool selected) override;

    int GetControlId() const { return controlId_; }
    void SetOwner(VLTabCtrl* owner) { owner_ = owner; }
    VLControl* GetExpand() const { return expand_; }
    VLControl* GetTextChild() const { return text_; }

private:
    // Shows or hides a child that may not exist yet.
    static void ShowChild(VLControl* child, bool show);
    // The slot width of the strip while a tab is dragged.
    int SlotWidth() const { return pressRect_.right - pressRect_.left + 1; }
    int SlotAt(int x) const;
    void Drag(const VLControlEvent& event);
    void Drop();

    VLControl* icon_ = nullptr;
    VLControl* text_ = nullptr;
    VLControl* textImage_ = nullptr;
    VLControl* expand_ = nullptr;
    bool showIcon_ = false;
    bool showExpand_ = false;
    bool expandOnEnter_ = false;
    bool drag_ = false;
    std::wstring iconAttributes_;
    std::wstring textAttributes_;
    std::wstring textImageAttributes_;
    std::wstring expandAttributes_;
    int controlId_ = 0;
    VLTabCtrl* owner_ = nullptr;
    POINT pressPoint_ = {};
    RECT pressRect_ = {};
    bool dragging_ = false;
    std::vector<VLControl*> dragSiblings_;
};

} // namespace Velora
