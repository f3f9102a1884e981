// A control that holds other controls (its items): it owns them (unless told
// not to), lays them out side by side, stacked or on top of each other, finds
// and scrolls them, and keeps an optional vertical and horizontal scroll bar.
#pragma once

#include "ui/core/Control.h"
#include "ui/core/Scrollbar.h"

#include <memory>
#include <string>
#include <vector>

namespace Velora {

// Layout types: anything else stacks the items on top of each other.
constexpr int kLayoutHorizontal = 1;
constexpr int kLayoutVertical = 2;

class VLContainer : public VLControl {
public:
    VLContainer();
    ~VLContainer() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags) override;
    void OnMouseWheel(VLControlEvent& event) override;
    void OnKeyDown(VLControlEvent& event) override;
    // Paints itself, its items (those marked "topmost" last, floating ones
    // unclipped by the inset) and then its bars.
    void Paint(HDC hdc, const RECT& paintRect) override;
    // Runs the pass the layout type chooses.
    void SetPos(const RECT& rect) override;
    void SetParent(VLControl* parent) override;
    void SetManager(VLPaintManager* manager) override;
    void Init() override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    VLControl* GetItemAt(int index) const;
    virtual int GetItemIndex(VLControl* item) const;
    // Moves an item within the list; the container is not marked for layout.
    virtual bool SetItemIndex(VLControl* item, int index);
    // Replaces an item; the container is not marked for layout.
    bool SetItemAt(int index, VLControl* item);
    int GetCount() const;
    virtual bool Add(VLControl* item);
    // An index not below the count appends; 0 or less inserts first.
    virtual bool AddAt(VLControl* item, int index);
    virtual bool Remove(VLControl* item);
    virtual bool RemoveAt(int index);
    // Not marked for layout.
    virtual void RemoveAll();
    bool IsAutoDestroy() const;
    void SetAutoDestroy(bool autoDestroy);
    RECT GetInset() const;
    void SetInset(int left, int top, int right, int bottom);
    int GetChildPadding() const;
    void SetChildPadding(int padding);
    // Creates or deletes the bars; existing bars that stay are kept.
    void EnableScrollBar(bool vertical, bool horizontal);
    VLScrollbar* GetVerticalScrollBar() const;
    VLScrollbar* GetHorizontalScrollBar() const;
    // cx horizontal, cy vertical; 0 for an absent or hidden bar.
    SIZE GetScrollPos() const;
    SIZE GetScrollRange() const;
    // Virtual, with the scroll steps below: a control that scrolls content of
    // its own (the rich edit) answers the bars, keys and wheel itself.
    virtual void SetScrollPos(SIZE position);
    virtual void ScrollLineUp();
    virtual void ScrollLineDown();
    virtual void ScrollPageUp();
    virtual void ScrollPageDown();
    virtual void ScrollToTop();
    virtual void ScrollToBottom();
    virtual void ScrollLineLeft();
    virtual void ScrollLineRight();
    virtual void ScrollPageLeft();
    virtual void ScrollPageRight();
    virtual void ScrollToLeft();
    virtual void ScrollToRight();
    void SetLayoutType(int type);
    int GetLayoutType() const;
    // Places a floating item inside the reference rectangle.
    void SetFloatItemPos(VLControl* item, const RECT& reference);
    // Places the container itself by the float rules, inside its own rectangle.
    void SetOwnFloatPos();
    // Shows, hides, ranges and places the bars for the size the items need,
    // and lays out again when that changed anything.
    void UpdateScrollBars(const RECT& inner, int neededWidth, int neededHeight);

    void LayoutHorizontal(const RECT& rect);
    void LayoutVertical(const RECT& rect);
    void LayoutStack(const RECT& rect);

protected:
    // Stores the rectangle and answers the inner one, less the inset and the
    // visible bars.
    RECT BeginPass(const RECT& rect);
    // The control rectangle less the inset and the visible bars.
    RECT InnerRect() const;
    // The horizontal pass, or the vertical one with the axes exchanged.
    void LayoutFlow(const RECT& rect, bool vertical);
    bool IsVerticalBarShown() const;
    bool IsHorizontalBarShown() const;
    // The items, clipped to the inner rectangle (floating ones to the control).
    void PaintItems(HDC hdc, const RECT& paintRect);

private:
    // Floating items are placed by the float rules and take no room in a pass.
    static bool IsFloating(const VLControl* item);
    // Visible and not floating: the items a pass places side by side.
    static bool IsFlowItem(const VLControl* item);
    void ScrollBy(int dx, int dy);
    // The height or width a page step scrolls: the inner size without the
    // other direction's bar.
    int VerticalPage() const;
    int HorizontalPage() const;
    bool CanScrollVertically() const;
    bool CanScrollHorizontally() const;

    std::vector<VLControl*> items_;
    bool autoDestroy_ = true;
    RECT inset_ = {};
    int layoutType_ = 0;
    int childPadding_ = 0;
    std::unique_ptr<VLScrollbar> verticalBar_;
    std::unique_ptr<VLScrollbar> horizontalBar_;
    // Layouts run again from inside a pass while the bars change; this bounds
    // how deep, so that bars that toggle each other cannot recurse forever.
    int relayoutDepth_ = 0;
};

} // namespace Velora
