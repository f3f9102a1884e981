#include "ui/core/Control.h"

#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

#include <algorithm>

namespace Velora {

VLControl::VLControl() = default;

VLControl::~VLControl()
{
    // The manager must drop every reference to this control (focus, hover,
    // timers, effects, names) before the control's memory goes.
    if (manager_) manager_->ForgetControl(this);
}

int VLControl::GetX() const { return pos_.left; }
int VLControl::GetY() const { return pos_.top; }
int VLControl::GetWidth() const { return pos_.right - pos_.left; }
int VLControl::GetHeight() const { return pos_.bottom - pos_.top; }

bool VLControl::HasFlag(size_t bit) const { return flags_.test(bit); }
void VLControl::SetFlag(size_t bit, bool on) { flags_.set(bit, on); }
bool VLControl::HasNotify(size_t bit) const { return notify_.test(bit); }
void VLControl::SetNotify(size_t bit, bool on) { notify_.set(bit, on); }
bool VLControl::HasDispatch(size_t bit) const { return dispatch_.test(bit); }
void VLControl::SetDispatch(size_t bit, bool on) { dispatch_.set(bit, on); }

int VLControl::GetClassId() const { return 1; }

VLControl* VLControl::GetInterface(int id) { return id == 1 ? this : nullptr; }

VLControl* VLControl::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
    if (flags & kFindHitTest) {
        const RECT area = {pos_.left + cut_.left, pos_.top + cut_.top, pos_.right - cut_.right,
                           pos_.bottom - cut_.bottom};
        if (!PtInRect(&area, *static_cast<const POINT*>(data))) return nullptr;
    }
    return proc(this, data);
}

RECT VLControl::GetPadding() const { return padding_; }
void VLControl::SetPadding(const RECT& padding) { padding_ = padding; }

SIZE VLControl::MeasureSize(SIZE) { return {fixedWidth_, fixedHeight_}; }

RECT VLControl::GetPos() const { return pos_; }

void VLControl::SetPos(const RECT& rect)
{
    // Held within the layout's bound, so that a width or height taken from
    // the rectangle is never wrapped.
    const int left = Saturated(rect.left), top = Saturated(rect.top);
    pos_ = {left, top, std::max(Saturated(rect.right), left), std::max(Saturated(rect.bottom), top)};
    needsLayout = false;
}

RECT VLControl::GetCut() const { return cut_; }
void VLControl::SetCut(const RECT& cut) { cut_ = cut; }

bool VLControl::IsVisible() const { return visible_; }

void VLControl::SetVisible(bool visible)
{
    if (visible_ == visible) return;
    visible_ = visible;
    focused_ = false;
    MarkParentForLayout();
}

void VLControl::SetParent(VLControl* parent) { parent_ = parent; }
VLControl* VLControl::GetParent() const { return parent_; }

int VLControl::GetFixedWidth() const { return fixedWidth_; }
int VLControl::GetFixedHeight() const { return fixedHeight_; }
POINT VLControl::GetFixedXY() const { return fixedXY_; }
void VLControl::SetFixedXY(int x, int y) { fixedXY_ = {x, y}; }
int VLControl::GetMinWidth() const { return minWidth_; }
int VLControl::GetMaxWidth() const { return maxWidth_; }
int VLControl::GetMinHeight() const { return minHeight_; }
int VLControl::GetMaxHeight() const { return maxHeight_; }

namespace {

void StoreIfNotNegative(int& field, int value)
{
    if (value >= 0) field = value;
}

} // namespace

void VLControl::SetFixedWidth(int width) { StoreIfNotNegative(fixedWidth_, width); }
void VLControl::SetFixedHeight(int height) { StoreIfNotNegative(fixedHeight_, height); }
void VLControl::SetMinWidth(int width) { StoreIfNotNegative(minWidth_, width); }
void VLControl::SetMaxWidth(int width) { StoreIfNotNegative(maxWidth_, width); }
void VLControl::SetMinHeight(int height) { StoreIfNotNegative(minHeight_, height); }
void VLControl::SetMaxHeight(int height) { StoreIfNotNegative(maxHeight_, height); }

void VLControl::Invalidate()
{
    // A parent that is about to be laid out again repaints its whole area,
    // which holds this control wherever the layout puts it.
    if (parent_ && parent_->needsLayout) {
        parent_->Invalidate();
        return;
    }
    if (!IsVisible() || !manager_ || !manager_->GetWindow()) return;
    // A layered window has no update region: it is painted whole at once.
    if (manager_->IsLayered())
        manager_->RedrawLayeredWindow(manager_->GetLayeredAlpha());
    else
        InvalidateRect(manager_->GetWindow(), &pos_, FALSE);
}

bool VLControl::IsEnabled() const { return enabled_; }

void VLControl::SetEnabled(bool enabled)
{
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (!IsEnabled()) state = 0;
    Invalidate();
}

VLPaintManager* VLControl::GetManager() const { return manager_; }
void VLControl::SetManager(VLPaintManager* manager) { manager_ = manager; }
void VLControl::Init() {}

bool VLControl::IsFloat() const { return float_; }
void VLControl::SetFloat(bool on) { float_ = on; }
bool VLControl::IsAbsFloat() const { return absFloat_; }
void VLControl::SetAbsFloat(bool on) { absFloat_ = on; }
bool VLControl::IsRelFloat() const { return relFloat_; }
void VLControl::SetRelFloat(bool on) { relFloat_ = on; }

std::wstring VLControl::GetToolTip() const { return toolTip_; }
void VLControl::SetToolTip(const std::wstring& text) { toolTip_ = text; }
const std::wstring& VLControl::GetText() const { return text_; }

void VLControl::SetText(const std::wstring& text)
{
    if (text_ == text) return;
    text_ = text;
    Invalidate();
}

const std::wstring& VLControl::GetName() const { return name_; }

void VLControl::SetName(const std::wstring& name)
{
    if (name_ != name) name_ = name;
}

int VLControl::GetId() const { return id_; }
void VLControl::SetId(int id) { id_ = id; }

bool VLControl::IsFocused() const { return focused_; }

void VLControl::SetFocus()
{
    if (manager_) manager_->SetFocus(this);
}

const std::wstring& VLControl::GetUserData() const { return userData_; }
void VLControl::SetUserData(const std::wstring& text) { userData_ = text; }
int VLControl::GetTag() const { return tag_; }
void VLControl::SetTag(int tag) { tag_ = tag; }
wchar_t VLControl::GetShortcut() const { return shortcut_; }
void VLControl::SetShortcut(wchar_t ch) { shortcut_ = ch; }

void VLControl::SetTextSpecialStyle(int dx, int dy)
{
    shadowX = static_cast<int8_t>(dx);
    shadowY = static_cast<int8_t>(dy);
}

void VLControl::SetAutoTextColor(uint8_t mask) { autoTextColor_ = mask; }
uint8_t VLControl::GetAutoTextColor() const { return autoTextColor_; }

void VLControl::SetTextColor(uint32_t argb)
{
    textColor_ = argb;
    // Through the virtual setters, so a subclass sees each state it gets.
    void (VLControl::*const setters[kTextStateCount])(uint32_t) = {
        &VLControl::SetNormalTextColor, &VLControl::SetHotTextColor, &VLControl::SetPushedTextColor,
        &VLControl::SetSelectedTextColor, &VLControl::SetDisabledTextColor};
    for (int i = 0; i < kTextStateCount; ++i) {
        if (autoTextColor_ & (1u << i)) (this->*setters[i])(argb);
    }
}

uint32_t VLControl::GetTextColor() const { return textColor_; }
void VLControl::SetNormalTextColor(uint32_t argb) { textColors_[kTextNormal] = argb; }
uint32_t VLControl::GetNormalTextColor() const { return textColors_[kTextNormal]; }
void VLControl::SetHotTextColor(uint32_t argb) { textColors_[kTextHot] = argb; }
uint32_t VLControl::GetHotTextColor() const { return textColors_[kTextHot]; }
void VLControl::SetPushedTextColor(uint32_t argb) { textColors_[kTextPushed] = argb; }
uint32_t VLControl::GetPushedTextColor() const { return textColors_[kTextPushed]; }
void VLControl::SetSelectedTextColor(uint32_t argb) { textColors_[kTextSelected] = argb; }
uint32_t VLControl::GetSelectedTextColor() const { return textColors_[kTextSelected]; }
void VLControl::SetDisabledTextColor(uint32_t argb) { textColors_[kTextDisabled] = argb; }
uint32_t VLControl::GetDisabledTextColor() const { return textColors_[kTextDisabled]; }
void VLControl::SetHostWindow(HWND window) { hostWindow_ = window; }

void VLControl::MarkForLayout()
{
    needsLayout = true;
    if (manager_) manager_->SetNeedsUpdate(true);
}

void VLControl::MarkParentForLayout()
{
    if (parent_)
        parent_->MarkForLayout();
    else
        MarkForLayout();
}

void VLControl::SetNormalImage(const std::wstring& descriptor) { images[kImageNormal] = descriptor; }

void VLControl::SetBkImage(const std::wstring& descriptor)
{
    bkImages[kImageNormal] = descriptor;
    Invalidate();
}

void VLControl::SetNormalBkColor(uint32_t argb)
{
    if (bkColors[kImageNormal] == argb) return;
    bkColors[kImageNormal] = argb;
    Invalidate();
}

void VLControl::NotifyEffectEnd()
{
    if (manager_) manager_->SendNotify(this, kNotifyEffectEnd, 0, 0);
}

} // namespace Velora
