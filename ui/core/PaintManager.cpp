#include "ui/core/PaintManager.h"

#include <algorithm>

namespace Velora {

uint16_t GetKeyStateMask()
{
    uint16_t mask = 0;
    if (GetKeyState(VK_CONTROL) < 0) mask |= 8;
    if (GetKeyState(VK_RBUTTON) < 0) mask |= 1;
    if (GetKeyState(VK_LBUTTON) < 0) mask |= 2;
    if (GetKeyState(VK_SHIFT) < 0) mask |= 4;
    if (GetKeyState(VK_MENU) < 0) mask |= 32;
    return mask;
}

VLPaintManager::VLPaintManager() = default;

VLPaintManager::~VLPaintManager()
{
    auto& list = ManagerList();
    const auto listed = std::find(list.begin(), list.end(), this);
    if (listed != list.end()) list.erase(listed);
    RemoveAllFonts();
    KillAllTimers();
    animations_.StopAll();
    FlushDelayedDelete();
    root_.reset();
    RemoveAllOptionGroups();
    DropBackBuffer();
    if (paintDC_) ReleaseDC(window_, paintDC_);
    if (toolTipWindow_ && IsWindow(toolTipWindow_)) DestroyWindow(toolTipWindow_);
}

std::vector<VLPaintManager*>& VLPaintManager::ManagerList()
{
    static std::vector<VLPaintManager*> list;
    return list;
}

void VLPaintManager::RegisterManager(VLPaintManager* manager) { ManagerList().push_back(manager); }

bool VLPaintManager::Init(HWND hwnd)
{
    if (!hwnd || !IsWindow(hwnd)) return false;
    if (paintDC_) ReleaseDC(window_, paintDC_);
    window_ = hwnd;
    paintDC_ = GetDC(hwnd);
    return true;
}

// ---- Tree and registries ---------------------------------------------------

bool VLPaintManager::AttachRoot(VLControl* control)
{
    SetFocus(nullptr);
    keyDown_ = hover_ = pressed_ = rightPressed_ = nullptr;
    if (root_) {
        // The old tree lives on until its deletion message: its names and ids
        // must not hide those of the new tree.
        root_->FindControl(
            [](VLControl* c, void* data) -> VLControl* {
                static_cast<VLPaintManager*>(data)->ForgetNames(c);
                return nullptr;
            },
            this, 0);
        QueueDelete(std::move(root_));
    }
    root_.reset(control);
    needsUpdate_ = initNotifyPending_ = focusNeeded_ = true;
    if (control) InitControls(control);
    return true;
}

bool VLPaintManager::InitControls(VLControl* control)
{
    if (!control) return false;
    control->SetManager(this);
    control->FindControl(
        [](VLControl* c, void* data) -> VLControl* {
            if (!c->GetName().empty()) static_cast<VLPaintManager*>(data)->nameMap_.emplace(c->GetName(), c);
            return nullptr;
        },
        this, 0);
    control->FindControl(
        [](VLControl* c, void* data) -> VLControl* {
            if (c->GetId() != 0) static_cast<VLPaintManager*>(data)->idMap_.emplace(c->GetId(), c);
            return nullptr;
        },
        this, 0);
    return true;
}

void VLPaintManager::ForgetControl(VLControl* control)
{
    KillTimer(control, kAllControlTimers);
    animations_.DropControl(control);
    for (VLControl** ref : {&keyDown_, &hover_, &hoverTracked_, &pressed_, &rightPressed_, &focus_}) {
        if (*ref == control) *ref = nullptr;
    }
    ForgetNames(control);
}

void VLPaintManager::ForgetNames(VLControl* control)
{
    const auto named = nameMap_.find(control->GetName());
    if (named != nameMap_.end() && named->second == control) nameMap_.erase(named);
    const auto numbered = idMap_.find(control->GetId());
    if (numbered != idMap_.end() && numbered->second == control) idMap_.erase(numbered);
}

VLControl* VLPaintManager::FindControl(int id) const
{
    if (!root_) return nullptr;
    const auto it = idMap_.find(id);
    return it == idMap_.end() ? nullptr : it->second;
}

VLControl* VLPaintManager::FindControlByName(const std::wstring& name) const
{
    const auto it = nameMap_.find(name);
    return it == nameMap_.end() ? nullptr : it->second;
}

VLControl* VLPaintManager::FindControlAt(POINT point) const
{
    if (!root_) return nullptr;
    return root_->FindControl([](VLControl* c, void*) { return c; }, &point,
                              kFindVisible | kFindHitTest | kFindTopFirst);
}

VLControl* VLPaintManager::FindControlByWindow(HWND hwnd) const
{
    if (!root_) return nullptr;
    return root_->FindControl(
        [](VLControl* c, void* data) -> VLControl* {
            const HWND target = static_cast<HWND>(data);
            const HWND host = c->GetHostWindow();
            return host && (host == target || IsChild(host, target)) ? c : nullptr;
        },
        hwnd, kFindVisible | kFindTopFirst);
}

// ---- Focus and capture -------------------------------------------------------

void VLPaintManager::SetFocus(VLControl* control)
{
    if (window_ && ::GetFocus() != window_ && control != focus_) ::SetFocus(window_);
    if (control == focus_) return;
    VLControlEvent event;
    if (focus_) {
        event.type = kEventKillFocus;
        event.sender = control;
        event.timestamp = GetTickCount();
        VLControl* old = focus_;
        focus_ = nullptr;
        old->DoEvent(event);
    }
    if (!control || control->GetManager() != this || !control->IsVisible() || !control->IsEnabled()) return;
    focus_ = control;
    event.type = kEventSetFocus;
    event.sender = control;
    event.timestamp = GetTickCount();
    control->DoEvent(event);
}

bool VLPaintManager::MoveFocusByTab(bool forward)
{
    if (needsUpdate_ && forward) {
        focusNeeded_ = true;
        InvalidateWindow();
        return true;
    }
    if (!root_) return true;
    // The visible, enabled controls in tab order: containers before their items.
    std::vector<VLControl*> order;
    root_->FindControl(
        [](VLControl* c, void* data) -> VLControl* {
            static_cast<std::vector<VLControl*>*>(data)->push_back(c);
            return nullptr;
        },
        &order, kFindVisible | kFindEnabled | kFindMeFirst);
    const auto isStop = [this](VLControl* c) { return c != focus_ && c->HasFlag(kFlagTabStop); };
    const auto first = std::find_if(order.begin(), order.end(), isStop);
    VLControl* next = nullptr;
    if (!focus_) {
        next = first == order.end() ? nullptr : *first;
    } else {
        const auto at = std::find(order.begin(), order.end(), focus_);
        if (forward) {
            const auto after = at == order.end() ? order.end() : std::find_if(at, order.end(), isStop);
            const auto found = after != order.end() ? after : first;
            next = found == order.end() ? nullptr : *found;
        } else {
            const auto before = std::find_if(std::make_reverse_iterator(at), order.rend(), isStop);
            const auto found = before != order.rend() ? before : std::find_if(order.rbegin(), order.rend(), isStop);
            next = found == order.rend() ? nullptr : *found;
        }
    }
    if (next) SetFocus(next);
    return true;
}

void VLPaintManager::CaptureMouse()
{
    SetCapture(window_);
    captured_ = true;
}

void VLPaintManager::ReleaseMouse()
{
    ReleaseCapture();
    captured_ = false;
}

void VLPaintManager::InvalidateWindow()
{
    // Without a window there is nothing to repaint: InvalidateRect(NULL)
    // would repaint every window of the desktop.
    if (!window_) return;
    if (layered_)
        RedrawLayeredWindow(layeredAlpha_);
    else
        InvalidateRect(window_, nullptr, FALSE);
}

// ---- Listeners and filters ---------------------------------------------------

bool VLPaintManager::AddNotifier(INotify* listener)
{
    if (std::find(notifiers_.begin(), notifiers_.end(), listener) != notifiers_.end()) return false;
    notifiers_.push_back(listener);
    if (root_) root_->Init();
    return true;
}

bool VLPaintManager::AddMessageFilter(IMessageFilterUI* filter)
{
    if (std::find(messageFilters_.begin(), messageFilters_.end(), filter) != messageFilters_.end()) return false;
    messageFilters_.push_back(filter);
    return true;
}

bool VLPaintManager::RemoveMessageFilter(IMessageFilterUI* filter)
{
    const auto it = std::find(messageFilters_.begin(), messageFilters_.end(), filter);
    if (it == messageFilters_.end()) return false;
    messageFilters_.erase(it);
    return true;
}

void VLPaintManager::SendNotify(VLControl* sender, int32_t type, WPARAM wParam, LPARAM lParam)
{
    VLNotifyMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotifyMsg(msg);
}

void VLPaintManager::SendNotifyMsg(VLNotifyMsg& msg)
{
    msg.ptMouse = lastMouse_;
    msg.timestamp = GetTickCount();
    // A listener may add another one: the length is read again each time.
    for (size_t i = 0; i < notifiers_.size(); ++i) notifiers_[i]->Notify(msg);
}

void VLPaintManager::QueueDelete(std::unique_ptr<VLControl> control)
{
    {
        std::lock_guard<std::mutex> lock(deleteLock_);
        delayedDelete_.push_back(std::move(control));
    }
    if (window_) PostMessageW(window_, kMsgDelayedDelete, 0, 0);
}

void VLPaintManager::DelayedDelete(VLControl* control)
{
    if (!control) return;
    {
        // A control queued twice would be deleted twice.
        std::lock_guard<std::mutex> lock(deleteLock_);
        for (const auto& queued : delayedDelete_) {
            if (queued.get() == control) return;
        }
    }
    QueueDelete(std::unique_ptr<VLControl>(control));
}

void VLPaintManager::FlushDelayedDelete()
{
    std::vector<std::unique_ptr<VLControl>> doomed;
    {
        std::lock_guard<std::mutex> lock(deleteLock_);
        doomed.swap(delayedDelete_);
    }
    // Deleted outside the lock: a destructor may queue another control.
}

// ---- Option groups and default attribute lists -------------------------------

bool VLPaintManager::AddOptionGroup(int groupId, VLOption* option)
{
    std::vector<VLOption*>& group = optionGroups_[groupId];
    if (std::find(group.begin(), group.end(), option) != group.end()) return false;
    group.push_back(option);
    return true;
}

std::vector<VLOption*>* VLPaintManager::GetOptionGroup(int groupId)
{
    const auto it = optionGroups_.find(groupId);
    return it == optionGroups_.end() ? nullptr : &it->second;
}

void VLPaintManager::RemoveOptionGroup(int groupId, VLOption* option)
{
    std::vector<VLOption*>* group = GetOptionGroup(groupId);
    if (group) group->erase(std::remove(group->begin(), group->end(), option), group->end());
}

void VLPaintManager::RemoveAllOptionGroups()
{
    optionGroups_.clear();
}

void VLPaintManager::AddDefaultAttributeList(const std::wstring& className, const std::wstring& text)
{
    RemoveDefaultAttributeList(className);
    defaultAttributes_.emplace(className, text);
}

void VLPaintManager::RemoveDefaultAttributeList(const std::wstring& className)
{
    defaultAttributes_.erase(className);
}

std::wstring VLPaintManager::GetDefaultAttributeList(const std::wstring& className) const
{
    const auto it = defaultAttributes_.find(className);
    return it == defaultAttributes_.end() ? std::wstring() : it->second;
}

// ---- Fonts -------------------------------------------------------------------

VLFontInfo* VLPaintManager::AddFont(const std::wstring& face, const std::wstring& name, int size, bool bold,
                                    bool underline, bool italic)
{
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfHeight = -size;
    if (bold) lf.lfWeight = FW_BOLD;
    if (underline) lf.lfUnderline = TRUE;
    if (italic) lf.lfItalic = TRUE;
    VLFont font(CreateFontIndirectW(&lf));
    if (!font) return nullptr;
    auto info = std::make_unique<VLFontInfo>();
    info->font = std::move(font);
    info->face = face;
    info->size = size;
    info->bold = bold;
    info->underline = underline;
    info->italic = italic;
    if (paintDC_) {
        VLSelectObject select(paintDC_, info->font.Get());
        GetTextMetricsW(paintDC_, &info->metrics);
    }
    VLFontInfo* result = info.get();
    if (!fonts_.emplace(name, nullptr).second) {
        unnamedFonts_.push_back(std::move(info));
        return result;
    }
    fonts_[name] = std::move(info);
    return result;
}

VLFontInfo* VLPaintManager::GetDefaultFont()
{
    if (defaultFont_) return defaultFont_;
    const auto named = fonts_.find(L"Default");
    if (named != fonts_.end()) return named->second.get();
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    defaultFont_ =
        AddFont(lf.lfFaceName, L"Default", -lf.lfHeight, lf.lfWeight >= FW_BOLD, lf.lfUnderline == 1, lf.lfItalic == 1);
    return defaultFont_;
}

VLFontInfo* VLPaintManager::GetFont(const std::wstring& name)
{
    if (!name.empty()) {
        const auto it = fonts_.find(name);
        if (it != fonts_.end()) return it->second.get();
    }
    return GetDefaultFont();
}

void VLPaintManager::RemoveAllFonts()
{
    fonts_.clear();
    unnamedFonts_.clear();
    defaultFont_ = defaultLinkFont_ = defaultBoldFont_ = nullptr;
}

// ---- Timers ------------------------------------------------------------------

bool VLPaintManager::TimerIdInUse(uint32_t id) const
{
    if (animations_.UsesTimer(id)) return true;
    return std::any_of(timers_.begin(), timers_.end(),
                       [id](const std::unique_ptr<VLTimerInfo>& t) { return t->windowId == id; });
}

uint32_t VLPaintManager::NextTimerId()
{
    // The shared sequence (17, 18, ... 254, then from 1 again), skipping 0 and
    // every id a live timer holds: two timers with one id would each get the
    // other's WM_TIMER, and killing one would kill both.
    for (int tries = 0; tries < 255; ++tries) {
        timerCounter_ = (timerCounter_ + 1) % 255;
        if (timerCounter_ != 0 && !TimerIdInUse(timerCounter_)) return timerCounter_;
    }
    return 0;
}

bool VLPaintManager::SetTimer(VLControl* control, uint32_t id, uint32_t elapse)
{
    if (!window_) return false;
    for (const auto& timer : timers_) {
        if (timer->control == control && timer->window == window_ && timer->controlId == id)
            return ::SetTimer(window_, timer->windowId, elapse, nullptr) != 0;
    }
    const uint32_t windowId = NextTimerId();
    if (windowId == 0 || !::SetTimer(window_, windowId, elapse, nullptr)) return false;
    auto timer = std::make_unique<VLTimerInfo>();
    timer->control = control;
    timer->controlId = id;
    timer->window = window_;
    timer->windowId = windowId;
    timer->elapse = elapse;
    timers_.push_back(std::move(timer));
    return true;
}

int32_t VLPaintManager::SetRawTimer(uint32_t elapse)
{
    if (!window_) return -1;
    const uint32_t windowId = NextTimerId();
    if (windowId == 0 || !::SetTimer(window_, windowId, elapse, nullptr)) return -1;
    return static_cast<int32_t>(windowId);
}

bool VLPaintManager::KillTimer(VLControl* control, uint32_t id)
{
    bool removed = false;
    for (auto it = timers_.begin(); it != timers_.end();) {
        const VLTimerInfo& timer = **it;
        if (timer.control == control && timer.window == window_ && (id == kAllControlTimers || timer.controlId == id)) {
            if (IsWindow(timer.window)) ::KillTimer(timer.window, timer.windowId);
            it = timers_.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    return removed;
}

void VLPaintManager::KillAllTimers()
{
    for (const auto& timer : timers_) {
        if (timer->window == window_ && IsWindow(timer->window)) ::KillTimer(timer->window, timer->windowId);
    }
    timers_.clear();
}

} // namespace Velora
