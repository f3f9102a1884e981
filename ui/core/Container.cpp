// A container's items: adding, moving, removing and owning them, and the walk
// that finds controls among them and its bars.
#include "ui/core/Container.h"

#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

#include <algorithm>

namespace Velora {

VLContainer::VLContainer() = default;

VLContainer::~VLContainer()
{
    RemoveAll();
    verticalBar_.reset();
    horizontalBar_.reset();
}

int VLContainer::GetClassId() const
{
    return 4;
}

VLControl* VLContainer::GetInterface(int id)
{
    return id == 4 || id == 1 ? this : nullptr;
}

bool VLContainer::IsFloating(const VLControl* item)
{
    return item->IsFloat() || item->IsRelFloat() || item->IsAbsFloat();
}

bool VLContainer::IsFlowItem(const VLControl* item)
{
    return item->IsVisible() && !IsFloating(item);
}

// ---- Items -------------------------------------------------------------------

VLControl* VLContainer::GetItemAt(int index) const
{
    return index < 0 || index >= GetCount() ? nullptr : items_[static_cast<size_t>(index)];
}

int VLContainer::GetItemIndex(VLControl* item) const
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int VLContainer::GetCount() const
{
    return static_cast<int>(items_.size());
}

bool VLContainer::SetItemIndex(VLControl* item, int index)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (!item || it == items_.end()) return false;
    items_.erase(it);
    items_.insert(items_.begin() + std::min(std::max(index, 0), GetCount()), item);
    return true;
}

bool VLContainer::SetItemAt(int index, VLControl* item)
{
    if (!item || static_cast<unsigned>(index) >= items_.size()) return false;
    VLControl*& slot = items_[static_cast<size_t>(index)];
    if (slot == item) return true;
    if (autoDestroy_) delete slot;
    item->SetParent(this);
    if (GetManager()) GetManager()->InitControls(item);
    slot = item;
    return true;
}

bool VLContainer::Add(VLControl* item)
{
    return AddAt(item, GetCount());
}

bool VLContainer::AddAt(VLControl* item, int index)
{
    if (!item) return false;
    item->SetParent(this);
    if (GetManager()) GetManager()->InitControls(item);
    items_.insert(items_.begin() + std::min(std::max(index, 0), GetCount()), item);
    MarkForLayout();
    return true;
}

bool VLContainer::Remove(VLControl* item)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (!item || it == items_.end()) return false;
    items_.erase(it);
    if (autoDestroy_) delete item;
    MarkForLayout();
    return true;
}

bool VLContainer::RemoveAt(int index)
{
    return Remove(GetItemAt(index));
}

void VLContainer::RemoveAll()
{
    // An item's destructor may change whether the rest are owned.
    for (size_t i = 0; i < items_.size(); ++i) {
        if (autoDestroy_) delete items_[i];
    }
    items_.clear();
}

bool VLContainer::IsAutoDestroy() const
{
    return autoDestroy_;
}

void VLContainer::SetAutoDestroy(bool autoDestroy)
{
    autoDestroy_ = autoDestroy;
}

RECT VLContainer::GetInset() const
{
    return inset_;
}

void VLContainer::SetInset(int left, int top, int right, int bottom)
{
    inset_ = {left, top, right, bottom};
}

int VLContainer::GetChildPadding() const
{
    return childPadding_;
}

void VLContainer::SetChildPadding(int padding)
{
    childPadding_ = padding;
}

void VLContainer::SetLayoutType(int type)
{
    layoutType_ = type;
}

int VLContainer::GetLayoutType() const
{
    return layoutType_;
}

void VLContainer::SetParent(VLControl* parent)
{
    for (VLControl* item : items_) item->SetParent(this);
    if (verticalBar_) verticalBar_->SetParent(this);
    if (horizontalBar_) horizontalBar_->SetParent(this);
    VLControl::SetParent(parent);
}

void VLContainer::SetManager(VLPaintManager* manager)
{
    for (VLControl* item : items_) item->SetManager(manager);
    if (verticalBar_) verticalBar_->SetManager(manager);
    if (horizontalBar_) horizontalBar_->SetManager(manager);
    VLControl::SetManager(manager);
}

void VLContainer::Init()
{
    for (VLControl* item : items_) item->Init();
}

VLControl* VLContainer::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
    const RECT pos = GetPos();
    const bool hitTest = (flags & kFindHitTest) != 0;
    // The container's own "cut" does not narrow the search for its items.
    if (hitTest && !PtInRect(&pos, *static_cast<const POINT*>(data))) return nullptr;
    for (VLScrollbar* bar : {verticalBar_.get(), horizontalBar_.get()}) {
        VLControl* found = bar ? bar->FindControl(proc, data, flags) : nullptr;
        if (found) return found;
    }
    if (flags & kFindMeFirst) {
        VLControl* found = VLControl::FindControl(proc, data, flags);
        if (found) return found;
    }
    const RECT inner = Saturated(pos, inset_);
    if (hitTest && !PtInRect(&inner, *static_cast<const POINT*>(data)))
        return VLControl::FindControl(proc, data, flags);
    const bool topFirst = (flags & kFindTopFirst) != 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        VLControl* found = items_[topFirst ? items_.size() - 1 - i : i]->FindControl(proc, data, flags);
        if (found) return found;
    }
    return VLControl::FindControl(proc, data, flags);
}

} // namespace Velora
