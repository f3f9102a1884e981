#include "tests/ui/UiTestSupport.h"

namespace Velora {

std::string RectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

VLControl* AddItem(VLContainer& parent, const wchar_t* attributes, VLControl* item)
{
    VLControl::ApplyAttributeList(attributes, item);
    parent.Add(item);
    return item;
}

VLControlEvent EventAt(int32_t type, int x, int y, uint16_t key, WPARAM wParam)
{
    VLControlEvent e;
    e.type = type;
    e.ptMouse = {x, y};
    e.key = key;
    e.wParam = wParam;
    return e;
}

VLControlEvent Deliver(VLControl& control, int32_t type, int x, int y, uint16_t key, WPARAM wParam)
{
    VLControlEvent e = EventAt(type, x, y, key, wParam);
    control.DoEvent(e);
    return e;
}

HiddenWindow::HiddenWindow()
{
    static const ATOM windowClass = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VLUiTestWindow";
        return RegisterClassW(&wc);
    }();
    hwnd_ = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
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

VLControl* TestBranch::Detach(VLControl* child)
{
    children.erase(std::find(children.begin(), children.end(), child));
    return child;
}

VLControl* TestBranch::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    VLControl* found = (flags & kFindMeFirst) ? VLControl::FindControl(proc, data, flags) : nullptr;
    std::vector<VLControl*> order = children;
    if (flags & kFindTopFirst) std::reverse(order.begin(), order.end());
    for (auto it = order.begin(); !found && it != order.end(); ++it) found = (*it)->FindControl(proc, data, flags);
    return found || (flags & kFindMeFirst) ? found : VLControl::FindControl(proc, data, flags);
}

void TestBranch::SetManager(VLPaintManager* manager)
{
    for (VLControl* child : children) child->SetManager(manager);
    VLControl::SetManager(manager);
}

} // namespace Velora
