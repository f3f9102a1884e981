#include "tests/ui/UiTestSupport.h"

namespace Velora {

namespace {

const wchar_t kClassName[] = L"VLUiTestWindow";

ATOM RegisterTestClass()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc);
}

} // namespace

HiddenWindow::HiddenWindow()
{
    static const ATOM atom = RegisterTestClass();
    (void)atom;
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

HiddenWindow::~HiddenWindow()
{
    if (hwnd_) DestroyWindow(hwnd_);
}

BoundManager::BoundManager()
{
    manager.Init(window.Get());
    manager.AddNotifier(&listener);
}

int BoundManager::Count(int32_t type) const
{
    return static_cast<int>(std::count_if(listener.messages.begin(), listener.messages.end(),
                                          [type](const VLNotifyMsg& m) { return m.type == type; }));
}

TestBranch::~TestBranch()
{
    for (VLControl* child : children) delete child;
}

VLControl* TestBranch::Add(VLControl* child)
{
    children.push_back(child);
    child->SetParent(this);
    if (GetManager()) GetManager()->InitControls(child);
    return child;
}

VLControl* TestBranch::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    if (flags & kFindMeFirst) {
        if (VLControl* found = VLControl::FindControl(proc, data, flags)) return found;
    }
    std::vector<VLControl*> order = children;
    if (flags & kFindTopFirst) std::reverse(order.begin(), order.end());
    for (VLControl* child : order) {
        if (VLControl* found = child->FindControl(proc, data, flags)) return found;
    }
    return (flags & kFindMeFirst) ? nullptr : VLControl::FindControl(proc, data, flags);
}

void TestBranch::SetManager(VLPaintManager* manager)
{
    for (VLControl* child : children) child->SetManager(manager);
    VLControl::SetManager(manager);
}

void TestBranch::Init()
{
    ++initCalls;
    for (VLControl* child : children) child->Init();
}

} // namespace Velora
